#include "shell/settings/textsettings.h"

#include "platform/scriptedprompter.h"

#include "settings_test_support.h"

#include <QFileInfo>

using namespace mk;
using mk::test::bytesOf;
using mk::test::hex;
using mk::test::TempDir;

namespace {

struct TextSettingsTest : mk::test::TempDirTest
{};

TEST_F(TextSettingsTest, FieldLabelsRoundTripAsWindowsTextWithCrLf)
{
    QStringList labels = DefaultFieldLabels();
    ASSERT_EQ(labels.size(), 23);
    EXPECT_EQ(labels[6], QStringLiteral("Cost:"));
    EXPECT_EQ(labels[19], QStringLiteral("Custom 3:"));
    labels[0] = QString::fromUtf8("Ch\u00e2teau:");
    ASSERT_TRUE(SaveFieldLabels(dir(), labels));
    const QByteArray bytes = read(QStringLiteral("labels.dat"));
    EXPECT_TRUE(bytes.startsWith(QByteArray("Ch\xE2teau:\r\nProducer:\r\n")));
    EXPECT_TRUE(bytes.endsWith(QByteArray("Notes:\r\nPicture:\r\n")));
    QStringList back{QStringLiteral("stale")};
    ASSERT_TRUE(LoadFieldLabels(dir(), back));
    EXPECT_EQ(back, labels);
}

TEST_F(TextSettingsTest, MissingFilesGiveEmptyListsAndDefaults)
{
    QStringList labels{QStringLiteral("x")};
    EXPECT_FALSE(LoadFieldLabels(dir(), labels));
    EXPECT_TRUE(labels.isEmpty());
    TDateFormats formats{{2, 19}};
    EXPECT_FALSE(LoadDateFormats(dir(), formats));
    EXPECT_TRUE(formats.isEmpty());
    EXPECT_TRUE(LoadRecordTemplateNames(dir()).isEmpty());
    EXPECT_TRUE(ReadPageOrder(dir(), QStringLiteral("data.dbf")).isEmpty());
    EXPECT_TRUE(WasClosedNormally(dir()));
    // An empty directory name never means the current directory.
    EXPECT_FALSE(LoadFieldLabels(QString(), labels));
    EXPECT_FALSE(SaveFieldLabels(QString(), labels));
}

TEST_F(TextSettingsTest, LinesEndAtCrLfLfOrCr)
{
    write(QStringLiteral("Labels.DAT"), QByteArray("One:\r\nTwo:\nThree:\rFour:"));
    QStringList labels;
    ASSERT_TRUE(LoadFieldLabels(dir(), labels));
    EXPECT_EQ(labels, (QStringList{QStringLiteral("One:"), QStringLiteral("Two:"), QStringLiteral("Three:"),
                                   QStringLiteral("Four:")}));
    write(QStringLiteral("Labels.DAT"), QByteArray());
    ASSERT_TRUE(LoadFieldLabels(dir(), labels));
    EXPECT_TRUE(labels.isEmpty());
}

TEST_F(TextSettingsTest, SaveErrorShowsTheMessage)
{
    ScriptedPrompter prompts;
    ScopedPrompter use(prompts);
    prompts.pushAnswer(Answer::Ok);
    prompts.pushAnswer(Answer::Ok);
    temp.mkdir(QStringLiteral("labels.dat")); // a folder where the file should go
    EXPECT_FALSE(SaveFieldLabels(dir(), DefaultFieldLabels()));
    temp.mkdir(QStringLiteral("date.dat"));
    EXPECT_FALSE(SaveDateFormats(dir(), {{0, 19}}));
    const QList<ScriptedPrompter::Call> shown = prompts.messages();
    ASSERT_EQ(shown.size(), 2);
    for (const ScriptedPrompter::Call& call : shown) {
        EXPECT_EQ(call.type, MessageType::Error);
        EXPECT_EQ(call.buttons, Buttons::Ok);
        EXPECT_EQ(call.text, QStringLiteral("Could not Save Options to a File!"));
    }
    EXPECT_FALSE(prompts.failed()) << prompts.failures().join(QLatin1Char('\n')).toStdString();

    // A successful save shows nothing.
    ScriptedPrompter quiet;
    ScopedPrompter useQuiet(quiet);
    TempDir other;
    EXPECT_TRUE(SaveFieldLabels(other.path(), DefaultFieldLabels()));
    EXPECT_TRUE(SaveDateFormats(other.path(), {{1, 19}}));
    EXPECT_TRUE(quiet.calls().isEmpty());
}

TEST_F(TextSettingsTest, DateFormats)
{
    EXPECT_EQ(DateFormatDialogText(0), QStringLiteral("MM/DD/YYYY"));
    EXPECT_EQ(DateFormatDialogText(2), QStringLiteral("YYYY/MM/DD"));
    EXPECT_EQ(DateFormatDialogText(1), QStringLiteral("DD/MM/YYYY"));
    EXPECT_EQ(DateFormatDialogText(3), QStringLiteral("YYYY"));

    ASSERT_TRUE(SaveDateFormats(dir(), {{1, 19}, {3, 4}, {0, 7}}));
    EXPECT_EQ(read(QStringLiteral("date.dat")), QByteArray("1\r\n3\r\n0\r\n"));
    TDateFormats back;
    ASSERT_TRUE(LoadDateFormats(dir(), back));
    // The slots are not stored; the record form sets them.
    EXPECT_EQ(back, (TDateFormats{{1, -1}, {3, -1}, {0, -1}}));

    // Codes that are not 0 to 3 read as 0.
    write(QStringLiteral("date.dat"), QByteArray("2\r\n7\r\nx\r\n\r\n12\r\n3"));
    ASSERT_TRUE(LoadDateFormats(dir(), back));
    QList<int> codes;
    for (const TDateFormatEntry& e : back)
        codes.append(e.code);
    EXPECT_EQ(codes, (QList<int>{2, 0, 0, 0, 0, 3}));
}

TEST(DateFormats, FitToTheDateFields)
{
    TDateFormats none;
    FitDateFormats(none, {19});
    EXPECT_EQ(none, (TDateFormats{{0, 19}}));

    TDateFormats shorter{{2, -1}};
    FitDateFormats(shorter, {4, 19, 20});
    EXPECT_EQ(shorter, (TDateFormats{{2, 4}, {0, 19}, {0, 20}}));

    TDateFormats longer{{1, -1}, {3, -1}};
    FitDateFormats(longer, {19});
    EXPECT_EQ(longer, (TDateFormats{{1, 19}}));
}

TEST_F(TextSettingsTest, ShutdownMarker)
{
    MarkRunning(dir());
    EXPECT_EQ(read(QStringLiteral("shut.dat")), QByteArray("#10*\r\n"));
    EXPECT_FALSE(WasClosedNormally(dir()));
    MarkClosed(dir());
    EXPECT_EQ(read(QStringLiteral("shut.dat")), QByteArray("@a$)\r\n"));
    EXPECT_TRUE(WasClosedNormally(dir()));

    struct Case
    {
        QByteArray content;
        bool closed;
    };
    const Case cases[] = {
            {QByteArray("@a$)"), true},  {QByteArray("@a$)\r\nanything"), true},
            {QByteArray(""), false},     {QByteArray("@a$) "), false},
            {QByteArray("@A$)"), false}, {QByteArray("\r\n@a$)"), false},
    };
    for (const Case& c : cases) {
        write(QStringLiteral("shut.dat"), c.content);
        EXPECT_EQ(WasClosedNormally(dir()), c.closed) << c.content.constData();
    }
    // Writing into a directory that does not exist is silently ignored.
    MarkRunning(file(QStringLiteral("no/such/dir")));
}

TEST_F(TextSettingsTest, RecordTemplateNames)
{
    const QStringList names{QStringLiteral("Red Bordeaux"), QStringLiteral("Ros\u00e9 2019")};
    ASSERT_TRUE(SaveRecordTemplateNames(dir(), names));
    EXPECT_EQ(read(QStringLiteral("records.tml")), QByteArray("Red Bordeaux\r\nRos\xE9 2019\r\n"));
    EXPECT_EQ(LoadRecordTemplateNames(dir()), names);
}

TEST_F(TextSettingsTest, PageOrderFile)
{
    EXPECT_EQ(PageOrderFileName(QStringLiteral("data.dbf")), QStringLiteral("data.tab"));
    EXPECT_EQ(PageOrderFileName(QStringLiteral("data_7.dbf")), QStringLiteral("data_7.tab"));
    EXPECT_EQ(PageOrderFileName(QStringLiteral("my.data.dbf")), QStringLiteral("my.tab"));
    EXPECT_EQ(PageOrderFileName(QStringLiteral("data")), QStringLiteral("datatab"));

    ASSERT_TRUE(WritePageOrder(dir(), QStringLiteral("data.dbf"), QStringLiteral("2134")));
    EXPECT_EQ(read(QStringLiteral("data.tab")), QByteArray("2134\r\n"));
    EXPECT_EQ(ReadPageOrder(dir(), QStringLiteral("DATA.DBF")), QStringLiteral("2134"));
    EXPECT_TRUE(ReadPageOrder(dir(), QStringLiteral("data_1.dbf")).isEmpty());
}

TEST(PageOrder, ArrangePages)
{
    const QStringList design{QStringLiteral("Part 1"), QStringLiteral("Part 2"), QStringLiteral("Part 3"),
                             QStringLiteral("Part 4")};
    EXPECT_EQ(PageOrderOf(design), QStringLiteral("1234"));
    EXPECT_EQ(ArrangePages(design, QStringLiteral("2134")), (QList<int>{1, 0, 2, 3}));
    EXPECT_EQ(ArrangePages(design, QStringLiteral("4321")), (QList<int>{3, 2, 1, 0}));
    EXPECT_EQ(ArrangePages(design, QString()), (QList<int>{0, 1, 2, 3}));
    // Unknown characters and extra positions are skipped, never out of range.
    EXPECT_EQ(ArrangePages(design, QStringLiteral("3x")), (QList<int>{2, 0, 1, 3}));
    EXPECT_EQ(ArrangePages(design, QStringLiteral("4321111")), (QList<int>{3, 2, 1, 0}));
    // A form whose empty page 3 was removed.
    const QStringList three{QStringLiteral("Part 1"), QStringLiteral("Part 2"), QStringLiteral("Part 4")};
    EXPECT_EQ(ArrangePages(three, QStringLiteral("4213")), (QList<int>{2, 1, 0}));
    std::vector<int> order;
    for (int i : ArrangePages(design, QStringLiteral("2134")))
        order.push_back(i);
    QStringList arranged;
    for (int i : order)
        arranged.append(design[i]);
    EXPECT_EQ(PageOrderOf(arranged), QStringLiteral("2134"));
}

} // namespace
