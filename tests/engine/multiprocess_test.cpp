// Several processes (and several table objects of one process) on one
// table: open modes, record locks, changes seen at the next positioning.

#include "engine_support.h"

#include <gtest/gtest.h>

using namespace mk::dbase;
using namespace mk::dbase::test;

namespace {

class MultiProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.path("data.dbf");
        createTable(path, sampleLayout());
        Table t(path);
        t.open();
        fillSample(t, 5);
    }
    static DatabaseError::Code codeOf(Table& t, OpenMode mode)
    {
        try {
            t.open(mode);
            return DatabaseError::Code::General; // opened
        } catch (const DatabaseError& e) {
            return e.code();
        }
    }
    TempFolder dir;
    std::string path;
};

TEST_F(MultiProcessTest, OpenModesExcludeEachOtherAcrossProcesses)
{
    {
        Peer shared({path, "open", "shared"});
        ASSERT_EQ(shared.readLine(), "ok");
        Table mine(path);
        EXPECT_NO_THROW(mine.open(OpenMode::Shared)); // shared opens coexist
        Table excl(path);
        EXPECT_EQ(codeOf(excl, OpenMode::Exclusive), DatabaseError::Code::Locked);
        EXPECT_EQ(runPeer({path, "try", "exclusive"}), "locked");
        EXPECT_EQ(shared.send("quit"), "ok");
        shared.wait();
        mine.close();
    }
    {
        Peer excl({path, "open", "exclusive"});
        ASSERT_EQ(excl.readLine(), "ok");
        Table mine(path);
        EXPECT_EQ(codeOf(mine, OpenMode::Shared), DatabaseError::Code::Locked);
        EXPECT_EQ(codeOf(mine, OpenMode::Exclusive), DatabaseError::Code::Locked);
        EXPECT_THROW(emptyTable(path), DatabaseError);
        EXPECT_THROW(packTable(path), DatabaseError);
        EXPECT_THROW(deleteTable(path), DatabaseError);
        EXPECT_EQ(excl.send("quit"), "ok");
        excl.wait();
        EXPECT_NO_THROW(mine.open(OpenMode::Exclusive)); // released when the peer ended
    }
}

TEST_F(MultiProcessTest, TableObjectsOfOneProcessConflictAndKeepTheirOwnLocks)
{
    Table browse(path);
    browse.open(OpenMode::Shared);
    Table second(path);
    EXPECT_EQ(codeOf(second, OpenMode::Exclusive), DatabaseError::Code::Locked);

    // Closing one handle never drops the locks of another.
    Table edit1(path);
    edit1.open(OpenMode::Shared);
    ASSERT_TRUE(edit1.goToRecno(2));
    edit1.edit();
    Table edit2(path);
    edit2.open(OpenMode::Shared);
    edit2.close();
    ASSERT_TRUE(browse.goToRecno(2));
    EXPECT_THROW(browse.edit(), DatabaseError);
    EXPECT_EQ(runPeer({path, "try", "exclusive"}), "locked");
    browse.close();
    EXPECT_EQ(runPeer({path, "try", "exclusive"}), "locked"); // edit1 still has it open
    edit1.cancel();
    edit1.close();
    EXPECT_EQ(runPeer({path, "try", "exclusive"}), "ok");
}

TEST_F(MultiProcessTest, RecordLockUntilPostOrCancel)
{
    Peer peer({path, "open", "shared"});
    ASSERT_EQ(peer.readLine(), "ok");
    ASSERT_EQ(peer.send("edit 2"), "ok");

    Table mine(path);
    mine.open();
    ASSERT_TRUE(mine.goToRecno(2));
    try {
        mine.edit();
        FAIL() << "edit of a locked record succeeded";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.code(), DatabaseError::Code::Locked);
    }
    EXPECT_THROW(mine.deleteRecord(), DatabaseError);
    ASSERT_TRUE(mine.goToRecno(3));
    EXPECT_NO_THROW(mine.edit()); // other records are free
    mine.cancel();

    ASSERT_EQ(peer.send("set 0 from the peer"), "ok");
    ASSERT_EQ(peer.send("post"), "ok");
    ASSERT_TRUE(mine.goToRecno(2)); // the next positioning shows the change
    EXPECT_EQ(mine.asString(kName), "from the peer");
    mine.edit();
    mine.setString(kName, "mine now");
    EXPECT_EQ(peer.send("edit 2"), "locked");
    mine.post();
    EXPECT_EQ(peer.send("edit 2"), "ok");
    EXPECT_EQ(peer.send("cancel"), "ok");
    EXPECT_EQ(peer.send("read 2 0"), "ok mine now");
    EXPECT_EQ(peer.send("quit"), "ok");
}

TEST_F(MultiProcessTest, AppendsAndDeletesOfOthersShowAtTheNextPositioning)
{
    Table mine(path);
    mine.open();
    mine.last();
    EXPECT_EQ(mine.recordCount(), 5u);

    Peer peer({path, "open", "shared"});
    ASSERT_EQ(peer.readLine(), "ok");
    EXPECT_EQ(peer.send("append appended by peer"), "ok 6");
    EXPECT_EQ(peer.send("delete 1"), "ok");
    EXPECT_EQ(mine.recordCount(), 5u);
    mine.last();
    EXPECT_EQ(mine.asString(kName), "appended by peer");
    mine.first();
    EXPECT_EQ(mine.recno(), 2u);

    mine.append();
    mine.setString(kName, "mine");
    mine.post();
    EXPECT_EQ(mine.recno(), 7u);
    EXPECT_EQ(peer.send("count"), "ok 6");
    EXPECT_EQ(peer.send("read 7 0"), "ok mine");
    EXPECT_EQ(peer.send("quit"), "ok");
}

TEST_F(MultiProcessTest, ConcurrentAppendsLoseNothing)
{
    Peer a({path, "appendmany", "300", "a"});
    Peer b({path, "appendmany", "300", "b"});
    EXPECT_EQ(a.readLine(), "ok");
    EXPECT_EQ(b.readLine(), "ok");
    a.wait();
    b.wait();
    Table t(path);
    t.open();
    EXPECT_EQ(t.recordCount(), 605u);
    int as = 0, bs = 0;
    for (t.first(); !t.eof(); t.next()) {
        const std::string name = t.asString(kName);
        const auto lines = t.memoLines(kNotes);
        ASSERT_EQ(lines.size(), 2u) << t.recno();
        if (name[0] == 'a' || name[0] == 'b') {
            EXPECT_EQ(lines[0], name.substr(0, 1));
            EXPECT_EQ(lines[1], name.substr(1));
            (name[0] == 'a' ? as : bs)++;
        }
    }
    EXPECT_EQ(as, 300);
    EXPECT_EQ(bs, 300);
}

} // namespace
