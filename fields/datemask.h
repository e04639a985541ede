#pragma once

#include <QChar>
#include <QList>
#include <QString>

#include <optional>

// The overtype mask of a date field: its shape for a date format, padding,
// reading and writing. Positions are 1-based as in the caret rules of the
// date field (the caret sits between positions, 0 .. length).
namespace mk::fields {

// Letters stay (lower-cased), everything else becomes '/'; a single first
// letter is doubled ("m/dd/yyyy" -> "mm/dd/yyyy"), then a single fourth
// letter that is not a year ("mm/d/yyyy" -> "mm/dd/yyyy"); cut to 10.
QString normaliseDateFormat(const QString& format);

struct DateMaskShape
{
    // The format the mask is read and written in: one of the date-field
    // formats, or "mm/dd/yyyy" for a format of any other shape.
    QString format;
    int length = 10;
    QList<int> separators; // 1-based positions

    static DateMaskShape forFormat(const QString& format);

    bool isSeparator(int position) const { return separators.contains(position); }
    bool isYearOnly() const { return separators.isEmpty(); }
    // "__/__/____" with the date separator at the separator positions.
    QString emptyMask(QChar separator) const;
    // True when text has this shape: separators ('/' or the date separator)
    // at the separator positions, digits or '_' elsewhere.
    bool fits(const QString& text, QChar separator) const;
    // Within each group, every '_' before the group's first digit becomes '0'.
    QString pad(const QString& mask) const;
    bool hasDigit(const QString& mask) const;
    // The date in a (padded) mask, or nothing when it is not a valid date.
    std::optional<double> read(const QString& mask, QChar separator) const;
    // A date value shown in the mask (year-only: its four-digit year).
    QString write(double value, QChar separator) const;
};

} // namespace mk::fields
