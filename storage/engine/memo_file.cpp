#include "storage/engine/memo_file.h"

#include "storage/engine/dbf_types.h"

#include <cstring>
#include <vector>

namespace mk::dbase {

namespace {

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint32_t kMaxValue = 64u * 1024u * 1024u; // no memo value is larger

bool validBlockSize(uint32_t b)
{
    return b >= 32 && b <= 65536 && (b % 32) == 0;
}

} // namespace

uint32_t memoBlockSize(const uint8_t* header, uint64_t fileSize)
{
    if (fileSize < 512)
        throw DatabaseError(DatabaseError::Code::Corrupt, "The memo file is too short");
    const uint32_t at20 = static_cast<uint32_t>(header[20] | (header[21] << 8));
    const uint32_t at4 = get32(header + 4);
    if (validBlockSize(at20))
        return at20;
    if (at20 == 0 && validBlockSize(at4))
        return at4;
    if (at20 == 0)
        return 512; // dBASE III memo files record no block size
    throw DatabaseError(DatabaseError::Code::Corrupt, "The memo file declares a bad block size");
}

std::string readMemoValue(const uint8_t* data, uint64_t size, uint32_t blockSize, uint32_t block)
{
    const uint64_t start = static_cast<uint64_t>(block) * blockSize;
    if (block == 0 || start >= size)
        throw EngineError("Memo pointer " + std::to_string(block) + " is outside the memo file");
    const uint8_t* p = data + start;
    if (start + 8 <= size && p[0] == 0xFF && p[1] == 0xFF && p[2] == 0x08 && p[3] == 0x00) {
        const uint32_t length = get32(p + 4);
        if (length < 8 || length - 8 > kMaxValue || start + length > size)
            throw EngineError("Memo block " + std::to_string(block) + " has a bad length");
        return std::string(reinterpret_cast<const char*>(p + 8), length - 8);
    }
    const uint64_t limit = std::min<uint64_t>(size, start + kMaxValue);
    for (uint64_t i = start; i < limit; ++i) {
        if (data[i] == 0x1A)
            return std::string(reinterpret_cast<const char*>(p), i - start);
    }
    throw EngineError("Memo block " + std::to_string(block) + " is not terminated");
}

void MemoFile::open(const std::string& path, bool readOnly)
{
    m_file.open(path, false);
    (void)readOnly;
    uint8_t header[512];
    const uint64_t size = m_file.size();
    if (size < 512) {
        m_file.close();
        throw DatabaseError(DatabaseError::Code::Corrupt, "The memo file is too short: " + path);
    }
    m_file.readExact(0, header, sizeof header);
    try {
        m_blockSize = memoBlockSize(header, size);
    } catch (...) {
        m_file.close();
        throw;
    }
}

void MemoFile::create(const std::string& path, const std::string& tableBaseName)
{
    File f;
    f.create(path);
    uint8_t header[512] = {};
    put32(header, 1);
    put32(header + 4, layout::kMemoBlockSize);
    for (size_t i = 0; i < 8 && i < tableBaseName.size(); ++i) {
        char c = tableBaseName[i];
        header[8 + i] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    header[20] = static_cast<uint8_t>(layout::kMemoBlockSize & 0xFF);
    header[21] = static_cast<uint8_t>(layout::kMemoBlockSize >> 8);
    f.writeAt(0, header, sizeof header);
}

void MemoFile::close() noexcept
{
    try {
        flush();
    } catch (...) {}
    m_pending.clear();
    m_file.close();
}

void MemoFile::flush()
{
    if (m_pending.empty())
        return;
    m_file.writeAt(static_cast<uint64_t>(m_pendingFirst) * m_blockSize, m_pending.data(), m_pending.size());
    m_pending.clear();
    uint8_t nextFree[4];
    put32(nextFree, m_next);
    m_file.writeAt(0, nextFree, 4);
    m_cacheLen = 0;
}

bool MemoFile::readCached(uint32_t block, std::string& out) const
{
    const uint64_t start = static_cast<uint64_t>(block) * m_blockSize;
    const bool forwards = block > m_lastBlock;
    m_lastBlock = block;
    auto inCache = [&](uint64_t from, uint64_t n) {
        return m_cacheLen && from >= m_cacheStart && from + n <= m_cacheStart + m_cacheLen;
    };
    if (!inCache(start, 8)) {
        if (!forwards)
            return false;
        m_cache.resize(64 * 1024);
        m_cacheLen = m_file.readAt(start, m_cache.data(), m_cache.size());
        m_cacheStart = start;
        if (!inCache(start, 8))
            return false;
    }
    const uint8_t* p = m_cache.data() + (start - m_cacheStart);
    if (!(p[0] == 0xFF && p[1] == 0xFF && p[2] == 0x08 && p[3] == 0x00))
        return false;
    const uint32_t length = get32(p + 4);
    if (length < 8 || !inCache(start, length))
        return false;
    out.assign(reinterpret_cast<const char*>(p + 8), length - 8);
    return true;
}

std::string MemoFile::read(uint32_t block) const
{
    const uint64_t start = static_cast<uint64_t>(block) * m_blockSize;
    if (block == 0)
        throw EngineError("Memo pointer 0 points into the memo header");
    if (!m_pending.empty() && block >= m_pendingFirst)
        const_cast<MemoFile*>(this)->flush();
    if (m_exclusive) {
        std::string cached;
        if (readCached(block, cached))
            return cached;
    }
    // One read of the first block gives the length and, for most values,
    // the value itself; a short read means the block is past the end.
    uint8_t first[1024];
    const size_t firstLen = std::min<size_t>(sizeof first, m_blockSize);
    const size_t got = m_file.readAt(start, first, firstLen);
    if (got == 0)
        throw EngineError("Memo pointer " + std::to_string(block) + " is outside the memo file");
    if (got >= 8 && first[0] == 0xFF && first[1] == 0xFF && first[2] == 0x08 && first[3] == 0x00) {
        const uint32_t length = get32(first + 4);
        if (length < 8 || length - 8 > kMaxValue)
            throw EngineError("Memo block " + std::to_string(block) + " has a bad length");
        if (length > got && start + length > m_file.size())
            throw EngineError("Memo block " + std::to_string(block) + " has a bad length");
        std::string out(length - 8, '\0');
        const size_t inFirst = std::min<size_t>(out.size(), got - 8);
        std::memcpy(out.data(), first + 8, inFirst);
        if (inFirst < out.size() &&
            m_file.readAt(start + 8 + inFirst, out.data() + inFirst, out.size() - inFirst) != out.size() - inFirst)
            throw EngineError("Memo block " + std::to_string(block) + " has a bad length");
        return out;
    }
    const uint64_t size = m_file.size();
    // dBASE III layout: text up to the first 1A.
    std::string out;
    std::vector<uint8_t> chunk(m_blockSize);
    uint64_t pos = start;
    while (pos < size && out.size() < kMaxValue) {
        const size_t n = m_file.readAt(pos, chunk.data(), chunk.size());
        if (n == 0)
            break;
        const void* end = std::memchr(chunk.data(), 0x1A, n);
        if (end) {
            out.append(reinterpret_cast<const char*>(chunk.data()),
                       static_cast<size_t>(static_cast<const uint8_t*>(end) - chunk.data()));
            return out;
        }
        out.append(reinterpret_cast<const char*>(chunk.data()), n);
        pos += n;
    }
    throw EngineError("Memo block " + std::to_string(block) + " is not terminated");
}

uint32_t MemoFile::write(std::string_view bytes)
{
    if (bytes.size() > kMaxValue)
        throw DatabaseError(DatabaseError::Code::ValueTooLong, "Memo value too large");
    uint32_t next = m_exclusive ? m_next : 0;
    if (next == 0) {
        // New values go at the end of the file. The next-free pointer of the
        // header is not trusted: below the end it would overwrite live
        // values, far beyond it a damaged pointer would blow the file up.
        const uint64_t size = m_file.size();
        const uint64_t endBlock = (size + m_blockSize - 1) / m_blockSize;
        next = static_cast<uint32_t>(std::max<uint64_t>(endBlock, 1));
    }
    if (static_cast<uint64_t>(next) + bytes.size() / m_blockSize + 2 > 0xFFFFFFFFull / 2)
        throw DatabaseError(DatabaseError::Code::Io, "The memo file is full");
    if (m_dbase3 && bytes.find('\x1A') != std::string_view::npos)
        throw DatabaseError(DatabaseError::Code::General,
                            "A value holding the byte 1A cannot be stored in a dBASE III memo file");
    const uint64_t total = bytes.size() + (m_dbase3 ? 2 : 8);
    const uint64_t blocks = (total + m_blockSize - 1) / m_blockSize;
    const size_t at = m_exclusive ? m_pending.size() : 0;
    if (!m_exclusive)
        m_pending.clear();
    if (m_pending.empty())
        m_pendingFirst = next;
    m_pending.resize(at + blocks * m_blockSize, '\0');
    char* buf = m_pending.data() + at;
    if (m_dbase3) {
        std::memcpy(buf, bytes.data(), bytes.size());
        buf[bytes.size()] = '\x1A';
        buf[bytes.size() + 1] = '\x1A';
    } else {
        buf[0] = '\xFF';
        buf[1] = '\xFF';
        buf[2] = '\x08';
        buf[3] = '\x00';
        put32(reinterpret_cast<uint8_t*>(buf) + 4, static_cast<uint32_t>(total));
        std::memcpy(buf + 8, bytes.data(), bytes.size());
    }
    m_next = static_cast<uint32_t>(next + blocks);
    if (!m_exclusive || m_pending.size() >= 256 * 1024)
        flush();
    return next;
}

} // namespace mk::dbase
