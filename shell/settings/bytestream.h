#pragma once

// Little-endian byte reading and writing for the binary settings files and
// the value stream. Values are put together byte by byte, never by copying
// struct memory, so the files are the same on every platform.

#include <QByteArray>

#include <cstdint>

namespace mk {

class TByteWriter
{
public:
    void writeByte(quint8 value);
    void writeBool(bool value) { writeByte(value ? 1 : 0); }
    void writeInt16(qint16 value);
    void writeUInt16(quint16 value);
    void writeInt32(qint32 value);
    void writeDouble(double value);
    void writeBytes(const QByteArray& bytes);
    void writeZeros(qsizetype count);

    const QByteArray& bytes() const { return m_bytes; }
    qsizetype size() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
};

// Every read is all or nothing: when fewer bytes are left than the value
// needs, the read returns false and the value is left as it was. A failed read
// also consumes the rest of the input, so the fields after a cut are not
// taken from the bytes of a field that was cut off.
class TByteReader
{
public:
    TByteReader() = default;
    explicit TByteReader(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    qsizetype position() const { return m_pos; }
    qsizetype remaining() const { return m_bytes.size() - m_pos; }

    bool peekByte(quint8& value) const;
    bool readByte(quint8& value);
    // A bool byte: 0 is false, any other value true.
    bool readBool(bool& value);
    bool readInt16(qint16& value);
    bool readUInt16(quint16& value);
    bool readInt32(qint32& value);
    bool readDouble(double& value);
    bool readBytes(qsizetype count, QByteArray& value);
    bool skip(qsizetype count);

private:
    bool failed();

    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

} // namespace mk
