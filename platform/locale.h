#pragma once

// Number conventions of the user's locale and the number formatting and
// reading shared by every field, list, report and export.
//
// mk::Locale holds the separators and the date and time formats. The current
// one comes from the system at first use; tests replace it with ScopedLocale.

#include <QChar>
#include <QString>
#include <QTime>

#include <optional>

namespace mk {

struct Locale
{
    QChar decimalSeparator = QLatin1Char('.');
    QChar thousandsSeparator = QLatin1Char(',');
    QChar dateSeparator = QLatin1Char('/');
    // Date format in the program's own notation: d, dd, m, mm, yy, yyyy, with
    // '/' standing for dateSeparator (see platform/dates.h).
    QString shortDateFormat = QStringLiteral("mm/dd/yyyy");
    // Time format in QTime::toString() notation, e.g. "hh:mm:ss" or "h:mm:ss AP".
    QString longTimeFormat = QStringLiteral("hh:mm:ss");

    // The US-English conventions above, independent of the machine.
    static Locale english() { return Locale(); }
    // The conventions of the machine (QLocale::system()).
    static Locale fromSystem();

    static const Locale& current();
    static void setCurrent(const Locale& locale);
    // Forgets a setCurrent() and goes back to the system's conventions.
    static void resetToSystem();

    bool operator==(const Locale&) const = default;
};

// Sets the current locale for its lifetime and restores the previous one.
class ScopedLocale
{
public:
    explicit ScopedLocale(const Locale& locale);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    Locale m_previous;
};

// Formats with a picture: '0' digit, '#' optional digit, ',' anywhere in the
// integer part switches on thousands separators, the first '.' is the decimal
// point; text in quotes and any other character is copied. Up to three sections
// "positive;negative;zero". Negative numbers get a leading '-' (unless a
// negative section is given); a value that rounds to zero shows no sign.
// Rounding is half away from zero on the value's 15 significant digits, so
// 1.005 with "0.00" gives "1.01". An empty picture gives formatGeneral().
// Examples: ",0" 1234.5 -> "1,235"; ",0.00" -1234.5 -> "-1,234.50"; "#" 0 -> "".
QString formatPicture(double value, const QString& picture, const Locale& locale = Locale::current());

// Thousands separators and exactly `decimals` decimals ("1,234.50" for 2).
QString formatNumber(double value, int decimals, const Locale& locale = Locale::current());
// Exactly `decimals` decimals, no thousands separators ("1234.50").
QString formatFixed(double value, int decimals, const Locale& locale = Locale::current());

// The general number form: up to 15 significant digits, no trailing zeros,
// no thousands separators ("1", "8.5", "11", "0.25", "1E20", "1.5E-6").
// With the default '.' the result is the stored (machine) form; pass the
// locale's decimal separator for display.
QString formatGeneral(double value, QChar decimalPoint = QLatin1Char('.'));

// Parses a decimal number written with the locale's decimal separator:
// optional surrounding blanks, optional sign, digits with at most one decimal
// separator, optional exponent. No thousands separators. nullopt on failure.
std::optional<double> parseLocaleNumber(const QString& text, const Locale& locale = Locale::current());

// Like parseLocaleNumber() after removing every thousands separator
// ("1,200" reads as 1200). Used to compare typed filter values as numbers.
std::optional<double> readNumberTolerant(const QString& text, const Locale& locale = Locale::current());

// Keeps only the digits and the decimal separator of text, in their order;
// when the thousands separator equals the decimal separator only the
// rightmost occurrence stays. Signs and every other character are dropped.
QString keepDigitsAndDecimal(const QString& text, const Locale& locale = Locale::current());

// Reads the number in a displayed value: keepDigitsAndDecimal(), then
// converted; empty or unconvertible gives 0. Never negative: the sign is
// dropped ("1,234.50" -> 1234.5, "-5.00" -> 5, "abc" -> 0).
double ReadLooseNumber(const QString& text, const Locale& locale = Locale::current());
// keepDigitsAndDecimal() converted: 0 for an empty result, nullopt when the
// kept text is not a number ("1.2.3"). For editors that keep their old value.
std::optional<double> parseLooseNumber(const QString& text, const Locale& locale = Locale::current());

// Normalises a stored number text for display: only digits remain, the last
// '.' or ',' (or decimal separator) becomes the locale's decimal separator,
// earlier ones are dropped, a leading separator gets a "0" in front
// ("1.234,5" -> "1234.5" with '.' as decimal separator, ".5" -> "0.5").
QString normaliseNumberText(const QString& text, const Locale& locale = Locale::current());

// The time in the locale's long time format (used for log entries).
QString formatLongTime(const QTime& time, const Locale& locale = Locale::current());

} // namespace mk
