#pragma once

// The number texts stored in definitions (margins and page sizes such as "1",
// "8.5", "11"): how they are written and how they are cleaned up for display.

#include <QChar>
#include <QString>

namespace mk {

// The general floating-point form: up to 15 significant digits, no trailing
// zeros, no exponent for ordinary magnitudes ("1", "8.5", "0.25").
QString FormatGeneralFloat(double value, QChar decimalSeparator = QLatin1Char('.'));

// Keeps only the digits; the last "." or "," (or the given decimal separator)
// becomes decimalSeparator, earlier ones are dropped, and a leading separator
// gets a "0" in front. "1.234,5" -> "1234,5" with ','; ".5" -> "0.5".
QString NormalizeNumberText(const QString& text, QChar decimalSeparator);

} // namespace mk
