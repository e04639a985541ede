#include "storage/engine/table.h"

#include "storage/engine/dbf_file.h"
#include "storage/engine/field_codec.h"
#include "storage/engine/memo_file.h"
#include "storage/engine/table_replace.h"

#include <cstdio>
#include <cstring>

namespace mk::dbase {

namespace {

// Brackets a write of record bytes for the production index: endChange()
// runs also when the write fails, so the index is never left locked.
class IndexChange
{
public:
    explicit IndexChange(IndexHooks* hooks)
        : m_hooks(hooks)
    {
        if (m_hooks)
            m_hooks->beginChange();
    }
    ~IndexChange()
    {
        if (m_hooks && !m_done) {
            try {
                m_hooks->endChange();
            } catch (...) {}
        }
    }
    void finish()
    {
        m_done = true;
        if (m_hooks)
            m_hooks->endChange();
    }
    IndexChange(const IndexChange&) = delete;
    IndexChange& operator=(const IndexChange&) = delete;

private:
    IndexHooks* m_hooks;
    bool m_done = false;
};

} // namespace

Table::Table() = default;

Table::Table(std::string dbfPath)
    : m_path(std::move(dbfPath))
{}

Table::~Table()
{
    close();
}

void Table::setPath(std::string dbfPath)
{
    if (isOpen())
        throw DatabaseError(DatabaseError::Code::WrongState, "Cannot change the path of an open table");
    m_path = std::move(dbfPath);
}

bool Table::isOpen() const
{
    return m_dbf && m_dbf->isOpen();
}

bool Table::readOnlyFile() const
{
    return isOpen() && m_dbf->readOnly();
}

void Table::open(OpenMode mode)
{
    if (isOpen())
        return;
    const bool exclusive = mode == OpenMode::Exclusive;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::string found = findFileNoCase(m_path);
        if (found.empty())
            throw DatabaseError(DatabaseError::Code::NotFound, "Table does not exist: " + m_path);
        auto dbf = std::make_unique<DbfFile>();
        dbf->open(found, exclusive);
        // A pack or empty killed between its renames is finished first.
        if (attempt == 0 && finishInterruptedReplace(found)) {
            dbf->close();
            continue;
        }
        std::unique_ptr<MemoFile> memo;
        bool needsMemo = false;
        for (const FieldDescriptor& f : dbf->fields())
            needsMemo = needsMemo || f.isMemoLike();
        if (needsMemo) {
            const std::string dbt = findFileNoCase(replaceExtension(found, ".dbt"));
            if (dbt.empty())
                throw DatabaseError(DatabaseError::Code::NotFound, "The memo file of the table is missing: " + found);
            memo = std::make_unique<MemoFile>();
            memo->open(dbt, dbf->readOnly());
            memo->setExclusive(exclusive);
            memo->setDbase3(dbf->header().version == layout::kVersionDbase3Memo);
        }
        m_dbf = std::move(dbf);
        m_memo = std::move(memo);
        break;
    }
    m_exclusive = exclusive;
    m_state = DatasetState::Browse;
    m_buffer.assign(m_dbf->recordLength(), ' ');
    m_peek.assign(m_dbf->recordLength(), ' ');
    m_pendingMemo.assign(m_dbf->fields().size(), std::nullopt);
    m_liveCount.reset();
    m_recno = 0;
    m_bof = m_eof = true;
    m_modified = false;
    m_locked = false;
    try {
        if ((m_dbf->header().productionIndex & 1) && indexProvider())
            m_hooks = indexProvider()->open(*this);
        if (!m_order)
            m_order = std::make_unique<NaturalOrder>(*this);
        if (m_exclusive && !m_hooks)
            m_dbf->setWriteBehind(true, [this] {
                if (m_memo)
                    m_memo->flush();
            });
        first();
    } catch (...) {
        close();
        throw;
    }
}

void Table::close() noexcept
{
    if (!m_dbf)
        return;
    releaseLock();
    if (m_hooks) {
        try {
            m_hooks->closing();
        } catch (...) {}
    }
    m_hooks.reset();
    m_order.reset();
    // Appends gathered while the table was open exclusively reach the files
    // before they close: the batch (its memo values are written just before
    // it), then the memo file.
    try {
        m_dbf->flush();
        if (m_memo)
            m_memo->flush();
    } catch (...) {
        // Nothing more can be done in close; the table stays valid.
    }
    m_memo.reset();
    m_dbf.reset();
    m_state = DatasetState::Inactive;
    m_recno = 0;
    m_bof = m_eof = true;
    m_modified = false;
    m_exclusive = false;
}

void Table::flush()
{
    requireOpen();
    if (m_memo)
        m_memo->flush();
    m_dbf->flush();
    if (m_hooks)
        m_hooks->flush();
}

void Table::requireOpen() const
{
    if (!isOpen())
        throw DatabaseError(DatabaseError::Code::NotOpen, "The table is not open: " + m_path);
}

void Table::requireEditing() const
{
    requireOpen();
    if (m_state != DatasetState::Edit && m_state != DatasetState::Insert)
        throw DatabaseError(DatabaseError::Code::WrongState, "The table is not in edit or insert mode");
}

const TableHeader& Table::header() const
{
    requireOpen();
    return m_dbf->header();
}

const std::vector<FieldDescriptor>& Table::fields() const
{
    requireOpen();
    return m_dbf->fields();
}

int Table::fieldCount() const
{
    return isOpen() ? static_cast<int>(m_dbf->fields().size()) : 0;
}

const FieldDescriptor& Table::field(int pos) const
{
    requireOpen();
    if (pos < 0 || pos >= static_cast<int>(m_dbf->fields().size()))
        throw DatabaseError(DatabaseError::Code::General, "No field at position " + std::to_string(pos));
    return m_dbf->fields()[static_cast<size_t>(pos)];
}

int Table::fieldPosition(std::string_view name) const
{
    if (!isOpen())
        return -1;
    const auto& fs = m_dbf->fields();
    for (size_t i = 0; i < fs.size(); ++i) {
        const std::string& n = fs[i].name;
        if (n.size() != name.size())
            continue;
        bool same = true;
        for (size_t k = 0; k < n.size() && same; ++k) {
            char a = n[k], b = name[k];
            if (a >= 'a' && a <= 'z')
                a = static_cast<char>(a - 32);
            if (b >= 'a' && b <= 'z')
                b = static_cast<char>(b - 32);
            same = a == b;
        }
        if (same)
            return static_cast<int>(i);
    }
    return -1;
}

bool Table::hasMemoFile() const
{
    return m_memo && m_memo->isOpen();
}

std::string Table::memoPath() const
{
    return hasMemoFile() ? m_memo->path() : std::string();
}

DbfFile& Table::dbf()
{
    requireOpen();
    return *m_dbf;
}

MemoFile* Table::memo()
{
    return m_memo.get();
}

CursorOrder& Table::order()
{
    requireOpen();
    return *m_order;
}

void Table::setOrder(std::unique_ptr<CursorOrder> order)
{
    requireOpen();
    checkBrowseMode();
    const uint32_t at = m_recno;
    m_order = order ? std::move(order) : std::make_unique<NaturalOrder>(*this);
    if (at == 0 || !goToRecno(at))
        first();
}

bool Table::readRecord(uint32_t recno, uint8_t* out)
{
    requireOpen();
    return m_dbf->readRecord(recno, out);
}

uint32_t Table::physicalCount()
{
    requireOpen();
    return m_dbf->refreshCount();
}

bool Table::peekRecord(uint32_t recno)
{
    if (!m_dbf->readRecord(recno, m_peek.data())) {
        m_peekRecno = 0;
        return false;
    }
    m_peekRecno = recno;
    return true;
}

// ---------------------------------------------------------------- navigation

void Table::checkBrowseMode()
{
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) {
        if (m_modified)
            post();
        else
            cancel();
    }
}

void Table::landOn(uint32_t recno, bool atEnd)
{
    (void)atEnd;
    if (recno == 0) {
        m_recno = 0;
        std::memset(m_buffer.data(), ' ', m_buffer.size());
        m_peekRecno = 0;
        return;
    }
    if (m_peekRecno == recno)
        std::memcpy(m_buffer.data(), m_peek.data(), m_buffer.size());
    else if (!m_dbf->readRecord(recno, m_buffer.data()))
        throw DatabaseError(DatabaseError::Code::NoRecord, "Record " + std::to_string(recno) + " does not exist");
    m_peekRecno = 0;
    m_recno = recno;
}

void Table::first()
{
    requireOpen();
    checkBrowseMode();
    m_peekRecno = 0;
    const uint32_t r = m_order->first();
    landOn(r, false);
    m_bof = true;
    m_eof = r == 0;
}

void Table::last()
{
    requireOpen();
    checkBrowseMode();
    m_peekRecno = 0;
    const uint32_t r = m_order->last();
    landOn(r, false);
    m_eof = true;
    m_bof = r == 0;
}

void Table::next()
{
    requireOpen();
    checkBrowseMode();
    m_peekRecno = 0;
    if (m_eof)
        return;
    const uint32_t r = m_recno == 0 ? m_order->first() : m_order->next(m_recno);
    if (r == 0) {
        m_eof = true;
        refresh();
        return;
    }
    landOn(r, false);
    m_bof = false;
}

void Table::prior()
{
    requireOpen();
    checkBrowseMode();
    m_peekRecno = 0;
    if (m_bof)
        return;
    const uint32_t r = m_recno == 0 ? m_order->last() : m_order->prior(m_recno);
    if (r == 0) {
        m_bof = true;
        refresh();
        return;
    }
    landOn(r, false);
    m_eof = false;
}

int Table::moveBy(int delta)
{
    requireOpen();
    checkBrowseMode();
    m_peekRecno = 0;
    if (delta == 0 || m_recno == 0)
        return 0;
    if ((delta > 0 && m_eof) || (delta < 0 && m_bof))
        return 0;
    int moved = 0;
    const uint32_t r = m_order->moveBy(m_recno, delta, moved);
    if (r != 0 && moved != 0)
        landOn(r, false);
    const int wanted = delta > 0 ? delta : -delta;
    if (moved < wanted) {
        if (delta > 0)
            m_eof = true;
        else
            m_bof = true;
    }
    if (moved > 0) {
        if (delta > 0)
            m_bof = false;
        else
            m_eof = false;
    }
    return delta > 0 ? moved : -moved;
}

bool Table::isEmpty()
{
    requireOpen();
    return m_order->first() == 0;
}

uint32_t Table::recordCount()
{
    requireOpen();
    return m_order->count();
}

bool Table::goToRecno(uint32_t recno)
{
    requireOpen();
    checkBrowseMode();
    m_peekRecno = 0;
    if (recno == 0 || !m_order->contains(recno))
        return false;
    landOn(recno, false);
    m_bof = m_eof = false;
    return true;
}

void Table::gotoBookmark(const Bookmark& bookmark)
{
    if (!goToRecno(bookmark.recno))
        throw DatabaseError(DatabaseError::Code::NoRecord, "The bookmarked record no longer exists");
}

void Table::refresh()
{
    requireOpen();
    if (m_state != DatasetState::Browse || m_recno == 0)
        return;
    m_peekRecno = 0;
    if (!m_dbf->readRecord(m_recno, m_buffer.data()))
        std::memset(m_buffer.data(), ' ', m_buffer.size());
}

// ---------------------------------------------------------------- editing

void Table::releaseLock() noexcept
{
    if (m_locked && m_dbf)
        m_dbf->unlockRecord(m_recno);
    m_locked = false;
}

void Table::append()
{
    requireOpen();
    checkBrowseMode();
    if (m_dbf->readOnly())
        throw DatabaseError(DatabaseError::Code::Io, "The table is read-only: " + m_path);
    m_beforeInsertRecno = m_recno;
    m_beforeInsertEof = m_eof;
    m_original.assign(m_buffer.begin(), m_buffer.end());
    std::memset(m_buffer.data(), ' ', m_buffer.size());
    for (auto& p : m_pendingMemo)
        p.reset();
    m_state = DatasetState::Insert;
    m_modified = false;
    m_eof = true;
    if (m_afterInsert)
        m_afterInsert(*this);
}

void Table::edit()
{
    requireOpen();
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert)
        return;
    if (m_recno == 0) {
        if (isEmpty()) {
            append();
            return;
        }
        throw DatabaseError(DatabaseError::Code::NoRecord, "No current record");
    }
    if (m_dbf->readOnly())
        throw DatabaseError(DatabaseError::Code::Io, "The table is read-only: " + m_path);
    if (!m_dbf->lockRecord(m_recno))
        throw DatabaseError(DatabaseError::Code::Locked, "Record locked by another user.");
    m_locked = true;
    try {
        if (!m_dbf->readRecord(m_recno, m_buffer.data()))
            throw DatabaseError(DatabaseError::Code::NoRecord, "The record no longer exists");
        if (m_buffer[0] == layout::kDeletedFlag)
            throw DatabaseError(DatabaseError::Code::NoRecord, "The record was deleted by another user");
    } catch (...) {
        releaseLock();
        throw;
    }
    m_original.assign(m_buffer.begin(), m_buffer.end());
    for (auto& p : m_pendingMemo)
        p.reset();
    m_state = DatasetState::Edit;
    m_modified = false;
}

void Table::writePendingMemos(uint8_t* record)
{
    const auto& fs = m_dbf->fields();
    for (size_t i = 0; i < fs.size(); ++i) {
        if (!m_pendingMemo[i])
            continue;
        const std::string& v = *m_pendingMemo[i];
        uint32_t block = 0;
        if (!v.empty()) {
            if (!m_memo)
                throw DatabaseError(DatabaseError::Code::General, "The table has no memo file");
            block = m_memo->write(v);
        }
        codec::writeMemoPointer(record + fs[i].offset, fs[i].length, block);
    }
    // A record must never reach the file before the memo values it points
    // to; with gathered appends the batch flush writes the memo file first.
    if (m_memo && !(m_state == DatasetState::Insert && m_exclusive && !m_hooks))
        m_memo->flush();
}

void Table::postInsert()
{
    std::vector<uint8_t> rec(m_buffer.begin(), m_buffer.end());
    rec[0] = layout::kLiveFlag;
    IndexHooks* hooks = m_hooks.get();
    std::optional<IndexChange> change;
    const uint32_t recno = m_dbf->append(rec.data(), [&](uint32_t) {
        writePendingMemos(rec.data());
        change.emplace(hooks);
    });
    if (hooks)
        hooks->recordAppended(recno, rec.data());
    if (change)
        change->finish();
    if (m_liveCount)
        ++*m_liveCount;
    std::memcpy(m_buffer.data(), rec.data(), rec.size());
    m_recno = recno;
    m_bof = m_eof = false;
}

void Table::postEdit()
{
    std::vector<uint8_t> rec(m_buffer.begin(), m_buffer.end());
    bool anyMemo = false;
    for (const auto& p : m_pendingMemo)
        anyMemo = anyMemo || p.has_value();
    if (anyMemo) {
        m_dbf->lockHeader();
        try {
            writePendingMemos(rec.data());
        } catch (...) {
            m_dbf->unlockHeader();
            throw;
        }
        m_dbf->unlockHeader();
    }
    IndexChange change(m_hooks.get());
    m_dbf->writeRecord(m_recno, rec.data());
    if (m_hooks) {
        if (m_original[0] == layout::kDeletedFlag && rec[0] != layout::kDeletedFlag)
            m_hooks->recordRecalled(m_recno, rec.data());
        else
            m_hooks->recordChanged(m_recno, m_original.data(), rec.data());
    }
    change.finish();
    std::memcpy(m_buffer.data(), rec.data(), rec.size());
}

void Table::post()
{
    requireEditing();
    if (m_beforePost)
        m_beforePost(*this);
    requireEditing(); // the handler must not leave the edit
    if (m_state == DatasetState::Insert)
        postInsert();
    else
        postEdit();
    releaseLock();
    for (auto& p : m_pendingMemo)
        p.reset();
    m_state = DatasetState::Browse;
    m_modified = false;
}

void Table::cancel()
{
    requireOpen();
    if (m_state == DatasetState::Insert) {
        m_state = DatasetState::Browse;
        m_modified = false;
        for (auto& p : m_pendingMemo)
            p.reset();
        m_recno = m_beforeInsertRecno;
        m_eof = m_beforeInsertEof || m_recno == 0;
        if (m_recno == 0 || !m_dbf->readRecord(m_recno, m_buffer.data()))
            std::memset(m_buffer.data(), ' ', m_buffer.size());
        return;
    }
    if (m_state == DatasetState::Edit) {
        releaseLock();
        m_state = DatasetState::Browse;
        m_modified = false;
        for (auto& p : m_pendingMemo)
            p.reset();
        refresh();
    }
}

void Table::deleteRecord()
{
    requireOpen();
    if (m_state == DatasetState::Insert) {
        cancel();
        return;
    }
    if (m_recno == 0 || isEmpty())
        throw DatabaseError(DatabaseError::Code::NoRecord, "No record to delete");
    if (m_state == DatasetState::Browse) {
        if (m_dbf->readOnly())
            throw DatabaseError(DatabaseError::Code::Io, "The table is read-only: " + m_path);
        if (!m_dbf->lockRecord(m_recno))
            throw DatabaseError(DatabaseError::Code::Locked, "Record locked by another user.");
        m_locked = true;
    }
    const uint32_t recno = m_recno;
    try {
        std::vector<uint8_t> rec(m_buffer.size());
        if (!m_dbf->readRecord(recno, rec.data()) || rec[0] == layout::kDeletedFlag)
            throw DatabaseError(DatabaseError::Code::NoRecord, "The record was already deleted");
        uint32_t land = m_order->next(recno);
        bool atEnd = false;
        if (land == 0) {
            land = m_order->prior(recno);
            atEnd = true;
        }
        {
            IndexChange change(m_hooks.get());
            m_dbf->writeDeletionFlag(recno, layout::kDeletedFlag);
            rec[0] = layout::kDeletedFlag;
            if (m_hooks)
                m_hooks->recordDeleted(recno, rec.data());
            change.finish();
        }
        if (m_liveCount && *m_liveCount > 0)
            --*m_liveCount;
        releaseLock();
        m_state = DatasetState::Browse;
        m_modified = false;
        for (auto& p : m_pendingMemo)
            p.reset();
        m_peekRecno = 0;
        landOn(land, atEnd);
        m_bof = land == 0;
        m_eof = land == 0 || atEnd;
    } catch (...) {
        if (m_state == DatasetState::Browse)
            releaseLock();
        throw;
    }
}

// ---------------------------------------------------------------- fields

const uint8_t* Table::fieldBytes(int pos) const
{
    const FieldDescriptor& f = field(pos);
    return m_buffer.data() + f.offset;
}

std::string Table::memoValue(int pos) const
{
    const FieldDescriptor& f = field(pos);
    if (m_pendingMemo[static_cast<size_t>(pos)])
        return *m_pendingMemo[static_cast<size_t>(pos)];
    const uint32_t block = codec::readMemoPointer(m_buffer.data() + f.offset, f.length);
    if (block == 0)
        return {};
    if (!m_memo)
        throw EngineError("The table has no memo file");
    return m_memo->read(block);
}

bool Table::isNull(int pos) const
{
    const FieldDescriptor& f = field(pos);
    if (f.isMemoLike()) {
        if (m_pendingMemo[static_cast<size_t>(pos)])
            return m_pendingMemo[static_cast<size_t>(pos)]->empty();
        return codec::readMemoPointer(m_buffer.data() + f.offset, f.length) == 0;
    }
    if (f.type == 'L') {
        const uint8_t b = m_buffer[f.offset];
        return b == ' ' || b == '?' || b == 0;
    }
    if (f.isNumeric()) {
        const std::string_view t = codec::trimmed(m_buffer.data() + f.offset, f.length);
        return t.empty() || codec::isAsteriskFill(t);
    }
    return codec::isBlank(m_buffer.data() + f.offset, f.length);
}

std::string Table::asString(int pos) const
{
    const FieldDescriptor& f = field(pos);
    const uint8_t* p = m_buffer.data() + f.offset;
    switch (f.type) {
    case 'M': {
        std::string v = memoValue(pos);
        while (!v.empty() && (v.back() == '\x1A' || v.back() == '\0'))
            v.pop_back();
        return v;
    }
    case 'B':
    case 'G':
        return memoValue(pos);
    case 'N':
    case 'F': {
        if (!codec::readNumber(p, f.length)) // garbage is an engine error
            return {};
        return std::string(codec::trimmed(p, f.length));
    }
    case 'D': {
        const auto d = codec::readDate(p);
        if (!d)
            return {};
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", d->year, d->month, d->day);
        return buf;
    }
    case 'L': {
        const auto b = codec::readLogical(*p);
        return b ? (*b ? "T" : "F") : "";
    }
    default:
        return std::string(codec::rightTrimmed(p, f.length));
    }
}

std::optional<double> Table::asNumber(int pos) const
{
    const FieldDescriptor& f = field(pos);
    const uint8_t* p = m_buffer.data() + f.offset;
    if (f.isNumeric())
        return codec::readNumber(p, f.length);
    if (f.type == 'L') {
        const auto b = codec::readLogical(*p);
        if (!b)
            return std::nullopt;
        return *b ? 1.0 : 0.0;
    }
    const std::string s = asString(pos);
    if (s.empty())
        return std::nullopt;
    return codec::readNumber(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

std::optional<Date> Table::asDate(int pos) const
{
    const FieldDescriptor& f = field(pos);
    const uint8_t* p = m_buffer.data() + f.offset;
    if (f.type == 'D' || (f.type == 'C' && f.length >= 8))
        return codec::readDate(p);
    throw DatabaseError(DatabaseError::Code::General, "Field " + f.name + " is not a date field");
}

std::optional<bool> Table::asBool(int pos) const
{
    const FieldDescriptor& f = field(pos);
    return codec::readLogical(m_buffer[f.offset]);
}

std::vector<std::string> Table::memoLines(int pos) const
{
    const std::string text = asString(pos);
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            std::string tail = text.substr(start);
            if (!tail.empty() && tail.back() == '\r')
                tail.pop_back();
            if (!tail.empty())
                lines.push_back(std::move(tail));
            break;
        }
        size_t end = nl;
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(text.substr(start, end - start));
        start = nl + 1;
    }
    return lines;
}

std::string Table::asBlob(int pos) const
{
    const FieldDescriptor& f = field(pos);
    if (!f.isMemoLike())
        return std::string(reinterpret_cast<const char*>(m_buffer.data() + f.offset), f.length);
    return memoValue(pos);
}

void Table::writeField(int pos, std::string_view bytes)
{
    const FieldDescriptor& f = field(pos);
    uint8_t* p = m_buffer.data() + f.offset;
    const size_t n = std::min<size_t>(bytes.size(), f.length);
    if (n)
        std::memcpy(p, bytes.data(), n);
    std::memset(p + n, ' ', f.length - n);
    m_modified = true;
}

void Table::setMemoValue(int pos, std::string_view bytes)
{
    m_pendingMemo[static_cast<size_t>(pos)] = std::string(bytes);
    m_modified = true;
}

void Table::setNull(int pos)
{
    requireEditing();
    const FieldDescriptor& f = field(pos);
    if (f.isMemoLike())
        setMemoValue(pos, {});
    else
        writeField(pos, {});
}

void Table::setString(int pos, std::string_view text)
{
    requireEditing();
    const FieldDescriptor& f = field(pos);
    switch (f.type) {
    case 'M':
    case 'B':
    case 'G':
        setMemoValue(pos, text);
        return;
    case 'N':
    case 'F': {
        size_t b = 0, e = text.size();
        while (b < e && text[b] == ' ')
            ++b;
        while (e > b && text[e - 1] == ' ')
            --e;
        if (b == e)
            writeField(pos, {});
        else
            setNumber(pos, codec::parseNumberText(text));
        return;
    }
    case 'D': {
        if (text.find_first_not_of(' ') == std::string_view::npos) {
            writeField(pos, {});
            return;
        }
        if (text.size() != 8)
            throw DatabaseError(DatabaseError::Code::General, "A date is written as YYYYMMDD");
        Date d{};
        for (char c : text)
            if (c < '0' || c > '9')
                throw DatabaseError(DatabaseError::Code::General, "A date is written as YYYYMMDD");
        d.year = std::stoi(std::string(text.substr(0, 4)));
        d.month = std::stoi(std::string(text.substr(4, 2)));
        d.day = std::stoi(std::string(text.substr(6, 2)));
        setDate(pos, d);
        return;
    }
    case 'L': {
        if (text.empty() || text == " " || text == "?") {
            writeField(pos, {});
            return;
        }
        const auto b = codec::readLogical(static_cast<uint8_t>(text[0]));
        if (!b)
            writeField(pos, {});
        else
            setBool(pos, *b);
        return;
    }
    default:
        writeField(pos, text);
    }
}

void Table::setNumber(int pos, double value)
{
    requireEditing();
    const FieldDescriptor& f = field(pos);
    if (f.isNumeric()) {
        uint8_t tmp[32];
        codec::writeNumber(tmp, f.length, f.decimals, value);
        writeField(pos, std::string_view(reinterpret_cast<const char*>(tmp), f.length));
        return;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    setString(pos, buf);
}

void Table::setDate(int pos, const Date& date)
{
    requireEditing();
    const FieldDescriptor& f = field(pos);
    if (f.type != 'D' && !(f.type == 'C' && f.length >= 8))
        throw DatabaseError(DatabaseError::Code::General, "Field " + f.name + " is not a date field");
    uint8_t tmp[8];
    codec::writeDate(tmp, date);
    writeField(pos, std::string_view(reinterpret_cast<const char*>(tmp), 8));
}

void Table::setBool(int pos, bool value)
{
    requireEditing();
    writeField(pos, value ? "T" : "F");
}

void Table::setMemoLines(int pos, const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += "\r\n";
        text += lines[i];
    }
    requireEditing();
    if (!field(pos).isMemoLike())
        throw DatabaseError(DatabaseError::Code::General, "Field " + field(pos).name + " is not a memo field");
    setMemoValue(pos, text);
}

void Table::setBlob(int pos, std::string_view bytes)
{
    requireEditing();
    const FieldDescriptor& f = field(pos);
    if (!f.isMemoLike())
        writeField(pos, bytes);
    else
        setMemoValue(pos, bytes);
}

} // namespace mk::dbase
