#pragma once

// The settings string of the binary option files: one length byte N, then the
// N bytes of the Windows-1252 text, each XOR-ed with the fixed key below.

#include "shell/settings/bytestream.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace mk {

inline constexpr std::array<quint8, 10> SettingsKey = {0x03, 0x0B, 0x11, 0x04, 0x09, 0x13, 0x07, 0x0C, 0x0A, 0x08};

// Byte i is XOR-ed with key byte (i mod key length); applying it twice gives
// the original bytes back.
QByteArray ScrambleBytes(const QByteArray& bytes, const quint8* key, qsizetype keyLength);
QByteArray ScrambleSettingsBytes(const QByteArray& bytes);

// Writes the length byte and the scrambled text. Text beyond 255 bytes cannot
// be stored in the one length byte and is cut off.
void WriteSettingsString(TByteWriter& out, const QString& text);

// Reads one settings string. The stored bytes count only up to the first zero
// byte. When the file ends before the string is complete the result is empty,
// the rest of the input is consumed, and reading the following fields simply
// fails in turn.
QString ReadSettingsString(TByteReader& in);

} // namespace mk
