#include "storage/engine/cursor_order.h"

#include "storage/engine/dbf_file.h"
#include "storage/engine/table.h"

#include <algorithm>
#include <vector>

namespace mk::dbase {

namespace {
// Records per bulk read of a scan: about 256 KB whatever the record length.
uint32_t scanChunk(uint32_t recordLength)
{
    return std::max<uint32_t>(1, std::min<uint32_t>(256, (256u * 1024u) / std::max<uint32_t>(1, recordLength)));
}
} // namespace

bool CursorOrder::contains(uint32_t recno)
{
    std::vector<uint8_t> rec(table().dbf().recordLength());
    return table().readRecord(recno, rec.data()) && rec[0] != layout::kDeletedFlag;
}

uint32_t CursorOrder::moveBy(uint32_t current, int delta, int& moved)
{
    moved = 0;
    uint32_t at = current;
    while (delta != 0) {
        const uint32_t r = delta > 0 ? next(at) : prior(at);
        if (r == 0)
            break;
        at = r;
        ++moved;
        delta += delta > 0 ? -1 : 1;
    }
    return at;
}

uint32_t NaturalOrder::first()
{
    return next(0);
}

uint32_t NaturalOrder::last()
{
    Table& t = table();
    const uint32_t count = t.physicalCount();
    for (uint32_t r = count; r >= 1; --r) {
        if (!t.peekRecord(r))
            return 0;
        if (t.m_peek[0] != layout::kDeletedFlag)
            return r;
    }
    return 0;
}

uint32_t NaturalOrder::next(uint32_t current)
{
    Table& t = table();
    for (uint32_t r = current + 1; r != 0; ++r) {
        if (!t.peekRecord(r))
            return 0;
        if (t.m_peek[0] != layout::kDeletedFlag)
            return r;
    }
    return 0;
}

uint32_t NaturalOrder::prior(uint32_t current)
{
    Table& t = table();
    if (current == 0)
        return 0;
    for (uint32_t r = current - 1; r >= 1; --r) {
        if (!t.peekRecord(r))
            return 0;
        if (t.m_peek[0] != layout::kDeletedFlag)
            return r;
    }
    return 0;
}

uint32_t NaturalOrder::count()
{
    Table& t = table();
    DbfFile& dbf = t.dbf();
    const uint32_t physical = dbf.refreshCount();
    if (t.isExclusive() && t.m_liveCount)
        return *t.m_liveCount;
    const uint32_t len = dbf.recordLength();
    const uint32_t chunkRecords = scanChunk(len);
    std::vector<uint8_t> chunk(static_cast<size_t>(chunkRecords) * len);
    uint32_t live = 0;
    for (uint32_t r = 1; r <= physical;) {
        const uint32_t n = dbf.readRecords(r, std::min(chunkRecords, physical - r + 1), chunk.data());
        if (n == 0)
            break;
        for (uint32_t i = 0; i < n; ++i)
            if (chunk[static_cast<size_t>(i) * len] != layout::kDeletedFlag)
                ++live;
        r += n;
    }
    if (t.isExclusive())
        t.m_liveCount = live;
    return live;
}

uint32_t NaturalOrder::moveBy(uint32_t current, int delta, int& moved)
{
    moved = 0;
    Table& t = table();
    DbfFile& dbf = t.dbf();
    const uint32_t physical = dbf.refreshCount();
    if (delta == 0 || current == 0)
        return current;
    // Without deleted records a move is arithmetic.
    if (t.isExclusive() && count() == physical) {
        int64_t target = static_cast<int64_t>(current) + delta;
        if (target < 1)
            target = 1;
        if (target > physical)
            target = physical;
        moved = static_cast<int>(target > current ? target - current : current - target);
        return static_cast<uint32_t>(target);
    }
    const uint32_t len = dbf.recordLength();
    const uint32_t chunkRecords = scanChunk(len);
    std::vector<uint8_t> chunk(static_cast<size_t>(chunkRecords) * len);
    const int wanted = delta > 0 ? delta : -delta;
    uint32_t at = current;
    if (delta > 0) {
        for (uint32_t r = current + 1; r <= physical && moved < wanted;) {
            const uint32_t n = dbf.readRecords(r, std::min(chunkRecords, physical - r + 1), chunk.data());
            if (n == 0)
                break;
            for (uint32_t i = 0; i < n && moved < wanted; ++i)
                if (chunk[static_cast<size_t>(i) * len] != layout::kDeletedFlag) {
                    at = r + i;
                    ++moved;
                }
            r += n;
        }
    } else {
        uint32_t hi = current - 1; // last record still to look at
        while (hi >= 1 && moved < wanted) {
            const uint32_t n = std::min(chunkRecords, hi);
            const uint32_t lo = hi - n + 1;
            if (dbf.readRecords(lo, n, chunk.data()) != n)
                break;
            for (uint32_t i = n; i-- > 0 && moved < wanted;)
                if (chunk[static_cast<size_t>(i) * len] != layout::kDeletedFlag) {
                    at = lo + i;
                    ++moved;
                }
            hi = lo - 1;
        }
    }
    return at;
}

} // namespace mk::dbase
