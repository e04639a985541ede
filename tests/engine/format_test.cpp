// The bytes on disk: what the engine writes, files laid out by hand that it
// must read, and damaged files that must fail cleanly.

#include "engine_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace mk::dbase;
using namespace mk::dbase::test;

namespace {

uint32_t u32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

uint16_t u16(const std::string& s, size_t at)
{
    uint16_t v = 0;
    std::memcpy(&v, s.data() + at, 2);
    return v;
}

TEST(FormatTest, WrittenFilesAreLevelFiveTables)
{
    TempFolder dir;
    const std::string path = dir.path("Data.DBF");
    createTable(path, sampleLayout());
    EXPECT_TRUE(std::filesystem::exists(dir.path("data.dbf"))); // created names are lower-case
    EXPECT_TRUE(std::filesystem::exists(dir.path("data.dbt")));
    {
        Table t(path); // found in any case
        t.open();
        t.append();
        t.setString(kName, "Pinot");
        t.setNumber(kQty, 6);
        t.setNumber(kCost, 3.5);
        t.setDate(kBought, Date{1999, 12, 31});
        t.setBool(kOpen, false);
        t.setString(kNotes, std::string(600, 'n')); // two 512-byte blocks
        t.post();
        t.append();
        t.setMemoLines(kNotes, {"a", "b"});
        t.post();
        t.first();
        t.deleteRecord();
    }
    const std::string dbf = readAll(dir.path("data.dbf"));
    const size_t fields = sampleLayout().size();
    EXPECT_EQ(static_cast<uint8_t>(dbf[0]), 0x8B);
    EXPECT_GE(static_cast<uint8_t>(dbf[1]), 100); // year - 1900
    EXPECT_EQ(u32(dbf, 4), 2u);
    EXPECT_EQ(u16(dbf, 8), 32 + 32 * fields + 1);
    EXPECT_EQ(u16(dbf, 10), 1 + 20 + 5 + 10 + 8 + 1 + 10 + 10);
    EXPECT_EQ(static_cast<uint8_t>(dbf[29]), 0x57);
    EXPECT_EQ(static_cast<uint8_t>(dbf[28]), 0);
    EXPECT_EQ(dbf.substr(32, 5), std::string("NAME\0", 5));
    EXPECT_EQ(dbf[32 + 11], 'C');
    EXPECT_EQ(dbf[32 + 32 * 2 + 11], 'N');
    EXPECT_EQ(static_cast<uint8_t>(dbf[32 + 32 * 2 + 16]), 10);
    EXPECT_EQ(static_cast<uint8_t>(dbf[32 + 32 * 2 + 17]), 2);
    EXPECT_EQ(dbf[32 + 32 * fields], '\x0D');
    const size_t h = 32 + 32 * fields + 1, len = u16(dbf, 10);
    ASSERT_EQ(dbf.size(), h + 2 * len + 1);
    EXPECT_EQ(dbf.back(), '\x1A');
    const std::string rec1 = dbf.substr(h, len);
    EXPECT_EQ(rec1[0], '*');
    EXPECT_EQ(rec1.substr(1, 20), "Pinot               ");
    EXPECT_EQ(rec1.substr(21, 5), "    6");
    EXPECT_EQ(rec1.substr(26, 10), "      3.50");
    EXPECT_EQ(rec1.substr(36, 8), "19991231");
    EXPECT_EQ(rec1.substr(44, 1), "F");
    EXPECT_EQ(rec1.substr(45, 10), "         1");
    EXPECT_EQ(rec1.substr(55, 10), std::string(10, ' '));
    const std::string rec2 = dbf.substr(h + len, len);
    EXPECT_EQ(rec2[0], ' ');
    EXPECT_EQ(rec2.substr(45, 10), "         3");

    const std::string dbt = readAll(dir.path("data.dbt"));
    EXPECT_EQ(u32(dbt, 0), 4u); // next free block
    EXPECT_EQ(u32(dbt, 4), 512u);
    EXPECT_EQ(u16(dbt, 20), 512u);
    EXPECT_EQ(dbt.substr(8, 4), "DATA");
    EXPECT_EQ(dbt.substr(512, 4), std::string("\xFF\xFF\x08\x00", 4));
    EXPECT_EQ(u32(dbt, 516), 608u);
    EXPECT_EQ(dbt.substr(520, 600), std::string(600, 'n'));
    EXPECT_EQ(dbt.substr(1536 + 8, 4), "a\r\nb");
    EXPECT_EQ(dbt.size(), 2048u);
}

TEST(FormatTest, HandMadeFilesOpen)
{
    {
        Table t(fixture("plain.dbf"));
        t.open();
        ASSERT_EQ(t.fieldCount(), 5);
        EXPECT_EQ(t.field(2).type, 'F');
        EXPECT_EQ(t.field(2).decimals, 2);
        EXPECT_EQ(t.recordCount(), 2u); // one is deleted
        EXPECT_EQ(t.asString(0), "Riesling");
        EXPECT_EQ(t.asNumber(1), 12.0);
        EXPECT_EQ(t.asNumber(2), 19.9);
        EXPECT_EQ(t.asDate(3), (Date{1998, 7, 14}));
        EXPECT_EQ(t.asBool(4), true);
        t.next();
        EXPECT_EQ(t.recno(), 3u);
        EXPECT_TRUE(t.isNull(1));
        EXPECT_EQ(t.asNumber(2), std::nullopt);
        EXPECT_EQ(t.asDate(3), std::nullopt);
        EXPECT_EQ(t.asBool(4), std::nullopt);
        EXPECT_EQ(t.fieldPosition("price"), 2);
    }
    {
        Table t(fixture("dbase3.dbf"));
        t.open();
        EXPECT_EQ(t.header().version, 0x83);
        EXPECT_EQ(t.memoLines(1), (std::vector<std::string>{"Old style memo", "second line"}));
        t.next();
        EXPECT_EQ(t.asString(1), std::string(600, 'x'));
        t.next();
        EXPECT_TRUE(t.isNull(1));
        EXPECT_EQ(t.asString(1), "");
    }
    {
        Table t(fixture("cellar.dbf")); // upper-case files, 64-byte blocks
        t.open();
        EXPECT_EQ(t.asString(1), "Notes of the cellar");
        std::string pic = "BM";
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 256; ++i)
                pic += static_cast<char>(i);
        EXPECT_EQ(t.asBlob(2), pic);
    }
}

TEST(FormatTest, CopiesOfForeignFilesGetDbase4Memos)
{
    TempFolder dir;
    copyTable(fixture("dbase3.dbf"), dir.path("copy.dbf"), false);
    Table t(dir.path("copy.dbf"));
    t.open();
    EXPECT_EQ(t.header().version, 0x8B);
    EXPECT_EQ(t.recordCount(), 3u);
    EXPECT_EQ(t.memoLines(1), (std::vector<std::string>{"Old style memo", "second line"}));
    const std::string dbt = readAll(dir.path("copy.dbt"));
    EXPECT_EQ(dbt.substr(512, 4), std::string("\xFF\xFF\x08\x00", 4));
}

TEST(FormatTest, DamagedFilesRaiseErrors)
{
    TempFolder dir;
    const std::string good = dir.path("good.dbf");
    createTable(good, {FieldDescriptor{"NAME", 'C', 10, 0}, FieldDescriptor{"QTY", 'N', 5, 0}});
    {
        Table t(good);
        t.open();
        t.append();
        t.setString(0, "x");
        t.post();
    }
    const std::string bytes = readAll(good);
    struct Case
    {
        const char* what;
        std::function<void(std::string&)> damage;
    };
    const std::vector<Case> cases = {
            {"empty file", [](std::string& b) { b.clear(); }},
            {"only a part of the header", [](std::string& b) { b.resize(20); }},
            {"truncated records", [](std::string& b) { b.resize(b.size() - 10); }},
            {"record count too high", [](std::string& b) { b[4] = 100; }},
            {"header length too small",
             [](std::string& b) {
                 b[8] = 10;
                 b[9] = 0;
             }},
            {"header length past the file", [](std::string& b) { b[9] = 0x70; }},
            {"record length too small", [](std::string& b) { b[10] = 3; }},
            {"record length zero",
             [](std::string& b) {
                 b[10] = 0;
                 b[11] = 0;
             }},
            {"unknown version", [](std::string& b) { b[0] = 0x07; }},
            {"no field terminator", [](std::string& b) { b[32 + 64] = 'X'; }},
            {"numeric field too wide", [](std::string& b) { b[32 + 32 + 16] = 40; }},
            {"field of length zero", [](std::string& b) { b[32 + 16] = 0; }},
            {"field without a name", [](std::string& b) { b[32] = 0; }},
    };
    for (const Case& c : cases) {
        std::string b = bytes;
        c.damage(b);
        const std::string path = dir.path("bad.dbf");
        writeAll(path, b);
        Table t(path);
        EXPECT_THROW(t.open(), DatabaseError) << c.what;
        EXPECT_FALSE(t.isOpen()) << c.what;
    }

    Table trunc(fixture("broken_truncated.dbf"));
    EXPECT_THROW(trunc.open(), DatabaseError);

    // A memo table without its memo file does not open.
    writeAll(dir.path("nomemo.dbf"), readAll(fixture("dbase3.dbf")));
    Table noMemo(dir.path("nomemo.dbf"));
    EXPECT_THROW(noMemo.open(), DatabaseError);
}

TEST(FormatTest, DamagedValuesRaiseEngineErrors)
{
    Table t(fixture("broken_memo.dbf"));
    t.open();
    EXPECT_EQ(t.asString(1), "good value");
    t.next();
    EXPECT_THROW(t.asString(1), EngineError); // past the end of the memo file
    t.next();
    EXPECT_THROW(t.memoLines(1), EngineError); // block length too large
    t.next();
    EXPECT_THROW(t.asString(1), EngineError); // pointer not digits
    EXPECT_THROW(t.asNumber(2), EngineError); // "  x.y"
    EXPECT_THROW(t.asString(2), EngineError);
    EXPECT_THROW(t.asDate(3), EngineError); // "2024XX01"
    EXPECT_EQ(t.asString(0), "digits");     // the rest of the record reads
    t.first();
    EXPECT_EQ(t.recordCount(), 4u); // the table stays usable
}

} // namespace
