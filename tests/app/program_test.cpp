#include "tests/support/fixtures.h"
#include "tests/support/tempdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace mk;

namespace {

// A copy of the built program folder, so the run creates its data there.
bool copyProgramFolder(const QString& from, const QString& to)
{
    const QDir source(from);
    for (const QFileInfo& fi : source.entryInfoList(QDir::Files)) {
        const QString target = QDir(to).filePath(fi.fileName());
        if (!QFile::copy(fi.filePath(), target))
            return false;
        QFile::setPermissions(target, fi.permissions());
    }
    return true;
}

bool waitForFile(const QString& path, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && !QFileInfo::exists(path))
        QThread::msleep(50);
    return QFileInfo::exists(path);
}

bool waitForFileContent(const QString& path, const QByteArray& content, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly) && f.readAll().startsWith(content))
            return true;
        QThread::msleep(50);
    }
    return false;
}

TEST(ProgramTest, StartsOnAnEmptyProgramFolderAndQuitsCleanly)
{
    test::TempDir dir;
    ASSERT_TRUE(copyProgramFolder(test::programDir(), dir.path()));
    ASSERT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("marlocket"))));

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    run.setProcessEnvironment(env);
    run.start(dir.file(QStringLiteral("marlocket")), {});
    ASSERT_TRUE(run.waitForStarted(10000));

    // The public database is set up from the template tables. The record
    // table comes last, after a warning box that SIGTERM closes.
    EXPECT_TRUE(waitForFile(dir.file(QStringLiteral("DATA/copy.dbf")), 20000));
    EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("DATA/BACKUP"))).isDir());
    EXPECT_TRUE(dir.exists(QStringLiteral("DATA/master.dbf")));

    run.terminate();
    ASSERT_TRUE(run.waitForFinished(20000));
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    EXPECT_EQ(dir.read(QStringLiteral("DATA/shut.dat")).left(4), QByteArray("@a$)"));
    EXPECT_TRUE(dir.exists(QStringLiteral("options.dat")));
    EXPECT_TRUE(dir.exists(QStringLiteral("DATA/options.dat")));
    EXPECT_EQ(dir.read(QStringLiteral("DATA/wnd.dat")).size(), 20);
    EXPECT_TRUE(dir.exists(QStringLiteral("DATA/data.dbf")));
    EXPECT_TRUE(dir.exists(QStringLiteral("DATA/data.dbt")));

    // The second run finds its database and reaches the running state.
    QProcess again;
    again.setProcessEnvironment(env);
    again.start(dir.file(QStringLiteral("marlocket")), {});
    ASSERT_TRUE(again.waitForStarted(10000));
    EXPECT_TRUE(waitForFileContent(dir.file(QStringLiteral("DATA/shut.dat")), "#10*", 20000));
    again.terminate();
    ASSERT_TRUE(again.waitForFinished(20000));
    EXPECT_EQ(again.exitCode(), 0);
    EXPECT_EQ(dir.read(QStringLiteral("DATA/shut.dat")).left(4), QByteArray("@a$)"));
}

} // namespace
