#include "platform/dates.h"

#include <QLocale>

#include <cmath>

namespace mk {

namespace {

constexpr qint64 kMsPerDay = 86400000;
constexpr double kMaxAbsValue = 1e7; // far beyond year 9999 (2958465)

qint64 epochJulianDay()
{
    static const qint64 jd = QDate(1899, 12, 30).toJulianDay();
    return jd;
}

// Splits a value into whole days from the epoch and milliseconds of the day.
bool splitValue(DateTimeValue value, qint64* days, qint64* ms)
{
    if (!std::isfinite(value) || std::fabs(value) > kMaxAbsValue)
        return false;
    const double whole = std::trunc(value);
    qint64 d = qint64(whole);
    qint64 m = std::llround(std::fabs(value - whole) * double(kMsPerDay));
    if (m >= kMsPerDay) {
        m -= kMsPerDay;
        d += value < 0 ? -1 : 1;
    }
    *days = d;
    *ms = m;
    return true;
}

} // namespace

DateTimeValue toDateValue(const QDate& date)
{
    if (!date.isValid())
        return 0.0;
    return double(date.toJulianDay() - epochJulianDay());
}

DateTimeValue toDateTimeValue(const QDateTime& value)
{
    if (!value.isValid())
        return 0.0;
    const double days = toDateValue(value.date());
    const double fraction = double(value.time().msecsSinceStartOfDay()) / double(kMsPerDay);
    return days < 0 ? days - fraction : days + fraction;
}

QDate dateFromValue(DateTimeValue value)
{
    qint64 days = 0, ms = 0;
    if (!splitValue(value, &days, &ms))
        return {};
    return QDate::fromJulianDay(epochJulianDay() + days);
}

QTime timeFromValue(DateTimeValue value)
{
    qint64 days = 0, ms = 0;
    if (!splitValue(value, &days, &ms))
        return {};
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

QDateTime dateTimeFromValue(DateTimeValue value)
{
    const QDate date = dateFromValue(value);
    if (!date.isValid())
        return {};
    return QDateTime(date, timeFromValue(value));
}

DateTimeValue todayValue()
{
    return toDateValue(QDate::currentDate());
}

DateTimeValue nowValue()
{
    return toDateTimeValue(QDateTime::currentDateTime());
}

QString dateFormatForCode(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("dd/mm/yyyy");
    case 2:
        return QStringLiteral("yyyy/mm/dd");
    case 3:
        return QStringLiteral("yyyy");
    default:
        return QStringLiteral("mm/dd/yyyy");
    }
}

std::optional<int> codeForDateFormat(const QString& format)
{
    const QString f = format.toLower();
    if (f == QLatin1String("mm/dd/yyyy") || f == QLatin1String("mm/dd/yy"))
        return 0;
    if (f == QLatin1String("dd/mm/yyyy") || f == QLatin1String("dd/mm/yy"))
        return 1;
    if (f == QLatin1String("yyyy/mm/dd") || f == QLatin1String("yy/mm/dd"))
        return 2;
    if (f == QLatin1String("yyyy"))
        return 3;
    return std::nullopt;
}

DateOrder dateOrderOf(const QString& format)
{
    for (const QChar c : format) {
        const QChar l = c.toLower();
        if (l == QLatin1Char('d'))
            return DateOrder::DayMonthYear;
        if (l == QLatin1Char('y'))
            return DateOrder::YearMonthDay;
        if (l == QLatin1Char('m'))
            return DateOrder::MonthDayYear;
    }
    return DateOrder::MonthDayYear;
}

bool isYearOnlyFormat(const QString& format)
{
    if (format.isEmpty())
        return false;
    for (const QChar c : format) {
        if (c.toLower() != QLatin1Char('y'))
            return false;
    }
    return true;
}

DateOrder filterDateOrder(int code)
{
    switch (code) {
    case 1:
        return DateOrder::DayMonthYear;
    case 2:
        return DateOrder::YearMonthDay;
    default:
        return DateOrder::MonthDayYear;
    }
}

QString filterDateFormat(int code)
{
    switch (filterDateOrder(code)) {
    case DateOrder::DayMonthYear:
        return QStringLiteral("dd/mm/yyyy");
    case DateOrder::YearMonthDay:
        return QStringLiteral("yyyy/mm/dd");
    case DateOrder::MonthDayYear:
        break;
    }
    return QStringLiteral("mm/dd/yyyy");
}

QString formatDate(const QDate& date, const QString& format, QChar separator)
{
    if (!date.isValid())
        return {};
    const QLocale names;
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        const QChar l = c.toLower();
        qsizetype run = 1;
        while (i + run < format.size() && format.at(i + run).toLower() == l)
            ++run;
        if (l == QLatin1Char('d')) {
            if (run == 1)
                out += QString::number(date.day());
            else if (run == 2)
                out += QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'));
            else
                out += names.dayName(date.dayOfWeek(), run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        } else if (l == QLatin1Char('m')) {
            if (run == 1)
                out += QString::number(date.month());
            else if (run == 2)
                out += QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'));
            else
                out += names.monthName(date.month(), run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        } else if (l == QLatin1Char('y')) {
            if (run <= 2)
                out += QStringLiteral("%1").arg(date.year() % 100, 2, 10, QLatin1Char('0'));
            else
                out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
        } else if (c == QLatin1Char('/')) {
            out += QString(run, separator);
        } else {
            out += QString(run, c);
        }
        i += run;
    }
    return out;
}

QString formatShortDate(const QDate& date, const Locale& locale)
{
    return formatDate(date, locale.shortDateFormat, locale.dateSeparator);
}

int expandTwoDigitYear(int twoDigitYear, int referenceYear)
{
    if (referenceYear <= 0)
        referenceYear = QDate::currentDate().year();
    const int lowest = referenceYear - 50;
    int year = (lowest / 100) * 100 + twoDigitYear;
    if (year < lowest)
        year += 100;
    return year;
}

std::optional<QDate> parseDate(const QString& text, DateOrder order, QChar separator, int referenceYear)
{
    const QString t = text.trimmed();
    struct Group
    {
        int value = 0;
        int digits = 0;
    };
    Group groups[3];
    int count = 0;
    qsizetype i = 0;
    while (i < t.size()) {
        if (count == 3)
            return std::nullopt;
        Group g;
        while (i < t.size() && t.at(i) >= QLatin1Char('0') && t.at(i) <= QLatin1Char('9')) {
            if (++g.digits > 4)
                return std::nullopt;
            g.value = g.value * 10 + (t.at(i).unicode() - '0');
            ++i;
        }
        if (g.digits == 0)
            return std::nullopt;
        groups[count++] = g;
        if (i == t.size())
            break;
        // One separator between numbers, blanks allowed around it.
        bool separatorSeen = false;
        while (i < t.size() && !(t.at(i) >= QLatin1Char('0') && t.at(i) <= QLatin1Char('9'))) {
            const QChar c = t.at(i);
            if (c.isSpace()) {
                ++i;
                continue;
            }
            const bool allowed =
                    c == separator || c == QLatin1Char('/') || c == QLatin1Char('-') || c == QLatin1Char('.');
            if (!allowed || separatorSeen)
                return std::nullopt;
            separatorSeen = true;
            ++i;
        }
        if (i == t.size())
            return std::nullopt; // a trailing separator
    }
    if (count < 2)
        return std::nullopt;

    Group day, month, year;
    bool haveYear = count == 3;
    switch (order) {
    case DateOrder::MonthDayYear:
        month = groups[0];
        day = groups[1];
        year = groups[2];
        break;
    case DateOrder::DayMonthYear:
        day = groups[0];
        month = groups[1];
        year = groups[2];
        break;
    case DateOrder::YearMonthDay:
        if (haveYear) {
            year = groups[0];
            month = groups[1];
            day = groups[2];
        } else {
            month = groups[0];
            day = groups[1];
        }
        break;
    }
    if (day.digits > 2 || month.digits > 2)
        return std::nullopt;
    int y = 0;
    if (!haveYear)
        y = referenceYear > 0 ? referenceYear : QDate::currentDate().year();
    else if (year.digits <= 2)
        y = expandTwoDigitYear(year.value, referenceYear);
    else
        y = year.value;
    if (y < 1 || y > 9999)
        return std::nullopt;
    const QDate d(y, month.value, day.value);
    if (!d.isValid())
        return std::nullopt;
    return d;
}

std::optional<QDate> parseDateInFormat(const QString& text, const QString& format, QChar separator, int referenceYear)
{
    if (isYearOnlyFormat(format)) {
        const QString t = text.trimmed();
        if (t.isEmpty() || t.size() > 4)
            return std::nullopt;
        for (const QChar c : t) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        int y = t.toInt();
        if (t.size() <= 2)
            y = expandTwoDigitYear(y, referenceYear);
        if (y < 1 || y > 9999)
            return std::nullopt;
        return QDate(y, 1, 1);
    }
    return parseDate(text, dateOrderOf(format), separator, referenceYear);
}

} // namespace mk
