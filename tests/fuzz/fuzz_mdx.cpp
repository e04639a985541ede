// libFuzzer target for the production index (.mdx) reader and updater.
//
// Input: the bytes of an .mdx. A fixed table of 200 records (text, numeric
// and date fields) is written beside it with its production-index flag
// set, then opened; every tag is walked both ways, positioned, searched and
// counted, and records are appended, changed and deleted. Any failure must
// be a DatabaseError.
//
// With MK_FUZZ_SEED_DIR set, start-up writes a sound index of that table
// there ("seed.mdx"): several tags of every key type, with interior pages.

#include "storage/engine/mdx.h"
#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using namespace mk::dbase;

namespace {

std::string g_dir;
std::vector<uint8_t> g_dbf; // the table's bytes, restored before every input

std::string path(const char* name)
{
    return g_dir + "/" + name;
}

void writeFile(const std::string& p, const uint8_t* data, size_t n)
{
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!f)
        std::abort();
    if (n)
        std::fwrite(data, 1, n, f);
    std::fclose(f);
}

std::vector<uint8_t> readFile(const std::string& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const std::vector<TagSpec>& seedTags()
{
    static const std::vector<TagSpec> tags = {
            {"IDX0", "UPPER(NAME)", false, false},
            {"IDX1", "NAME+STR(999999999999999999-COST, 20, 4)", false, false},
            {"IDX2", "COST", true, false},
            {"IDX3", "DRINK", false, false},
            {"IDX4", "DTOS(DRINK)+UPPER(NAME)", false, true},
    };
    return tags;
}

void makeTable()
{
    char tmpl[] = "/tmp/mkfuzzmdxXXXXXX";
    const char* d = ::mkdtemp(tmpl);
    if (!d)
        std::abort();
    g_dir = d;
    std::vector<FieldDescriptor> fields(3);
    fields[0] = {"NAME", 'C', 20, 0, 0};
    fields[1] = {"COST", 'N', 10, 2, 0};
    fields[2] = {"DRINK", 'D', 8, 0, 0};
    createTable(path("t.dbf"), fields, true);
    {
        Table t(path("t.dbf"));
        t.open(OpenMode::Exclusive);
        for (int i = 0; i < 200; ++i) {
            t.append();
            t.setString(0, std::string(1, char('A' + i % 26)) + "wine " + std::to_string(i * 7919 % 1000));
            t.setNumber(1, double(i % 37) * 3.5 - 20);
            t.setString(2, i % 9 ? "20" + std::to_string(10 + i % 20) + "0615" : "");
            t.post();
        }
        for (const TagSpec& spec : seedTags())
            addTag(t, spec);
    }
    if (const char* seeds = std::getenv("MK_FUZZ_SEED_DIR")) {
        const std::vector<uint8_t> mdx = readFile(path("t.mdx"));
        writeFile(std::string(seeds) + "/seed.mdx", mdx.data(), mdx.size());
    }
    g_dbf = readFile(path("t.dbf"));
}

void exercise(Table& t)
{
    for (const TagInfo& tag : listTags(t)) {
        setCurrentTag(t, tag.name);
        int steps = 0;
        for (t.first(); !t.eof() && steps < 300; t.next(), ++steps)
            (void)t.asString(0);
        for (t.last(); !t.bof() && steps < 600; t.prior(), ++steps)
            (void)t.recno();
        t.first();
        t.moveBy(int(t.recordCount() / 2));
        (void)findKey(t, "BWINE");
        setRangeKeys(t, "C", std::string("C") + char(0xFF));
        (void)t.recordCount();
        cancelRange(t);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    installIndexProvider();
    makeTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    writeFile(path("t.dbf"), g_dbf.data(), g_dbf.size());
    writeFile(path("t.mdx"), data, size);
    try {
        Table t(path("t.dbf"));
        t.open(OpenMode::Shared);
        exercise(t);
        setCurrentTag(t, "");
        t.append();
        t.setString(0, "Zweigelt");
        t.setNumber(1, 12.5);
        t.post();
        t.first();
        t.edit();
        t.setString(0, "Aligote");
        t.post();
        t.moveBy(5);
        t.deleteRecord();
        exercise(t);
    } catch (const DatabaseError&) {}
    // What the updates left must open again or be reported damaged.
    try {
        Table t(path("t.dbf"));
        t.open(OpenMode::Exclusive);
        if (auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks()))
            (void)pi->mdx().check(tableRecords(t));
    } catch (const DatabaseError&) {}
    return 0;
}
