#include "app/core/directories.h"
#include "app/core/globals.h"
#include "app/core/startup.h"
#include "platform/files.h"
#include "platform/scriptedprompter.h"
#include "shell/mainwindow.h"
#include "shell/settings/options.h"
#include "shell/settings/textsettings.h"
#include "storage/dbtable.h"
#include "storage/storage.h"
#include "storage/users.h"
#include "tests/support/fixtures.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

using namespace mk;

namespace {

// Answers the login from a script and records whether it was asked.
struct ScriptedStartupUi : StartupUi
{
    int splashShown = 0;
    int loginsAsked = 0;
    QString userId, password;
    LoginResult runLogin(const LoginSettings& settings, LoginState& state) override
    {
        ++loginsAsked;
        return EvaluateLogin(userId, password, settings, state);
    }
    void showSplash() override { ++splashShown; }
};

struct StartupTest : ::testing::Test
{
    test::TempDir program;
    ScriptedPrompter prompts;
    ScopedPrompter usePrompts{prompts};
    ScriptedStartupUi ui;
    GlobalState g;

    QString exe() const { return program.file(QStringLiteral("marlocket")); }

    void writeMachineOptions(const TMachineOptions& o, const QString& dir = {})
    {
        ASSERT_TRUE(writeFileAtomic(joinPath(dir.isEmpty() ? program.path() : dir, QStringLiteral("options.dat")),
                                    o.toBytes()));
    }
    TMachineOptions machine() const { return TMachineOptions::defaults(program.path()); }

    // The template tables the build put into the program folder.
    void copyTemplates()
    {
        for (const char* name :
             {"data.dbf", "data.dbt", "DATA.MDX", "master.dbf", "MASTER.MDX", "list.dbf", "LIST.MDX"}) {
            const QString from = joinPath(test::programDir(), QString::fromLatin1(name));
            ASSERT_TRUE(QFile::copy(from, program.file(QString::fromLatin1(name)))) << name;
        }
    }
};

TEST_F(StartupTest, FirstStartCreatesThePublicDataDirectoriesWithoutALogin)
{
    ASSERT_EQ(RunStartup(g, ui, exe()), StartupResult::Running);
    EXPECT_TRUE(QFileInfo(program.file(QStringLiteral("DATA/BACKUP"))).isDir());
    EXPECT_EQ(ui.loginsAsked, 0);
    EXPECT_EQ(ui.splashShown, 1);
    EXPECT_EQ(g.ProgramDir, program.path());
    EXPECT_EQ(g.DataRoot, program.path());
    EXPECT_EQ(g.DataDir, program.file(QStringLiteral("DATA")));
    EXPECT_EQ(g.SettingsDir, g.DataDir);
    EXPECT_EQ(g.AccessLevel, 1);
    EXPECT_FALSE(g.IsReadOnly());
    EXPECT_TRUE(prompts.messages().isEmpty());
}

TEST_F(StartupTest, MissingDataRootFallsBackToTheProgramDirectorySilently)
{
    TMachineOptions o = machine();
    o.DataRoot = program.file(QStringLiteral("no/such/root"));
    writeMachineOptions(o);
    ASSERT_EQ(RunStartup(g, ui, exe()), StartupResult::Running);
    EXPECT_EQ(g.DataRoot, program.path());
    EXPECT_TRUE(prompts.messages().isEmpty());
}

TEST_F(StartupTest, LoginGateFollowsTheMachineOptions)
{
    struct Case
    {
        qint16 passwordMode, userCount;
        QString supervisorPassword;
        int logins;
    } cases[] = {
            {0, 0, QString(), 0}, // password required but none set
            {0, 0, QStringLiteral("pw"), 1},
            {1, 1, QString(), 1}, // multi-user always asks
            {1, 0, QStringLiteral("pw"), 0},
    };
    for (const Case& c : cases) {
        TMachineOptions o = machine();
        o.PasswordMode = c.passwordMode;
        o.UserCount = c.userCount;
        o.SupervisorPassword = c.supervisorPassword;
        writeMachineOptions(o);
        ScriptedStartupUi answers;
        answers.userId = QStringLiteral("Supervisor");
        answers.password = c.supervisorPassword;
        GlobalState state;
        EXPECT_EQ(RunStartup(state, answers, exe()), StartupResult::Running);
        EXPECT_EQ(answers.loginsAsked, c.logins) << c.passwordMode << c.userCount;
        EXPECT_TRUE(state.IsSupervisor || c.logins == 0);
    }
}

TEST_F(StartupTest, FailedLoginsShowTheirMessageAndEndTheRun)
{
    TMachineOptions o = machine();
    o.PasswordMode = 0;
    o.UserCount = 1;
    o.SupervisorPassword = QStringLiteral("boss");
    writeMachineOptions(o);
    TUserList users;
    users.AddUser(QStringLiteral("Ann"), QStringLiteral("ann"), 1, 0, QStringLiteral("pw"));
    ASSERT_TRUE(users.SaveUsers(program.path()));

    ui.userId = QStringLiteral("Supervisor");
    ui.password = QStringLiteral("wrong");
    EXPECT_EQ(RunStartup(g, ui, exe()), StartupResult::LoginFailed);
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_EQ(prompts.messages().at(0).text, QStringLiteral("Incorrect Login!"));
    EXPECT_EQ(prompts.messages().at(0).type, MessageType::Error);
    EXPECT_FALSE(QFileInfo::exists(program.file(QStringLiteral("DATA/options.dat"))));

    prompts.clear();
    ScriptedStartupUi disabled;
    disabled.userId = QStringLiteral("ann");
    disabled.password = QStringLiteral("pw");
    GlobalState state;
    EXPECT_EQ(RunStartup(state, disabled, exe()), StartupResult::AccountDisabled);
    EXPECT_EQ(prompts.lastMessageText(),
              QStringLiteral("Your acount has been disactivated! Please, contact the System Supervisor."));
}

TEST_F(StartupTest, AccountLoginWorksInItsOwnDirectory)
{
    TMachineOptions o = machine();
    o.UserCount = 1;
    o.PublicAccessMode = 2;
    writeMachineOptions(o);
    TUserList users;
    users.AddUser(QStringLiteral("Ann"), QStringLiteral("ann"), 0, 0, QString());
    ASSERT_TRUE(users.SaveUsers(program.path()));
    ui.userId = QStringLiteral("ann");
    ASSERT_EQ(RunStartup(g, ui, exe()), StartupResult::Running);
    EXPECT_EQ(g.DataDir, program.file(QStringLiteral("data0001")));
    EXPECT_EQ(g.SettingsDir, g.DataDir);
    EXPECT_EQ(g.AccessLevel, 2);
    EXPECT_EQ(g.UserName, QStringLiteral("ann"));
    // Read-only applies only to the public databases.
    EXPECT_FALSE(g.IsReadOnly());
    g.DataDir = g.publicDataDir();
    EXPECT_TRUE(g.IsReadOnly());
}

TEST_F(StartupTest, LastUsedDatabaseOutsideTheDataRootKeepsOnlyItsFileName)
{
    writeMachineOptions(machine());
    program.mkdir(QStringLiteral("DATA"));
    TUserOptions user;
    user.InitialDataFile = 1;
    user.LastTableFileName = QStringLiteral("data_3.dbf");
    user.LastDataDir = QStringLiteral("/elsewhere/DATA");
    ASSERT_TRUE(WriteUserOptions(program.file(QStringLiteral("DATA")), user));
    ASSERT_EQ(RunStartup(g, ui, exe()), StartupResult::Running);
    EXPECT_EQ(g.TableFileName, QStringLiteral("data_3.dbf"));
    EXPECT_EQ(g.DataDir, program.file(QStringLiteral("DATA")));
}

TEST_F(StartupTest, UnwritableProgramDirectoryMovesTheDataToTheUsersDataFolder)
{
    test::TempDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    // Nobody, not even root, can create files in /proc/self.
    ASSERT_FALSE(isWritableDir(QStringLiteral("/proc/self")));
    const StartupResult result = RunStartup(g, ui, QStringLiteral("/proc/self/marlocket"));
    qunsetenv("XDG_DATA_HOME");
    ASSERT_EQ(result, StartupResult::Running);
    EXPECT_EQ(g.DataRoot, home.file(QStringLiteral("Marlocket")));
    EXPECT_TRUE(g.DataRootRelocated);
    EXPECT_TRUE(QFileInfo(home.file(QStringLiteral("Marlocket/DATA/BACKUP"))).isDir());
    EXPECT_EQ(g.SettingsDir, home.file(QStringLiteral("Marlocket/DATA")));
}

TEST_F(StartupTest, FirstDatabaseIsMadeFromTheTemplatesAndItsFirstRecordIsNumberTwo)
{
    copyTemplates();
    ASSERT_EQ(RunStartup(g, ui, exe()), StartupResult::Running);
    TForm3 window(g);
    ASSERT_TRUE(window.databaseOpen());
    // An empty data directory: the record table is announced as new.
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages().at(0).text.startsWith(QStringLiteral("Could not Open the database! A new")));
    for (const char* name : {"DATA/master.dbf", "DATA/copy.dbf", "DATA/data.dbf", "DATA/data.dbt"})
        EXPECT_TRUE(program.exists(QString::fromLatin1(name))) << name;

    TDbTable& records = window.storage().recordTable();
    records.append();
    records.post();
    records.last();
    EXPECT_EQ(records.asNumber(0).value_or(0), 2);
}

TEST_F(StartupTest, UncleanShutdownWarnsOnceAndACleanOneWritesTheSettings)
{
    copyTemplates();
    ASSERT_EQ(RunStartup(g, ui, exe()), StartupResult::Running);
    {
        TForm3 first(g);
    } // creates the public database
    prompts.clear();
    MarkRunning(g.SettingsDir); // what a killed run leaves behind
    {
        TForm3 window(g);
        window.show();
        QTest::qWait(50);
        window.hide();
        window.show();
        QTest::qWait(50);
    }
    ASSERT_EQ(prompts.messages().size(), 1);
    const auto warning = prompts.messages().at(0);
    EXPECT_EQ(warning.type, MessageType::Warning);
    EXPECT_EQ(warning.buttons, Buttons::OkHelp);
    EXPECT_EQ(warning.helpContext, 123);
    EXPECT_TRUE(warning.text.startsWith(QStringLiteral("Quenlow Marlocket was not Closed normally!\rIt is STRONGLY")));
    EXPECT_EQ(prompts.beepCount(), 1);

    // The window's destructor wrote its placement, both option files and the sort settings.
    EXPECT_EQ(program.read(QStringLiteral("DATA/wnd.dat")).size(), 20);
    EXPECT_TRUE(program.exists(QStringLiteral("options.dat")));
    EXPECT_TRUE(program.exists(QStringLiteral("DATA/options.dat")));
    EXPECT_EQ(program.read(QStringLiteral("DATA/data.idx")).size(), 4);
    MarkShutdownComplete(g);
    EXPECT_TRUE(WasClosedNormally(g.SettingsDir));

    // The next run starts quietly.
    prompts.clear();
    GlobalState next;
    ASSERT_EQ(RunStartup(next, ui, exe()), StartupResult::Running);
    {
        TForm3 window(next);
        window.show();
        QTest::qWait(50);
    }
    EXPECT_TRUE(prompts.messages().isEmpty());
}

} // namespace
