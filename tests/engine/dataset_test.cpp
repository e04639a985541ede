// The dataset cursor: states, editing, navigation, field values, handlers.

#include "engine_support.h"

#include <gtest/gtest.h>

using namespace mk::dbase;
using namespace mk::dbase::test;

namespace {

class DatasetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.path("data.dbf");
        createTable(path, sampleLayout());
        table.setPath(path);
        table.open();
    }
    TempFolder dir;
    std::string path;
    Table table;
};

TEST_F(DatasetTest, AppendEditPostCancelAndValues)
{
    EXPECT_EQ(table.state(), DatasetState::Browse);
    EXPECT_TRUE(table.eof());
    EXPECT_TRUE(table.bof());
    EXPECT_EQ(table.recordCount(), 0u);

    table.append();
    EXPECT_EQ(table.state(), DatasetState::Insert);
    for (int pos = 0; pos < table.fieldCount(); ++pos)
        EXPECT_TRUE(table.isNull(pos)) << pos;
    table.setString(kName, "Ch\xe2teau Margaux");
    table.setNumber(kQty, 0); // zero is a value, not empty
    table.setNumber(kCost, 12.5);
    table.setDate(kBought, Date{2024, 2, 29});
    table.setBool(kOpen, true);
    table.setMemoLines(kNotes, {"line one", "line two"});
    table.setBlob(kPic, std::string("BM\0\1\2", 5));
    table.post();
    EXPECT_EQ(table.state(), DatasetState::Browse);
    EXPECT_EQ(table.recno(), 1u);
    EXPECT_EQ(table.recordCount(), 1u);

    Table other(path);
    other.open();
    EXPECT_EQ(other.asString(kName), "Ch\xe2teau Margaux");
    EXPECT_FALSE(other.isNull(kQty));
    EXPECT_EQ(other.asNumber(kQty), 0.0);
    EXPECT_EQ(other.asString(kCost), "12.50");
    EXPECT_EQ(other.asNumber(kCost), 12.5);
    EXPECT_EQ(other.asDate(kBought), (Date{2024, 2, 29}));
    EXPECT_EQ(other.asString(kBought), "20240229");
    EXPECT_EQ(other.asBool(kOpen), true);
    EXPECT_EQ(other.memoLines(kNotes), (std::vector<std::string>{"line one", "line two"}));
    EXPECT_EQ(other.asString(kNotes), "line one\r\nline two");
    EXPECT_EQ(other.asBlob(kPic), std::string("BM\0\1\2", 5));

    // Edit and cancel keeps the stored values; edit and post replaces them.
    table.edit();
    table.setString(kName, "changed");
    table.setNull(kNotes);
    table.cancel();
    EXPECT_EQ(table.asString(kName), "Ch\xe2teau Margaux");
    EXPECT_EQ(table.memoLines(kNotes).size(), 2u);
    table.edit();
    table.setString(kName, "changed");
    table.setNull(kNotes);
    table.setNull(kQty);
    table.post();
    other.first();
    EXPECT_EQ(other.asString(kName), "changed");
    EXPECT_TRUE(other.isNull(kNotes));
    EXPECT_TRUE(other.isNull(kQty));
    EXPECT_EQ(other.asNumber(kQty), std::nullopt);
}

TEST_F(DatasetTest, ValuesThatDoNotFitAreErrors)
{
    table.append();
    EXPECT_THROW(table.setNumber(kQty, 123456), DatabaseError); // N5
    EXPECT_THROW(table.setNumber(kCost, 1e9), DatabaseError);   // N10.2: 1000000000.00 is 13 wide
    EXPECT_THROW(table.setString(kQty, "12x"), DatabaseError);
    EXPECT_THROW(table.setDate(kBought, Date{2023, 2, 29}), DatabaseError);
    table.setNumber(kCost, -123456.5); // "-123456.50" is 10 wide
    EXPECT_THROW(table.setNumber(kCost, -1234567.5), DatabaseError);
    table.setNumber(kCost, 9999999.99);
    EXPECT_EQ(table.asString(kCost), "9999999.99");
    table.setString(kName, std::string(30, 'x')); // cut to the field width
    EXPECT_EQ(table.asString(kName), std::string(20, 'x'));
    table.setString(kQty, " 42 ");
    EXPECT_EQ(table.asNumber(kQty), 42.0);
    table.post();
    EXPECT_THROW(table.setString(kName, "not editing"), DatabaseError);
}

TEST_F(DatasetTest, NavigationHidesDeletedRecords)
{
    fillSample(table, 5);
    table.first();
    EXPECT_TRUE(table.bof());
    EXPECT_EQ(table.asString(kName), "name1");
    table.next();
    table.next();
    EXPECT_EQ(table.recno(), 3u);
    table.deleteRecord(); // cursor moves to the next record
    EXPECT_EQ(table.recno(), 4u);
    EXPECT_EQ(table.recordCount(), 4u);

    std::vector<uint32_t> seen;
    for (table.first(); !table.eof(); table.next())
        seen.push_back(table.recno());
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 4, 5}));
    EXPECT_EQ(table.recno(), 5u); // at the end the last record stays current

    seen.clear();
    for (table.last(); !table.bof(); table.prior())
        seen.push_back(table.recno());
    EXPECT_EQ(seen, (std::vector<uint32_t>{5, 4, 2, 1}));

    table.first();
    EXPECT_EQ(table.moveBy(2), 2);
    EXPECT_EQ(table.recno(), 4u);
    EXPECT_EQ(table.moveBy(5), 1); // only one more
    EXPECT_TRUE(table.eof());
    EXPECT_EQ(table.recno(), 5u);
    EXPECT_EQ(table.moveBy(-3), -3);
    EXPECT_EQ(table.recno(), 1u);
    table.first();
    EXPECT_EQ(table.moveBy(4), 3); // moving the record count from the first reaches the end
    EXPECT_TRUE(table.eof());

    // Bookmarks and going to a record number.
    table.goToRecno(2);
    const Bookmark b = table.bookmark();
    table.last();
    table.gotoBookmark(b);
    EXPECT_EQ(table.asString(kName), "name2");
    EXPECT_FALSE(table.goToRecno(3)); // deleted
    EXPECT_FALSE(table.goToRecno(99));
    EXPECT_THROW(table.gotoBookmark(Bookmark{3}), DatabaseError);

    // Deleting the last record lands on the one before it.
    table.last();
    table.deleteRecord();
    EXPECT_EQ(table.recno(), 4u);
    EXPECT_TRUE(table.eof());
    EXPECT_EQ(table.recordCount(), 3u);
}

TEST_F(DatasetTest, DeleteUntilEmpty)
{
    fillSample(table, 3);
    table.first();
    while (!table.isEmpty()) {
        table.edit();
        table.deleteRecord();
        table.first();
    }
    EXPECT_EQ(table.recordCount(), 0u);
    EXPECT_TRUE(table.eof());
    EXPECT_TRUE(table.bof());
    EXPECT_THROW(table.deleteRecord(), DatabaseError);
}

TEST_F(DatasetTest, HandlersCanBeSwappedAndTakenOff)
{
    int inserted = 0;
    table.setAfterInsert([&](Table& t) {
        ++inserted;
        t.edit(); // no-op in insert state
        t.setNumber(kQty, 7);
    });
    table.setBeforePost([](Table& t) { t.setString(kName, "marked"); });
    table.append();
    table.post();
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(table.asString(kName), "marked");
    EXPECT_EQ(table.asNumber(kQty), 7.0);

    Table::Handler saved = table.beforePost();
    table.setBeforePost(nullptr);
    table.setAfterInsert(nullptr);
    table.append();
    table.setString(kName, "plain");
    table.post();
    EXPECT_EQ(table.asString(kName), "plain");
    EXPECT_TRUE(table.isNull(kQty));

    table.setBeforePost(saved);
    table.edit();
    table.post();
    EXPECT_EQ(table.asString(kName), "marked");

    // A failing before-post handler leaves the edit open.
    table.setBeforePost([](Table&) { throw DatabaseError("refused"); });
    table.edit();
    table.setString(kName, "x");
    EXPECT_THROW(table.post(), DatabaseError);
    EXPECT_EQ(table.state(), DatasetState::Edit);
    table.cancel();
}

TEST_F(DatasetTest, EditOnAnEmptyTableInserts)
{
    table.edit();
    EXPECT_EQ(table.state(), DatasetState::Insert);
    table.cancel();
    EXPECT_EQ(table.recordCount(), 0u);
    table.append();
    table.setString(kName, "kept");
    table.next(); // moving on posts a modified record
    EXPECT_EQ(table.recordCount(), 1u);
    table.append();
    table.first(); // an unmodified insert is dropped
    EXPECT_EQ(table.recordCount(), 1u);
}

TEST_F(DatasetTest, ExclusiveModeGivesTheSameResults)
{
    fillSample(table, 300);
    table.close();
    table.open(OpenMode::Exclusive);
    EXPECT_EQ(table.recordCount(), 300u);
    table.goToRecno(150);
    table.deleteRecord();
    EXPECT_EQ(table.recordCount(), 299u);
    table.first();
    EXPECT_EQ(table.moveBy(200), 200);
    EXPECT_EQ(table.recno(), 202u);
    table.append();
    table.setString(kName, "late");
    table.post();
    EXPECT_EQ(table.recordCount(), 300u);
    table.last();
    EXPECT_EQ(table.asString(kName), "late");
    EXPECT_EQ(table.memoLines(kNotes).size(), 0u);
    table.goToRecno(299);
    EXPECT_EQ(table.memoLines(kNotes), (std::vector<std::string>{"first line 299", "second line"}));
}

} // namespace
