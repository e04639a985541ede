#include "fields/datemask.h"

#include "platform/dates.h"

namespace mk::fields {

QString normaliseDateFormat(const QString& format)
{
    QString f;
    f.reserve(format.size());
    for (const QChar c : format)
        f.append(c.isLetter() ? c.toLower() : QLatin1Char('/'));
    if (f.size() >= 2 && f.at(1) == QLatin1Char('/'))
        f.insert(0, f.at(0));
    if (f.size() >= 5 && f.at(4) == QLatin1Char('/') && f.at(3) != QLatin1Char('y'))
        f.insert(3, f.at(3));
    return f.left(10);
}

DateMaskShape DateMaskShape::forFormat(const QString& format)
{
    const QString f = format.toLower();
    DateMaskShape shape;
    if (f == QLatin1String("mm/dd/yyyy") || f == QLatin1String("dd/mm/yyyy")) {
        shape = {f, 10, {3, 6}};
    } else if (f == QLatin1String("yyyy/mm/dd")) {
        shape = {f, 10, {5, 8}};
    } else if (f == QLatin1String("yyyy")) {
        shape = {f, 4, {}};
    } else if (f == QLatin1String("mm/dd/yy") || f == QLatin1String("dd/mm/yy") || f == QLatin1String("yy/mm/dd")) {
        shape = {f, 8, {3, 6}};
    } else {
        shape = {QStringLiteral("mm/dd/yyyy"), 10, {3, 6}};
    }
    return shape;
}

QString DateMaskShape::emptyMask(QChar separator) const
{
    QString mask(length, QLatin1Char('_'));
    for (int p : separators)
        mask[p - 1] = separator;
    return mask;
}

bool DateMaskShape::fits(const QString& text, QChar separator) const
{
    if (text.size() != length)
        return false;
    for (int i = 0; i < length; ++i) {
        const QChar c = text.at(i);
        if (isSeparator(i + 1)) {
            if (c != separator && c != QLatin1Char('/'))
                return false;
        } else if (!c.isDigit() && c != QLatin1Char('_')) {
            return false;
        }
    }
    return true;
}

QString DateMaskShape::pad(const QString& mask) const
{
    QString padded = mask;
    bool digitSeen = false;
    for (int i = 0; i < padded.size(); ++i) {
        if (isSeparator(i + 1)) {
            digitSeen = false;
            continue;
        }
        if (padded.at(i).isDigit())
            digitSeen = true;
        else if (padded.at(i) == QLatin1Char('_') && !digitSeen)
            padded[i] = QLatin1Char('0');
    }
    return padded;
}

bool DateMaskShape::hasDigit(const QString& mask) const
{
    for (const QChar c : mask) {
        if (c.isDigit())
            return true;
    }
    return false;
}

std::optional<double> DateMaskShape::read(const QString& mask, QChar separator) const
{
    std::optional<QDate> date;
    if (isYearOnly()) {
        // A year alone is 1 January of that year.
        const QString text = QStringLiteral("01") + separator + QStringLiteral("01") + separator + mask;
        date = parseDate(text, DateOrder::DayMonthYear, separator);
    } else {
        date = parseDateInFormat(mask, format, separator);
    }
    if (!date || !date->isValid())
        return std::nullopt;
    return toDateValue(*date);
}

QString DateMaskShape::write(double value, QChar separator) const
{
    const QDate date = dateFromValue(value);
    if (!date.isValid())
        return emptyMask(separator);
    if (isYearOnly())
        return formatDate(date, QStringLiteral("dd/mm/yyyy"), separator).right(4);
    return formatDate(date, format, separator);
}

} // namespace mk::fields
