#include "platform/files.h"

#include "tests/support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(JoinPath, BuildsNativePaths)
{
    EXPECT_EQ(mk::joinPath(QStringLiteral("/data"), QStringLiteral("options.dat")),
              QStringLiteral("/data/options.dat"));
    EXPECT_EQ(mk::joinPath(QStringLiteral("/data/"), QStringLiteral("options.dat")),
              QStringLiteral("/data/options.dat"));
    EXPECT_EQ(mk::joinPath(QStringLiteral("/root"), QStringLiteral("DATA\\BACKUP")),
              QStringLiteral("/root/DATA/BACKUP"));
    EXPECT_EQ(mk::joinPath(QStringLiteral("C:\\prog"), QStringLiteral("help\\index.html")),
              QStringLiteral("C:/prog/help/index.html"));
    EXPECT_EQ(mk::joinPath(QString(), QStringLiteral("a.txt")), QStringLiteral("a.txt"));
    EXPECT_EQ(mk::joinPath(QStringLiteral("/x"), QStringLiteral("/abs/file")), QStringLiteral("/abs/file"));
    EXPECT_EQ(mk::joinPath(QStringLiteral("/x"), QString()), QStringLiteral("/x"));
}

TEST(FindFileNoCase, MatchesIgnoringCase)
{
    mk::test::TempDir dir;
    ASSERT_TRUE(dir.write(QStringLiteral("DATA.MDX"), "x"));
    ASSERT_TRUE(dir.write(QStringLiteral("Backup/Data.DBF"), "y"));
    const QString root = dir.path();

    EXPECT_EQ(mk::findFileNoCase(root, QStringLiteral("data.mdx")), root + QStringLiteral("/DATA.MDX"));
    EXPECT_EQ(mk::findFileNoCase(root, QStringLiteral("DATA.MDX")), root + QStringLiteral("/DATA.MDX"));
    EXPECT_EQ(mk::findFileNoCase(root, QStringLiteral("BACKUP\\data.dbf")), root + QStringLiteral("/Backup/Data.DBF"));
    EXPECT_EQ(mk::findFileNoCase(root + QStringLiteral("/backup/DATA.dbf")), root + QStringLiteral("/Backup/Data.DBF"));
    EXPECT_TRUE(mk::findFileNoCase(root, QStringLiteral("missing.dbf")).isEmpty());
    EXPECT_TRUE(mk::findFileNoCase(root, QStringLiteral("nofolder/data.dbf")).isEmpty());
    EXPECT_TRUE(mk::findFileNoCase(root, QString()).isEmpty());
    EXPECT_TRUE(mk::fileExistsNoCase(root, QStringLiteral("Data.Mdx")));
    EXPECT_FALSE(mk::fileExistsNoCase(root + QStringLiteral("/data.dbt")));
    EXPECT_EQ(mk::pathForWriteNoCase(root, QStringLiteral("data.mdx")), root + QStringLiteral("/DATA.MDX"));
    EXPECT_EQ(mk::pathForWriteNoCase(root, QStringLiteral("new.dat")), root + QStringLiteral("/new.dat"));
}

TEST(FindFileNoCase, ExactNameWinsOverOtherCase)
{
    mk::test::TempDir dir;
    ASSERT_TRUE(dir.write(QStringLiteral("list.dbf"), "lower"));
    ASSERT_TRUE(dir.write(QStringLiteral("LIST.DBF"), "upper"));
    EXPECT_EQ(mk::findFileNoCase(dir.path(), QStringLiteral("LIST.DBF")), dir.file(QStringLiteral("LIST.DBF")));
    EXPECT_EQ(mk::findFileNoCase(dir.path(), QStringLiteral("list.dbf")), dir.file(QStringLiteral("list.dbf")));
}

TEST(WriteFileAtomic, ReplacesTheContent)
{
    mk::test::TempDir dir;
    const QString path = dir.file(QStringLiteral("options.dat"));
    ASSERT_TRUE(mk::writeFileAtomic(path, "first"));
    EXPECT_EQ(dir.read(QStringLiteral("options.dat")), QByteArray("first"));
    ASSERT_TRUE(mk::writeFileAtomic(path, QByteArray("\0\1second", 8)));
    EXPECT_EQ(dir.read(QStringLiteral("options.dat")), QByteArray("\0\1second", 8));
    ASSERT_TRUE(mk::writeFileAtomic(path, QByteArray()));
    EXPECT_TRUE(dir.exists(QStringLiteral("options.dat")));
    EXPECT_EQ(QFileInfo(path).size(), 0);
    // No temporary files are left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("options.dat")});
    const auto read = mk::readFileBytes(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->isEmpty());
    EXPECT_FALSE(mk::readFileBytes(dir.file(QStringLiteral("missing"))).has_value());
}

// Makes a folder unwritable for the test's lifetime: by its permissions, or
// for the super-user (whom permissions do not stop) by the immutable flag.
class LockedFolder
{
public:
    explicit LockedFolder(const QString& path)
        : m_path(path)
    {
        if (::geteuid() == 0) {
            m_immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
            m_locked = m_immutable;
        } else {
            m_locked = QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
    }
    ~LockedFolder()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    bool locked() const { return m_locked; }

private:
    QString m_path;
    bool m_locked = false;
    bool m_immutable = false;
};

TEST(WriteFileAtomic, FailedWriteKeepsTheOldFile)
{
    mk::test::TempDir dir;
    const QString folder = dir.mkdir(QStringLiteral("locked"));
    const QString path = folder + QStringLiteral("/filter.dat");
    ASSERT_TRUE(mk::writeFileAtomic(path, "old content"));
    {
        LockedFolder lock(folder);
        if (!lock.locked())
            GTEST_SKIP() << "cannot make a folder unwritable here";
        QString error;
        EXPECT_FALSE(mk::writeFileAtomic(path, "new content", &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(dir.read(QStringLiteral("locked/filter.dat")), QByteArray("old content"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("filter.dat")});
}

TEST(WriteFileAtomic, ReportsFailureWithoutDamage)
{
    mk::test::TempDir dir;
    // A folder where the file should be, and a file where a folder should be.
    dir.mkdir(QStringLiteral("report.dat"));
    EXPECT_FALSE(mk::writeFileAtomic(dir.file(QStringLiteral("report.dat")), "x"));
    EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("report.dat"))).isDir());
    ASSERT_TRUE(dir.write(QStringLiteral("plain"), "keep"));
    EXPECT_FALSE(mk::writeFileAtomic(dir.file(QStringLiteral("plain/inner.dat")), "x"));
    EXPECT_EQ(dir.read(QStringLiteral("plain")), QByteArray("keep"));
}

} // namespace
