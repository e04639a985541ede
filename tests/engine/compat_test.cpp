// Exchange with other programs that read and write dBASE files: Perl's
// XBase module and Python's dbf package, where the machine has them (the
// test skips itself otherwise).

#include "engine_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

using namespace mk::dbase;
using namespace mk::dbase::test;

namespace {

bool runs(const std::string& cmd)
{
    const int rc = std::system((cmd + " >/dev/null 2>&1").c_str());
    return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
}

std::string output(const std::string& cmd)
{
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

TEST(CompatTest, PerlXBaseReadsOurTables)
{
    if (!runs("perl -MXBase -e 1"))
        GTEST_SKIP() << "Perl XBase is not installed";
    TempFolder dir;
    const std::string path = dir.path("ours.dbf");
    createTable(path, {FieldDescriptor{"NAME", 'C', 20, 0}, FieldDescriptor{"QTY", 'N', 5, 0},
                       FieldDescriptor{"COST", 'N', 10, 2}, FieldDescriptor{"BOUGHT", 'D', 8, 0},
                       FieldDescriptor{"OPEN", 'L', 1, 0}, FieldDescriptor{"NOTES", 'M', 10, 0}});
    {
        Table t(path);
        t.open();
        for (int i = 1; i <= 3; ++i) {
            t.append();
            t.setString(0, "wine " + std::to_string(i));
            t.setNumber(1, i);
            t.setNumber(2, i * 1.5);
            t.setDate(3, Date{2020, 1, i});
            t.setBool(4, i % 2);
            t.setMemoLines(5, {"line a " + std::to_string(i), "line b"});
            t.post();
        }
        t.goToRecno(2);
        t.deleteRecord();
    }
    const std::string out = output("perl -MXBase -e 'my $t = new XBase \"" + path +
                                   "\" or die; for my $i (0..$t->last_record) { my @r = $t->get_record($i); "
                                   "$r[6] =~ s/\\r\\n/~/g; print join(\"|\", @r), \"\\n\"; }'");
    EXPECT_EQ(out, "0|wine 1|1|1.5|20200101|1|line a 1~line b\n"
                   "1|wine 2|2|3|20200102|0|line a 2~line b\n"
                   "0|wine 3|3|4.5|20200103|1|line a 3~line b\n");
}

TEST(CompatTest, TablesOfOtherProgramsOpen)
{
    const bool perl = runs("perl -MXBase -e 1");
    const bool python = runs("/usr/bin/python3 -c 'import dbf'");
    if (!perl && !python)
        GTEST_SKIP() << "neither Perl XBase nor Python dbf is installed";
    TempFolder dir;
    if (perl) {
        for (int version : {3, 4}) {
            const std::string path = dir.path("perl" + std::to_string(version) + ".dbf");
            ASSERT_TRUE(runs("perl -MXBase -e 'my $t = XBase->create(name => \"" + path +
                             "\", field_names => [\"NAME\",\"QTY\",\"NOTES\",\"DAY\"], field_types => "
                             "[\"C\",\"N\",\"M\",\"D\"], field_lengths => [15,6,10,8], field_decimals => [0,1,0,0], "
                             "version => " +
                             std::to_string(version) +
                             ") or die; $t->set_record(0, \"Barolo\", 12.5, \"perl memo\\r\\nline two\", "
                             "\"20231224\"); $t->set_record(1, \"Empty\", undef, undef, undef); $t->close;'"));
            Table t(path);
            ASSERT_NO_THROW(t.open()) << version;
            EXPECT_EQ(t.recordCount(), 2u);
            EXPECT_EQ(t.asString(0), "Barolo");
            EXPECT_EQ(t.asNumber(1), 12.5);
            EXPECT_EQ(t.memoLines(2), (std::vector<std::string>{"perl memo", "line two"})) << version;
            EXPECT_EQ(t.asDate(3), (Date{2023, 12, 24}));
            t.next();
            EXPECT_TRUE(t.isNull(1));
            EXPECT_TRUE(t.memoLines(2).empty());
            EXPECT_EQ(t.asDate(3), std::nullopt);
        }
    }
    if (python) {
        const std::string path = dir.path("py3.dbf");
        ASSERT_TRUE(runs("/usr/bin/python3 -c 'import dbf, datetime\n"
                         "t = dbf.Table(\"" +
                         path +
                         "\", \"name C(15); qty N(6,1); notes M; day D; ok L\", dbf_type=\"db3\")\n"
                         "t.open(dbf.READ_WRITE)\n"
                         "t.append((\"Tokaji\", 3.5, \"python memo\\r\\nsecond\", datetime.date(2021,5,6), True))\n"
                         "t.append((\"Blank\", None, \"\", None, None))\n"
                         "t.close()'"));
        Table t(path);
        ASSERT_NO_THROW(t.open());
        EXPECT_EQ(t.header().version, 0x83);
        EXPECT_EQ(t.asString(0), "Tokaji");
        EXPECT_EQ(t.asNumber(1), 3.5);
        EXPECT_EQ(t.memoLines(2), (std::vector<std::string>{"python memo", "second"}));
        EXPECT_EQ(t.asDate(3), (Date{2021, 5, 6}));
        EXPECT_EQ(t.asBool(4), true);
        t.next();
        EXPECT_EQ(t.asString(2), ""); // an empty dBASE III memo value
        EXPECT_EQ(t.asBool(4), std::nullopt);
        // And a table of theirs takes our appends.
        t.append();
        t.setString(0, "ours");
        t.setMemoLines(2, {"appended"});
        t.post();
        t.close();
        const std::string back = output("/usr/bin/python3 -c 'import dbf\nt = dbf.Table(\"" + path +
                                        "\")\nt.open()\nprint(t[2].name.strip(), repr(t[2].notes))'");
        EXPECT_EQ(back, "ours 'appended'\n");
    }
}

} // namespace
