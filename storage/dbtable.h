#pragma once

// A table object of the application: a directory, a file name, the current
// index tag and the exclusive flag are set while it is closed; Open opens
// the engine table with them. Field values are addressed by position, with
// Windows-1252 text converted at this boundary. Engine failures come out as
// mk::dbase::DatabaseError (a failed table operation) or EngineError (a
// damaged field value), which the storage layer turns into messages.

#include "storage/engine/dbf_types.h"
#include "storage/engine/mdx.h"
#include "storage/engine/table.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mk {

class TDbTable
{
public:
    using Handler = std::function<void(TDbTable&)>;

    TDbTable();
    ~TDbTable();
    TDbTable(const TDbTable&) = delete;
    TDbTable& operator=(const TDbTable&) = delete;

    // Set while closed (changing them on an open table takes effect at the next Open).
    void setDatabaseName(const QString& dir) { m_dir = dir; }
    const QString& databaseName() const { return m_dir; }
    void setTableName(const QString& fileName) { m_name = fileName; }
    const QString& tableName() const { return m_name; }
    // The current index tag; empty is the natural (record-number) order. On
    // an open table the order changes at once (DatabaseError for an unknown tag).
    void setIndexName(const QString& tag);
    const QString& indexName() const { return m_index; }
    void setExclusive(bool exclusive) { m_exclusive = exclusive; }
    bool exclusive() const { return m_exclusive; }

    // <directory>/<file name>, the existing file in any letter case when there is one.
    QString filePath() const;
    // The file name up to its first '.'.
    QString baseName() const;

    void open(); // DatabaseError; a table already open stays open
    void close() noexcept;
    bool active() const { return m_table.isOpen(); }

    // Structure of the open table.
    int fieldCount() const { return m_table.isOpen() ? m_table.fieldCount() : 0; }
    const dbase::FieldDescriptor& field(int pos) const { return m_table.field(pos); }
    QString fieldName(int pos) const;
    // Decimal counts stored by RecordDecimals (0 for other fields).
    int decimals(int pos) const;
    void setDecimals(int pos, int count);

    // Tags of the production index, re-read from the index file.
    std::vector<dbase::TagInfo> tags();
    // Needs the table open exclusively; DatabaseError when the engine refuses.
    void addIndex(const QString& name, const QString& expression, bool descending);
    void deleteIndex(const QString& name);
    bool currentIndexDescending() const;

    // A range on the current tag, in the tag's order, bounds inclusive and
    // compared as prefixes (Windows-1252 key bytes): a key is inside when its
    // first len(low) bytes do not come before low and its first len(high)
    // bytes do not come after high. An empty bound is open.
    void setRange(const std::string& low, const std::string& high);
    void cancelRange();
    bool hasRange() const;
    // Goes to the first record of the current tag whose key starts with the
    // text (text tags); false (cursor unchanged) when there is none.
    bool findKey(const QString& text);

    // Navigation and editing.
    void first() { m_table.first(); }
    void last() { m_table.last(); }
    void next() { m_table.next(); }
    void prior() { m_table.prior(); }
    int moveBy(int n) { return m_table.moveBy(n); }
    bool eof() const { return m_table.eof(); }
    bool bof() const { return m_table.bof(); }
    bool isEmpty() { return m_table.isEmpty(); }
    int recordCount() { return int(m_table.recordCount()); }
    void append() { m_table.append(); }
    void edit() { m_table.edit(); }
    // A table held exclusively writes its index behind; what the user
    // posted or deleted reaches the files at once all the same.
    void post()
    {
        m_table.post();
        if (m_table.isExclusive())
            m_table.flush();
    }
    void cancel() { m_table.cancel(); }
    void deleteRecord()
    {
        m_table.deleteRecord();
        if (m_table.isExclusive())
            m_table.flush();
    }
    dbase::DatasetState state() const { return m_table.state(); }

    // Field values by position.
    bool isNull(int pos) const { return m_table.isNull(pos); }
    QString asString(int pos) const;
    std::optional<double> asNumber(int pos) const { return m_table.asNumber(pos); }
    std::optional<dbase::Date> asDate(int pos) const { return m_table.asDate(pos); }
    void setString(int pos, const QString& text);
    void setNumber(int pos, double value) { m_table.setNumber(pos, value); }
    void setNull(int pos) { m_table.setNull(pos); }
    // Copies one field's value from the current record of another table
    // (same position); EngineError when the source value is damaged.
    void assignFrom(const TDbTable& source, int pos);

    void setBeforePost(Handler handler);
    void setAfterInsert(Handler handler);

    dbase::Table& engine() { return m_table; }
    const dbase::Table& engine() const { return m_table; }

private:
    void installOrder();

    QString m_dir;
    QString m_name;
    QString m_index;
    bool m_exclusive = false;
    dbase::Table m_table;
    std::vector<int> m_decimals;
    struct IndexState;
    std::unique_ptr<IndexState> m_idx;
};

} // namespace mk
