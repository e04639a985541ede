// Table operations: copy, delete, rename, empty, pack, file copy, and the
// replacement of a table's files surviving a kill at any moment.

#include "engine_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace mk::dbase;
using namespace mk::dbase::test;
namespace fs = std::filesystem;

namespace {

class OpsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.path("data.dbf");
        createTable(path, sampleLayout());
        Table t(path);
        t.open();
        fillSample(t, 10);
        for (uint32_t r : {2u, 5u, 9u}) {
            t.goToRecno(r);
            t.deleteRecord();
        }
        t.goToRecno(3);
        t.edit();
        t.setMemoLines(kNotes, {"replaced"}); // leaves the old value's block unused
        t.post();
    }
    std::vector<std::string> names(const std::string& p)
    {
        Table t(p);
        t.open();
        std::vector<std::string> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.asString(kName) + "|" + (t.memoLines(kNotes).empty() ? "" : t.memoLines(kNotes)[0]));
        return out;
    }
    TempFolder dir;
    std::string path;
};

TEST_F(OpsTest, PackRemovesDeletedRecordsAndReclaimsMemoSpace)
{
    const auto before = names(path);
    const auto dbtBefore = fs::file_size(dir.path("data.dbt"));
    packTable(path);
    EXPECT_EQ(names(path), before);
    Table t(path);
    t.open();
    EXPECT_EQ(t.physicalCount(), 7u);
    t.close();
    EXPECT_LT(fs::file_size(dir.path("data.dbt")), dbtBefore);
    EXPECT_EQ(fs::file_size(dir.path("data.dbf")), 32 + 32 * 7 + 1 + 7 * 65 + 1u);
    for (const auto& e : fs::directory_iterator(dir.dir()))
        EXPECT_TRUE(e.path().extension() == ".dbf" || e.path().extension() == ".dbt") << e.path();
}

TEST_F(OpsTest, EmptyCopyRenameDelete)
{
    copyTable(path, dir.path("COPY.DBF"), true);
    EXPECT_TRUE(fs::exists(dir.path("copy.dbf")));
    EXPECT_EQ(names(dir.path("copy.dbf")), names(path));
    {
        Table c(dir.path("copy.dbf"));
        c.open();
        EXPECT_EQ(c.physicalCount(), 10u); // a copy keeps deleted records
    }
    // Copy over an existing table replaces it.
    copyTable(fixture("plain.dbf"), dir.path("copy.dbf"), false);
    EXPECT_FALSE(fs::exists(dir.path("copy.dbt")));
    EXPECT_THROW(copyTable(path, dir.path("copy.dbf"), false, false), DatabaseError);

    emptyTable(path);
    {
        Table t(path);
        t.open();
        EXPECT_EQ(t.recordCount(), 0u);
        EXPECT_EQ(t.physicalCount(), 0u);
        EXPECT_EQ(t.fieldCount(), 7);
    }
    EXPECT_EQ(fs::file_size(dir.path("data.dbt")), 512u);

    renameTable(path, dir.path("Renamed.dbf"));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::exists(dir.path("renamed.dbf")));
    EXPECT_TRUE(fs::exists(dir.path("renamed.dbt")));
    EXPECT_THROW(renameTable(dir.path("renamed.dbf"), dir.path("copy.dbf")), DatabaseError);

    deleteTable(dir.path("RENAMED.DBF"));
    EXPECT_FALSE(fs::exists(dir.path("renamed.dbf")));
    EXPECT_FALSE(fs::exists(dir.path("renamed.dbt")));
    EXPECT_THROW(deleteTable(dir.path("renamed.dbf")), DatabaseError);

    // A damaged table can still be deleted.
    writeAll(dir.path("junk.dbf"), "garbage");
    EXPECT_NO_THROW(deleteTable(dir.path("junk.dbf")));

    copyFile(fixture("dbase3.dbt"), dir.path("x.bin"));
    EXPECT_EQ(readAll(dir.path("x.bin")), readAll(fixture("dbase3.dbt")));
    EXPECT_THROW(copyFile(dir.path("missing"), dir.path("y.bin")), DatabaseError);
}

TEST_F(OpsTest, LeftoversOfAnInterruptedReplaceAreResolvedAtOpen)
{
    const auto before = names(path);
    // Killed while writing the work files: the old table stays.
    writeAll(dir.path("data.$$w"), "half a table");
    writeAll(dir.path("data.$$t"), "half a memo");
    EXPECT_EQ(names(path), before);
    EXPECT_FALSE(fs::exists(dir.path("data.$$w")));
    EXPECT_FALSE(fs::exists(dir.path("data.$$t")));

    // Killed after the commit point: the new table is finished.
    copyTable(fixture("dbase3.dbf"), dir.path("other.dbf"), false);
    fs::copy_file(dir.path("other.dbf"), dir.path("data.$$f"));
    fs::copy_file(dir.path("other.dbt"), dir.path("data.$$t"));
    Table t(path);
    t.open();
    EXPECT_EQ(t.fieldCount(), 2);
    EXPECT_EQ(t.asString(0), "first");
    EXPECT_EQ(t.memoLines(1).size(), 2u);
    EXPECT_FALSE(fs::exists(dir.path("data.$$f")));
}

TEST_F(OpsTest, KilledPackLeavesTheOldOrTheNewTableWhole)
{
    {
        Table t(path);
        t.open(OpenMode::Exclusive);
        fillSample(t, 3000);
    }
    // How long a pack takes here, to spread the kills over it.
    const auto t0 = std::chrono::steady_clock::now();
    packTable(path);
    const auto packTime = std::chrono::steady_clock::now() - t0;
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 12; ++round) {
        // Delete one more record each round so that old and new differ.
        {
            Table t(path);
            t.open();
            t.first();
            t.deleteRecord();
        }
        const auto expectedNew = names(path);
        Table probe(path);
        probe.open();
        const uint32_t physicalBefore = probe.physicalCount();
        probe.close();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                packTable(path);
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        std::this_thread::sleep_for(packTime * (round + 1) / 10);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        Table t(path);
        ASSERT_NO_THROW(t.open()) << "round " << round;
        const uint32_t physical = t.physicalCount();
        t.close();
        EXPECT_EQ(names(path), expectedNew) << "round " << round;
        if (physical == physicalBefore)
            ++sawOld;
        else
            ++sawNew;
    }
    std::printf("killed pack: old table %d times, new table %d times\n", sawOld, sawNew);
    EXPECT_EQ(sawOld + sawNew, 12);
}

} // namespace

namespace {

TEST(CrashTest, KilledExclusiveAppendsLeaveAValidTable)
{
    TempFolder dir;
    const std::string path = dir.path("data.dbf");
    createTable(path, sampleLayout());
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        try {
            Table t(path);
            t.open(OpenMode::Exclusive);
            fillSample(t, 1000); // gathered into batches
            ::raise(SIGKILL);    // killed before the table closes: the last batch is not written
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    Table t(path);
    ASSERT_NO_THROW(t.open());
    const uint32_t count = t.recordCount();
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, 1000u);
    uint32_t seen = 0;
    for (t.first(); !t.eof(); t.next()) {
        ++seen;
        EXPECT_EQ(t.asString(kName), "name" + std::to_string(seen));
        EXPECT_EQ(t.memoLines(kNotes)[0], "first line " + std::to_string(seen));
    }
    EXPECT_EQ(seen, count);
    // Appends after the crash neither overwrite the memo values that made it
    // to the file nor get lost.
    t.append();
    t.setMemoLines(kNotes, {"after the crash"});
    t.post();
    t.first();
    EXPECT_EQ(t.memoLines(kNotes)[0], "first line 1");
    t.last();
    EXPECT_EQ(t.memoLines(kNotes)[0], "after the crash");
}

} // namespace
