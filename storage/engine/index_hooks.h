#pragma once

// How a Table keeps its production index right. When a table opens with the
// production-index flag (header byte 28, bit 0) set, it asks the registered
// IndexProvider for hooks; with no provider registered the flag is kept and
// the index is left alone (tools like dbftool need no index).
//
// Every write of record bytes is bracketed, under the table's write lock:
//   beginChange();  <record bytes written>  recordAppended/Changed/Deleted/Recalled(...);  endChange();
// A process killed inside the bracket leaves the index marked "in progress",
// which the next open reports as a damaged index (DatabaseError).
// Pack and empty call beginChange() on the old files, replace the files and
// then IndexProvider::regenerate() on the new table.

#include <cstdint>
#include <memory>
#include <string>

namespace mk::dbase {

class Table;

class IndexHooks
{
public:
    virtual ~IndexHooks() = default;
    virtual void beginChange() = 0;
    virtual void recordAppended(uint32_t recno, const uint8_t* newRecord) = 0;
    virtual void recordChanged(uint32_t recno, const uint8_t* oldRecord, const uint8_t* newRecord) = 0;
    virtual void recordDeleted(uint32_t recno, const uint8_t* record) = 0;
    virtual void recordRecalled(uint32_t recno, const uint8_t* record) = 0;
    virtual void endChange() = 0;
    // Changes held back in memory (exclusive use) reach the files.
    virtual void flush() {}
    // The table is closing; the hooks object is destroyed right after.
    virtual void closing() {}
};

class IndexProvider
{
public:
    virtual ~IndexProvider() = default;
    // Open the production index of `table` (just opened, header read).
    // Throws DatabaseError when the .mdx is missing, damaged or foreign.
    virtual std::unique_ptr<IndexHooks> open(Table& table) = 0;
    // Rebuild every tag from the records of `table` (open exclusively).
    virtual void regenerate(Table& table) = 0;
    // An .mdx was copied or renamed to `mdxPath` for the table whose file
    // name without extension is `tableBaseName`: update the table name the
    // index records. Default: nothing.
    virtual void retarget(const std::string& mdxPath, const std::string& tableBaseName)
    {
        (void)mdxPath;
        (void)tableBaseName;
    }
};

// The provider used by every Table opened afterwards (nullptr: none). The
// index code registers one at start-up; the engine does not own it.
void setIndexProvider(IndexProvider* provider);
IndexProvider* indexProvider();

} // namespace mk::dbase
