#pragma once

// The dBASE IV production index (.mdx): a file of 512-byte pages used in
// blocks of one or more pages (two in the files created here; whatever the
// header declares in files other programs wrote), holding up to 47 tags,
// each a B-tree of keys and record numbers, optionally with a FOR
// condition. MDX_FORMAT.md beside this file describes the bytes.
//
// MdxFile keeps every tag in memory as well, in the same node structure as
// on disk, with the number of entries below each child pointer: that gives
// the n-th entry of a tag and the rank of a key in logarithmic time without
// storing counts in the file, which stays plain dBASE IV. The memory copy is
// reloaded when another process has changed the file (a change counter in
// the header, see MDX_FORMAT.md).
//
// Deleted records have no keys: the table removes a record's keys when it
// is deleted and puts them back when it is recalled.
//
// Failures throw DatabaseError (Code::Corrupt for a damaged or foreign
// file, NotFound for a missing one, Io for read and write errors).

#include "storage/engine/dbf_types.h"
#include "storage/engine/expr.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mk::dbase {

struct TagSpec
{
    std::string name; // up to 10 characters
    std::string expression;
    bool descending = false;
    bool unique = false;
    // FOR condition (empty: every live record has a key). A logical
    // expression of at most 220 characters; a record for which it is false
    // has no key in the tag.
    std::string forExpression;
};

struct TagInfo
{
    std::string name;
    std::string expression;
    bool descending = false;
    bool unique = false;
    char keyType = 'C'; // C, N or D
    int keyLength = 0;
    std::string forExpression; // empty when the tag has no FOR condition
};

// Where tag builds read the records: count, bytes of record n (false for a
// deleted record, which gets no key) and memo text.
struct RecordSource
{
    uint32_t count = 0;
    std::function<bool(uint32_t recno, std::vector<uint8_t>& bytes)> read;
    MemoReader memo;
};

std::vector<ExprField> exprFields(const std::vector<FieldDescriptor>& fields);

class MdxFile
{
public:
    static constexpr int kMaxTags = 47;
    static constexpr uint32_t kPageSize = 512;
    static constexpr uint32_t kBlockSize = 1024; // of the files created here
    static constexpr uint32_t kMaxPagesPerBlock = 32;

    ~MdxFile();

    // Opens an existing index. tableBaseName is the table's file name
    // without extension; an index that records another table is foreign.
    // An index left "update in progress" by a killed process is damaged.
    static std::unique_ptr<MdxFile> open(const std::string& path, const std::string& tableBaseName,
                                         const std::vector<FieldDescriptor>& fields, bool writable = true,
                                         bool allowInterrupted = false);
    // Writes a new index with these tags built from the records (replacing
    // any file of that name) and opens it.
    static std::unique_ptr<MdxFile> create(const std::string& path, const std::string& tableBaseName,
                                           const std::vector<FieldDescriptor>& fields, const std::vector<TagSpec>& tags,
                                           const RecordSource& records);
    // Rewrites the table name an index records (after a copy or rename).
    static void retarget(const std::string& path, const std::string& tableBaseName);

    const std::string& path() const { return m_path; }
    // Bytes per block as the file declares (1024 for the files created here).
    uint32_t blockSize() const { return m_blockBytes; }
    int tagCount() const;
    TagInfo tagInfo(int tag) const;
    int findTag(const std::string& name) const; // case-insensitive; -1 when absent

    // Tag management: the caller holds the table exclusively.
    void addTag(const TagSpec& spec, const RecordSource& records);
    void deleteTag(const std::string& name);
    void regenerate(const RecordSource& records);

    // Keeping the tags right. Between beginChange and endChange the file is
    // marked "update in progress". Calls outside a bracket open one of their own.
    void beginChange();
    void insertRecord(uint32_t recno, const uint8_t* record);
    void removeRecord(uint32_t recno, const uint8_t* record);
    void changeRecord(uint32_t recno, const uint8_t* oldRecord, const uint8_t* newRecord);
    void endChange();
    void setMemoReader(MemoReader reader) { m_memo = std::move(reader); }
    // Where the table's records are read to keep unique tags whole. A unique
    // tag holds the lowest-numbered record of each key (as a build does):
    // a record with a lower number takes a key over, and when the record
    // holding a key leaves the tag the next record with that key comes in,
    // found by reading the records. Without a source that key stays out of
    // the tag until the tags are regenerated.
    void setRecordSource(std::function<RecordSource()> records) { m_records = std::move(records); }
    // Files written elsewhere keep the keys of deleted records; this engine
    // keeps live records only. Takes those keys out of the tags in memory
    // (they reach the file with the next update). Needs the record source;
    // nothing to do for an index this engine has updated before.
    void dropKeysOfDeletedRecords();

    // Write-behind, for a table open exclusively: changed pages stay in
    // memory and reach the file in batches (flush(), a full batch, tag
    // management, close). The file keeps its "update in progress" mark
    // while a batch is pending, so a process killed meanwhile leaves an
    // index that the next open reports damaged and regenerates.
    void setWriteBehind(bool on);
    void flush();

    // Reloads the memory copy when another process changed the file.
    // Returns true when it reloaded.
    bool refresh();

    // Reading a tag (call refresh() first to see other processes' changes).
    std::string makeKey(int tag, const uint8_t* record) const; // encoded key bytes
    // False when the tag has a FOR condition the record does not meet (the
    // record then has no key in the tag).
    bool inTag(int tag, const uint8_t* record) const;
    // Key bytes for a text value (space-padded or cut to the key length),
    // for exact key searches on text tags.
    std::string keyFromText(int tag, const std::string& text) const;
    uint64_t size(int tag) const;
    uint32_t recnoAt(int tag, uint64_t pos) const;              // pos < size
    std::string keyAt(int tag, uint64_t pos) const;             // pos < size
    uint64_t lowerBound(int tag, const std::string& key) const; // first entry >= key (tag order)
    uint64_t upperBound(int tag, const std::string& key) const; // first entry > key
    // Entries before (key, recno) in the tag's order.
    uint64_t rank(int tag, const std::string& key, uint32_t recno) const;
    // Position of the entry (key, recno), or size() when absent.
    uint64_t find(int tag, const std::string& key, uint32_t recno) const;
    // Three-way comparison of two keys in the tag's order.
    int compare(int tag, const std::string& a, const std::string& b) const;

    // Verifies every tag against the records: each live record has exactly
    // its key, the tree is ordered and its pages are sound. Returns one line
    // per problem (empty: all right).
    std::vector<std::string> check(const RecordSource& records);

    struct Tag;

private:
    MdxFile();
    // Reads the header and the tags; the first keepTags tags in memory are
    // kept as they are (after tags were appended to the file).
    void load(bool allowInterrupted = false, size_t keepTags = 0);
    void loadHeader(const uint8_t* hdr);
    // A tag's entries in key order: fixed-length keys side by side in one
    // buffer, record numbers beside them.
    struct Entries
    {
        size_t keyLen = 0;
        std::string keys;
        std::vector<uint32_t> recs;
        size_t size() const { return recs.size(); }
        bool empty() const { return recs.empty(); }
        const char* key(size_t i) const { return keys.data() + i * keyLen; }
    };
    void writeFresh(const std::vector<std::pair<TagSpec, Entries>>& tags, size_t firstNew = 0);
    Entries buildEntries(Tag& tag, const RecordSource& records);
    Entries entriesOf(const Tag& tag) const;
    void reopenFd();
    void readAt(uint64_t offset, void* buf, size_t len) const;
    void writeAt(uint64_t offset, const void* buf, size_t len);
    void flushDirty();
    void commitChange();
    size_t dirtyPages() const;
    void writeHeaderCounters(bool dirty);
    void lockFile(bool exclusive);
    void unlockFile();
    uint32_t allocPage();
    void freePage(uint32_t page);
    bool pageInUse(uint32_t page) const;
    std::string tagKey(int tag, const uint8_t* record) const; // empty: no key (FOR)
    // The lowest-numbered record other than `except` whose key in the tag is
    // `key` (0: none, or no record source).
    uint32_t nextHolder(int tag, const std::string& key, uint32_t except) const;
    uint32_t tagHeaderPages() const;
    Tag& tagRef(int tag) const;

    std::string m_path;
    std::string m_tableName;
    std::vector<ExprField> m_fields;
    MemoReader m_memo;
    std::function<RecordSource()> m_records;
    int m_fd = -1;
    bool m_writable = true;
    std::vector<std::unique_ptr<Tag>> m_tags;
    uint32_t m_blockBytes = kBlockSize;
    uint32_t m_pagesPerBlock = kBlockSize / kPageSize;
    uint32_t m_pageCount = 0;
    uint32_t m_firstFree = 0;
    uint32_t m_counter = 0;   // change counter seen at the last load or write
    bool m_ownMarker = false; // the header carries our extension bytes
    int m_changeDepth = 0;
    bool m_locked = false;
    bool m_writeBehind = false;
    bool m_batchOpen = false; // write-behind: marked in progress, lock held, pages pending
    std::chrono::steady_clock::time_point m_batchStart;
};

} // namespace mk::dbase
