// Tables written by other programs (tests/data/foreign, see its README.md),
// opened with the engine: structure, every value, deleted records, blanks,
// Windows-1252 text and memo values in the dBASE III and dBASE IV layouts.

#include "storage/engine/table.h"
#include "tests/interop/interop_support.h"
#include "tests/interop/wine_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

namespace mk::dbase::interop {
namespace {

struct Foreign
{
    const char* file;
    uint8_t version;
    bool full; // RATING F, OPENED L and NOTES M present, deleted record 3 present
};

void PrintTo(const Foreign& f, std::ostream* os)
{
    *os << f.file;
}

class ForeignTable : public ::testing::TestWithParam<Foreign>
{};

void expectField(const Table& t, const char* name, char type, int length, int decimals)
{
    const int pos = t.fieldPosition(name);
    ASSERT_GE(pos, 0) << name;
    EXPECT_EQ(t.field(pos).type, type) << name;
    EXPECT_EQ(t.field(pos).length, length) << name;
    EXPECT_EQ(t.field(pos).decimals, decimals) << name;
}

TEST_P(ForeignTable, EveryFieldAndMemoReadsExactly)
{
    const Foreign& f = GetParam();
    Scratch dir;
    const std::string path = dir.copyForeign(f.file);
    const std::string dbtPath = path.substr(0, path.size() - 3) + "dbt";
    const std::string dbfBefore = readAll(path), dbtBefore = readAll(dbtPath);
    Table t(path);
    ASSERT_NO_THROW(t.open(OpenMode::Shared));
    EXPECT_EQ(t.header().version, f.version);
    expectField(t, "NAME", 'C', 20, 0);
    expectField(t, "VINTAGE", 'N', 4, 0);
    expectField(t, "PRICE", 'N', 8, 2);
    expectField(t, "BOUGHT", 'D', 8, 0);
    if (f.full) {
        EXPECT_EQ(t.fieldCount(), 7);
        expectField(t, "RATING", 'F', 6, 2);
        expectField(t, "OPENED", 'L', 1, 0);
        expectField(t, "NOTES", 'M', 10, 0);
        EXPECT_TRUE(t.hasMemoFile());
    } else {
        EXPECT_EQ(t.fieldCount(), 4);
    }

    std::vector<WineRecord> expected = wineRecords();
    if (!f.full)
        expected.erase(expected.begin() + 2); // GDAL writes no deleted record
    ASSERT_EQ(t.physicalCount(), expected.size());

    // Deletion flags as stored.
    std::vector<uint8_t> raw(t.header().recordLength);
    for (uint32_t r = 1; r <= expected.size(); ++r) {
        ASSERT_TRUE(t.readRecord(r, raw.data()));
        EXPECT_EQ(raw[0] == '*', expected[r - 1].deleted) << "record " << r;
    }

    const int name = t.fieldPosition("NAME"), vintage = t.fieldPosition("VINTAGE"), price = t.fieldPosition("PRICE"),
              bought = t.fieldPosition("BOUGHT");
    const int rating = t.fieldPosition("RATING"), opened = t.fieldPosition("OPENED"), notes = t.fieldPosition("NOTES");
    uint32_t visible = 0;
    for (uint32_t r = 1; r <= expected.size(); ++r) {
        const WineRecord& w = expected[r - 1];
        if (w.deleted) {
            EXPECT_FALSE(t.goToRecno(r)) << "a deleted record is not visible";
            continue;
        }
        ++visible;
        ASSERT_TRUE(t.goToRecno(r)) << "record " << r;
        SCOPED_TRACE("record " + std::to_string(r));
        EXPECT_EQ(t.asString(name), w.name);
        EXPECT_EQ(t.isNull(name), w.name.empty());
        EXPECT_EQ(t.asDate(bought), w.bought);
        if (f.full) {
            EXPECT_EQ(t.asNumber(rating), w.rating);
            EXPECT_EQ(t.asBool(opened), w.opened);
            EXPECT_EQ(t.isNull(opened), !w.opened.has_value());
            EXPECT_EQ(t.asString(notes), w.notes);
            EXPECT_EQ(t.asBlob(notes).substr(0, w.notes.size()), w.notes);
            EXPECT_EQ(t.isNull(notes), w.notes.empty());
        }
        if (!w.vintage && !f.full) {
            // GDAL stores a blank number as asterisks (the dBASE overflow
            // mark) and a blank date as 00000000.
            EXPECT_EQ(t.asNumber(vintage), std::nullopt);
            EXPECT_EQ(t.asNumber(price), std::nullopt);
            EXPECT_TRUE(t.isNull(vintage));
            EXPECT_EQ(t.asString(price), "");
            continue;
        }
        EXPECT_EQ(t.asNumber(vintage), w.vintage);
        EXPECT_EQ(t.asNumber(price), w.price);
        EXPECT_EQ(t.isNull(vintage), !w.vintage.has_value());
    }
    EXPECT_EQ(t.recordCount(), visible);

    // Walking in natural order visits exactly the live records.
    std::vector<std::string> names;
    for (t.first(); !t.eof(); t.next())
        names.push_back(t.asString(name));
    std::vector<std::string> want;
    for (const auto& w : expected)
        if (!w.deleted)
            want.push_back(w.name);
    EXPECT_EQ(names, want);

    // Reading changes no byte of the other program's files.
    t.close();
    EXPECT_EQ(readAll(path), dbfBefore);
    EXPECT_EQ(readAll(dbtPath), dbtBefore);
}

INSTANTIATE_TEST_SUITE_P(Writers, ForeignTable,
                         ::testing::Values(Foreign{"xbase4.dbf", 0x8B, true}, Foreign{"xbase3.dbf", 0x83, true},
                                           Foreign{"pydbf3.dbf", 0x83, true}, Foreign{"gdal.dbf", 0x03, false}),
                         [](const auto& param) {
                             std::string n = param.param.file;
                             return n.substr(0, n.find('.'));
                         });

// LibreOffice Calc picks field widths from the data and stores empty number
// cells as 0, so this table has its own layout.
TEST(ForeignLibreOffice, EveryValueReadsExactly)
{
    Scratch dir;
    const std::string path = dir.copyForeign("libreoffice.dbf");
    const std::string before = readAll(path);
    Table t(path);
    ASSERT_NO_THROW(t.open(OpenMode::Shared));
    EXPECT_EQ(t.header().version, 0x03);
    ASSERT_EQ(t.fieldCount(), 4);
    expectField(t, "NAME", 'C', 16, 0);
    expectField(t, "VINTAGE", 'N', 4, 0);
    expectField(t, "PRICE", 'N', 6, 2);
    expectField(t, "BOUGHT", 'D', 8, 0);
    struct Row
    {
        std::string name;
        double vintage, price;
        std::optional<Date> bought;
    };
    const std::vector<Row> want = {{"Ch\xE2teau Margaux", 2005, 450.0, Date{2010, 3, 15}},
                                   {"Rioja Reserva", 2012, 18.9, Date{2015, 11, 2}},
                                   {"", 0, 0, std::nullopt},
                                   {"Gr\xFCner Veltliner", 2020, -12.25, Date{1999, 12, 31}}};
    ASSERT_EQ(t.recordCount(), want.size());
    size_t i = 0;
    for (t.first(); !t.eof(); t.next(), ++i) {
        ASSERT_LT(i, want.size());
        SCOPED_TRACE("record " + std::to_string(i + 1));
        EXPECT_EQ(t.asString(0), want[i].name);
        EXPECT_EQ(t.asNumber(1), want[i].vintage);
        EXPECT_EQ(t.asNumber(2), want[i].price);
        EXPECT_EQ(t.asDate(3), want[i].bought);
    }
    EXPECT_EQ(i, want.size());
    t.close();
    EXPECT_EQ(readAll(path), before);
}

} // namespace
} // namespace mk::dbase::interop
