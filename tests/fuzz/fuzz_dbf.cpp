// libFuzzer target for the .dbf and .dbt readers.
//
// Input: two bytes (little-endian) giving the length of the .dbf part, the
// .dbf bytes, then the .dbt bytes. Both are written to a private folder,
// opened as a table, and every field of every record is read through every
// getter; then a record is appended. Any failure must be a DatabaseError.

#include "storage/engine/dbf_file.h"
#include "storage/engine/memo_file.h"
#include "storage/engine/table.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace mk::dbase;

namespace {

std::string folder()
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/mkfuzzXXXXXX";
        const char* d = ::mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}

void writeFile(const std::string& path, const uint8_t* data, size_t n)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (n)
        std::fwrite(data, 1, n, f);
    std::fclose(f);
}

void readEverything(Table& t)
{
    int records = 0;
    for (t.first(); !t.eof() && records < 200; t.next(), ++records) {
        for (int i = 0; i < t.fieldCount(); ++i) {
            try {
                (void)t.isNull(i);
                (void)t.asString(i);
                (void)t.asNumber(i);
                (void)t.asBool(i);
                (void)t.memoLines(i);
                (void)t.asBlob(i);
                if (t.field(i).type == 'D')
                    (void)t.asDate(i);
            } catch (const DatabaseError&) {}
        }
    }
    (void)t.recordCount();
    t.last();
    t.moveBy(-3);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t dbfLen = static_cast<size_t>(data[0] | (data[1] << 8));
    data += 2;
    size -= 2;
    if (dbfLen > size)
        dbfLen = size;
    const std::string dbf = folder() + "/t.dbf";
    const std::string dbt = folder() + "/t.dbt";
    writeFile(dbf, data, dbfLen);
    writeFile(dbt, data + dbfLen, size - dbfLen);

    // The in-memory readers.
    try {
        (void)parseDbfHeader(data, dbfLen, dbfLen);
    } catch (const DatabaseError&) {}
    if (size - dbfLen >= 512) {
        try {
            const uint8_t* m = data + dbfLen;
            const uint32_t bs = memoBlockSize(m, size - dbfLen);
            for (uint32_t b = 1; b < 4; ++b)
                (void)readMemoValue(m, size - dbfLen, bs, b);
        } catch (const DatabaseError&) {}
    }

    try {
        Table t(dbf);
        t.open(OpenMode::Shared);
        readEverything(t);
        t.append();
        for (int i = 0; i < t.fieldCount(); ++i) {
            try {
                t.setString(i, "1");
            } catch (const DatabaseError&) {}
        }
        t.post();
        readEverything(t);
    } catch (const DatabaseError&) {}
    return 0;
}
