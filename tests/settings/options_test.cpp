#include "shell/settings/options.h"
#include "shell/settings/settingsstring.h"

#include "settings_test_support.h"

#include <QFileInfo>

using namespace mk;
using mk::test::bytesOf;
using mk::test::hex;

namespace {

QByteArray settingsString(const QString& text)
{
    TByteWriter w;
    WriteSettingsString(w, text);
    return w.bytes();
}

TEST(SettingsString, KnownVectorAndRoundTrip)
{
    // 'd'^03 'a'^0B 't'^11 'a'^04 '.'^09 'd'^13 'b'^07 'f'^0C
    EXPECT_EQ(hex(settingsString(QStringLiteral("data.dbf"))),
              hex(bytesOf({8, 0x67, 0x6A, 0x65, 0x65, 0x27, 0x77, 0x65, 0x6A})));
    TByteReader r(settingsString(QStringLiteral("data.dbf")));
    EXPECT_EQ(ReadSettingsString(r), QStringLiteral("data.dbf"));
    EXPECT_TRUE(r.atEnd());
}

TEST(SettingsString, KeyRepeatsEveryTenBytes)
{
    const QByteArray b = settingsString(QStringLiteral("AAAAAAAAAAAA"));
    ASSERT_EQ(b.size(), 13);
    EXPECT_EQ(quint8(b[1]), 0x41 ^ 0x03);
    EXPECT_EQ(quint8(b[10]), 0x41 ^ 0x08);
    EXPECT_EQ(quint8(b[11]), 0x41 ^ 0x03); // text byte 10 uses key byte 0 again
    EXPECT_EQ(quint8(b[12]), 0x41 ^ 0x0B);
}

TEST(SettingsString, EmptyIsOneZeroByteAndLongTextIsCut)
{
    EXPECT_EQ(hex(settingsString(QString())), hex(bytesOf({0})));
    const QByteArray cut = settingsString(QString(300, QLatin1Char('p')));
    ASSERT_EQ(cut.size(), 256);
    EXPECT_EQ(quint8(cut[0]), 255);
    TByteReader r(cut);
    EXPECT_EQ(ReadSettingsString(r), QString(255, QLatin1Char('p')));
}

TEST(SettingsString, WindowsCharactersAreScrambledAsBytes)
{
    const QString text = QString::fromUtf8("Caf\u00e9 \u20ac");
    const QByteArray b = settingsString(text);
    ASSERT_EQ(b.size(), 7);
    EXPECT_EQ(quint8(b[4]), 0xE9 ^ 0x04);
    EXPECT_EQ(quint8(b[6]), 0x80 ^ 0x13);
    TByteReader r(b);
    EXPECT_EQ(ReadSettingsString(r), text);
}

TEST(SettingsString, StoredBytesEndAtTheFirstZero)
{
    // "ab" scrambled, then a zero byte, then junk; the length byte says 4.
    TByteReader r(bytesOf({4, 'a' ^ 0x03, 'b' ^ 0x0B, 0, 'z', 0x05, 0x00}));
    EXPECT_EQ(ReadSettingsString(r), QStringLiteral("ab"));
    qint16 next = 0;
    EXPECT_TRUE(r.readInt16(next));
    EXPECT_EQ(next, 5);
}

TEST(SettingsString, ShortInputGivesEmptyText)
{
    TByteReader none{QByteArray()};
    EXPECT_EQ(ReadSettingsString(none), QString());
    TByteReader cut(bytesOf({5, 'a' ^ 0x03, 'b' ^ 0x0B}));
    EXPECT_EQ(ReadSettingsString(cut), QString());
    EXPECT_TRUE(cut.atEnd());
}

TEST(FontRecord, Layout)
{
    TFontRecord f;
    f.Name = QStringLiteral("Tahoma");
    f.Style = TFontRecord::Italic | TFontRecord::StrikeOut;
    f.Size = 0x0102;
    TByteWriter w;
    f.write(w);
    const QByteArray& b = w.bytes();
    ASSERT_EQ(b.size(), 264);
    EXPECT_EQ(quint8(b[0]), 6);
    EXPECT_EQ(b.mid(1, 6), QByteArray("Tahoma"));
    EXPECT_EQ(b.mid(7, 249), QByteArray(249, '\0'));
    EXPECT_EQ(hex(b.mid(256)), hex(bytesOf({0x0A, 0, 0, 0, 0x02, 0x01, 0, 0})));
    TFontRecord back;
    TByteReader r(b);
    ASSERT_TRUE(back.read(r));
    EXPECT_EQ(back, f);

    const QFont qf = f.toFont();
    EXPECT_EQ(qf.family(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(qf.italic());
    EXPECT_TRUE(qf.strikeOut());
    EXPECT_FALSE(qf.bold());
    EXPECT_EQ(qf.pointSize(), 0x0102);
    EXPECT_EQ(TFontRecord::fromFont(qf), f);
}

struct UserOptionsTest : mk::test::TempDirTest
{};

QByteArray defaultFont()
{
    QByteArray b = bytesOf({5, 'A', 'r', 'i', 'a', 'l'});
    b += QByteArray(250, '\0');
    b += bytesOf({1, 0, 0, 0, 10, 0, 0, 0});
    return b;
}

TEST_F(UserOptionsTest, MissingFileGivesDefaultsAndFalse)
{
    TUserOptions o;
    o.MenusAndSpeedBars = 2;
    EXPECT_FALSE(ReadUserOptions(dir(), o));
    EXPECT_EQ(o, TUserOptions());
    EXPECT_EQ(o.LastTableFileName, QStringLiteral("data.dbf"));
    EXPECT_TRUE(o.ShowTips);
    EXPECT_TRUE(o.AutoFill);
    EXPECT_TRUE(o.ShowReminders);
    EXPECT_FALSE(o.ShowTrayIcon);
    EXPECT_EQ(o.RecordButtonFont.Name, QStringLiteral("Arial"));
    EXPECT_EQ(o.RecordButtonFont.Style, TFontRecord::Bold);
    EXPECT_EQ(o.RecordButtonFont.Size, 10);
}

TEST_F(UserOptionsTest, DefaultsWriteTheseBytes)
{
    ASSERT_TRUE(WriteUserOptions(dir(), TUserOptions()));
    QByteArray expected = bytesOf({0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    expected += bytesOf({8, 0x67, 0x6A, 0x65, 0x65, 0x27, 0x77, 0x65, 0x6A}); // "data.dbf"
    expected += bytesOf({0});                                                 // no data directory
    expected += bytesOf({0, 0, 0, 0, 0, 1});                                  // fields 13 to 16
    expected += bytesOf({0, 0, 0, 0});                                        // four reserved strings
    expected += defaultFont() + defaultFont() + defaultFont();
    expected += bytesOf({1, 1, 0});
    EXPECT_EQ(hex(read(QStringLiteral("options.dat"))), hex(expected));
}

TEST_F(UserOptionsTest, AllFieldsRoundTrip)
{
    TUserOptions o;
    o.MenusAndSpeedBars = 1;
    o.Reserved2 = -5;
    o.Reserved3 = 300;
    o.HintMessages = 1;
    o.LetterTabs = 1;
    o.InitialDataFile = 0;
    o.Reserved7 = 32767;
    o.FilterDateFormat = 2;
    o.SpeedBarLocation = 0;
    o.DeleteMode = 1;
    o.LastTableFileName = QStringLiteral("data_12.dbf");
    o.LastDataDir = QString::fromUtf8("/srv/marlocket/Jos\u00e9");
    o.HideOnStartup = 6;
    o.LetterTabsLocation = 1;
    o.StayOnTop = true;
    o.ShowTips = false;
    o.RecordButtonFont = {QStringLiteral("Verdana"), TFontRecord::Underline, 8};
    o.EditFieldFont = {QStringLiteral("Courier New"), 0, 11};
    o.MemoFieldFont = {QStringLiteral("Times New Roman"), TFontRecord::Bold | TFontRecord::Italic, 14};
    o.AutoFill = false;
    o.ShowReminders = false;
    o.ShowTrayIcon = true;
    ASSERT_TRUE(WriteUserOptions(dir(), o));
    TUserOptions back;
    ASSERT_TRUE(ReadUserOptions(dir(), back));
    EXPECT_EQ(back, o);
    EXPECT_TRUE(back.hideOnStartup());
}

TEST_F(UserOptionsTest, OlderFileWithoutTailsGetsDefaultTailAndIsWrittenWhole)
{
    copySettingsFixture(QStringLiteral("user_options_core.dat"), QStringLiteral("OPTIONS.DAT"));
    TUserOptions o;
    ASSERT_TRUE(ReadUserOptions(dir(), o));
    EXPECT_EQ(o.MenusAndSpeedBars, 2);
    EXPECT_EQ(o.Reserved2, 7);
    EXPECT_EQ(o.Reserved3, 8);
    EXPECT_EQ(o.HintMessages, 1);
    EXPECT_EQ(o.LetterTabs, 1);
    EXPECT_EQ(o.InitialDataFile, 0);
    EXPECT_EQ(o.Reserved7, 9);
    EXPECT_EQ(o.FilterDateFormat, 2);
    EXPECT_EQ(o.SpeedBarLocation, 0);
    EXPECT_EQ(o.DeleteMode, 1);
    EXPECT_EQ(o.LastTableFileName, QStringLiteral("data_3.dbf"));
    EXPECT_EQ(o.LastDataDir, QStringLiteral("C:\\MARLOCKET\\DATA"));
    EXPECT_EQ(o.HideOnStartup, 6);
    EXPECT_EQ(o.LetterTabsLocation, 1);
    EXPECT_TRUE(o.StayOnTop);
    EXPECT_FALSE(o.ShowTips);
    EXPECT_EQ(o.RecordButtonFont, TFontRecord());
    EXPECT_EQ(o.EditFieldFont, TFontRecord());
    EXPECT_EQ(o.MemoFieldFont, TFontRecord());
    EXPECT_TRUE(o.AutoFill);
    EXPECT_TRUE(o.ShowReminders);
    EXPECT_FALSE(o.ShowTrayIcon);

    // The next write replaces the upper-case file with all 26 fields.
    const QByteArray core = read(QStringLiteral("OPTIONS.DAT"));
    ASSERT_EQ(core.size(), 55);
    ASSERT_TRUE(WriteUserOptions(dir(), o));
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("options.dat"))));
    const QByteArray whole = read(QStringLiteral("OPTIONS.DAT"));
    EXPECT_EQ(whole.size(), core.size() + 4 + 3 * 264 + 3);
    EXPECT_EQ(hex(whole.left(core.size())), hex(core));
}

TEST_F(UserOptionsTest, FileWithTail1ButNotTail2)
{
    copySettingsFixture(QStringLiteral("user_options_tail1.dat"), QStringLiteral("options.dat"));
    TUserOptions o;
    ASSERT_TRUE(ReadUserOptions(dir(), o));
    EXPECT_EQ(o.LastTableFileName, QStringLiteral("data_3.dbf"));
    EXPECT_EQ(o.RecordButtonFont, (TFontRecord{QStringLiteral("Times New Roman"), TFontRecord::Italic, 12}));
    EXPECT_EQ(o.EditFieldFont,
              (TFontRecord{QStringLiteral("Courier New"), TFontRecord::Bold | TFontRecord::Underline, 9}));
    EXPECT_EQ(o.MemoFieldFont, (TFontRecord{QStringLiteral("Arial"), 0, 14}));
    EXPECT_FALSE(o.AutoFill);
    EXPECT_FALSE(o.ShowReminders);
    EXPECT_FALSE(o.ShowTrayIcon);
}

TEST_F(UserOptionsTest, FilesShorterThanTheCoreKeepDefaultsAfterTheEnd)
{
    TUserOptions full;
    full.MenusAndSpeedBars = 2;
    full.HintMessages = 1;
    full.LetterTabs = 1;
    full.ShowTips = false;
    full.MemoFieldFont.Size = 20;
    full.ShowTrayIcon = true;
    const QByteArray bytes = full.toBytes();
    // Every length from empty to one byte short of the whole file, also cuts
    // inside a value, reads without harm.
    for (qsizetype n = 0; n < bytes.size(); ++n) {
        write(QStringLiteral("options.dat"), bytes.left(n));
        TUserOptions o;
        ASSERT_TRUE(ReadUserOptions(dir(), o)) << n;
        EXPECT_FALSE(o.ShowTrayIcon) << n;
        EXPECT_EQ(o.ShowTips, n < 36) << n;
    }
    // Cut after field 5: fields 1 to 5 come from the file, the rest are the
    // defaults (the two texts are empty, as a settings string past the end).
    write(QStringLiteral("options.dat"), bytes.left(10));
    TUserOptions o;
    ASSERT_TRUE(ReadUserOptions(dir(), o));
    EXPECT_EQ(o.MenusAndSpeedBars, 2);
    EXPECT_EQ(o.HintMessages, 1);
    EXPECT_EQ(o.LetterTabs, 1);
    EXPECT_EQ(o.InitialDataFile, 1);
    EXPECT_EQ(o.SpeedBarLocation, 1);
    EXPECT_TRUE(o.LastTableFileName.isEmpty());
    EXPECT_TRUE(o.ShowTips);
    EXPECT_EQ(o.MemoFieldFont, TFontRecord());
}

TEST(LastUsedDatabase, Rules)
{
    TUserOptions o;
    o.InitialDataFile = 1;
    o.LastTableFileName = QStringLiteral("data_2.dbf");
    o.LastDataDir = QStringLiteral("/root/DATA/Anna");

    TLastDatabase last = LastUsedDatabase(o, QStringLiteral("/root"), false, 1, false);
    EXPECT_TRUE(last.reopen);
    EXPECT_EQ(last.tableFileName, QStringLiteral("data_2.dbf"));
    EXPECT_TRUE(last.takeDataDir);
    EXPECT_EQ(last.dataDir, QStringLiteral("/root/DATA/Anna"));

    // Outside the data root (the prefix test is case-sensitive): only the name.
    last = LastUsedDatabase(o, QStringLiteral("/ROOT"), false, 1, false);
    EXPECT_TRUE(last.reopen);
    EXPECT_FALSE(last.takeDataDir);

    // No access to the public directory, unless supervisor.
    EXPECT_FALSE(LastUsedDatabase(o, QStringLiteral("/root"), false, 3, true).reopen);
    EXPECT_TRUE(LastUsedDatabase(o, QStringLiteral("/root"), true, 3, true).reopen);
    EXPECT_TRUE(LastUsedDatabase(o, QStringLiteral("/root"), false, 3, false).reopen);
    EXPECT_TRUE(LastUsedDatabase(o, QStringLiteral("/root"), false, 2, true).reopen);

    TUserOptions def = o;
    def.InitialDataFile = 0;
    EXPECT_FALSE(LastUsedDatabase(def, QStringLiteral("/root"), true, 1, false).reopen);
    TUserOptions noDir = o;
    noDir.LastDataDir.clear();
    EXPECT_FALSE(LastUsedDatabase(noDir, QStringLiteral("/root"), true, 1, false).reopen);
    TUserOptions noName = o;
    noName.LastTableFileName.clear();
    EXPECT_FALSE(LastUsedDatabase(noName, QStringLiteral("/root"), true, 1, false).reopen);
}

struct MachineOptionsTest : ::testing::Test
{
    mk::test::TempDir program;
    mk::test::TempDir root;
    QString programDir() const { return program.path(); }
    QString rootDir() const { return root.path(); }
    QString inProgram() const { return program.file(QStringLiteral("options.dat")); }
    QString inRoot() const { return root.file(QStringLiteral("options.dat")); }
    void writeProgram(const QByteArray& b) { ASSERT_TRUE(program.write(QStringLiteral("options.dat"), b)); }
    void writeRoot(const QByteArray& b) { ASSERT_TRUE(root.write(QStringLiteral("options.dat"), b)); }
};

TEST_F(MachineOptionsTest, MissingFileGivesDefaults)
{
    TMachineOptions o;
    o.PasswordMode = 0;
    EXPECT_FALSE(ReadMachineOptions(programDir(), o));
    EXPECT_EQ(o, TMachineOptions::defaults(programDir()));
    EXPECT_EQ(o.PasswordMode, 1);
    EXPECT_EQ(o.PublicAccessMode, 0);
    EXPECT_EQ(o.UserCount, 0);
    EXPECT_TRUE(o.SupervisorPassword.isEmpty());
}

TEST_F(MachineOptionsTest, FixtureWithUnreachableDataRoot)
{
    ASSERT_TRUE(program.copyFixture(QStringLiteral("settings/machine_options.dat"), QStringLiteral("options.dat")));
    TMachineOptions o;
    ASSERT_TRUE(ReadMachineOptions(programDir(), o));
    EXPECT_EQ(o.PasswordMode, 0);
    EXPECT_EQ(o.PublicAccessMode, 2);
    EXPECT_EQ(o.UserCount, 1);
    EXPECT_EQ(o.SupervisorPassword, QStringLiteral("s3cret"));
    EXPECT_EQ(o.DataRoot, programDir()); // "C:\SHARE" cannot be entered here
}

TEST_F(MachineOptionsTest, Layout)
{
    TMachineOptions o = TMachineOptions::defaults(QStringLiteral("ab"));
    o.SupervisorPassword = QStringLiteral("x");
    EXPECT_EQ(hex(o.toBytes()), hex(bytesOf({1, 0, 0, 0, 2, 'a' ^ 3, 'b' ^ 0x0B, 0, 0, 1, 'x' ^ 3})));
}

TEST_F(MachineOptionsTest, DataRootCopyWinsExceptForTheDataRoot)
{
    TMachineOptions first = TMachineOptions::defaults(programDir());
    first.DataRoot = rootDir();
    first.SupervisorPassword = QStringLiteral("old");
    writeProgram(first.toBytes());
    TMachineOptions second;
    second.PasswordMode = 0;
    second.PublicAccessMode = 3;
    second.DataRoot = QStringLiteral("/somewhere/else");
    second.UserCount = 1;
    second.SupervisorPassword = QStringLiteral("new");
    writeRoot(second.toBytes());

    TMachineOptions o;
    ASSERT_TRUE(ReadMachineOptions(programDir(), o));
    EXPECT_EQ(o.PasswordMode, 0);
    EXPECT_EQ(o.PublicAccessMode, 3);
    EXPECT_EQ(o.UserCount, 1);
    EXPECT_EQ(o.SupervisorPassword, QStringLiteral("new"));
    EXPECT_EQ(o.DataRoot, rootDir());

    // Shutdown writes the same five values to both copies.
    ASSERT_TRUE(WriteMachineOptions(programDir(), o));
    EXPECT_EQ(hex(program.read(QStringLiteral("options.dat"))), hex(o.toBytes()));
    EXPECT_EQ(hex(root.read(QStringLiteral("options.dat"))), hex(o.toBytes()));
    TMachineOptions again;
    ASSERT_TRUE(ReadMachineOptions(programDir(), again));
    EXPECT_EQ(again, o);
}

TEST_F(MachineOptionsTest, ShortDataRootCopyKeepsTheFirstValuesItLacks)
{
    TMachineOptions first = TMachineOptions::defaults(programDir());
    first.DataRoot = rootDir();
    first.UserCount = 1;
    first.SupervisorPassword = QStringLiteral("pw");
    writeProgram(first.toBytes());
    writeRoot(bytesOf({0, 0, 2, 0})); // only the first two fields
    TMachineOptions o;
    ASSERT_TRUE(ReadMachineOptions(programDir(), o));
    EXPECT_EQ(o.PasswordMode, 0);
    EXPECT_EQ(o.PublicAccessMode, 2);
    EXPECT_EQ(o.DataRoot, rootDir());
    EXPECT_EQ(o.UserCount, 1);
    EXPECT_TRUE(o.SupervisorPassword.isEmpty()); // a settings string past the end is empty
}

TEST_F(MachineOptionsTest, WithoutCopyInDataRootOnlyTheProgramFileCounts)
{
    TMachineOptions first = TMachineOptions::defaults(programDir());
    first.DataRoot = rootDir();
    first.PublicAccessMode = 1;
    writeProgram(first.toBytes());
    TMachineOptions o;
    ASSERT_TRUE(ReadMachineOptions(programDir(), o));
    EXPECT_EQ(o, first);
}

TEST_F(MachineOptionsTest, EmptyOrTruncatedDataRootFallsBackToProgramDir)
{
    writeProgram(bytesOf({0, 0, 1, 0}));
    TMachineOptions o;
    ASSERT_TRUE(ReadMachineOptions(programDir(), o));
    EXPECT_EQ(o.PasswordMode, 0);
    EXPECT_EQ(o.PublicAccessMode, 1);
    EXPECT_EQ(o.DataRoot, programDir());
    // The file is written only once when the data root is the program dir.
    ASSERT_TRUE(WriteMachineOptions(programDir(), o));
    EXPECT_FALSE(QFileInfo::exists(inRoot()));
}

TEST_F(MachineOptionsTest, WriteErrorsAreReported)
{
    TMachineOptions o = TMachineOptions::defaults(programDir());
    o.DataRoot = QDir(rootDir()).filePath(QStringLiteral("missing/dir"));
    EXPECT_FALSE(WriteMachineOptions(programDir(), o));
    EXPECT_TRUE(QFileInfo::exists(inProgram())); // the program copy is still written
}

} // namespace
