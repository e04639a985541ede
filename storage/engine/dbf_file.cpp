#include "storage/engine/dbf_file.h"

#include <cstring>
#include <ctime>

namespace mk::dbase {

namespace {

uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

[[noreturn]] void corrupt(const std::string& what)
{
    throw DatabaseError(DatabaseError::Code::Corrupt, "Corrupt table header: " + what);
}

constexpr uint32_t kAheadRecords = 64;

} // namespace

ParsedHeader parseDbfHeader(const uint8_t* data, size_t size, uint64_t fileSize)
{
    if (size < 33 || fileSize < 33)
        corrupt("file too short");
    ParsedHeader out;
    TableHeader& h = out.header;
    h.version = data[0];
    // Level 3 (dBASE III and IV, table level 5) and the FoxPro bytes share the
    // 32-byte descriptor layout. Some writers mark dBASE IV memo tables
    // with level 4 (0x84); they are taken when the 32-byte layout fits the
    // header exactly (a level 7 table with its 48-byte descriptors does not).
    const int level = h.version & 0x07;
    const bool levelFour = level == 4;
    if (level != 3 && !levelFour && h.version != 0x30 && h.version != 0x31 && h.version != 0xF5)
        corrupt("unsupported version byte");
    h.year = data[1];
    h.month = data[2];
    h.day = data[3];
    h.recordCount = get32(data + 4);
    h.headerLength = get16(data + 8);
    h.recordLength = get16(data + 10);
    h.incomplete = data[14];
    h.encrypted = data[15];
    h.productionIndex = data[28];
    h.languageDriver = data[29];
    if (h.encrypted != 0)
        throw DatabaseError(DatabaseError::Code::Corrupt, "Encrypted tables are not supported");
    if (h.headerLength < 33 || h.headerLength > size || h.headerLength > fileSize)
        corrupt("bad header length");
    if (h.recordLength < 1)
        corrupt("bad record length");
    const uint64_t needed = h.headerLength + static_cast<uint64_t>(h.recordCount) * h.recordLength;
    if (needed > fileSize)
        corrupt("the file is shorter than its record count says");

    uint32_t offset = 1;
    size_t pos = 32;
    bool terminated = false;
    while (pos < h.headerLength) {
        if (data[pos] == layout::kFieldTerminator) {
            terminated = true;
            break;
        }
        if (pos + 32 > h.headerLength)
            break;
        const uint8_t* d = data + pos;
        FieldDescriptor f;
        size_t nameLen = 0;
        while (nameLen < 11 && d[nameLen] != 0)
            ++nameLen;
        f.name.assign(reinterpret_cast<const char*>(d), nameLen);
        if (f.name.empty())
            corrupt("field without a name");
        f.type = static_cast<char>(d[11]);
        f.length = d[16];
        f.decimals = d[17];
        f.mdxTag = d[31] != 0;
        f.offset = offset;
        if (f.length == 0)
            corrupt("field " + f.name + " has length 0");
        switch (f.type) {
        case 'D':
            if (f.length != 8)
                corrupt("date field " + f.name + " is not 8 bytes");
            break;
        case 'L':
            if (f.length != 1)
                corrupt("logical field " + f.name + " is not 1 byte");
            break;
        case 'M':
        case 'B':
        case 'G':
            if (f.length != 10 && f.length != 4)
                corrupt("memo field " + f.name + " has a bad length");
            break;
        case 'N':
        case 'F':
            if (f.length > 20 || f.decimals >= f.length)
                corrupt("numeric field " + f.name + " has a bad size");
            break;
        default:
            break;
        }
        offset += f.length;
        out.fields.push_back(std::move(f));
        if (out.fields.size() > static_cast<size_t>(layout::kMaxFields))
            corrupt("too many fields");
        pos += 32;
    }
    if (!terminated)
        corrupt("field descriptors are not terminated");
    if (levelFour && pos + 1 != h.headerLength)
        corrupt("unsupported version byte");
    if (out.fields.empty())
        corrupt("no fields");
    if (offset > h.recordLength)
        corrupt("the fields do not fit the record length");
    return out;
}

void stampToday(TableHeader& header)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    header.year = static_cast<uint8_t>(tm.tm_year % 256);
    header.month = static_cast<uint8_t>(tm.tm_mon + 1);
    header.day = static_cast<uint8_t>(tm.tm_mday);
}

std::vector<uint8_t> buildDbfHeader(TableHeader h, std::vector<FieldDescriptor>& fields)
{
    if (fields.empty() || fields.size() > static_cast<size_t>(layout::kMaxFields))
        throw DatabaseError(DatabaseError::Code::General, "A table needs 1 to 255 fields");
    const size_t headerLength = 32 + 32 * fields.size() + 1;
    std::vector<uint8_t> out(headerLength, 0);
    uint32_t offset = 1;
    for (size_t i = 0; i < fields.size(); ++i) {
        FieldDescriptor& f = fields[i];
        if (f.name.empty() || f.name.size() > 10)
            throw DatabaseError(DatabaseError::Code::General, "Bad field name: " + f.name);
        if (f.length == 0)
            throw DatabaseError(DatabaseError::Code::General, "Field " + f.name + " has length 0");
        f.offset = offset;
        offset += f.length;
        uint8_t* d = out.data() + 32 + 32 * i;
        std::memcpy(d, f.name.data(), f.name.size());
        d[11] = static_cast<uint8_t>(f.type);
        d[16] = f.length;
        d[17] = f.decimals;
        d[31] = f.mdxTag ? 1 : 0;
    }
    if (offset > 0xFFFF)
        throw DatabaseError(DatabaseError::Code::General, "Record too long");
    h.headerLength = static_cast<uint16_t>(headerLength);
    h.recordLength = static_cast<uint16_t>(offset);
    out[0] = h.version;
    out[1] = h.year;
    out[2] = h.month;
    out[3] = h.day;
    put32(out.data() + 4, h.recordCount);
    put16(out.data() + 8, h.headerLength);
    put16(out.data() + 10, h.recordLength);
    out[28] = h.productionIndex;
    out[29] = h.languageDriver;
    out[headerLength - 1] = layout::kFieldTerminator;
    return out;
}

void DbfFile::open(const std::string& path, bool exclusive)
{
    close();
    m_file.open(path, exclusive);
    if (!m_file.tryLock(layout::kOpenModeLock, 1, exclusive && !m_file.readOnly())) {
        m_file.close();
        throw DatabaseError(DatabaseError::Code::Locked,
                            exclusive ? "The table is in use by someone else: " + path
                                      : "The table is opened exclusively by someone else: " + path);
    }
    try {
        uint8_t fixed[32];
        m_file.readExact(0, fixed, 32);
        const uint16_t headerLength = get16(fixed + 8);
        if (headerLength < 33)
            corrupt("bad header length");
        std::vector<uint8_t> head(headerLength);
        m_file.readExact(0, head.data(), head.size());
        // The size after the header: an append of another process grows the
        // file before it raises the count, never the other way round.
        const uint64_t fileSize = m_file.size();
        ParsedHeader parsed = parseDbfHeader(head.data(), head.size(), fileSize);
        m_header = parsed.header;
        m_fields = std::move(parsed.fields);
    } catch (...) {
        m_file.close();
        throw;
    }
    m_exclusive = exclusive;
    m_dateWritten = false;
    m_aheadCount = 0;
}

void DbfFile::close() noexcept
{
    try {
        flushIfPending();
    } catch (...) {
        // The appends of the last batch are lost; the file stays a valid table.
    }
    m_pendingCount = 0;
    m_pending.clear();
    m_writeBehind = false;
    m_beforeFlush = nullptr;
    m_file.close();
    m_fields.clear();
    m_aheadCount = 0;
    m_ahead.clear();
}

uint32_t DbfFile::refreshCount()
{
    if (m_exclusive)
        return m_header.recordCount;
    uint8_t b[4];
    m_file.readExact(4, b, 4);
    const uint32_t count = get32(b);
    if (count != m_header.recordCount) {
        const uint64_t needed = m_header.headerLength + static_cast<uint64_t>(count) * m_header.recordLength;
        if (needed > m_file.size())
            corrupt("the file is shorter than its record count says");
        m_header.recordCount = count;
    }
    return count;
}

bool DbfFile::readRecord(uint32_t recno, uint8_t* out)
{
    if (recno == 0)
        return false;
    if (m_pendingCount && recno >= m_pendingFirst)
        flush();
    if (recno > m_header.recordCount && recno > refreshCount())
        return false;
    const uint32_t len = m_header.recordLength;
    if (m_exclusive) {
        const bool cached = recno >= m_aheadFirst && recno < m_aheadFirst + m_aheadCount;
        const bool forwards = recno == m_lastRead + 1;
        const bool backwards = recno + 1 == m_lastRead;
        m_lastRead = recno;
        if (!cached && !forwards && !backwards) {
            // Random access: no read-ahead.
            m_file.readExact(recordOffset(recno), out, len);
            return true;
        }
        if (!cached) {
            m_ahead.resize(static_cast<size_t>(kAheadRecords) * len);
            const uint32_t firstRec = forwards ? recno : (recno > kAheadRecords ? recno - kAheadRecords + 1 : 1);
            const uint32_t n = std::min(kAheadRecords, m_header.recordCount - firstRec + 1);
            m_file.readExact(recordOffset(firstRec), m_ahead.data(), static_cast<size_t>(n) * len);
            m_aheadFirst = firstRec;
            m_aheadCount = n;
        }
        std::memcpy(out, m_ahead.data() + static_cast<size_t>(recno - m_aheadFirst) * len, len);
        return true;
    }
    m_file.readExact(recordOffset(recno), out, len);
    return true;
}

uint32_t DbfFile::readRecords(uint32_t recno, uint32_t n, uint8_t* out)
{
    if (recno == 0)
        return 0;
    flushIfPending();
    const uint32_t count = refreshCount();
    if (recno > count)
        return 0;
    n = std::min(n, count - recno + 1);
    m_file.readExact(recordOffset(recno), out, static_cast<size_t>(n) * m_header.recordLength);
    return n;
}

void DbfFile::writeRecord(uint32_t recno, const uint8_t* record)
{
    flushIfPending();
    m_file.writeAt(recordOffset(recno), record, m_header.recordLength);
    if (recno >= m_aheadFirst && recno < m_aheadFirst + m_aheadCount)
        std::memcpy(m_ahead.data() + static_cast<size_t>(recno - m_aheadFirst) * m_header.recordLength, record,
                    m_header.recordLength);
    touchDate();
}

void DbfFile::writeDeletionFlag(uint32_t recno, uint8_t flag)
{
    flushIfPending();
    m_file.writeAt(recordOffset(recno), &flag, 1);
    if (recno >= m_aheadFirst && recno < m_aheadFirst + m_aheadCount)
        m_ahead[static_cast<size_t>(recno - m_aheadFirst) * m_header.recordLength] = flag;
    touchDate();
}

uint32_t DbfFile::appendLocked(const uint8_t* record)
{
    const uint32_t recno = m_header.recordCount + 1;
    const uint32_t len = m_header.recordLength;
    if (m_writeBehind) {
        if (m_pendingCount == 0)
            m_pendingFirst = recno;
        m_pending.insert(m_pending.end(), record, record + len);
        ++m_pendingCount;
        m_header.recordCount = recno;
        if (m_pendingCount >= 256)
            flush();
        return recno;
    }
    // Record and end-of-file marker in one write, then the count: a process
    // killed in between leaves the old count, which is still a valid table.
    uint8_t stackBuf[1024];
    std::vector<uint8_t> heapBuf;
    uint8_t* buf = stackBuf;
    if (len + 1 > sizeof stackBuf) {
        heapBuf.resize(len + 1);
        buf = heapBuf.data();
    }
    std::memcpy(buf, record, len);
    buf[len] = layout::kEndOfFile;
    m_file.writeAt(recordOffset(recno), buf, len + 1);
    writeCount(recno);
    return recno;
}

void DbfFile::writeCount(uint32_t count)
{
    // Version, today's date and the record count: the first 8 bytes in one write.
    uint8_t head[8];
    TableHeader h = m_header;
    stampToday(h);
    head[0] = h.version;
    head[1] = h.year;
    head[2] = h.month;
    head[3] = h.day;
    put32(head + 4, count);
    m_file.writeAt(0, head, 8);
    m_header.recordCount = count;
    m_header.year = h.year;
    m_header.month = h.month;
    m_header.day = h.day;
    m_dateWritten = true;
}

void DbfFile::setWriteBehind(bool on, std::function<void()> beforeFlush)
{
    flushIfPending();
    m_writeBehind = on && m_exclusive;
    m_beforeFlush = std::move(beforeFlush);
}

void DbfFile::flush()
{
    if (!m_pendingCount)
        return;
    if (m_beforeFlush)
        m_beforeFlush();
    m_pending.push_back(layout::kEndOfFile);
    m_file.writeAt(recordOffset(m_pendingFirst), m_pending.data(), m_pending.size());
    m_pending.clear();
    m_pendingCount = 0;
    writeCount(m_header.recordCount);
}

bool DbfFile::lockRecord(uint32_t recno)
{
    if (m_exclusive)
        return true;
    if (m_file.readOnly())
        return false;
    return m_file.tryLock(layout::kRecordLockBase - recno, 1, true);
}

void DbfFile::unlockRecord(uint32_t recno) noexcept
{
    if (!m_exclusive)
        m_file.unlock(layout::kRecordLockBase - recno, 1);
}

void DbfFile::lockHeader()
{
    if (m_exclusive)
        return;
    if (m_file.readOnly())
        throw DatabaseError(DatabaseError::Code::Io, "The table is read-only: " + m_file.path());
    // The append lock ("record 0") and the header lock, as one range.
    if (!m_file.lockWait(layout::kAppendLock, 2, true, 3000))
        throw DatabaseError(DatabaseError::Code::Locked, "The table header is locked by someone else");
}

void DbfFile::unlockHeader() noexcept
{
    if (!m_exclusive)
        m_file.unlock(layout::kAppendLock, 2);
}

void DbfFile::touchDate()
{
    if (m_dateWritten)
        return;
    TableHeader h = m_header;
    stampToday(h);
    const uint8_t ymd[3] = {h.year, h.month, h.day};
    m_file.writeAt(1, ymd, 3);
    m_header.year = h.year;
    m_header.month = h.month;
    m_header.day = h.day;
    m_dateWritten = true;
}

} // namespace mk::dbase
