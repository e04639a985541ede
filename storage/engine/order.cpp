#include "storage/engine/order.h"

#include "storage/engine/dbf_file.h"
#include "storage/engine/memo_file.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace mk::dbase {

namespace {

std::string baseNameOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool isDeleted(const uint8_t* record)
{
    return record[0] == layout::kDeletedFlag;
}

ProductionIndex* hooksOf(Table& table)
{
    return dynamic_cast<ProductionIndex*>(table.indexHooks());
}

ProductionIndex& requireIndex(Table& table)
{
    ProductionIndex* p = hooksOf(table);
    if (!p)
        throw DatabaseError(DatabaseError::Code::NotFound, "Table " + table.path() + " has no production index");
    return *p;
}

MdxIndexProvider g_provider;

} // namespace

// ---------------------------------------------------------------- records and memos

MemoReader tableMemoReader(Table& table)
{
    return [&table](int, std::string_view raw) -> std::string {
        uint32_t block = 0;
        if (raw.size() == 4) {
            for (int i = 3; i >= 0; --i)
                block = block << 8 | static_cast<uint8_t>(raw[size_t(i)]);
        } else {
            for (char c : raw)
                if (c >= '0' && c <= '9')
                    block = block * 10 + uint32_t(c - '0');
        }
        if (block == 0)
            return {};
        MemoFile* memo = table.memo();
        if (!memo)
            throw EngineError("The table has no memo file");
        return memo->read(block);
    };
}

RecordSource tableRecords(Table& table)
{
    RecordSource src;
    // Appends gathered in memory (exclusive use without an index) reach the file first.
    table.dbf().flush();
    src.count = table.physicalCount();
    src.memo = tableMemoReader(table);
    const std::string dbf = findTableFiles(table.path()).dbf;
    const uint32_t headerLen = table.header().headerLength;
    const uint32_t recLen = table.header().recordLength;
    // Chunked sequential reads: tag builds touch every record once.
    struct Reader
    {
        int fd = -1;
        std::vector<uint8_t> chunk;
        uint32_t firstRec = 0; // record number of chunk[0]
        uint32_t recs = 0;
        ~Reader()
        {
            if (fd >= 0)
                ::close(fd);
        }
    };
    auto reader = std::make_shared<Reader>();
    reader->fd = ::open(dbf.c_str(), O_RDONLY | O_CLOEXEC);
    if (reader->fd < 0)
        throw DatabaseError(DatabaseError::Code::Io, "Cannot read table " + table.path());
    src.read = [reader, headerLen, recLen](uint32_t recno, std::vector<uint8_t>& out) -> bool {
        if (recno < reader->firstRec || recno >= reader->firstRec + reader->recs || reader->recs == 0) {
            const uint32_t per = std::max<uint32_t>(1, (1u << 20) / std::max<uint32_t>(recLen, 1));
            reader->chunk.resize(size_t(per) * recLen);
            const off_t off = off_t(headerLen) + off_t(recno - 1) * off_t(recLen);
            ssize_t got = 0;
            for (;;) {
                got = ::pread(reader->fd, reader->chunk.data(), reader->chunk.size(), off);
                if (got < 0 && errno == EINTR)
                    continue;
                break;
            }
            if (got < 0)
                throw DatabaseError(DatabaseError::Code::Io, "Cannot read table records");
            reader->firstRec = recno;
            reader->recs = uint32_t(size_t(got) / recLen);
            if (reader->recs == 0)
                return false;
        }
        const uint8_t* p = reader->chunk.data() + size_t(recno - reader->firstRec) * recLen;
        out.assign(p, p + recLen);
        return !isDeleted(p);
    };
    return src;
}

// ---------------------------------------------------------------- hooks and provider

ProductionIndex::ProductionIndex(Table& table, std::unique_ptr<MdxFile> mdx)
    : m_table(table)
    , m_mdx(std::move(mdx))
{
    m_mdx->setMemoReader(tableMemoReader(table));
    m_mdx->setRecordSource([&table] { return tableRecords(table); });
    m_mdx->dropKeysOfDeletedRecords();
    // Nobody else can read the index while the table is held exclusively.
    m_mdx->setWriteBehind(table.isExclusive());
}

void ProductionIndex::beginChange()
{
    m_mdx->beginChange();
}

void ProductionIndex::recordAppended(uint32_t recno, const uint8_t* newRecord)
{
    if (!isDeleted(newRecord))
        m_mdx->insertRecord(recno, newRecord);
}

void ProductionIndex::recordChanged(uint32_t recno, const uint8_t* oldRecord, const uint8_t* newRecord)
{
    const bool wasLive = !isDeleted(oldRecord), isLive = !isDeleted(newRecord);
    if (wasLive && isLive)
        m_mdx->changeRecord(recno, oldRecord, newRecord);
    else if (wasLive)
        m_mdx->removeRecord(recno, oldRecord);
    else if (isLive)
        m_mdx->insertRecord(recno, newRecord);
}

void ProductionIndex::recordDeleted(uint32_t recno, const uint8_t* record)
{
    m_mdx->removeRecord(recno, record);
}

void ProductionIndex::recordRecalled(uint32_t recno, const uint8_t* record)
{
    m_mdx->insertRecord(recno, record);
}

void ProductionIndex::endChange()
{
    m_mdx->endChange();
}

void ProductionIndex::flush()
{
    m_mdx->flush();
}

void ProductionIndex::closing()
{
    m_mdx->flush();
}

std::unique_ptr<IndexHooks> MdxIndexProvider::open(Table& table)
{
    const std::string mdx = findTableFiles(table.path()).mdx;
    if (mdx.empty())
        throw DatabaseError(DatabaseError::Code::NotFound,
                            "The production index of " + table.path() + " does not exist");
    auto file = MdxFile::open(mdx, baseNameOf(table.path()), table.fields(), !table.readOnlyFile());
    return std::make_unique<ProductionIndex>(table, std::move(file));
}

void MdxIndexProvider::regenerate(Table& table)
{
    ProductionIndex& pi = requireIndex(table);
    pi.mdx().regenerate(tableRecords(table));
}

void MdxIndexProvider::retarget(const std::string& mdxPath, const std::string& tableBaseName)
{
    MdxFile::retarget(mdxPath, tableBaseName);
}

void installIndexProvider()
{
    setIndexProvider(&g_provider);
}

// ---------------------------------------------------------------- tag order

TagOrder::TagOrder(Table& table, std::string tagName)
    : CursorOrder(table)
    , m_tag(std::move(tagName))
{
    tagIndex(); // fails now for an unknown tag
}

MdxFile& TagOrder::mdx()
{
    return requireIndex(table()).mdx();
}

int TagOrder::tagIndex()
{
    MdxFile& m = mdx();
    m.refresh();
    const int t = m.findTag(m_tag);
    if (t < 0)
        throw DatabaseError(DatabaseError::Code::NotFound, "Index tag " + m_tag + " does not exist");
    return t;
}

void TagOrder::bounds(uint64_t& begin, uint64_t& end)
{
    const int t = tagIndex();
    MdxFile& m = mdx();
    begin = 0;
    end = m.size(t);
    if (m_low) {
        begin = m.lowerBound(t, *m_low);
        end = std::max(begin, m.upperBound(t, *m_high));
    }
}

void TagOrder::setRange(std::string lowKey, std::string highKey)
{
    m_low = std::move(lowKey);
    m_high = std::move(highKey);
}

void TagOrder::cancelRange()
{
    m_low.reset();
    m_high.reset();
}

uint64_t TagOrder::rankOf(uint32_t recno, bool& present)
{
    present = false;
    const int t = tagIndex();
    MdxFile& m = mdx();
    m_buffer.resize(table().header().recordLength);
    if (recno == 0 || !table().readRecord(recno, m_buffer.data()))
        return m.size(t);
    const std::string key = m.makeKey(t, m_buffer.data());
    const uint64_t r = m.rank(t, key, recno);
    present = !isDeleted(m_buffer.data()) && r < m.size(t) && m.recnoAt(t, r) == recno;
    return r;
}

uint32_t TagOrder::first()
{
    uint64_t b, e;
    bounds(b, e);
    return b < e ? mdx().recnoAt(tagIndex(), b) : 0;
}

uint32_t TagOrder::last()
{
    uint64_t b, e;
    bounds(b, e);
    return b < e ? mdx().recnoAt(tagIndex(), e - 1) : 0;
}

uint32_t TagOrder::next(uint32_t current)
{
    uint64_t b, e;
    bounds(b, e);
    bool present;
    uint64_t r = rankOf(current, present);
    if (present)
        ++r;
    r = std::max(r, b);
    return r < e ? mdx().recnoAt(tagIndex(), r) : 0;
}

uint32_t TagOrder::prior(uint32_t current)
{
    uint64_t b, e;
    bounds(b, e);
    bool present;
    uint64_t r = rankOf(current, present);
    r = std::min(r, e);
    return r > b ? mdx().recnoAt(tagIndex(), r - 1) : 0;
}

uint32_t TagOrder::count()
{
    uint64_t b, e;
    bounds(b, e);
    return uint32_t(e - b);
}

bool TagOrder::contains(uint32_t recno)
{
    uint64_t b, e;
    bounds(b, e);
    bool present;
    const uint64_t r = rankOf(recno, present);
    return present && r >= b && r < e;
}

uint32_t TagOrder::moveBy(uint32_t current, int delta, int& moved)
{
    moved = 0;
    uint64_t b, e;
    bounds(b, e);
    if (b >= e)
        return 0;
    bool present;
    uint64_t r = rankOf(current, present);
    int64_t pos = int64_t(r);
    if (!present) {
        // Off the view: start from the nearest edge in the direction of travel.
        if (delta > 0) {
            pos = std::max<int64_t>(pos, int64_t(b)) - 1;
        } else {
            pos = std::min<int64_t>(pos, int64_t(e));
        }
    }
    const int64_t target = pos + delta;
    // `moved` counts the records passed, as the natural order does; running
    // off either end stops on the last (first) record of the view.
    if (target >= int64_t(e)) {
        moved = int(int64_t(e) - 1 - pos);
        return mdx().recnoAt(tagIndex(), e - 1);
    }
    if (target < int64_t(b)) {
        moved = int(pos - int64_t(b));
        return mdx().recnoAt(tagIndex(), b);
    }
    moved = delta > 0 ? delta : -delta;
    return mdx().recnoAt(tagIndex(), uint64_t(target));
}

int64_t TagOrder::positionOf(uint32_t recno)
{
    uint64_t b, e;
    bounds(b, e);
    bool present;
    const uint64_t r = rankOf(recno, present);
    return present && r >= b && r < e ? int64_t(r - b) : -1;
}

uint32_t TagOrder::recnoAt(uint64_t position)
{
    uint64_t b, e;
    bounds(b, e);
    return b + position < e ? mdx().recnoAt(tagIndex(), b + position) : 0;
}

uint32_t TagOrder::findKey(const std::string& key)
{
    uint64_t b, e;
    bounds(b, e);
    const int t = tagIndex();
    MdxFile& m = mdx();
    const uint64_t p = std::max(b, m.lowerBound(t, key));
    if (p < e && m.compare(t, m.keyAt(t, p), key) == 0)
        return m.recnoAt(t, p);
    return 0;
}

// ---------------------------------------------------------------- tag operations

std::vector<TagInfo> listTags(Table& table)
{
    std::vector<TagInfo> out;
    ProductionIndex* pi = hooksOf(table);
    if (!pi)
        return out;
    pi->mdx().refresh();
    for (int i = 0; i < pi->mdx().tagCount(); ++i)
        out.push_back(pi->mdx().tagInfo(i));
    return out;
}

void setProductionFlag(const std::string& dbfPath, bool on)
{
    int fd = ::open(dbfPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw DatabaseError(DatabaseError::Code::Io, "Cannot open table " + dbfPath);
    uint8_t b = on ? 1 : 0;
    const bool ok = ::pwrite(fd, &b, 1, 28) == 1;
    ::close(fd);
    if (!ok)
        throw DatabaseError(DatabaseError::Code::Io, "Cannot write table " + dbfPath);
}

void openWithoutIndex(Table& table, OpenMode mode)
{
    IndexProvider* saved = indexProvider();
    setIndexProvider(nullptr);
    try {
        table.open(mode);
    } catch (...) {
        setIndexProvider(saved);
        throw;
    }
    setIndexProvider(saved);
}

void regenerateProductionIndex(const std::string& dbfPath)
{
    // Open the table without its hooks: the index may be marked interrupted.
    Table t(dbfPath);
    openWithoutIndex(t, OpenMode::Exclusive);
    const std::string mdx = findTableFiles(t.path()).mdx;
    if (mdx.empty())
        throw DatabaseError(DatabaseError::Code::NotFound, "The production index of " + dbfPath + " does not exist");
    auto file = MdxFile::open(mdx, baseNameOf(t.path()), t.fields(), true, true);
    file->setMemoReader(tableMemoReader(t));
    file->regenerate(tableRecords(t));
}

static void requireExclusive(Table& table)
{
    if (!table.isOpen())
        throw DatabaseError(DatabaseError::Code::NotOpen, "The table is not open");
    if (!table.isExclusive())
        throw DatabaseError(DatabaseError::Code::Locked,
                            "Database may be used by someone else - this function requires Exclusive Database Use.");
}

void addTag(Table& table, const TagSpec& spec)
{
    requireExclusive(table);
    if (ProductionIndex* pi = hooksOf(table)) {
        pi->mdx().addTag(spec, tableRecords(table));
        return;
    }
    // No production index yet: create one and reopen so the table keeps it.
    const std::string dbf = findTableFiles(table.path()).dbf;
    std::string mdxPath = dbf.substr(0, dbf.size() - 4) + ".mdx";
    MdxFile::create(mdxPath, baseNameOf(dbf), table.fields(), {spec}, tableRecords(table));
    table.close();
    setProductionFlag(dbf, true);
    table.open(OpenMode::Exclusive);
}

void deleteTag(Table& table, const std::string& name)
{
    requireExclusive(table);
    requireIndex(table).mdx().deleteTag(name);
}

void regenerateTags(Table& table)
{
    requireExclusive(table);
    requireIndex(table).mdx().regenerate(tableRecords(table));
}

void setCurrentTag(Table& table, const std::string& name)
{
    if (name.empty()) {
        table.setOrder(nullptr);
        return;
    }
    table.setOrder(std::make_unique<TagOrder>(table, name));
}

static TagOrder* tagOrderOf(Table& table)
{
    return dynamic_cast<TagOrder*>(&table.order());
}

std::string currentTag(Table& table)
{
    TagOrder* o = tagOrderOf(table);
    return o ? o->tagName() : std::string();
}

static TagOrder& requireTagOrder(Table& table)
{
    TagOrder* o = tagOrderOf(table);
    if (!o)
        throw DatabaseError(DatabaseError::Code::WrongState, "The table has no current index");
    return *o;
}

std::string keyForRecord(Table& table, const uint8_t* record)
{
    TagOrder& o = requireTagOrder(table);
    MdxFile& m = requireIndex(table).mdx();
    m.refresh();
    const int t = m.findTag(o.tagName());
    if (t < 0)
        throw DatabaseError(DatabaseError::Code::NotFound, "Index tag " + o.tagName() + " does not exist");
    return m.makeKey(t, record);
}

void setRangeFromRecords(Table& table, const uint8_t* lowRecord, const uint8_t* highRecord)
{
    setRangeKeys(table, keyForRecord(table, lowRecord), keyForRecord(table, highRecord));
}

void setRangeKeys(Table& table, const std::string& lowKey, const std::string& highKey)
{
    requireTagOrder(table).setRange(lowKey, highKey);
    table.first();
}

void cancelRange(Table& table)
{
    if (TagOrder* o = tagOrderOf(table))
        o->cancelRange();
    table.first();
}

bool findKey(Table& table, const std::string& keyText)
{
    TagOrder& o = requireTagOrder(table);
    MdxFile& m = requireIndex(table).mdx();
    m.refresh();
    const int t = m.findTag(o.tagName());
    if (t < 0)
        return false;
    const uint32_t recno = o.findKey(m.keyFromText(t, keyText));
    if (recno == 0)
        return false;
    return table.goToRecno(recno);
}

} // namespace mk::dbase
