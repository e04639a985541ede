#include "shell/settings/valuestream.h"

#include "platform/files.h"
#include "platform/text.h"

namespace mk {

namespace {

void appendLittleEndian(QByteArray& out, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        out.append(char(static_cast<unsigned char>((value >> (8 * i)) & 0xFF)));
}

void appendTag(QByteArray& out, ValueTag tag)
{
    out.append(char(static_cast<quint8>(tag)));
}

} // namespace

void TValueWriter::writeListBegin()
{
    appendTag(m_bytes, ValueTag::List);
}

void TValueWriter::writeListEnd()
{
    appendTag(m_bytes, ValueTag::Null);
}

void TValueWriter::writeInteger(qint32 value)
{
    if (value >= -128 && value <= 127) {
        appendTag(m_bytes, ValueTag::Int8);
        appendLittleEndian(m_bytes, quint8(qint8(value)), 1);
    } else if (value >= -32768 && value <= 32767) {
        appendTag(m_bytes, ValueTag::Int16);
        appendLittleEndian(m_bytes, quint16(qint16(value)), 2);
    } else {
        appendTag(m_bytes, ValueTag::Int32);
        appendLittleEndian(m_bytes, quint32(value), 4);
    }
}

void TValueWriter::writeString(const QString& text)
{
    writeStringBytes(toCp1252(text));
}

void TValueWriter::writeStringBytes(const QByteArray& bytes)
{
    if (bytes.size() <= 255) {
        appendTag(m_bytes, ValueTag::String);
        appendLittleEndian(m_bytes, quint64(bytes.size()), 1);
    } else {
        appendTag(m_bytes, ValueTag::LString);
        appendLittleEndian(m_bytes, quint64(bytes.size()), 4);
    }
    m_bytes.append(bytes);
}

void TValueWriter::writeRawShortString(const QString& text)
{
    writeRawShortBytes(toCp1252(text));
}

void TValueWriter::writeRawShortBytes(const QByteArray& bytes)
{
    const QByteArray cut = bytes.left(255);
    appendLittleEndian(m_bytes, quint64(cut.size()), 1);
    m_bytes.append(cut);
}

void TValueWriter::writeRawBlock(const QByteArray& bytes)
{
    m_bytes.append(bytes);
}

void TValueWriter::writeRawByte(quint8 value)
{
    appendLittleEndian(m_bytes, value, 1);
}

void TValueWriter::writeRawInt16(qint16 value)
{
    appendLittleEndian(m_bytes, quint16(value), 2);
}

void TValueWriter::writeRawUInt16(quint16 value)
{
    appendLittleEndian(m_bytes, value, 2);
}

void TValueWriter::writeRawInt32(qint32 value)
{
    appendLittleEndian(m_bytes, quint32(value), 4);
}

bool TValueWriter::saveTo(const QString& path, QString* error) const
{
    return writeFileAtomic(path, m_bytes, error);
}

std::optional<TValueReader> TValueReader::fromFile(const QString& path)
{
    std::optional<QByteArray> bytes = readFileBytes(path);
    if (!bytes)
        return std::nullopt;
    return TValueReader(std::move(*bytes));
}

void TValueReader::fail(const QString& what)
{
    if (!ok())
        return;
    m_error = what;
    m_errorOffset = m_pos;
    m_pos = m_bytes.size();
}

bool TValueReader::take(qsizetype count, QByteArray* out)
{
    if (!ok())
        return false;
    if (count < 0 || m_bytes.size() - m_pos < count) {
        fail(QStringLiteral("unexpected end of stream"));
        return false;
    }
    if (out)
        *out = m_bytes.mid(m_pos, count);
    m_pos += count;
    return true;
}

bool TValueReader::takeTag(quint8& tag)
{
    QByteArray b;
    if (!take(1, &b))
        return false;
    tag = static_cast<quint8>(b[0]);
    return true;
}

quint64 TValueReader::takeUnsigned(int size)
{
    QByteArray b;
    if (!take(size, &b))
        return 0;
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint64(static_cast<quint8>(b[i])) << (8 * i);
    return value;
}

void TValueReader::readListBegin()
{
    const qsizetype at = m_pos;
    quint8 tag = 0;
    if (!takeTag(tag))
        return;
    if (tag != quint8(ValueTag::List)) {
        m_pos = at;
        fail(QStringLiteral("list begin expected"));
    }
}

bool TValueReader::endOfList()
{
    if (!ok())
        return true;
    if (atEnd()) {
        fail(QStringLiteral("unexpected end of stream"));
        return true;
    }
    return static_cast<quint8>(m_bytes[m_pos]) == quint8(ValueTag::Null);
}

void TValueReader::readListEnd()
{
    const qsizetype at = m_pos;
    quint8 tag = 0;
    if (!takeTag(tag))
        return;
    if (tag != quint8(ValueTag::Null)) {
        m_pos = at;
        fail(QStringLiteral("list end expected"));
    }
}

qint32 TValueReader::readInteger()
{
    const qsizetype at = m_pos;
    quint8 tag = 0;
    if (!takeTag(tag))
        return 0;
    switch (ValueTag(tag)) {
    case ValueTag::Int8:
        return qint8(quint8(takeUnsigned(1)));
    case ValueTag::Int16:
        return qint16(quint16(takeUnsigned(2)));
    case ValueTag::Int32:
        return qint32(quint32(takeUnsigned(4)));
    default:
        m_pos = at;
        fail(QStringLiteral("integer expected, found tag %1").arg(tag));
        return 0;
    }
}

QByteArray TValueReader::readStringBytes()
{
    const qsizetype at = m_pos;
    quint8 tag = 0;
    if (!takeTag(tag))
        return {};
    qint64 length = 0;
    if (tag == quint8(ValueTag::String)) {
        length = qint64(takeUnsigned(1));
    } else if (tag == quint8(ValueTag::LString)) {
        // A negative length cannot be meant; it is damage like a short file.
        length = qint32(quint32(takeUnsigned(4)));
    } else {
        m_pos = at;
        fail(QStringLiteral("string expected, found tag %1").arg(tag));
        return {};
    }
    if (!ok())
        return {};
    if (length < 0) {
        fail(QStringLiteral("negative string length"));
        return {};
    }
    QByteArray text;
    take(qsizetype(length), &text);
    return text;
}

QString TValueReader::readString()
{
    return fromCp1252(readStringBytes());
}

QByteArray TValueReader::readRawShortBytes()
{
    const qsizetype length = qsizetype(takeUnsigned(1));
    QByteArray text;
    if (ok())
        take(length, &text);
    return text;
}

QString TValueReader::readRawShortString()
{
    return fromCp1252(readRawShortBytes());
}

QByteArray TValueReader::readRawBlock(qsizetype length)
{
    QByteArray block;
    take(length, &block);
    return block;
}

quint8 TValueReader::readRawByte()
{
    return quint8(takeUnsigned(1));
}

qint16 TValueReader::readRawInt16()
{
    return qint16(quint16(takeUnsigned(2)));
}

quint16 TValueReader::readRawUInt16()
{
    return quint16(takeUnsigned(2));
}

qint32 TValueReader::readRawInt32()
{
    return qint32(quint32(takeUnsigned(4)));
}

} // namespace mk
