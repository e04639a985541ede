#include "platform/locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

mk::Locale commaDecimal()
{
    mk::Locale l;
    l.decimalSeparator = QLatin1Char(',');
    l.thousandsSeparator = QLatin1Char('.');
    l.dateSeparator = QLatin1Char('.');
    l.shortDateFormat = QStringLiteral("dd/mm/yyyy");
    return l;
}

TEST(PictureFormat, TableOfCases)
{
    struct Case
    {
        double value;
        const char* picture;
        const char* expected;
    };
    const Case cases[] = {
            {1234.5, ",0", "1,235"},
            {1234.4, ",0", "1,234"},
            {0, ",0", "0"},
            {0, ",0.00", "0.00"},
            {1234.5, ",0.00", "1,234.50"},
            {-1234.5, ",0.00", "-1,234.50"},
            {-12, ",0.00", "-12.00"},
            {999.995, ",0.00", "1,000.00"},
            {1.005, "0.00", "1.01"},
            {2.675, "0.00", "2.68"},
            {-0.004, "0.00", "0.00"}, // rounds to zero: no sign
            {-0.005, "0.00", "-0.01"},
            {0.5, "0", "1"},
            {-0.5, "0", "-1"},
            {1234567.891, "#,##0.00", "1,234,567.89"},
            {12, "#,##0.00", "12.00"},
            {0.25, "#.##", ".25"},
            {0, "#", ""},
            {5, "0.##", "5"},
            {5.1, "0.##", "5.1"},
            {7, "000", "007"},
            {1234567, "000-0000", "123-4567"},
            {1e15, ",0", "1,000,000,000,000,000"},
            {123456789012.0, ",0.00", "123,456,789,012.00"},
            {1e20, ",0", "100,000,000,000,000,000,000"},
            {0.1 + 0.2, "0.0000000000", "0.3000000000"},
            {12.5, "$,0.00", "$12.50"},
            {12.5, "0.0 \"kg\"", "12.5 kg"},
            {-3, "0;(0)", "(3)"},
            {0, "0;(0);\"nil\"", "nil"},
            {8.5, "", "8.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mk::formatPicture(c.value, QString::fromUtf8(c.picture), mk::Locale::english()),
                  QString::fromUtf8(c.expected))
                << c.value << " with " << c.picture;
}

TEST(PictureFormat, CommaDecimalLocale)
{
    const mk::Locale l = commaDecimal();
    EXPECT_EQ(mk::formatPicture(1234.5, QStringLiteral(",0.00"), l), QStringLiteral("1.234,50"));
    EXPECT_EQ(mk::formatPicture(-1234567, QStringLiteral(",0"), l), QStringLiteral("-1.234.567"));
    EXPECT_EQ(mk::formatNumber(0.5, 2, l), QStringLiteral("0,50"));
    EXPECT_EQ(mk::formatFixed(1234.5, 1, l), QStringLiteral("1234,5"));
}

TEST(PictureFormat, CurrentLocaleIsUsedByDefault)
{
    mk::ScopedLocale use(commaDecimal());
    EXPECT_EQ(mk::formatNumber(1234.5, 2), QStringLiteral("1.234,50"));
}

TEST(PictureFormat, NonFiniteValues)
{
    EXPECT_EQ(mk::formatPicture(std::numeric_limits<double>::quiet_NaN(), QStringLiteral("0")), QStringLiteral("NAN"));
    EXPECT_EQ(mk::formatPicture(-std::numeric_limits<double>::infinity(), QStringLiteral("0")), QStringLiteral("-INF"));
}

TEST(NumberFormats, ThousandsAndFixed)
{
    const mk::Locale en = mk::Locale::english();
    EXPECT_EQ(mk::formatNumber(1234.5, 2, en), QStringLiteral("1,234.50"));
    EXPECT_EQ(mk::formatNumber(1234.5, 0, en), QStringLiteral("1,235"));
    EXPECT_EQ(mk::formatNumber(-0.4, 0, en), QStringLiteral("0"));
    EXPECT_EQ(mk::formatFixed(1234.5, 2, en), QStringLiteral("1234.50"));
    EXPECT_EQ(mk::formatFixed(0, 1, en), QStringLiteral("0.0"));
}

TEST(GeneralFormat, ShortestNaturalForm)
{
    struct Case
    {
        double value;
        const char* expected;
    };
    const Case cases[] = {{1, "1"},
                          {8.5, "8.5"},
                          {11, "11"},
                          {0, "0"},
                          {-2.25, "-2.25"},
                          {0.1 + 0.2, "0.3"},
                          {8.5 * 2.54 / 2.54, "8.5"},
                          {21.0 / 2.54 * 2.54, "21"},
                          {29.7 / 2.54 * 2.54, "29.7"},
                          {0.00001, "0.00001"},
                          {123456789012345.0, "123456789012345"},
                          {1e15, "1E15"},
                          {1e20, "1E20"},
                          {1.5e-6, "1.5E-6"},
                          {-1.5e-6, "-1.5E-6"},
                          {1.0 / 3.0, "0.333333333333333"}};
    for (const Case& c : cases)
        EXPECT_EQ(mk::formatGeneral(c.value), QString::fromUtf8(c.expected)) << c.value;
    EXPECT_EQ(mk::formatGeneral(8.5, QLatin1Char(',')), QStringLiteral("8,5"));
}

TEST(GeneralFormat, RoundTripsThroughTheReader)
{
    for (double v : {0.1, 8.5, 11.0, 1234.5678, 0.00025, 1e-7, 3.5e18}) {
        const auto back = mk::parseLocaleNumber(mk::formatGeneral(v), mk::Locale::english());
        ASSERT_TRUE(back.has_value()) << v;
        EXPECT_NEAR(*back, v, std::fabs(v) * 1e-14) << v;
    }
}

TEST(ReadLooseNumber, DisplayedValues)
{
    const mk::Locale en = mk::Locale::english();
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("1,234.50"), en), 1234.5);
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("-5.00"), en), 5.0);
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("no digits"), en), 0.0);
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QString(), en), 0.0);
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("$ 12.5 USD"), en), 12.5);
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("(7)"), en), 7.0);
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("1.2.3"), en), 0.0); // two decimal points: not a number
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral(".5"), en), 0.5);
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("1.234,50"), commaDecimal()), 1234.5);
    EXPECT_FALSE(mk::parseLooseNumber(QStringLiteral("1.2.3"), en).has_value());
    EXPECT_EQ(mk::parseLooseNumber(QStringLiteral("abc"), en), 0.0);
}

TEST(ReadLooseNumber, SameSeparatorsKeepOnlyTheRightmost)
{
    mk::Locale same;
    same.decimalSeparator = QLatin1Char('.');
    same.thousandsSeparator = QLatin1Char('.');
    EXPECT_EQ(mk::keepDigitsAndDecimal(QStringLiteral("1.234.567.5"), same), QStringLiteral("1234567.5"));
    EXPECT_DOUBLE_EQ(mk::ReadLooseNumber(QStringLiteral("1.234.5"), same), 1234.5);
}

TEST(NumberReaders, StrictLocaleParse)
{
    const mk::Locale en = mk::Locale::english();
    EXPECT_EQ(mk::parseLocaleNumber(QStringLiteral(" -12.5 "), en), -12.5);
    EXPECT_EQ(mk::parseLocaleNumber(QStringLiteral("+3"), en), 3.0);
    EXPECT_EQ(mk::parseLocaleNumber(QStringLiteral("1e3"), en), 1000.0);
    EXPECT_EQ(mk::parseLocaleNumber(QStringLiteral("5."), en), 5.0);
    for (const char* bad : {"", "  ", "1,200", "abc", "1.2.3", "--1", "1-", "inf", "nan", "1e", ".", "12 3"})
        EXPECT_FALSE(mk::parseLocaleNumber(QString::fromUtf8(bad), en).has_value()) << bad;
    EXPECT_EQ(mk::parseLocaleNumber(QStringLiteral("12,5"), commaDecimal()), 12.5);
    EXPECT_FALSE(mk::parseLocaleNumber(QStringLiteral("12.5"), commaDecimal()).has_value());
}

TEST(NumberReaders, TolerantReaderDropsThousandsSeparators)
{
    const mk::Locale en = mk::Locale::english();
    EXPECT_EQ(mk::readNumberTolerant(QStringLiteral("1,200"), en), 1200.0);
    EXPECT_EQ(mk::readNumberTolerant(QStringLiteral("-1,234,567.25"), en), -1234567.25);
    EXPECT_FALSE(mk::readNumberTolerant(QStringLiteral("Bordeaux"), en).has_value());
    EXPECT_FALSE(mk::readNumberTolerant(QString(), en).has_value());
    EXPECT_EQ(mk::readNumberTolerant(QStringLiteral("1.200,5"), commaDecimal()), 1200.5);
}

TEST(NormaliseNumberText, LastSeparatorBecomesTheDecimal)
{
    struct Case
    {
        const char* text;
        const char* withPoint;
        const char* withComma;
    };
    const Case cases[] = {{"8.5", "8.5", "8,5"},
                          {"8,5", "8.5", "8,5"},
                          {"11", "11", "11"},
                          {".5", "0.5", "0,5"},
                          {"1.234,5", "1234.5", "1234,5"},
                          {"1,234.5", "1234.5", "1234,5"},
                          {"-2.54 cm", "2.54", "2,54"},
                          {"", "", ""},
                          {"abc", "", ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(mk::normaliseNumberText(QString::fromUtf8(c.text), mk::Locale::english()),
                  QString::fromUtf8(c.withPoint))
                << c.text;
        EXPECT_EQ(mk::normaliseNumberText(QString::fromUtf8(c.text), commaDecimal()), QString::fromUtf8(c.withComma))
                << c.text;
    }
}

TEST(LocaleOverride, ScopedLocaleRestores)
{
    const mk::Locale before = mk::Locale::current();
    {
        mk::ScopedLocale use(commaDecimal());
        EXPECT_EQ(mk::Locale::current().decimalSeparator, QLatin1Char(','));
        {
            mk::ScopedLocale inner(mk::Locale::english());
            EXPECT_EQ(mk::Locale::current().decimalSeparator, QLatin1Char('.'));
        }
        EXPECT_EQ(mk::Locale::current().decimalSeparator, QLatin1Char(','));
    }
    EXPECT_EQ(mk::Locale::current(), before);
}

TEST(LocaleOverride, SystemConventionsAreComplete)
{
    const mk::Locale sys = mk::Locale::fromSystem();
    EXPECT_FALSE(sys.decimalSeparator.isNull());
    EXPECT_FALSE(sys.thousandsSeparator.isNull());
    EXPECT_TRUE(sys.shortDateFormat.contains(QLatin1Char('d')));
    EXPECT_TRUE(sys.shortDateFormat.contains(QLatin1Char('m')));
    EXPECT_TRUE(sys.shortDateFormat.contains(QLatin1Char('y')));
    EXPECT_FALSE(sys.longTimeFormat.isEmpty());
}

TEST(LongTime, UsesTheLocaleFormat)
{
    mk::Locale l;
    l.longTimeFormat = QStringLiteral("h:mm:ss AP");
    EXPECT_EQ(mk::formatLongTime(QTime(14, 5, 9), l), QStringLiteral("2:05:09 PM"));
    EXPECT_EQ(mk::formatLongTime(QTime(14, 5, 9), mk::Locale::english()), QStringLiteral("14:05:09"));
}

} // namespace
