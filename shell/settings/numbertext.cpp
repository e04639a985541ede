#include "shell/settings/numbertext.h"

#include <cmath>

namespace mk {

QString FormatGeneralFloat(double value, QChar decimalSeparator)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    QString text = QString::number(value, 'g', 15);
    if (decimalSeparator != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), decimalSeparator);
    return text;
}

QString NormalizeNumberText(const QString& text, QChar decimalSeparator)
{
    auto isSeparator = [&](QChar c) { return c == QLatin1Char('.') || c == QLatin1Char(',') || c == decimalSeparator; };
    qsizetype last = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isSeparator(text[i]))
            last = i;
    }
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            out += c;
        else if (i == last)
            out += decimalSeparator;
    }
    if (out.startsWith(decimalSeparator))
        out.prepend(QLatin1Char('0'));
    return out;
}

} // namespace mk
