#pragma once

// Index orders on a Table: the production index as the table's IndexHooks,
// the provider that opens it with the table, the cursor order of one tag
// with an optional key range, and the tag operations the storage layer
// calls (list, add, delete, regenerate, current tag, range, exact search).
//
// Positions in a tag come from the in-memory counts of MdxFile, so going to
// the n-th record of a view and counting a range take logarithmic time.

#include "storage/engine/cursor_order.h"
#include "storage/engine/index_hooks.h"
#include "storage/engine/mdx.h"
#include "storage/engine/table.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mk::dbase {

class Table;

// The production index of one open table.
class ProductionIndex : public IndexHooks
{
public:
    ProductionIndex(Table& table, std::unique_ptr<MdxFile> mdx);
    MdxFile& mdx() { return *m_mdx; }

    void beginChange() override;
    void recordAppended(uint32_t recno, const uint8_t* newRecord) override;
    void recordChanged(uint32_t recno, const uint8_t* oldRecord, const uint8_t* newRecord) override;
    void recordDeleted(uint32_t recno, const uint8_t* record) override;
    void recordRecalled(uint32_t recno, const uint8_t* record) override;
    void endChange() override;
    void flush() override;
    void closing() override;

private:
    Table& m_table;
    std::unique_ptr<MdxFile> m_mdx;
};

class MdxIndexProvider : public IndexProvider
{
public:
    std::unique_ptr<IndexHooks> open(Table& table) override;
    void regenerate(Table& table) override;
    void retarget(const std::string& mdxPath, const std::string& tableBaseName) override;
};

// Registers the .mdx provider for every table opened afterwards.
void installIndexProvider();

// Reads the records of an open table for tag builds (bulk reads of the .dbf).
RecordSource tableRecords(Table& table);
MemoReader tableMemoReader(Table& table);

// The order of one tag, optionally restricted to keys from low to high
// (inclusive, in the tag's order).
class TagOrder : public CursorOrder
{
public:
    TagOrder(Table& table, std::string tagName);

    uint32_t first() override;
    uint32_t last() override;
    uint32_t next(uint32_t current) override;
    uint32_t prior(uint32_t current) override;
    uint32_t count() override;
    bool contains(uint32_t recno) override;
    uint32_t moveBy(uint32_t current, int delta, int& moved) override;

    const std::string& tagName() const { return m_tag; }
    void setRange(std::string lowKey, std::string highKey);
    void cancelRange();
    bool hasRange() const { return m_low.has_value(); }
    // Position of a record in the view (0-based) or -1; record at a position or 0.
    int64_t positionOf(uint32_t recno);
    uint32_t recnoAt(uint64_t position);
    // First record whose key equals `key` exactly (within the range), or 0.
    uint32_t findKey(const std::string& key);

private:
    MdxFile& mdx();
    int tagIndex();
    void bounds(uint64_t& begin, uint64_t& end);
    // Entries before the record (by its current key); sets `present`.
    uint64_t rankOf(uint32_t recno, bool& present);

    std::string m_tag;
    std::optional<std::string> m_low;
    std::optional<std::string> m_high;
    std::vector<uint8_t> m_buffer;
};

// Tag operations on an open table.
std::vector<TagInfo> listTags(Table& table);
// Adding and deleting tags need the table open exclusively. Adding to a
// table without a production index creates one (and reopens the table).
void addTag(Table& table, const TagSpec& spec);
void deleteTag(Table& table, const std::string& name);
void regenerateTags(Table& table);

// The current tag ("" = natural order). Setting keeps the cursor on its record.
void setCurrentTag(Table& table, const std::string& name);
std::string currentTag(Table& table);
// A range between the keys of two records in which only some fields are set.
void setRangeFromRecords(Table& table, const uint8_t* lowRecord, const uint8_t* highRecord);
void setRangeKeys(Table& table, const std::string& lowKey, const std::string& highKey);
void cancelRange(Table& table);
// Exact key search on the current tag: moves to the first record with this
// key (a text key is padded to the key length) and returns true, or leaves
// the cursor and returns false.
bool findKey(Table& table, const std::string& keyText);
// Key of a record for the current tag.
std::string keyForRecord(Table& table, const uint8_t* record);

// Opens a table without its index hooks (its production index is left
// alone), e.g. to examine or rebuild a damaged index.
void openWithoutIndex(Table& table, OpenMode mode);

// Rebuilds every tag of a closed table from its records, also when the
// index was left "update in progress" (pack and empty mark it so before
// they replace the table's files). Needs exclusive use.
void regenerateProductionIndex(const std::string& dbfPath);

// Sets or clears the production-index flag (byte 28) of a closed .dbf.
void setProductionFlag(const std::string& dbfPath, bool on);

} // namespace mk::dbase
