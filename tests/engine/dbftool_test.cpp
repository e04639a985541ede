// dbftool as users run it: its output and exit code.

#include "engine_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

using namespace mk::dbase::test;

namespace {

struct ToolRun
{
    std::string out;
    int code = -1;
};

ToolRun dbftool(const std::string& cmd, const std::string& file)
{
    ToolRun r;
    const std::string line = std::string(MK_DBFTOOL) + " " + cmd + " '" + file + "' 2>&1";
    FILE* p = ::popen(line.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(DbfToolTest, PrintsStructureRecordsAndCsv)
{
    const ToolRun info = dbftool("info", fixture("cellar.dbf"));
    EXPECT_EQ(info.code, 0);
    EXPECT_NE(info.out.find("version:         0x8B"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("block size 64"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("PIC         B"), std::string::npos) << info.out;

    const ToolRun dump = dbftool("dump", fixture("cellar.dbf"));
    EXPECT_EQ(dump.code, 0);
    EXPECT_NE(dump.out.find("NOTES      Notes of the cellar"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("<binary 770 bytes>"), std::string::npos) << dump.out;

    const ToolRun csv = dbftool("csv", fixture("plain.dbf"));
    EXPECT_EQ(csv.code, 0);
    EXPECT_EQ(csv.out, "NAME,QTY,PRICE,DAY,OK\r\nRiesling,12,19.90,19980714,T\r\nRioja,,,,\r\n");
}

TEST(DbfToolTest, CheckListsEveryProblem)
{
    const ToolRun good = dbftool("check", fixture("plain.dbf"));
    EXPECT_EQ(good.code, 0) << good.out;

    const ToolRun memo = dbftool("check", fixture("broken_memo.dbf"));
    EXPECT_EQ(memo.code, 1);
    for (const char* expected : {"record 2, field NOTES", "record 3, field NOTES", "record 4, field NOTES",
                                 "record 4, field QTY", "record 4, field DAY"})
        EXPECT_NE(memo.out.find(expected), std::string::npos) << expected << "\n" << memo.out;

    const ToolRun trunc = dbftool("check", fixture("broken_truncated.dbf"));
    EXPECT_EQ(trunc.code, 1);
    EXPECT_NE(trunc.out.find("shorter than its record count"), std::string::npos) << trunc.out;

    EXPECT_EQ(dbftool("check", "/nonexistent/x.dbf").code, 1);
    EXPECT_EQ(dbftool("bogus", fixture("plain.dbf")).code, 2);
}

} // namespace
