#include "platform/dates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(DateValues, EpochAndKnownDays)
{
    EXPECT_EQ(mk::toDateValue(QDate(1899, 12, 30)), 0.0);
    EXPECT_EQ(mk::toDateValue(QDate(1899, 12, 31)), 1.0);
    EXPECT_EQ(mk::toDateValue(QDate(1900, 1, 1)), 2.0);
    EXPECT_EQ(mk::toDateValue(QDate(2000, 1, 1)), 36526.0);
    EXPECT_EQ(mk::toDateValue(QDate(1899, 12, 29)), -1.0);
    EXPECT_EQ(mk::toDateValue(QDate()), 0.0);
    EXPECT_EQ(mk::dateFromValue(36526.0), QDate(2000, 1, 1));
    EXPECT_EQ(mk::dateFromValue(2.0), QDate(1900, 1, 1));
}

TEST(DateValues, FractionIsTheTimeOfDay)
{
    const QDateTime noon(QDate(2000, 1, 1), QTime(12, 0));
    EXPECT_DOUBLE_EQ(mk::toDateTimeValue(noon), 36526.5);
    EXPECT_EQ(mk::dateTimeFromValue(36526.25), QDateTime(QDate(2000, 1, 1), QTime(6, 0)));
    // Before the epoch the fraction still counts forward from midnight.
    EXPECT_EQ(mk::dateTimeFromValue(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_DOUBLE_EQ(mk::toDateTimeValue(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
    // A fraction a hair below the next day rounds to its midnight.
    EXPECT_EQ(mk::dateTimeFromValue(36526.0 + 0.9999999999), QDateTime(QDate(2000, 1, 2), QTime(0, 0)));
    const QDateTime t(QDate(2026, 12, 11), QTime(13, 45, 30, 250));
    EXPECT_EQ(mk::dateTimeFromValue(mk::toDateTimeValue(t)), t);
}

TEST(DateValues, ImpossibleValuesGiveInvalidDates)
{
    EXPECT_FALSE(mk::dateFromValue(std::numeric_limits<double>::quiet_NaN()).isValid());
    EXPECT_FALSE(mk::dateFromValue(std::numeric_limits<double>::infinity()).isValid());
    EXPECT_FALSE(mk::dateFromValue(1e300).isValid());
    EXPECT_FALSE(mk::dateTimeFromValue(-1e300).isValid());
}

TEST(DateFormats, CodesAndOrders)
{
    EXPECT_EQ(mk::dateFormatForCode(0), QStringLiteral("mm/dd/yyyy"));
    EXPECT_EQ(mk::dateFormatForCode(1), QStringLiteral("dd/mm/yyyy"));
    EXPECT_EQ(mk::dateFormatForCode(2), QStringLiteral("yyyy/mm/dd"));
    EXPECT_EQ(mk::dateFormatForCode(3), QStringLiteral("yyyy"));
    EXPECT_EQ(mk::dateFormatForCode(7), QStringLiteral("mm/dd/yyyy"));
    EXPECT_EQ(mk::codeForDateFormat(QStringLiteral("dd/mm/yy")), 1);
    EXPECT_EQ(mk::codeForDateFormat(QStringLiteral("YY/MM/DD")), 2);
    EXPECT_EQ(mk::codeForDateFormat(QStringLiteral("yyyy")), 3);
    EXPECT_FALSE(mk::codeForDateFormat(QStringLiteral("d. mmmm yyyy")).has_value());
    EXPECT_EQ(mk::dateOrderOf(QStringLiteral("dd/mm/yyyy")), mk::DateOrder::DayMonthYear);
    EXPECT_EQ(mk::dateOrderOf(QStringLiteral("yy/mm/dd")), mk::DateOrder::YearMonthDay);
    EXPECT_EQ(mk::dateOrderOf(QStringLiteral("m/d/yy")), mk::DateOrder::MonthDayYear);
    EXPECT_EQ(mk::filterDateFormat(1), QStringLiteral("dd/mm/yyyy"));
    EXPECT_EQ(mk::filterDateOrder(2), mk::DateOrder::YearMonthDay);
    EXPECT_EQ(mk::filterDateOrder(-4), mk::DateOrder::MonthDayYear);
}

TEST(DateFormats, Formatting)
{
    const QDate d(2001, 2, 3);
    EXPECT_EQ(mk::formatDate(d, QStringLiteral("mm/dd/yyyy"), QLatin1Char('/')), QStringLiteral("02/03/2001"));
    EXPECT_EQ(mk::formatDate(d, QStringLiteral("dd/mm/yyyy"), QLatin1Char('.')), QStringLiteral("03.02.2001"));
    EXPECT_EQ(mk::formatDate(d, QStringLiteral("yyyy/mm/dd"), QLatin1Char('-')), QStringLiteral("2001-02-03"));
    EXPECT_EQ(mk::formatDate(d, QStringLiteral("yyyy"), QLatin1Char('/')), QStringLiteral("2001"));
    EXPECT_EQ(mk::formatDate(d, QStringLiteral("m/d/yy"), QLatin1Char('/')), QStringLiteral("2/3/01"));
    EXPECT_EQ(mk::formatDate(QDate(987, 6, 5), QStringLiteral("yyyy/mm/dd"), QLatin1Char('/')),
              QStringLiteral("0987/06/05"));
    EXPECT_EQ(mk::formatDate(QDate(), QStringLiteral("yyyy"), QLatin1Char('/')), QString());
    mk::Locale l;
    l.shortDateFormat = QStringLiteral("dd/mm/yyyy");
    l.dateSeparator = QLatin1Char('.');
    EXPECT_EQ(mk::formatShortDate(d, l), QStringLiteral("03.02.2001"));
}

TEST(DateParsing, OrdersAndSeparators)
{
    using mk::DateOrder;
    EXPECT_EQ(mk::parseDate(QStringLiteral("12/31/1999"), DateOrder::MonthDayYear, QLatin1Char('/')),
              QDate(1999, 12, 31));
    EXPECT_EQ(mk::parseDate(QStringLiteral("31.12.1999"), DateOrder::DayMonthYear, QLatin1Char('.')),
              QDate(1999, 12, 31));
    EXPECT_EQ(mk::parseDate(QStringLiteral("1999-12-31"), DateOrder::YearMonthDay, QLatin1Char('/')),
              QDate(1999, 12, 31));
    EXPECT_EQ(mk::parseDate(QStringLiteral(" 1/5/1998 "), DateOrder::MonthDayYear, QLatin1Char('/')),
              QDate(1998, 1, 5));
    EXPECT_EQ(mk::parseDate(QStringLiteral("01/05/1998"), DateOrder::DayMonthYear, QLatin1Char('/')),
              QDate(1998, 5, 1));
    EXPECT_EQ(mk::parseDate(QStringLiteral("2/29/2000"), DateOrder::MonthDayYear, QLatin1Char('/')),
              QDate(2000, 2, 29));
    // Two numbers: day and month of the reference year.
    EXPECT_EQ(mk::parseDate(QStringLiteral("3/4"), DateOrder::MonthDayYear, QLatin1Char('/'), 2010), QDate(2010, 3, 4));
}

TEST(DateParsing, BadDatesAreRejected)
{
    using mk::DateOrder;
    for (const char* bad :
         {"", "   ", "13/01/2000", "02/30/2000", "2/29/1900", "00/10/2000", "1_/05/1999", "12/31/19999", "123/1/2000",
          "12//31/1999", "12/31/", "/12/31", "12/31/1999/1", "12/31/0000", "abc", "12 31 1999x", "1"}) {
        EXPECT_FALSE(mk::parseDate(QString::fromUtf8(bad), DateOrder::MonthDayYear, QLatin1Char('/')).has_value())
                << bad;
    }
}

TEST(DateParsing, TwoDigitYearWindow)
{
    EXPECT_EQ(mk::expandTwoDigitYear(76, 2026), 1976);
    EXPECT_EQ(mk::expandTwoDigitYear(75, 2026), 2075);
    EXPECT_EQ(mk::expandTwoDigitYear(0, 2026), 2000);
    EXPECT_EQ(mk::expandTwoDigitYear(99, 2026), 1999);
    EXPECT_EQ(mk::expandTwoDigitYear(49, 2000), 2049);
    EXPECT_EQ(mk::expandTwoDigitYear(50, 2000), 1950);
    EXPECT_EQ(mk::parseDate(QStringLiteral("12/31/99"), mk::DateOrder::MonthDayYear, QLatin1Char('/'), 2026),
              QDate(1999, 12, 31));
    EXPECT_EQ(mk::parseDate(QStringLiteral("05/01/02"), mk::DateOrder::YearMonthDay, QLatin1Char('/'), 2026),
              QDate(2005, 1, 2));
    // Three- and four-digit years are taken as written.
    EXPECT_EQ(mk::parseDate(QStringLiteral("1/1/0099"), mk::DateOrder::MonthDayYear, QLatin1Char('/'), 2026),
              QDate(99, 1, 1));
}

TEST(DateParsing, FieldFormats)
{
    const QChar sep = QLatin1Char('/');
    EXPECT_EQ(mk::parseDateInFormat(QStringLiteral("02/03/2001"), QStringLiteral("mm/dd/yyyy"), sep),
              QDate(2001, 2, 3));
    EXPECT_EQ(mk::parseDateInFormat(QStringLiteral("02/03/2001"), QStringLiteral("dd/mm/yyyy"), sep),
              QDate(2001, 3, 2));
    EXPECT_EQ(mk::parseDateInFormat(QStringLiteral("2001/02/03"), QStringLiteral("yyyy/mm/dd"), sep),
              QDate(2001, 2, 3));
    EXPECT_EQ(mk::parseDateInFormat(QStringLiteral("2001"), QStringLiteral("yyyy"), sep), QDate(2001, 1, 1));
    EXPECT_EQ(mk::parseDateInFormat(QStringLiteral("98"), QStringLiteral("yyyy"), sep, 2026), QDate(1998, 1, 1));
    EXPECT_FALSE(mk::parseDateInFormat(QStringLiteral("20x1"), QStringLiteral("yyyy"), sep).has_value());
    EXPECT_EQ(mk::parseDateInFormat(QStringLiteral("0"), QStringLiteral("yyyy"), sep, 2026), QDate(2000, 1, 1));
    EXPECT_FALSE(mk::parseDateInFormat(QStringLiteral("12345"), QStringLiteral("yyyy"), sep).has_value());
    // Formatting and parsing in every field format come back to the same date.
    const QDate d(1987, 11, 23);
    for (int code = 0; code < 3; ++code) {
        const QString f = mk::dateFormatForCode(code);
        EXPECT_EQ(mk::parseDateInFormat(mk::formatDate(d, f, QLatin1Char('-')), f, QLatin1Char('-')), d) << code;
    }
}

} // namespace
