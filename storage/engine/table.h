#pragma once

// A dBASE table with one cursor: the dataset the application works with.
//
// Open shared or exclusive; browse, edit and insert states; Append, Edit,
// Post, Cancel, Delete; navigation delegated to a CursorOrder (natural
// record-number order by default); field values addressed by position.
//
// Errors: every operation that touches the files throws DatabaseError when
// it fails (lock conflict, I/O, damaged header, value that does not fit).
// Reading a damaged field value (memo pointer out of the file, bad memo
// block, garbage in a numeric or date field) throws EngineError, which
// derives from DatabaseError. Nothing else escapes.
//
// Between processes: the cursor keeps no record bytes across positionings;
// each positioning re-reads the record (and the header record count when it
// runs past the end it knew), so changes of other processes show at the
// next positioning. Edit takes the record lock; Post and Cancel release it.

#include "storage/engine/cursor_order.h"
#include "storage/engine/dbf_types.h"
#include "storage/engine/index_hooks.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mk::dbase {

class DbfFile;
class MemoFile;

enum class OpenMode { Shared, Exclusive };
enum class DatasetState { Inactive, Browse, Edit, Insert };

// Identifies a record of one table: its physical record number.
struct Bookmark
{
    uint32_t recno = 0;
    bool valid() const { return recno != 0; }
    friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

class Table
{
public:
    using Handler = std::function<void(Table&)>;

    Table();
    explicit Table(std::string dbfPath);
    ~Table(); // cancels a pending edit and closes; never throws
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The .dbf path. Opening finds the table's files in any letter case.
    void setPath(std::string dbfPath);
    const std::string& path() const { return m_path; }

    void open(OpenMode mode = OpenMode::Shared);
    void close() noexcept;
    // Writes the appends that an exclusive open gathers into batches (close
    // does it too). Shared opens write every Post at once.
    void flush();
    bool isOpen() const;
    bool isExclusive() const { return m_exclusive; }
    bool readOnlyFile() const; // the .dbf could only be opened for reading
    DatasetState state() const { return m_state; }

    // Structure (valid while open).
    const TableHeader& header() const;
    const std::vector<FieldDescriptor>& fields() const;
    int fieldCount() const;
    const FieldDescriptor& field(int pos) const;    // DatabaseError when out of range
    int fieldPosition(std::string_view name) const; // case-insensitive; -1 when absent
    bool hasMemoFile() const;
    std::string memoPath() const; // actual .dbt path ("" when none)

    // Navigation. Every call re-reads what it lands on.
    void first();
    void last();
    void next();
    void prior();
    int moveBy(int delta); // returns the number of records actually moved
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty();                            // no visible record
    uint32_t recordCount();                    // visible records in the current order
    uint32_t recno() const { return m_recno; } // 0 when not on a record
    Bookmark bookmark() const { return Bookmark{m_recno}; }
    void gotoBookmark(const Bookmark& bookmark); // DatabaseError when the record is gone
    bool goToRecno(uint32_t recno);              // false when not visible in the order
    void refresh();                              // re-read the current record

    // The order navigation follows. nullptr restores natural order. The
    // cursor is left where it was when the record is in the new order, else
    // at the first record.
    void setOrder(std::unique_ptr<CursorOrder> order);
    CursorOrder& order();
    IndexHooks* indexHooks() const { return m_hooks.get(); }

    // Editing.
    void append();       // insert state on a blank record, then the after-insert handler
    void edit();         // lock the current record; no-op in edit/insert state
    void post();         // before-post handler, then write; releases the lock
    void cancel();       // drop changes; releases the lock
    void deleteRecord(); // mark the current record deleted (browse or edit state); cursor moves on
    bool modified() const { return m_modified; }

    // Field values of the current record (or the edit buffer), by position.
    // Empty means blank bytes (or a memo/binary field with no block).
    bool isNull(int pos) const;
    std::string asString(int pos) const; // C: right-trimmed; N/F: trimmed text; D: "YYYYMMDD"; L: "T"/"F"; M: text
    std::optional<double> asNumber(int pos) const;
    std::optional<Date> asDate(int pos) const;
    std::optional<bool> asBool(int pos) const;
    std::vector<std::string> memoLines(int pos) const; // memo split at CR LF (or LF)
    std::string asBlob(int pos) const;                 // raw bytes of a memo or binary value

    // Setters need edit or insert state (DatabaseError otherwise).
    void setNull(int pos);
    // C: text longer than the field is cut to the field width; N/F: parsed
    // (DatabaseError when not a number); D: "YYYYMMDD" or ""; M/B: the value.
    void setString(int pos, std::string_view text);
    void setNumber(int pos, double value); // ValueTooLong when it does not fit width and decimals
    void setDate(int pos, const Date& date);
    void setBool(int pos, bool value);
    void setMemoLines(int pos, const std::vector<std::string>& lines); // joined with CR LF
    void setBlob(int pos, std::string_view bytes);

    // Raw record bytes (deletion flag at byte 0) of the current record or
    // edit buffer; header().recordLength bytes.
    const uint8_t* recordBuffer() const { return m_buffer.data(); }
    // Read the bytes of any record (for orders and indexes); false past the end.
    bool readRecord(uint32_t recno, uint8_t* out);
    // The physical record count in the header, re-read from the file.
    uint32_t physicalCount();

    // Event handlers: set, take off (empty function) and swap freely.
    void setBeforePost(Handler handler) { m_beforePost = std::move(handler); }
    const Handler& beforePost() const { return m_beforePost; }
    void setAfterInsert(Handler handler) { m_afterInsert = std::move(handler); }
    const Handler& afterInsert() const { return m_afterInsert; }

    // Engine-level access used by table operations and the index.
    DbfFile& dbf();
    MemoFile* memo();

private:
    friend class NaturalOrder;
    void requireOpen() const;
    void requireEditing() const;
    void landOn(uint32_t recno, bool atEnd);
    void loadCurrent();
    void releaseLock() noexcept;
    void writeField(int pos, std::string_view bytes);
    const uint8_t* fieldBytes(int pos) const;
    std::string memoValue(int pos) const;
    void setMemoValue(int pos, std::string_view bytes);

    std::string m_path;
    std::unique_ptr<DbfFile> m_dbf;
    std::unique_ptr<MemoFile> m_memo;
    std::unique_ptr<CursorOrder> m_order;
    std::unique_ptr<IndexHooks> m_hooks;
    bool m_exclusive = false;
    DatasetState m_state = DatasetState::Inactive;
    uint32_t m_recno = 0;
    bool m_bof = true;
    bool m_eof = true;
    bool m_modified = false;
    bool m_locked = false;
    std::vector<uint8_t> m_buffer;   // current record or edit buffer
    std::vector<uint8_t> m_original; // record bytes when Edit started
    // Memo values set during an edit, written at Post (position -> bytes).
    std::vector<std::optional<std::string>> m_pendingMemo;
    // A record read by the order during the current positioning, so that
    // landing on it needs no second read.
    std::vector<uint8_t> m_peek;
    uint32_t m_peekRecno = 0;
    // Live (not deleted) record count; kept only while open exclusively.
    std::optional<uint32_t> m_liveCount;
    uint32_t m_beforeInsertRecno = 0;
    bool m_beforeInsertEof = false;
    bool peekRecord(uint32_t recno);
    void checkBrowseMode();
    void postInsert();
    void postEdit();
    void writePendingMemos(uint8_t* record);
    Handler m_beforePost;
    Handler m_afterInsert;
};

} // namespace mk::dbase
