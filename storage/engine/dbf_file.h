#pragma once

// The .dbf file of a table: header and field descriptors, record reads and
// writes, appends, and the byte-range locks other dBASE programs use.

#include "storage/engine/dbf_types.h"
#include "storage/engine/file_io.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mk::dbase {

// Parses the header of a .dbf held in `data` (at least the header bytes).
// `fileSize` is the size of the whole file. Throws DatabaseError (Corrupt)
// for anything that is not a dBASE table the engine can read.
struct ParsedHeader
{
    TableHeader header;
    std::vector<FieldDescriptor> fields;
};
ParsedHeader parseDbfHeader(const uint8_t* data, size_t size, uint64_t fileSize);
// Builds the header bytes (32 + 32 per field + terminator) of a new table.
std::vector<uint8_t> buildDbfHeader(TableHeader header, std::vector<FieldDescriptor>& fields);
// Today's date in the header's Y M D bytes.
void stampToday(TableHeader& header);

class DbfFile
{
public:
    // Opens the table and takes the open-mode lock (shared or exclusive);
    // DatabaseError Locked when the mode conflicts with another open.
    void open(const std::string& path, bool exclusive);
    void close() noexcept;
    bool isOpen() const { return m_file.isOpen(); }
    bool readOnly() const { return m_file.readOnly(); }
    bool exclusive() const { return m_exclusive; }

    const TableHeader& header() const { return m_header; }
    const std::vector<FieldDescriptor>& fields() const { return m_fields; }
    uint32_t recordLength() const { return m_header.recordLength; }
    File& file() { return m_file; }

    // Record count as known from the last refresh.
    uint32_t knownCount() const { return m_header.recordCount; }
    // Re-reads the record count from the header (Corrupt when the file is
    // shorter than the count says).
    uint32_t refreshCount();
    // Reads record `recno` (1-based) into out; false when past the count.
    bool readRecord(uint32_t recno, uint8_t* out);
    // Reads up to `n` consecutive records starting at `recno` into out
    // (n * recordLength bytes); returns how many were read.
    uint32_t readRecords(uint32_t recno, uint32_t n, uint8_t* out);
    void writeRecord(uint32_t recno, const uint8_t* record);
    void writeDeletionFlag(uint32_t recno, uint8_t flag);
    // Appends under the header lock: record and end-of-file marker first,
    // then the header count. Returns the new record number. `beforeWrite`
    // runs with the lock held once the record number is known.
    template<class F>
    uint32_t append(const uint8_t* record, F&& beforeWrite);

    bool lockRecord(uint32_t recno);
    void unlockRecord(uint32_t recno) noexcept;
    void lockHeader(); // waits briefly; DatabaseError Locked on timeout
    void unlockHeader() noexcept;
    void touchDate(); // writes today's date into the header once per day

    // While the table is open exclusively and no index follows the records,
    // appends are gathered and written in batches (records first, then the
    // header count). A process killed before a batch is written loses those
    // appends; the table stays valid. `beforeFlush` runs before each batch
    // (the memo file writes its pending values there).
    void setWriteBehind(bool on, std::function<void()> beforeFlush);
    void flush();

private:
    uint64_t recordOffset(uint32_t recno) const
    {
        return m_header.headerLength + static_cast<uint64_t>(recno - 1) * m_header.recordLength;
    }
    uint32_t appendLocked(const uint8_t* record);
    void writeCount(uint32_t count); // header bytes 0-7: version, today's date, record count

    File m_file;
    TableHeader m_header;
    std::vector<FieldDescriptor> m_fields;
    bool m_exclusive = false;
    bool m_dateWritten = false;
    // Read-ahead for sequential walks; used only while the table is open
    // exclusively (no other writer can make it stale).
    std::vector<uint8_t> m_ahead;
    uint32_t m_aheadFirst = 0;
    uint32_t m_aheadCount = 0;
    uint32_t m_lastRead = 0;
    bool m_writeBehind = false;
    std::function<void()> m_beforeFlush;
    std::vector<uint8_t> m_pending;
    uint32_t m_pendingFirst = 0;
    uint32_t m_pendingCount = 0;
    void flushIfPending()
    {
        if (m_pendingCount)
            flush();
    }
};

template<class F>
uint32_t DbfFile::append(const uint8_t* record, F&& beforeWrite)
{
    lockHeader();
    try {
        refreshCount();
        const uint32_t recno = m_header.recordCount + 1;
        beforeWrite(recno);
        appendLocked(record);
        unlockHeader();
        return recno;
    } catch (...) {
        unlockHeader();
        throw;
    }
}

} // namespace mk::dbase
