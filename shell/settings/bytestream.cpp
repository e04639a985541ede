#include "shell/settings/bytestream.h"

#include <cstring>

namespace mk {

namespace {

template<typename U>
void appendLittleEndian(QByteArray& out, U value)
{
    for (unsigned i = 0; i < sizeof(U); ++i)
        out.append(char(static_cast<unsigned char>((value >> (8 * i)) & 0xFF)));
}

template<typename U>
U takeLittleEndian(const QByteArray& in, qsizetype pos)
{
    U value = 0;
    for (unsigned i = 0; i < sizeof(U); ++i)
        value |= U(static_cast<unsigned char>(in[pos + qsizetype(i)])) << (8 * i);
    return value;
}

} // namespace

void TByteWriter::writeByte(quint8 value)
{
    m_bytes.append(char(value));
}

void TByteWriter::writeInt16(qint16 value)
{
    appendLittleEndian<quint16>(m_bytes, quint16(value));
}

void TByteWriter::writeUInt16(quint16 value)
{
    appendLittleEndian<quint16>(m_bytes, value);
}

void TByteWriter::writeInt32(qint32 value)
{
    appendLittleEndian<quint32>(m_bytes, quint32(value));
}

void TByteWriter::writeDouble(double value)
{
    static_assert(sizeof(double) == sizeof(quint64));
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendLittleEndian<quint64>(m_bytes, bits);
}

void TByteWriter::writeBytes(const QByteArray& bytes)
{
    m_bytes.append(bytes);
}

void TByteWriter::writeZeros(qsizetype count)
{
    if (count > 0)
        m_bytes.append(count, '\0');
}

bool TByteReader::peekByte(quint8& value) const
{
    if (remaining() < 1)
        return false;
    value = static_cast<quint8>(m_bytes[m_pos]);
    return true;
}

bool TByteReader::failed()
{
    m_pos = m_bytes.size();
    return false;
}

bool TByteReader::readByte(quint8& value)
{
    if (!peekByte(value))
        return failed();
    ++m_pos;
    return true;
}

bool TByteReader::readBool(bool& value)
{
    quint8 b = 0;
    if (!readByte(b))
        return false;
    value = b != 0;
    return true;
}

bool TByteReader::readInt16(qint16& value)
{
    if (remaining() < 2)
        return failed();
    value = qint16(takeLittleEndian<quint16>(m_bytes, m_pos));
    m_pos += 2;
    return true;
}

bool TByteReader::readUInt16(quint16& value)
{
    if (remaining() < 2)
        return failed();
    value = takeLittleEndian<quint16>(m_bytes, m_pos);
    m_pos += 2;
    return true;
}

bool TByteReader::readInt32(qint32& value)
{
    if (remaining() < 4)
        return failed();
    value = qint32(takeLittleEndian<quint32>(m_bytes, m_pos));
    m_pos += 4;
    return true;
}

bool TByteReader::readDouble(double& value)
{
    if (remaining() < 8)
        return failed();
    const quint64 bits = takeLittleEndian<quint64>(m_bytes, m_pos);
    std::memcpy(&value, &bits, sizeof value);
    m_pos += 8;
    return true;
}

bool TByteReader::readBytes(qsizetype count, QByteArray& value)
{
    if (count < 0 || remaining() < count)
        return failed();
    value = m_bytes.mid(m_pos, count);
    m_pos += count;
    return true;
}

bool TByteReader::skip(qsizetype count)
{
    if (count < 0 || remaining() < count)
        return failed();
    m_pos += count;
    return true;
}

} // namespace mk
