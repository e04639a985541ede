#pragma once

// Text conversion between Qt strings and the Windows-1252 bytes stored in
// tables, settings and exported files, plus ASCII-only case mapping.

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>

namespace mk {

// Encodes as Windows-1252. A character that has no Windows-1252 byte becomes
// '?'. The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) decode to the C1 controls U+0081... and encode back to the same byte,
// so every byte string survives fromCp1252() + toCp1252() unchanged.
QByteArray toCp1252(const QString& text);
std::string toCp1252Std(const QString& text);

// Decodes Windows-1252 bytes; every byte maps to exactly one character.
QString fromCp1252(const QByteArray& bytes);
QString fromCp1252(std::string_view bytes);
QString fromCp1252(const char* bytes, qsizetype length);
QString fromCp1252(const char* zeroTerminated);

// The Unicode character for one Windows-1252 byte.
char16_t cp1252ToUnicode(unsigned char byte);
// The Windows-1252 byte for one character, or -1 when there is none.
int unicodeToCp1252(char32_t codePoint);

// Upper-cases a..z only; every other character (accented letters included)
// stays as it is. This is the case mapping of index keys and comparisons.
QString upperAscii(QString text);
QByteArray upperAscii(QByteArray bytes);
std::string upperAscii(std::string bytes);
// Lower-cases A..Z only.
QString lowerAscii(QString text);

} // namespace mk
