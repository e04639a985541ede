#pragma once

// The .dbt memo file in the dBASE IV layout: a 512-byte header (next free
// block at offset 0, block size at offset 4 as 32 bits and at offset 20 as
// 16 bits, table name at offset 8), then blocks. A value starts a block
// with FF FF 08 00 and a 32-bit length that counts those 8 bytes. Values in
// the dBASE III layout (text ended by 1A 1A) are read too.
//
// New values always go to fresh blocks at the end; the blocks of replaced
// or deleted values are reclaimed by pack. A value is therefore never
// overwritten in place, and a process killed while writing one leaves the
// record pointing at the old, whole value.

#include "storage/engine/file_io.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mk::dbase {

class DbfFile;

// Reads one value from memo bytes held in memory (fuzzing, dbftool).
// Throws EngineError for a bad block number or a damaged block.
std::string readMemoValue(const uint8_t* data, uint64_t size, uint32_t blockSize, uint32_t block);
// The block size a memo header declares (Corrupt DatabaseError when bad).
uint32_t memoBlockSize(const uint8_t* header, uint64_t fileSize);

class MemoFile
{
public:
    void open(const std::string& path, bool readOnly);
    // Creates an empty memo file for the table named `tableBaseName`.
    static void create(const std::string& path, const std::string& tableBaseName);
    void close() noexcept;
    bool isOpen() const { return m_file.isOpen(); }
    const std::string& path() const { return m_file.path(); }
    uint32_t blockSize() const { return m_blockSize; }
    // While the table is open exclusively the next free block is kept in
    // memory instead of being re-read before every write.
    // It also gathers new values and writes them in batches (flush), and
    // reads sequential walks ahead.
    void setExclusive(bool exclusive)
    {
        flush();
        m_exclusive = exclusive;
        m_next = 0;
        m_cacheLen = 0;
    }
    void flush();
    // Values of a dBASE III table (version 0x83) are written in its layout:
    // the bytes followed by 1A 1A (a value holding 1A cannot be stored).
    void setDbase3(bool on) { m_dbase3 = on; }

    // The value stored at `block`; EngineError when the block is damaged.
    std::string read(uint32_t block) const;
    // Writes a new value and returns its first block. The caller holds the
    // table's header lock (DbfFile::lockHeader), which serialises
    // allocation between processes.
    uint32_t write(std::string_view bytes);
    // Appends without re-reading the header (exclusive bulk writers).
    File& file() { return m_file; }

private:
    File m_file;
    uint32_t m_blockSize = 512;
    bool m_exclusive = false;
    bool m_dbase3 = false;
    uint32_t m_next = 0;
    std::string m_pending; // blocks not yet written, starting at m_pendingFirst
    uint32_t m_pendingFirst = 0;
    mutable std::vector<uint8_t> m_cache; // read-ahead window (exclusive only)
    mutable uint64_t m_cacheStart = 0;
    mutable size_t m_cacheLen = 0;
    mutable uint32_t m_lastBlock = 0;
    bool readCached(uint32_t block, std::string& out) const;
};

} // namespace mk::dbase
