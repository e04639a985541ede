// Table operations on a table with a production index: pack and empty
// rebuild it, copy keeps or drops it, rename moves it along.

#include "engine_support.h"
#include "storage/engine/order.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace mk::dbase;
using namespace mk::dbase::test;
namespace fs = std::filesystem;

namespace {

class IndexedOpsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installIndexProvider();
        path = dir.path("data.dbf");
        createTable(path, sampleLayout());
        Table t(path);
        t.open(OpenMode::Exclusive);
        addTag(t, TagSpec{"BYNAME", "UPPER(NAME)", true, false});
        t.close();
        t.open();
        for (const char* name : {"delta", "alpha", "echo", "charlie", "bravo"}) {
            t.append();
            t.setString(kName, name);
            t.setMemoLines(kNotes, {name});
            t.post();
        }
        t.goToRecno(3); // echo
        t.deleteRecord();
    }
    void TearDown() override { setIndexProvider(nullptr); }

    std::vector<std::string> byName(const std::string& p)
    {
        Table t(p);
        t.open();
        setCurrentTag(t, "BYNAME");
        std::vector<std::string> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.asString(kName) + "/" + t.memoLines(kNotes).at(0));
        return out;
    }
    TempFolder dir;
    std::string path;
};

TEST_F(IndexedOpsTest, PackEmptyCopyRenameKeepTheIndexRight)
{
    const std::vector<std::string> descending = {"delta/delta", "charlie/charlie", "bravo/bravo", "alpha/alpha"};
    EXPECT_EQ(byName(path), descending);
    packTable(path);
    EXPECT_EQ(byName(path), descending);

    copyTable(path, dir.path("kept.dbf"), true);
    EXPECT_TRUE(fs::exists(dir.path("kept.mdx")));
    EXPECT_EQ(byName(dir.path("kept.dbf")), descending);

    copyTable(path, dir.path("copy.dbf"), false);
    EXPECT_FALSE(fs::exists(dir.path("copy.mdx")));
    {
        Table t(dir.path("copy.dbf"));
        t.open();
        EXPECT_EQ(t.header().productionIndex & 1, 0);
        EXPECT_EQ(t.recordCount(), 4u);
    }

    renameTable(dir.path("kept.dbf"), dir.path("moved.dbf"));
    EXPECT_TRUE(fs::exists(dir.path("moved.mdx")));
    EXPECT_EQ(byName(dir.path("moved.dbf")), descending);

    emptyTable(path);
    EXPECT_TRUE(byName(path).empty());
    {
        Table t(path);
        t.open();
        setCurrentTag(t, "BYNAME");
        t.append();
        t.setString(kName, "zulu");
        t.setMemoLines(kNotes, {"z"});
        t.post();
    }
    EXPECT_EQ(byName(path), (std::vector<std::string>{"zulu/z"}));
    regenerateIndexes(path);
    EXPECT_EQ(byName(path), (std::vector<std::string>{"zulu/z"}));
}

} // namespace
