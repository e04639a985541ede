#include "platform/files.h"
#include "storage/users.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mk;

namespace {

struct UsersTest : ::testing::Test
{
    QTemporaryDir root;
    QTemporaryDir program;
    LoginSettings settings;

    void SetUp() override
    {
        settings.dataRoot = root.path();
        settings.programDir = program.path();
    }

    void saveAccounts(std::initializer_list<TUserRec> recs)
    {
        TUserList list;
        for (const TUserRec& r : recs)
            list.append(r);
        ASSERT_TRUE(list.SaveUsers(root.path()));
    }

    static TUserRec account(int number, const QString& userId, const QString& password, quint8 status = 0,
                            quint8 access = 0)
    {
        TUserRec r;
        r.number = qint16(number);
        r.name = QStringLiteral("User ") + userId;
        r.userId = userId;
        r.password = password;
        r.directory = TUserRec::directoryFor(number);
        r.status = status;
        r.access = access;
        return r;
    }
};

TEST_F(UsersTest, FileRoundTripKeepsEveryAccountAndScramblesTexts)
{
    saveAccounts({account(1, QStringLiteral("ann"), QStringLiteral("s3cret")),
                  account(7, QStringLiteral("bob"), QString(), 1, 2)});
    const QByteArray bytes = *readFileBytes(joinPath(root.path(), QStringLiteral("users.lst")));
    EXPECT_EQ(bytes.front(), char(1));
    EXPECT_EQ(bytes.back(), char(0));
    EXPECT_FALSE(bytes.contains("s3cret"));
    EXPECT_FALSE(bytes.contains("data0007"));

    TUserList list;
    list.LoadUsers(root.path(), program.path());
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.at(0).password, QStringLiteral("s3cret"));
    EXPECT_EQ(list.at(1).number, 7);
    EXPECT_EQ(list.at(1).directory, QStringLiteral("data0007"));
    EXPECT_EQ(list.at(1).status, 1);
    EXPECT_EQ(list.at(1).access, 2);
}

TEST_F(UsersTest, DamagedFileKeepsTheAccountsReadSoFar)
{
    saveAccounts({account(1, QStringLiteral("ann"), QStringLiteral("a")),
                  account(2, QStringLiteral("bob"), QStringLiteral("b"))});
    const QString path = joinPath(root.path(), QStringLiteral("users.lst"));
    QByteArray bytes = *readFileBytes(path);
    bytes.chop(6);
    ASSERT_TRUE(writeFileAtomic(path, bytes));
    TUserList list;
    list.LoadUsers(root.path(), program.path());
    EXPECT_EQ(list.count(), 1);

    ASSERT_TRUE(writeFileAtomic(path, QByteArray("\x07garbage")));
    list.LoadUsers(root.path(), program.path());
    EXPECT_EQ(list.count(), 0);
}

TEST_F(UsersTest, ProgramDirectoryCopyIsUsedWhenTheDataRootHasNone)
{
    TUserList list;
    list.append(account(3, QStringLiteral("cy"), QString()));
    ASSERT_TRUE(list.SaveUsers(program.path()));
    TUserList loaded;
    loaded.LoadUsers(root.path(), program.path());
    ASSERT_EQ(loaded.count(), 1);
    EXPECT_EQ(loaded.at(0).userId, QStringLiteral("cy"));
}

TEST_F(UsersTest, NextFreeNumberFillsGapsAndSkipsNumbersThatReadAsListEnd)
{
    TUserList list;
    ASSERT_TRUE(list.AddUser(QStringLiteral("A"), QStringLiteral("a"), 0, 0, QString()));
    ASSERT_TRUE(list.AddUser(QStringLiteral("B"), QStringLiteral("b"), 0, 0, QString()));
    ASSERT_TRUE(list.AddUser(QStringLiteral("C"), QStringLiteral("c"), 0, 0, QString()));
    EXPECT_FALSE(list.AddUser(QStringLiteral("B"), QStringLiteral("x"), 0, 0, QString()));
    list.removeAt(1);
    ASSERT_TRUE(list.AddUser(QStringLiteral("D"), QStringLiteral("d"), 0, 0, QString()));
    EXPECT_EQ(list.at(2).number, 2);
    EXPECT_EQ(list.at(2).directory, QStringLiteral("data0002"));

    // Accounts 1..255 taken: the next is 257, never 256.
    TUserList full;
    for (int n = 1; n <= 255; ++n)
        full.append(account(n, QString::number(n), QString()));
    EXPECT_EQ(full.nextFreeNumber(), 257);

    // Such accounts also survive a save and load.
    full.append(account(257, QStringLiteral("last"), QString()));
    ASSERT_TRUE(full.SaveUsers(root.path()));
    TUserList loaded;
    loaded.LoadUsers(root.path(), program.path());
    EXPECT_EQ(loaded.count(), 256);
}

TEST_F(UsersTest, LoginRules)
{
    saveAccounts({account(1, QStringLiteral("ann"), QStringLiteral("Pw"), 0, 1),
                  account(2, QStringLiteral("off"), QStringLiteral("x"), 1, 0)});
    const QString pub = joinPath(root.path(), QStringLiteral("DATA"));

    struct Case
    {
        int passwordMode, publicAccess;
        QString user, password;
        LoginResult result;
        bool supervisor;
        QString dir;
        int access;
    } cases[] = {
            {0, 0, QStringLiteral("ann"), QStringLiteral("Pw"), LoginResult::Ok, false, QStringLiteral("data0001"), 2},
            {0, 0, QStringLiteral("ann"), QStringLiteral("pw"), LoginResult::Cancel, false, QStringLiteral("DATA"), 1},
            {1, 0, QStringLiteral("ann"), QStringLiteral("wrong"), LoginResult::Ok, false, QStringLiteral("data0001"),
             2},
            {0, 3, QStringLiteral("ann"), QStringLiteral("Pw"), LoginResult::Ok, false, QStringLiteral("data0001"), 3},
            {0, 0, QStringLiteral("nobody"), QString(), LoginResult::Cancel, false, QStringLiteral("DATA"), 1},
            {0, 0, QStringLiteral("off"), QStringLiteral("x"), LoginResult::NotActive, false,
             QStringLiteral("data0002"), 1},
            {0, 0, QStringLiteral("Supervisor"), QStringLiteral("boss"), LoginResult::Ok, true, QStringLiteral("DATA"),
             1},
            {0, 0, QStringLiteral("Supervisor"), QStringLiteral("Boss"), LoginResult::Cancel, false,
             QStringLiteral("DATA"), 1},
            {1, 0, QStringLiteral("Supervisor"), QString(), LoginResult::Ok, true, QStringLiteral("DATA"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user.toStdString() + " / " + c.password.toStdString());
        settings.passwordMode = c.passwordMode;
        settings.publicAccessMode = c.publicAccess;
        settings.supervisorPassword = QStringLiteral("boss");
        LoginState state;
        EXPECT_EQ(EvaluateLogin(c.user, c.password, settings, state), c.result);
        EXPECT_EQ(state.isSupervisor, c.supervisor);
        EXPECT_EQ(state.dataDir, joinPath(root.path(), c.dir));
        EXPECT_EQ(state.accessLevel, c.access);
    }
}

TEST_F(UsersTest, LoginIsSkippedOnlyOnAOneUserSystemWithoutPasswords)
{
    struct Case
    {
        int passwordMode, userCount;
        QString supervisorPassword;
        bool skipped;
    } cases[] = {
            {1, 0, QString(), true},
            {0, 0, QString(), true}, // password required but none set
            {0, 0, QStringLiteral("pw"), false},
            {1, 1, QString(), false}, // a multi-user system always asks
            {1, 0, QStringLiteral("pw"), true},
    };
    for (const Case& c : cases) {
        settings.passwordMode = c.passwordMode;
        settings.userCount = c.userCount;
        settings.supervisorPassword = c.supervisorPassword;
        EXPECT_EQ(settings.loginSkipped(), c.skipped) << c.passwordMode << c.userCount;
    }
    const LoginState s = SupervisorLogin(settings);
    EXPECT_TRUE(s.isSupervisor);
    EXPECT_EQ(s.dataDir, joinPath(root.path(), QStringLiteral("DATA")));
    EXPECT_EQ(s.accessLevel, 1);
}

} // namespace
