#pragma once

// The tagged value stream of the list and definition files (filters,
// templates, reports, users, colours, HTML definitions, the log).
//
// A value is one tag byte followed by its data:
//   0  end of list      -
//   1  list begin       the items, then tag 0
//   2  8-bit integer    1 byte, signed
//   3  16-bit integer   2 bytes, signed, little-endian
//   4  32-bit integer   4 bytes, signed, little-endian
//   6  string           1 length byte L, then L bytes
//   12 long string      4-byte length L, then L bytes
// Inside items two untagged forms occur as well: a raw short string (one
// length byte, at most 255, then the bytes) and a raw block (a fixed number of
// bytes). Texts are Windows-1252, stored as they are.
//
// A list file is tag 1, the items' values, tag 0. Loading one:
//
//   TValueReader r(bytes);
//   r.readListBegin();
//   while (!r.endOfList()) {
//       Item item;
//       item.name = r.readString();
//       item.width = r.readInteger();
//       if (!r.ok())
//           break;              // a stream error ends the list
//       list.append(item);
//   }
//   r.readListEnd();
//
// Every reader call after a stream error does nothing and returns a zero or
// empty value, so a loader only needs to test ok() before keeping an item.

#include <QByteArray>
#include <QString>

#include <optional>

namespace mk {

enum class ValueTag : quint8 {
    Null = 0,
    List = 1,
    Int8 = 2,
    Int16 = 3,
    Int32 = 4,
    String = 6,
    LString = 12,
};

class TValueWriter
{
public:
    void writeListBegin();
    void writeListEnd();
    // Tag 2, 3 or 4: the smallest whose range holds the value.
    void writeInteger(qint32 value);
    // Tag 6 for at most 255 bytes, else tag 12. The text is written as
    // Windows-1252.
    void writeString(const QString& text);
    void writeStringBytes(const QByteArray& bytes);

    // Untagged forms.
    void writeRawShortString(const QString& text); // cut to 255 bytes
    void writeRawShortBytes(const QByteArray& bytes);
    void writeRawBlock(const QByteArray& bytes);
    void writeRawByte(quint8 value);
    void writeRawInt16(qint16 value);
    void writeRawUInt16(quint16 value);
    void writeRawInt32(qint32 value);

    const QByteArray& bytes() const { return m_bytes; }
    // Replaces the file at path with the bytes written (atomically).
    bool saveTo(const QString& path, QString* error = nullptr) const;

private:
    QByteArray m_bytes;
};

class TValueReader
{
public:
    explicit TValueReader(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {}
    // The whole file, or nullopt when it cannot be read (a missing file).
    static std::optional<TValueReader> fromFile(const QString& path);

    bool ok() const { return m_error.isEmpty(); }
    // What went wrong and at which byte offset; empty while ok().
    const QString& errorText() const { return m_error; }
    qsizetype errorOffset() const { return m_errorOffset; }

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    qsizetype position() const { return m_pos; }

    // Expects tag 1.
    void readListBegin();
    // True when the next byte is the end-of-list tag 0 (not consumed). An
    // early end of the input is a stream error and also answers true, so a
    // reading loop ends.
    bool endOfList();
    // Expects tag 0.
    void readListEnd();
    // Accepts tags 2, 3 and 4.
    qint32 readInteger();
    // Accepts tags 6 and 12.
    QString readString();
    QByteArray readStringBytes();

    QString readRawShortString();
    QByteArray readRawShortBytes();
    QByteArray readRawBlock(qsizetype length);
    quint8 readRawByte();
    qint16 readRawInt16();
    quint16 readRawUInt16();
    qint32 readRawInt32();

    // Marks a stream error from outside, e.g. a value out of its range.
    void fail(const QString& what);

private:
    bool take(qsizetype count, QByteArray* out = nullptr);
    bool takeTag(quint8& tag);
    quint64 takeUnsigned(int size);

    QByteArray m_bytes;
    qsizetype m_pos = 0;
    QString m_error;
    qsizetype m_errorOffset = -1;
};

} // namespace mk
