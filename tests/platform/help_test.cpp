#include "platform/help.h"

#include "tests/support/fixtures.h"
#include "tests/support/tempdir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class HelpDirectory
{
public:
    explicit HelpDirectory(const QString& dir)
        : m_previous(mk::helpDirectory())
    {
        mk::setHelpDirectory(dir);
    }
    ~HelpDirectory() { mk::setHelpDirectory(m_previous); }

private:
    QString m_previous;
};

TEST(HelpPages, MappingNumberedPageAndFallback)
{
    mk::test::TempDir dir;
    ASSERT_TRUE(dir.write(QStringLiteral("index.html"), "<h1>Marlocket</h1>"));
    ASSERT_TRUE(dir.write(QStringLiteral("Backup.html"), "backup"));
    ASSERT_TRUE(dir.write(QStringLiteral("28.html"), "maintenance"));
    ASSERT_TRUE(dir.write(QStringLiteral("contexts.txt"), "# context page\n123 backup.html\n 62   backup.html # also\n"
                                                          "bad line\n99 missing.html\n"));
    HelpDirectory use(dir.path());
    EXPECT_EQ(mk::helpPageFor(123), dir.file(QStringLiteral("Backup.html")));
    EXPECT_EQ(mk::helpPageFor(62), dir.file(QStringLiteral("Backup.html")));
    EXPECT_EQ(mk::helpPageFor(28), dir.file(QStringLiteral("28.html")));
    EXPECT_EQ(mk::helpPageFor(99), dir.file(QStringLiteral("index.html"))); // mapped page missing
    EXPECT_EQ(mk::helpPageFor(777), dir.file(QStringLiteral("index.html")));
    EXPECT_EQ(mk::helpPageFor(0), dir.file(QStringLiteral("index.html")));
}

TEST(HelpPages, NoPagesAtAll)
{
    mk::test::TempDir dir;
    HelpDirectory use(dir.path());
    EXPECT_TRUE(mk::helpPageFor(123).isEmpty());
    EXPECT_TRUE(mk::helpIndexPage().isEmpty());
}

TEST(HelpPages, ShippedPagesCoverTheContexts)
{
    HelpDirectory use(mk::test::sourceDir() + QStringLiteral("/shipped/help"));
    const QString index = mk::helpIndexPage();
    ASSERT_FALSE(index.isEmpty());
    for (int context : {1,  21,  22,  23,  24,  25,  26,  27,  28,  29,  31,  36,  62,  65,  81, 85,
                        99, 100, 103, 104, 105, 110, 111, 113, 114, 118, 123, 130, 131, 132, 234}) {
        const QString page = mk::helpPageFor(context);
        EXPECT_TRUE(QFileInfo(page).isFile()) << context;
        if (context != 1)
            EXPECT_NE(page, index) << "context " << context << " falls back to the general page";
    }
}

} // namespace
