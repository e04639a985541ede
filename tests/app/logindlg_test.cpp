#include "platform/files.h"
#include "shell/logindlg.h"
#include "storage/users.h"
#include "tests/support/tempdir.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace mk;

namespace {

struct LoginDlgTest : ::testing::Test
{
    test::TempDir root;
    LoginSettings settings;

    void SetUp() override
    {
        settings.dataRoot = root.path();
        settings.programDir = root.path();
        settings.supervisorPassword = QStringLiteral("boss");
        TUserList users;
        users.AddUser(QStringLiteral("Ann Smith"), QStringLiteral("ann"), 0, 1, QStringLiteral("pw"));
        ASSERT_TRUE(users.SaveUsers(root.path()));
    }

    // Runs the dialog modally, typing into it once it is shown.
    LoginResult runTyping(TLoginDlg& dlg, const QString& userId, const QString& password, bool cancel = false)
    {
        QTimer::singleShot(0, &dlg, [&] {
            auto* user = dlg.findChild<QLineEdit*>(QStringLiteral("UserID_Ed"));
            auto* pass = dlg.findChild<QLineEdit*>(QStringLiteral("Password_Ed"));
            if (user->isVisible()) {
                user->clear();
                QTest::keyClicks(user, userId);
            }
            if (pass->isVisible())
                QTest::keyClicks(pass, password);
            QTest::mouseClick(
                    dlg.findChild<QPushButton*>(cancel ? QStringLiteral("Cancel_Btn") : QStringLiteral("OK_Btn")),
                    Qt::LeftButton);
        });
        return dlg.run();
    }
};

TEST_F(LoginDlgTest, OneUserSystemAsksOnlyForTheSupervisorPassword)
{
    settings.passwordMode = 0;
    settings.userCount = 0;
    TLoginDlg dlg(settings);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Login"));
    bool userHidden = false, passwordShown = false;
    QTimer::singleShot(0, &dlg, [&] {
        userHidden = !dlg.findChild<QLineEdit*>(QStringLiteral("UserID_Ed"))->isVisible() &&
                     !dlg.findChild<QLabel*>(QStringLiteral("UserID_Lbl"))->isVisible();
        passwordShown = dlg.focusWidget() == dlg.findChild<QLineEdit*>(QStringLiteral("Password_Ed"));
    });
    EXPECT_EQ(runTyping(dlg, {}, QStringLiteral("boss")), LoginResult::Ok);
    EXPECT_TRUE(userHidden);
    EXPECT_TRUE(passwordShown);
    EXPECT_TRUE(dlg.state().isSupervisor);

    TLoginDlg wrong(settings);
    EXPECT_EQ(runTyping(wrong, {}, QStringLiteral("Boss")), LoginResult::Cancel);
}

TEST_F(LoginDlgTest, MultiUserSystemWithoutPasswordsAsksOnlyForTheUserId)
{
    settings.passwordMode = 1;
    settings.userCount = 1;
    TLoginDlg dlg(settings);
    bool passwordHidden = false;
    QTimer::singleShot(
            0, &dlg, [&] { passwordHidden = !dlg.findChild<QLineEdit*>(QStringLiteral("Password_Ed"))->isVisible(); });
    EXPECT_EQ(runTyping(dlg, QStringLiteral("ann"), {}), LoginResult::Ok);
    EXPECT_TRUE(passwordHidden);
    EXPECT_EQ(dlg.state().dataDir, joinPath(root.path(), QStringLiteral("data0001")));
    EXPECT_EQ(dlg.state().accessLevel, 2);

    TLoginDlg supervisor(settings);
    EXPECT_EQ(runTyping(supervisor, QStringLiteral("Supervisor"), {}), LoginResult::Ok);
    EXPECT_TRUE(supervisor.state().isSupervisor);

    TLoginDlg cancelled(settings);
    EXPECT_EQ(runTyping(cancelled, QStringLiteral("ann"), {}, true), LoginResult::Cancel);
}

TEST_F(LoginDlgTest, SecurityCheckCaptionAndMaskedPassword)
{
    TLoginDlg dlg(settings);
    dlg.setSecurityCheck(true);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Security Check"));
    auto* pass = dlg.findChild<QLineEdit*>(QStringLiteral("Password_Ed"));
    EXPECT_EQ(pass->echoMode(), QLineEdit::Password);
    EXPECT_EQ(pass->maxLength(), 20);
    EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("UserID_Ed"))->maxLength(), 10);
}

} // namespace
