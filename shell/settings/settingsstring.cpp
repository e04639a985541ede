#include "shell/settings/settingsstring.h"

#include "platform/text.h"

namespace mk {

QByteArray ScrambleBytes(const QByteArray& bytes, const quint8* key, qsizetype keyLength)
{
    QByteArray out = bytes;
    if (keyLength <= 0)
        return out;
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i] = char(static_cast<quint8>(out[i]) ^ key[i % keyLength]);
    return out;
}

QByteArray ScrambleSettingsBytes(const QByteArray& bytes)
{
    return ScrambleBytes(bytes, SettingsKey.data(), qsizetype(SettingsKey.size()));
}

void WriteSettingsString(TByteWriter& out, const QString& text)
{
    const QByteArray plain = toCp1252(text).left(255);
    out.writeByte(quint8(plain.size()));
    out.writeBytes(ScrambleSettingsBytes(plain));
}

QString ReadSettingsString(TByteReader& in)
{
    quint8 length = 0;
    if (!in.readByte(length))
        return {};
    QByteArray stored;
    if (!in.readBytes(length, stored))
        return {};
    const qsizetype zero = stored.indexOf('\0');
    if (zero >= 0)
        stored.truncate(zero);
    return fromCp1252(ScrambleSettingsBytes(stored));
}

} // namespace mk
