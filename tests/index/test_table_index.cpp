#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"
#include "tests/support/fixtures.h"

#include "tests/index/index_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace mk::dbase;
namespace fs = std::filesystem;

namespace {

using mk::dbase::test::TmpDir;

std::vector<FieldDescriptor> wineFields()
{
    std::vector<FieldDescriptor> f(5);
    f[0] = {"MARK", 'C', 1, 0, 0};
    f[1] = {"NAME", 'C', 30, 0, 0};
    f[2] = {"COST", 'N', 10, 2, 0};
    f[3] = {"DRINK", 'D', 8, 0, 0};
    f[4] = {"NOTES", 'M', 10, 0, 0};
    return f;
}

std::string upper(std::string s)
{
    for (auto& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class TableIndex : public ::testing::Test
{
protected:
    void SetUp() override
    {
        installIndexProvider();
        path = dir.file("data.dbf");
        createTable(path, wineFields());
        Table t(path);
        t.open(OpenMode::Exclusive);
        addTag(t, {"IDX0", "UPPER(NAME)", false, false});
        addTag(t, {"IDX1", "MARK+UPPER(NAME)", false, false});
        addTag(t, {"IDX2", "STR(999999999999999999-COST, 20, 4)", false, false});
        addTag(t, {"IDX3", "UPPER(MLINE(NOTES, 1))", true, false});
        std::mt19937 rng(11);
        const char* first[] = {"Barolo",   "chianti", "Cava",   "Rioja", "Merlot",
                               "Zweigelt", "1er Cru", "~tilde", "Alsace"};
        for (int i = 0; i < 300; ++i) {
            t.append();
            std::string name = std::string(first[i % 9]) + " " + std::to_string(rng() % 1000);
            names.push_back(name);
            t.setString(0, i % 3 ? "2" : "0");
            t.setString(1, name);
            t.setNumber(2, double(i % 50) + 0.25);
            t.setString(4, "note " + std::to_string(i % 17) + "\r\nmore");
            t.post();
        }
        t.close();
    }

    std::vector<std::string> walk(Table& t, int col)
    {
        std::vector<std::string> out;
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.asString(col));
        return out;
    }

    std::vector<uint8_t> blankRecord(Table& t, int pos, const std::string& value)
    {
        std::vector<uint8_t> r(t.header().recordLength, ' ');
        const FieldDescriptor& f = t.field(pos);
        std::memcpy(r.data() + f.offset, value.data(), std::min<size_t>(value.size(), f.length));
        return r;
    }

    TmpDir dir;
    std::string path;
    std::vector<std::string> names;
};

} // namespace

TEST_F(TableIndex, CursorFollowsTheTagBothWaysAndByPosition)
{
    Table t(path);
    t.open();
    ASSERT_EQ(listTags(t).size(), 4u);
    EXPECT_EQ(listTags(t)[3].expression, "UPPER(MLINE(NOTES, 1))");
    EXPECT_TRUE(listTags(t)[3].descending);
    setCurrentTag(t, "IDX0");
    EXPECT_EQ(currentTag(t), "IDX0");
    std::vector<std::string> got = walk(t, 1);
    std::vector<std::string> want = names;
    std::stable_sort(want.begin(), want.end(), [](auto& a, auto& b) { return upper(a) < upper(b); });
    std::vector<std::string> gotUpper, wantUpper;
    for (auto& s : got)
        gotUpper.push_back(upper(s));
    for (auto& s : want)
        wantUpper.push_back(upper(s));
    EXPECT_EQ(gotUpper, wantUpper);
    EXPECT_EQ(t.recordCount(), 300u);

    // Backwards.
    std::vector<std::string> back;
    for (t.last(); !t.bof(); t.prior())
        back.push_back(upper(t.asString(1)));
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, wantUpper);

    // Position n by moving from the first record.
    t.first();
    EXPECT_EQ(t.moveBy(250), 250);
    EXPECT_EQ(upper(t.asString(1)), wantUpper[250]);
    EXPECT_EQ(t.moveBy(-100), -100);
    EXPECT_EQ(upper(t.asString(1)), wantUpper[150]);

    // The descending number tag: costs from high to low.
    setCurrentTag(t, "IDX2");
    std::vector<double> costs;
    for (t.first(); !t.eof(); t.next())
        costs.push_back(*t.asNumber(2));
    EXPECT_TRUE(std::is_sorted(costs.rbegin(), costs.rend()));

    // The descending memo tag.
    setCurrentTag(t, "IDX3");
    std::vector<std::string> lines;
    for (t.first(); !t.eof(); t.next())
        lines.push_back(t.memoLines(4).at(0));
    EXPECT_TRUE(std::is_sorted(lines.rbegin(), lines.rend()));
}

// The letter range of a filtered view: marker "2" and names starting with C,
// built from records in which only those fields are set.
TEST_F(TableIndex, RangesFromPartlySetRecordsCountAndCancel)
{
    Table t(path);
    t.open();
    setCurrentTag(t, "IDX1");
    auto low = blankRecord(t, 1, "C");
    std::memcpy(low.data() + t.field(0).offset, "2", 1);
    auto high = blankRecord(t, 1, std::string("C") + char(0xFF));
    std::memcpy(high.data() + t.field(0).offset, "2", 1);
    setRangeFromRecords(t, low.data(), high.data());
    uint32_t expected = 0;
    for (size_t i = 0; i < names.size(); ++i)
        if (i % 3 && std::toupper(names[i][0]) == 'C')
            ++expected;
    EXPECT_EQ(t.recordCount(), expected);
    std::vector<std::string> in = walk(t, 1);
    EXPECT_EQ(in.size(), expected);
    for (auto& n : in)
        EXPECT_EQ(std::toupper(n[0]), 'C');
    cancelRange(t);
    EXPECT_EQ(t.recordCount(), 300u);

    // Exact key search on the catalogue-like tag.
    setCurrentTag(t, "IDX0");
    ASSERT_TRUE(findKey(t, upper(names[42])));
    EXPECT_EQ(upper(t.asString(1)), upper(names[42]));
    EXPECT_FALSE(findKey(t, "NO SUCH WINE"));
}

TEST_F(TableIndex, PostAndDeleteKeepEveryTagRightAcrossProcesses)
{
    Table t(path);
    t.open();
    setCurrentTag(t, "IDX0");
    // Another process renames a wine and deletes another.
    pid_t pid = ::fork();
    if (pid == 0) {
        installIndexProvider();
        Table o(path);
        o.open();
        setCurrentTag(o, "IDX0");
        if (!findKey(o, upper(names[5])))
            ::_exit(2);
        o.edit();
        o.setString(1, "!first now");
        o.post();
        if (!findKey(o, upper(names[6])))
            ::_exit(3);
        o.deleteRecord();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    t.first();
    EXPECT_EQ(t.asString(1), "!first now");
    EXPECT_EQ(t.recordCount(), 299u);
    EXPECT_FALSE(findKey(t, upper(names[6])) && t.asString(1) == names[6] && t.recno() == 7);

    // Every tag agrees with the records.
    t.close();
    t.open(OpenMode::Exclusive);
    auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks());
    ASSERT_NE(pi, nullptr);
    EXPECT_TRUE(pi->mdx().check(tableRecords(t)).empty());
}

// Two processes posting to one shared table at the same time: every tag
// ends up holding every record exactly once.
TEST_F(TableIndex, ConcurrentWritersKeepEveryTagRight)
{
    auto work = [&](int who) {
        installIndexProvider();
        Table o(path);
        o.open();
        for (int i = 0; i < 400; ++i) {
            o.append();
            o.setString(1, "Writer " + std::to_string(who) + " " + std::to_string(i));
            o.setNumber(2, double(i % 40));
            o.post();
            if (i % 10 == 0) {
                // An edit of a record the other writer may be moving too.
                setCurrentTag(o, "IDX0");
                o.first();
                o.moveBy(i);
                try {
                    o.edit();
                    o.setString(0, who ? "1" : "0");
                    o.post();
                } catch (const DatabaseError& e) {
                    if (e.code() != DatabaseError::Code::Locked)
                        throw;
                    o.cancel();
                }
                setCurrentTag(o, "");
            }
        }
    };
    pid_t pids[2];
    for (int who = 0; who < 2; ++who) {
        pids[who] = ::fork();
        if (pids[who] == 0) {
            try {
                work(who);
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    Table t(path);
    t.open(OpenMode::Exclusive);
    EXPECT_EQ(t.recordCount(), 1100u);
    auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks());
    ASSERT_NE(pi, nullptr);
    EXPECT_EQ(pi->mdx().check(tableRecords(t)), std::vector<std::string>{});
}

// A process killed between marking the index and finishing a Post leaves an
// index that is reported damaged; regenerating it keeps every record.
TEST_F(TableIndex, InterruptedPostIsReportedAndRegenerated)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        installIndexProvider();
        Table o(path);
        o.open();
        o.indexHooks()->beginChange();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Table t(path);
    EXPECT_THROW(t.open(), DatabaseError);
    regenerateProductionIndex(path);
    t.open();
    setCurrentTag(t, "IDX0");
    EXPECT_EQ(t.recordCount(), 300u);
    EXPECT_EQ(listTags(t).size(), 4u);
}

// In exclusive use the index pages reach the file in batches: flush() and
// close write them; a process killed with a batch pending leaves an index
// that is reported damaged, and regenerating it keeps every record.
TEST_F(TableIndex, ExclusiveWritesBehindAndAKillLeavesItRegenerable)
{
    auto changeSome = [&](Table& t, int from) {
        const size_t renamed = from ? 7 : 3, deleted = from ? 8 : 4;
        for (int i = 0; i < 120; ++i) {
            t.append();
            t.setString(1, "Batch " + std::to_string(from + i));
            t.setNumber(2, double(i));
            t.post();
        }
        setCurrentTag(t, "IDX0");
        ASSERT_TRUE(findKey(t, upper(names[renamed])));
        t.edit();
        t.setString(1, "Renamed " + std::to_string(from));
        t.post();
        ASSERT_TRUE(findKey(t, upper(names[deleted])));
        t.deleteRecord();
    };
    {
        Table t(path);
        t.open(OpenMode::Exclusive);
        changeSome(t, 0);
        t.flush();
        // What flush wrote is a complete index another reader can check.
        auto fields = t.fields();
        auto copy = MdxFile::open(dir.file("data.mdx"), "data", fields, false);
        EXPECT_TRUE(copy->check(tableRecords(t)).empty());
        EXPECT_EQ(copy->size(0), 300u + 120u - 1u);
        copy.reset();
        changeSome(t, 1000);
    } // closing writes the rest
    {
        Table t(path);
        t.open();
        auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks());
        ASSERT_NE(pi, nullptr);
        EXPECT_TRUE(pi->mdx().check(tableRecords(t)).empty());
        setCurrentTag(t, "IDX0");
        EXPECT_EQ(t.recordCount(), 300u + 240u - 2u);
        EXPECT_TRUE(findKey(t, "RENAMED 1000"));
    }
    pid_t pid = ::fork();
    if (pid == 0) {
        installIndexProvider();
        Table o(path);
        o.open(OpenMode::Exclusive);
        for (int i = 0; i < 50; ++i) {
            o.append();
            o.setString(1, "Lost batch " + std::to_string(i));
            o.post();
        }
        ::_exit(0); // killed: no flush, no close
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    Table t(path);
    EXPECT_THROW(t.open(), DatabaseError);
    regenerateProductionIndex(path);
    t.open();
    setCurrentTag(t, "IDX0");
    EXPECT_EQ(t.recordCount(), 300u + 240u - 2u + 50u);
    EXPECT_TRUE(findKey(t, "LOST BATCH 49"));
    auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks());
    EXPECT_TRUE(pi->mdx().check(tableRecords(t)).empty());
}

TEST_F(TableIndex, TagManagementNeedsExclusiveUse)
{
    Table t(path);
    t.open();
    EXPECT_THROW(addTag(t, {"IDX4", "UPPER(NAME)", true, false}), DatabaseError);
    EXPECT_THROW(setCurrentTag(t, "NOPE"), DatabaseError);
    t.close();
    t.open(OpenMode::Exclusive);
    deleteTag(t, "IDX2");
    addTag(t, {"IDX4", "DTOS(DRINK)+UPPER(NAME)", false, false});
    ASSERT_EQ(listTags(t).size(), 4u);
    EXPECT_EQ(listTags(t)[3].name, "IDX4");
    EXPECT_THROW(addTag(t, {"IDX5", "UPPER(NAME)+UPPER(NAME)+UPPER(NAME)+UPPER(NAME)", false, false}),
                 DatabaseError); // key longer than 100
    regenerateTags(t);
    auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks());
    EXPECT_TRUE(pi->mdx().check(tableRecords(t)).empty());
}

// Records appended while the table is open exclusively without an index are
// gathered in memory; a tag built then must still see every one.
TEST(TableIndexBuild, TagOverRecordsAppendedJustBefore)
{
    installIndexProvider();
    TmpDir dir;
    const std::string path = dir.file("list1.dbf");
    createTable(path, {FieldDescriptor{"ITEM", 'C', 40, 0, 0}});
    Table t(path);
    t.open(OpenMode::Exclusive);
    for (int i = 0; i < 500; ++i) {
        t.append();
        t.setString(0, "item " + std::to_string(499 - i));
        t.post();
    }
    addTag(t, {"IDX", "ITEM", false, false});
    setCurrentTag(t, "IDX");
    EXPECT_EQ(t.recordCount(), 500u);
    t.first();
    EXPECT_EQ(t.asString(0), "item 0");
    EXPECT_TRUE(findKey(t, "item 250"));
    EXPECT_EQ(t.recno(), 250u);
}

// The template tables built beside the program open with their tags.
TEST(TableIndexBuild, ShippedTemplatesOpenWithTheirTags)
{
    installIndexProvider();
    const std::string env = mk::test::programDir().toStdString();
    struct Expect
    {
        const char* file;
        std::vector<std::string> tags;
    } expects[] = {{"data.dbf", {"IDX0", "IDX1"}}, {"master.dbf", {"IDX0"}}, {"list.dbf", {"IDX"}}};
    for (const auto& e : expects) {
        SCOPED_TRACE(e.file);
        Table t(env + "/" + e.file);
        t.open();
        std::vector<std::string> names;
        for (const auto& info : listTags(t))
            names.push_back(info.name);
        EXPECT_EQ(names, e.tags);
        EXPECT_EQ(t.header().languageDriver, 0x57);
    }
    EXPECT_TRUE(fs::exists(std::string(env) + "/DATA.MDX"));
    EXPECT_TRUE(fs::exists(std::string(env) + "/MASTER.MDX"));
}

// Pack renumbers the records; every tag is regenerated and stays right.
TEST_F(TableIndex, PackRegeneratesEveryTag)
{
    {
        Table t(path);
        t.open();
        setCurrentTag(t, "IDX0");
        for (int i = 0; i < 30; ++i) {
            t.first();
            t.deleteRecord();
        }
    }
    packTable(path);
    Table t(path);
    t.open(OpenMode::Exclusive);
    EXPECT_EQ(t.physicalCount(), 270u);
    setCurrentTag(t, "IDX1");
    EXPECT_EQ(t.recordCount(), 270u);
    auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks());
    ASSERT_NE(pi, nullptr);
    EXPECT_TRUE(pi->mdx().check(tableRecords(t)).empty());
}
