#include "platform/text.h"

#include <array>

namespace mk {

namespace {

// Characters for bytes 0x80..0x9F; the rest of Windows-1252 equals Latin-1.
// The undefined bytes keep their C1 control character.
constexpr std::array<char16_t, 32> kHighTable = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

template<typename Out>
void encodeInto(const QString& text, Out& out)
{
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t cp = text.at(i).unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text.at(i).unicode(), text.at(i + 1).unicode());
            ++i;
        }
        const int b = unicodeToCp1252(cp);
        out.push_back(static_cast<char>(b < 0 ? '?' : b));
    }
}

} // namespace

char16_t cp1252ToUnicode(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighTable[byte - 0x80];
    return byte;
}

int unicodeToCp1252(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kHighTable[i] == cp)
            return 0x80 + i;
    }
    return -1;
}

QByteArray toCp1252(const QString& text)
{
    QByteArray out;
    encodeInto(text, out);
    return out;
}

std::string toCp1252Std(const QString& text)
{
    std::string out;
    encodeInto(text, out);
    return out;
}

QString fromCp1252(const char* bytes, qsizetype length)
{
    QString out;
    if (!bytes || length <= 0)
        return out;
    out.resize(length);
    QChar* d = out.data();
    for (qsizetype i = 0; i < length; ++i)
        d[i] = QChar(cp1252ToUnicode(static_cast<unsigned char>(bytes[i])));
    return out;
}

QString fromCp1252(const char* zeroTerminated)
{
    return zeroTerminated ? fromCp1252(zeroTerminated, qsizetype(std::char_traits<char>::length(zeroTerminated)))
                          : QString();
}

QString fromCp1252(const QByteArray& bytes)
{
    return fromCp1252(bytes.constData(), bytes.size());
}

QString fromCp1252(std::string_view bytes)
{
    return fromCp1252(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString upperAscii(QString text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= 'a' && u <= 'z')
            c = QChar(char16_t(u - 32));
    }
    return text;
}

QString lowerAscii(QString text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= 'A' && u <= 'Z')
            c = QChar(char16_t(u + 32));
    }
    return text;
}

QByteArray upperAscii(QByteArray bytes)
{
    for (char& c : bytes) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    }
    return bytes;
}

std::string upperAscii(std::string bytes)
{
    for (char& c : bytes) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    }
    return bytes;
}

} // namespace mk
