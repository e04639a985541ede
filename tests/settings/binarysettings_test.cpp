#include "shell/settings/binarysettings.h"

#include "settings_test_support.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace mk;
using mk::test::bytesOf;
using mk::test::hex;

namespace {

struct BinarySettingsTest : mk::test::TempDirTest
{};

TEST_F(BinarySettingsTest, WindowPlacementLayoutAndKinds)
{
    EXPECT_FALSE(ReadWindowPlacement(dir()).has_value());

    const TWindowPlacement p{1, -5, 800, 600, 300};
    ASSERT_TRUE(WriteWindowPlacement(dir(), p, false));
    EXPECT_EQ(hex(read(QStringLiteral("wnd.dat"))),
              hex(bytesOf({1, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 0x20, 3, 0, 0, 0x58, 2, 0, 0, 0x2C, 1, 0, 0})));
    std::optional<TWindowPlacement> back = ReadWindowPlacement(dir());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, p);
    EXPECT_EQ(back->kind(), TWindowPlacement::Kind::Stored);

    // A maximized window writes 20 zero bytes and starts maximized next time.
    ASSERT_TRUE(WriteWindowPlacement(dir(), p, true));
    EXPECT_EQ(read(QStringLiteral("wnd.dat")), QByteArray(20, '\0'));
    back = ReadWindowPlacement(dir());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->kind(), TWindowPlacement::Kind::Maximized);

    EXPECT_EQ((TWindowPlacement{0, 0, 800, 0, 300}).kind(), TWindowPlacement::Kind::Design);
    EXPECT_EQ((TWindowPlacement{0, 0, 800, 600, -1}).kind(), TWindowPlacement::Kind::Design);

    write(QStringLiteral("wnd.dat"), QByteArray(19, '\1'));
    EXPECT_FALSE(ReadWindowPlacement(dir()).has_value());
}

TEST(ColorScheme, PaletteAndBuiltInScheme)
{
    EXPECT_EQ(PaletteColorValue(0), 0xFFFFFFu);
    EXPECT_EQ(PaletteColorValue(1), 0xC0C0C0u);
    EXPECT_EQ(PaletteColorValue(5), 0x0000FFu);  // red in the low byte
    EXPECT_EQ(PaletteColorValue(6), 0xFF0000u);  // blue in the high byte
    EXPECT_EQ(PaletteColorValue(9), 0x008080u);  // olive
    EXPECT_EQ(PaletteColorValue(12), 0x800000u); // navy
    EXPECT_EQ(PaletteColorValue(15), 0u);
    EXPECT_EQ(PaletteColor(2), QColor(0, 255, 255));
    EXPECT_EQ(ColorValue(QColor(1, 2, 3)), 0x030201u);
    EXPECT_EQ(ColorFromValue(0x030201u), QColor(1, 2, 3));

    const TColorScheme builtIn = BuiltInColorScheme();
    const TColorScheme expected = {6, 1,  0, 14, 6, 1,  14, 1, 0, 14, 6, 1, 1, 1,
                                   1, 15, 0, 15, 0, 12, 1,  6, 5, 0,  1, 1, 1};
    EXPECT_EQ(builtIn, expected);
    EXPECT_EQ(ColorElementText(0), QStringLiteral("TofC - Record Button Text"));
    EXPECT_EQ(ColorElementText(21), QStringLiteral("DW   - Currency Text (>0)"));
    EXPECT_EQ(ColorElementText(26), QStringLiteral("DW   - Window Background"));
    EXPECT_TRUE(ColorElementText(27).isEmpty());
}

TEST_F(BinarySettingsTest, ColorSchemeFile)
{
    EXPECT_EQ(ReadColorScheme(dir()), BuiltInColorScheme());
    TColorScheme scheme{};
    for (int k = 0; k < ColorElementCount; ++k)
        scheme[size_t(k)] = quint8(15 - k % 16);
    ASSERT_TRUE(WriteColorScheme(dir(), scheme));
    const QByteArray bytes = read(QStringLiteral("color.lst"));
    ASSERT_EQ(bytes.size(), 27);
    EXPECT_EQ(quint8(bytes[0]), 15);
    EXPECT_EQ(quint8(bytes[26]), 5);
    EXPECT_EQ(ReadColorScheme(dir()), scheme);

    // Damage: a short file is not used; a byte that is no palette index keeps
    // the built-in colour of its element.
    write(QStringLiteral("color.lst"), bytes.left(26));
    EXPECT_EQ(ReadColorScheme(dir()), BuiltInColorScheme());
    QByteArray bad = bytes;
    bad[3] = char(16);
    bad[4] = char(0xFF);
    write(QStringLiteral("color.lst"), bad);
    TColorScheme read = ReadColorScheme(dir());
    EXPECT_EQ(read[3], BuiltInColorScheme()[3]);
    EXPECT_EQ(read[4], BuiltInColorScheme()[4]);
    EXPECT_EQ(read[5], scheme[5]);
}

QByteArray doubleBytes(double d)
{
    quint64 bits = 0;
    std::memcpy(&bits, &d, 8);
    QByteArray b;
    for (int i = 0; i < 8; ++i)
        b.append(char((bits >> (8 * i)) & 0xFF));
    return b;
}

TEST_F(BinarySettingsTest, ReminderDates)
{
    EXPECT_EQ(ReadReminderDates(dir()), TReminderDates());

    const TReminderDates dates{45000.5, 45001.25, 44990.0, 44995.75};
    ASSERT_TRUE(WriteReminderDates(dir(), dates, 46000.0));
    const QByteArray bytes = read(QStringLiteral("remind.dat"));
    EXPECT_EQ(hex(bytes),
              hex(doubleBytes(45000.5) + doubleBytes(45001.25) + doubleBytes(44990.0) + doubleBytes(44995.75)));
    // 1.5 as an IEEE double, little-endian.
    EXPECT_EQ(hex(doubleBytes(1.5)), hex(bytesOf({0, 0, 0, 0, 0, 0, 0xF8, 0x3F})));
    EXPECT_EQ(ReadReminderDates(dir()), dates);

    // Never (0) in the backup or maintenance date becomes now; the reminder
    // dates stay 0.
    ASSERT_TRUE(WriteReminderDates(dir(), TReminderDates(), 46000.5));
    EXPECT_EQ(ReadReminderDates(dir()), (TReminderDates{46000.5, 0, 46000.5, 0}));

    // A short file reads what it holds; values that are not numbers read as 0.
    write(QStringLiteral("remind.dat"), doubleBytes(12.0) + doubleBytes(std::nan("")) + bytesOf({1, 2}));
    EXPECT_EQ(ReadReminderDates(dir()), (TReminderDates{12.0, 0, 0, 0}));
}

} // namespace
