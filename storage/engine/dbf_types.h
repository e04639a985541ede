#pragma once

// Core types of the dBASE engine: the table header, field descriptors, the
// errors the engine raises and the constants of the file layout. Plain C++,
// no Qt: the engine is fuzzed and benchmarked on its own.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mk::dbase {

// A failed table operation: a file that cannot be opened or created, a lock
// held by someone else, a value that does not fit its field, a damaged
// header. Every public operation of Table and of the table operations throws
// this (or EngineError, which derives from it) and nothing else on failure.
class DatabaseError : public std::runtime_error
{
public:
    enum class Code {
        General,
        NotFound,     // a file of the table does not exist
        Io,           // read, write, create, rename failed
        Locked,       // a lock is held by another table object or process
        Corrupt,      // the table's files are damaged (header, lengths)
        NotOpen,      // the operation needs an open table
        WrongState,   // e.g. Post in browse state, Edit at end of table
        ValueTooLong, // a number or text that does not fit its field
        NoRecord,     // no current record
    };
    DatabaseError(Code code, const std::string& message)
        : std::runtime_error(message)
        , m_code(code)
    {}
    explicit DatabaseError(const std::string& message)
        : DatabaseError(Code::General, message)
    {}
    Code code() const { return m_code; }

private:
    Code m_code;
};

// A damaged field value: a memo pointer past the end of the memo file, a
// memo block with a bad length, a number field holding garbage. Raised by
// the field readers of the current record; the table itself stays usable.
// It derives from DatabaseError so that "catch any table failure" works,
// while callers that must tell the two apart catch EngineError first.
class EngineError : public DatabaseError
{
public:
    explicit EngineError(const std::string& message)
        : DatabaseError(Code::Corrupt, message)
    {}
};

// Field types the engine reads and writes.
enum FieldType : char {
    TypeChar = 'C',
    TypeNumeric = 'N',
    TypeFloat = 'F',
    TypeDate = 'D',
    TypeLogical = 'L',
    TypeMemo = 'M',
    TypeBinary = 'B',
    TypeGeneral = 'G', // read like B (OLE objects in the memo file)
};

// One field descriptor as read from (or written to) the .dbf header.
struct FieldDescriptor
{
    std::string name;   // up to 10 bytes, as stored (no trailing NULs)
    char type = 'C';    // FieldType
    uint8_t length = 0; // bytes in the record (C: 1..254, N/F: 1..20, D: 8, L: 1, M/B: 10)
    uint8_t decimals = 0;
    uint32_t offset = 0; // from the start of the record; byte 0 is the deletion flag
    bool mdxTag = false; // descriptor byte 31: field has a tag in the production index

    bool isMemoLike() const { return type == 'M' || type == 'B' || type == 'G'; }
    bool isNumeric() const { return type == 'N' || type == 'F'; }
};

// The fixed 32-byte header of a .dbf file.
struct TableHeader
{
    uint8_t version = 0x03;      // byte 0: 0x03 plain, 0x8B dBASE IV with memo, 0x83 dBASE III with memo
    uint8_t year = 0;            // byte 1: year - 1900
    uint8_t month = 1;           // byte 2
    uint8_t day = 1;             // byte 3
    uint32_t recordCount = 0;    // bytes 4-7
    uint16_t headerLength = 0;   // bytes 8-9
    uint16_t recordLength = 0;   // bytes 10-11, deletion flag included
    uint8_t incomplete = 0;      // byte 14: transaction flag
    uint8_t encrypted = 0;       // byte 15
    uint8_t productionIndex = 0; // byte 28: bit 0 set when a production .mdx belongs to the table
    uint8_t languageDriver = 0;  // byte 29: 0x57 = Windows ANSI (code page 1252)

    bool hasMemoFlag() const { return (version & 0x80) != 0 || (version & 0x08) != 0; }
};

namespace layout {
constexpr uint8_t kVersionPlain = 0x03;       // level 5 table without memo file
constexpr uint8_t kVersionDbase4Memo = 0x8B;  // level 5 table with a dBASE IV memo file
constexpr uint8_t kVersionDbase3Memo = 0x83;  // read only
constexpr uint8_t kLanguageDriver1252 = 0x57; // Windows ANSI, plain byte order
constexpr uint8_t kFieldTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr uint8_t kDeletedFlag = '*';
constexpr uint8_t kLiveFlag = ' ';
constexpr uint32_t kMemoBlockSize = 512;
constexpr int kMaxFields = 255;

// Byte-range lock offsets on the .dbf (taken with open-file-description
// locks, so two Table objects of one process conflict like two processes).
constexpr uint64_t kRecordLockBase = 0xEFFFFFFEull; // record n: one byte at base - n
constexpr uint64_t kAppendLock = 0xEFFFFFFEull;     // "record 0": held while appending
constexpr uint64_t kHeaderLock = 0xEFFFFFFFull;     // held while the header is rewritten
constexpr uint64_t kOpenModeLock = 0xF0000000ull;   // read lock = shared open, write lock = exclusive open
} // namespace layout

// A calendar date as stored in a D field ("YYYYMMDD").
struct Date
{
    int year = 0;
    int month = 0;
    int day = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

} // namespace mk::dbase
