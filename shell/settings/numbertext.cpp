#include "shell/settings/numbertext.h"

#include "platform/locale.h"

#include <cmath>

namespace mk {

// The stored forms of definition files use the platform's number helpers, so
// a number reads and shows the same everywhere.
QString FormatGeneralFloat(double value, QChar decimalSeparator)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    return formatGeneral(value, decimalSeparator);
}

QString NormalizeNumberText(const QString& text, QChar decimalSeparator)
{
    Locale locale = Locale::current();
    locale.decimalSeparator = decimalSeparator;
    return normaliseNumberText(text, locale);
}

} // namespace mk
