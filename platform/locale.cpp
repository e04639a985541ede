#include "platform/locale.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace mk {

// ---- the current locale ----------------------------------------------------

namespace {

QChar firstChar(const QString& s, QChar fallback)
{
    return s.isEmpty() ? fallback : s.front();
}

// Converts a Qt date format ("M/d/yy", "dd.MM.yyyy") to the program's
// notation ("m/d/yy", "dd/mm/yyyy") and returns the separator it used.
QString dateFormatFromQt(const QString& qt, QChar* separator)
{
    QString out;
    bool haveSeparator = false;
    for (const QChar c : qt) {
        if (c == QLatin1Char('M') || c == QLatin1Char('d') || c == QLatin1Char('y')) {
            out += c.toLower();
        } else if (c.isLetter() || c == QLatin1Char('\'')) {
            // Day names, eras or quoted text have no place in a short date.
            return {};
        } else if (!out.isEmpty() && !out.endsWith(QLatin1Char('/'))) {
            if (!haveSeparator && !c.isSpace()) {
                *separator = c;
                haveSeparator = true;
            }
            out += QLatin1Char('/');
        }
    }
    while (out.endsWith(QLatin1Char('/')))
        out.chop(1);
    const bool complete =
            out.contains(QLatin1Char('d')) && out.contains(QLatin1Char('m')) && out.contains(QLatin1Char('y'));
    return complete ? out : QString();
}

QString timeFormatFromQt(const QString& qt)
{
    // Drop the time zone ('t' outside quotes) that long formats may carry.
    QString out;
    bool quoted = false;
    for (const QChar c : qt) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    out = out.trimmed();
    return out.isEmpty() ? QStringLiteral("hh:mm:ss") : out;
}

std::optional<Locale>& overrideSlot()
{
    static std::optional<Locale> slot;
    return slot;
}

} // namespace

Locale Locale::fromSystem()
{
    const QLocale sys = QLocale::system();
    Locale l;
    l.decimalSeparator = firstChar(sys.decimalPoint(), QLatin1Char('.'));
    l.thousandsSeparator = firstChar(sys.groupSeparator(), QLatin1Char(','));
    QChar sep = QLatin1Char('/');
    const QString date = dateFormatFromQt(sys.dateFormat(QLocale::ShortFormat), &sep);
    if (!date.isEmpty()) {
        l.shortDateFormat = date;
        l.dateSeparator = sep;
    }
    l.longTimeFormat = timeFormatFromQt(sys.timeFormat(QLocale::LongFormat));
    return l;
}

const Locale& Locale::current()
{
    std::optional<Locale>& slot = overrideSlot();
    if (slot)
        return *slot;
    static const Locale system = fromSystem();
    return system;
}

void Locale::setCurrent(const Locale& locale)
{
    overrideSlot() = locale;
}

void Locale::resetToSystem()
{
    overrideSlot().reset();
}

ScopedLocale::ScopedLocale(const Locale& locale)
    : m_previous(Locale::current())
{
    Locale::setCurrent(locale);
}

ScopedLocale::~ScopedLocale()
{
    Locale::setCurrent(m_previous);
}

// ---- decimal digits of a double --------------------------------------------

namespace {

constexpr int kSignificantDigits = 15;

// |value| as a decimal digit string with the position of the decimal point:
// value = 0.digits * 10^pointPos. Zero gives empty digits.
struct Decimal
{
    std::string digits;
    int pointPos = 0;
};

Decimal toDecimal(double value)
{
    Decimal d;
    value = std::fabs(value);
    if (value == 0.0 || !std::isfinite(value))
        return d;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kSignificantDigits - 1);
    const std::string s(buf, res.ptr);
    const size_t e = s.find('e');
    for (size_t i = 0; i < e; ++i) {
        if (s[i] != '.')
            d.digits += s[i];
    }
    d.pointPos = std::stoi(s.substr(e + 1)) + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Rounds to `decimals` places (half away from zero) and splits into the
// integer digits (no leading zeros, empty for 0) and exactly `decimals`
// fraction digits.
void roundSplit(const Decimal& dec, int decimals, std::string& intPart, std::string& fracPart)
{
    intPart.clear();
    fracPart.clear();
    if (dec.digits.empty()) {
        fracPart.assign(size_t(decimals), '0');
        return;
    }
    // Digits from the units position on: index 0 is the first digit of the
    // integer part (or leading zeros of a small number).
    const int keep = dec.pointPos + decimals; // digits to keep counted from 10^(pointPos-1)
    std::string digits = dec.digits;
    int pointPos = dec.pointPos;
    if (keep < 0) {
        fracPart.assign(size_t(decimals), '0');
        return;
    }
    if (int(digits.size()) > keep) {
        const bool up = digits[size_t(keep)] >= '5';
        digits.resize(size_t(keep));
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits[size_t(i)] == '9') {
                digits[size_t(i)] = '0';
                --i;
            }
            if (i >= 0) {
                ++digits[size_t(i)];
            } else {
                digits.insert(digits.begin(), '1');
                ++pointPos;
            }
        }
    }
    // Lay the digits out around the decimal point.
    std::string all; // integer digits followed by fraction digits
    if (pointPos <= 0) {
        all.assign(size_t(-pointPos), '0');
        all += digits;
        pointPos = 0;
    } else {
        all = digits;
    }
    if (int(all.size()) < pointPos + decimals)
        all.append(size_t(pointPos + decimals - int(all.size())), '0');
    intPart = all.substr(0, size_t(pointPos));
    fracPart = all.substr(size_t(pointPos), size_t(decimals));
    const size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? std::string() : intPart.substr(nz);
}

// ---- picture formats ---------------------------------------------------------

struct Token
{
    enum Kind { Zero, Hash, Point, Literal } kind;
    QString text;
};

struct Picture
{
    std::vector<Token> tokens;
    bool thousands = false;
    int intPlaceholders = 0;
    int fracPlaceholders = 0;
    int minInt = 0;
    int minFrac = 0;
};

Picture parsePicture(const QString& section)
{
    Picture p;
    bool afterPoint = false;
    int firstIntZero = -1;
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = section.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? section.size() : end;
            p.tokens.push_back({Token::Literal, section.mid(i + 1, stop - i - 1)});
            i = stop;
        } else if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            const bool zero = c == QLatin1Char('0');
            p.tokens.push_back({zero ? Token::Zero : Token::Hash, {}});
            if (afterPoint) {
                ++p.fracPlaceholders;
                if (zero)
                    p.minFrac = p.fracPlaceholders;
            } else {
                if (zero && firstIntZero < 0)
                    firstIntZero = p.intPlaceholders;
                ++p.intPlaceholders;
            }
        } else if (c == QLatin1Char('.') && !afterPoint) {
            afterPoint = true;
            p.tokens.push_back({Token::Point, {}});
        } else if (c == QLatin1Char(',')) {
            if (!afterPoint)
                p.thousands = true;
        } else {
            p.tokens.push_back({Token::Literal, QString(c)});
        }
    }
    p.minInt = firstIntZero < 0 ? 0 : p.intPlaceholders - firstIntZero;
    return p;
}

QStringList splitSections(const QString& picture)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (const QChar c : picture) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char(';')) {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

// Formats |value| with one section. `rounded` tells whether anything but zeros came out.
QString applyPicture(double value, const Picture& p, const Locale& locale, bool* nonZero)
{
    std::string intDigits, fracDigits;
    roundSplit(toDecimal(value), p.fracPlaceholders, intDigits, fracDigits);
    *nonZero = !intDigits.empty() || fracDigits.find_first_not_of('0') != std::string::npos;
    while (int(fracDigits.size()) > p.minFrac && fracDigits.back() == '0')
        fracDigits.pop_back();
    if (int(intDigits.size()) < p.minInt)
        intDigits.insert(0, size_t(p.minInt - int(intDigits.size())), '0');

    const int len = int(intDigits.size());
    const int offset = len - p.intPlaceholders; // digits beyond the placeholders go to the first one
    QString out;
    auto emitIntDigit = [&](int index) {
        const int remaining = len - index;
        if (p.thousands && index > 0 && remaining % 3 == 0)
            out += locale.thousandsSeparator;
        out += QLatin1Char(intDigits[size_t(index)]);
    };
    int intSeen = 0;
    int fracSeen = 0;
    bool inFraction = false;
    for (const Token& t : p.tokens) {
        switch (t.kind) {
        case Token::Literal:
            out += t.text;
            break;
        case Token::Point:
            inFraction = true;
            if (!fracDigits.empty())
                out += locale.decimalSeparator;
            break;
        case Token::Zero:
        case Token::Hash:
            if (inFraction) {
                if (fracSeen < int(fracDigits.size()))
                    out += QLatin1Char(fracDigits[size_t(fracSeen)]);
                ++fracSeen;
            } else {
                if (intSeen == 0) {
                    for (int i = 0; i <= offset && i < len; ++i)
                        emitIntDigit(i);
                } else if (offset + intSeen >= 0) {
                    emitIntDigit(offset + intSeen);
                }
                ++intSeen;
            }
            break;
        }
    }
    return out;
}

} // namespace

QString formatPicture(double value, const QString& picture, const Locale& locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (picture.isEmpty())
        return formatGeneral(value, locale.decimalSeparator);

    const QStringList sections = splitSections(picture);
    const Picture positive = parsePicture(sections.at(0));
    bool nonZero = false;
    QString text = applyPicture(value, positive, locale, &nonZero);

    if (!nonZero) {
        if (sections.size() >= 3 && !sections.at(2).isEmpty()) {
            bool dummy = false;
            return applyPicture(0.0, parsePicture(sections.at(2)), locale, &dummy);
        }
        return text;
    }
    if (value < 0) {
        if (sections.size() >= 2 && !sections.at(1).isEmpty())
            return applyPicture(value, parsePicture(sections.at(1)), locale, &nonZero);
        return QLatin1Char('-') + text;
    }
    return text;
}

QString formatNumber(double value, int decimals, const Locale& locale)
{
    QString picture = QStringLiteral(",0");
    if (decimals > 0)
        picture += QLatin1Char('.') + QString(decimals, QLatin1Char('0'));
    return formatPicture(value, picture, locale);
}

QString formatFixed(double value, int decimals, const Locale& locale)
{
    QString picture = QStringLiteral("0");
    if (decimals > 0)
        picture += QLatin1Char('.') + QString(decimals, QLatin1Char('0'));
    return formatPicture(value, picture, locale);
}

QString formatGeneral(double value, QChar decimalPoint)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    const Decimal d = toDecimal(value);
    if (d.digits.empty())
        return QStringLiteral("0");
    QString out;
    if (value < 0)
        out += QLatin1Char('-');
    const int exponent = d.pointPos - 1;
    if (exponent < kSignificantDigits && std::fabs(value) >= 1e-5) {
        std::string intPart, fracPart;
        const int decimals = std::max(0, int(d.digits.size()) - d.pointPos);
        roundSplit(d, decimals, intPart, fracPart);
        out += intPart.empty() ? QStringLiteral("0") : QString::fromStdString(intPart);
        if (!fracPart.empty())
            out += decimalPoint + QString::fromStdString(fracPart);
        return out;
    }
    out += QLatin1Char(d.digits[0]);
    if (d.digits.size() > 1)
        out += decimalPoint + QString::fromStdString(d.digits.substr(1));
    out += QLatin1Char('E');
    out += QString::number(exponent);
    return out;
}

// ---- reading numbers -----------------------------------------------------------

std::optional<double> parseLocaleNumber(const QString& text, const Locale& locale)
{
    const QString t = text.trimmed();
    std::string ascii;
    ascii.reserve(size_t(t.size()));
    bool seenPoint = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c == locale.decimalSeparator) {
            if (seenPoint)
                return std::nullopt;
            seenPoint = true;
            ascii += '.';
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            ascii += char(c.unicode());
        } else if (c == QLatin1Char('+') || c == QLatin1Char('-')) {
            // A sign is allowed at the start and right after the exponent mark.
            if (!(ascii.empty() || ascii.back() == 'e'))
                return std::nullopt;
            ascii += char(c.unicode());
        } else if ((c == QLatin1Char('e') || c == QLatin1Char('E')) && !ascii.empty()) {
            ascii += 'e';
        } else {
            return std::nullopt;
        }
    }
    if (!ascii.empty() && ascii.front() == '+')
        ascii.erase(0, 1);
    if (ascii.empty())
        return std::nullopt;
    double v = 0;
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const auto res = std::from_chars(first, last, v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != last || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<double> readNumberTolerant(const QString& text, const Locale& locale)
{
    QString t = text;
    if (locale.thousandsSeparator != locale.decimalSeparator)
        t.remove(locale.thousandsSeparator);
    return parseLocaleNumber(t, locale);
}

QString keepDigitsAndDecimal(const QString& text, const Locale& locale)
{
    const QChar dec = locale.decimalSeparator;
    const bool sameSeparators = locale.thousandsSeparator == dec;
    QString kept;
    bool decimalKept = false;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            kept.prepend(c);
        } else if (c == dec) {
            if (sameSeparators && decimalKept)
                continue;
            decimalKept = true;
            kept.prepend(c);
        }
    }
    return kept;
}

std::optional<double> parseLooseNumber(const QString& text, const Locale& locale)
{
    const QString kept = keepDigitsAndDecimal(text, locale);
    if (kept.isEmpty())
        return 0.0;
    return parseLocaleNumber(kept, locale);
}

double ReadLooseNumber(const QString& text, const Locale& locale)
{
    return parseLooseNumber(text, locale).value_or(0.0);
}

QString normaliseNumberText(const QString& text, const Locale& locale)
{
    qsizetype last = -1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.') || c == QLatin1Char(',') || c == locale.decimalSeparator) {
            last = i;
            break;
        }
    }
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            out += c;
        else if (i == last)
            out += locale.decimalSeparator;
    }
    if (out.startsWith(locale.decimalSeparator))
        out.prepend(QLatin1Char('0'));
    return out;
}

QString formatLongTime(const QTime& time, const Locale& locale)
{
    return time.toString(locale.longTimeFormat);
}

} // namespace mk
