#include "storage/engine/mdx.h"
#include "storage/engine/mdx_keys.h"

#include "tests/index/index_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace mk::dbase;
namespace fs = std::filesystem;

namespace {

using mk::dbase::test::TmpDir;

// An in-memory table: name C(20), cost N(10,2), a deleted flag per record.
struct MemTable
{
    std::vector<FieldDescriptor> fields;
    std::vector<std::vector<uint8_t>> records;
    MemTable()
    {
        fields.push_back(FieldDescriptor{"NAME", 'C', 20, 0, 1});
        fields.push_back(FieldDescriptor{"COST", 'N', 10, 2, 21});
    }
    std::vector<uint8_t> make(const std::string& name, double cost) const
    {
        std::vector<uint8_t> r(31, ' ');
        std::memcpy(r.data() + 1, name.data(), std::min<size_t>(name.size(), 20));
        char buf[16];
        std::snprintf(buf, sizeof buf, "%10.2f", cost);
        std::memcpy(r.data() + 21, buf, 10);
        return r;
    }
    uint32_t add(const std::string& name, double cost)
    {
        records.push_back(make(name, cost));
        return uint32_t(records.size());
    }
    RecordSource source() const
    {
        RecordSource s;
        s.count = uint32_t(records.size());
        s.read = [this](uint32_t n, std::vector<uint8_t>& out) {
            out = records[n - 1];
            return out[0] != '*';
        };
        return s;
    }
};

std::string randomName(std::mt19937& rng)
{
    static const char* parts[] = {"mer", "lot", "cab", "ern", "et", "rio", "ja", "syr", "ah", "pi", "not"};
    std::string s;
    int n = 1 + int(rng() % 4);
    for (int i = 0; i < n; ++i)
        s += parts[rng() % 11];
    s[0] = char(std::toupper(s[0]));
    return s;
}

// The tag's entries as a list of record numbers, read through positions.
std::vector<uint32_t> order(const MdxFile& m, int tag)
{
    std::vector<uint32_t> out;
    for (uint64_t i = 0; i < m.size(tag); ++i)
        out.push_back(m.recnoAt(tag, i));
    return out;
}

std::vector<uint32_t> expectedOrder(const MdxFile& m, int tag, const MemTable& t)
{
    std::vector<std::pair<std::string, uint32_t>> e;
    for (uint32_t r = 1; r <= t.records.size(); ++r)
        if (t.records[r - 1][0] != '*')
            e.emplace_back(m.makeKey(tag, t.records[r - 1].data()), r);
    std::sort(e.begin(), e.end(), [&](const auto& a, const auto& b) {
        int c = m.compare(tag, a.first, b.first);
        return c != 0 ? c < 0 : a.second < b.second;
    });
    std::vector<uint32_t> out;
    for (auto& p : e)
        out.push_back(p.second);
    return out;
}

} // namespace

// Built tags, random inserts, changes and deletes against a model; the file
// read back from disk by a fresh open agrees, and check() finds nothing.
TEST(MdxFile, MaintainsEveryTagThroughChangesAndReadsBackFromDisk)
{
    TmpDir dir;
    MemTable t;
    std::mt19937 rng(7);
    for (int i = 0; i < 1500; ++i)
        t.add(randomName(rng), double(rng() % 100000) / 100.0);
    const std::vector<TagSpec> specs = {{"IDX0", "UPPER(NAME)", false, false},
                                        {"IDX1", "NAME+STR(999999999999999999-COST, 20, 4)", false, false},
                                        {"DESCN", "UPPER(NAME)", true, false},
                                        {"COSTN", "COST", false, false}};
    auto m = MdxFile::create(dir.file("wine.mdx"), "wine", t.fields, specs, t.source());
    ASSERT_EQ(m->tagCount(), 4);
    for (int tag = 0; tag < 4; ++tag)
        EXPECT_EQ(order(*m, tag), expectedOrder(*m, tag, t)) << specs[size_t(tag)].expression;
    EXPECT_EQ(m->tagInfo(3).keyType, 'N');
    EXPECT_EQ(m->tagInfo(3).keyLength, 12);
    EXPECT_TRUE(m->tagInfo(2).descending);

    for (int step = 0; step < 3000; ++step) {
        const int op = int(rng() % 3);
        if (op == 0 || t.records.empty()) {
            uint32_t r = t.add(randomName(rng), double(rng() % 100000) / 100.0);
            m->insertRecord(r, t.records[r - 1].data());
        } else {
            uint32_t r = 1 + uint32_t(rng() % t.records.size());
            auto& rec = t.records[r - 1];
            if (rec[0] == '*') {
                rec[0] = ' ';
                m->insertRecord(r, rec.data());
            } else if (op == 1) {
                auto old = rec;
                rec = t.make(randomName(rng), double(rng() % 1000));
                m->changeRecord(r, old.data(), rec.data());
            } else {
                m->removeRecord(r, rec.data());
                rec[0] = '*';
            }
        }
    }
    for (int tag = 0; tag < 4; ++tag)
        EXPECT_EQ(order(*m, tag), expectedOrder(*m, tag, t)) << specs[size_t(tag)].expression;
    EXPECT_TRUE(m->check(t.source()).empty());

    auto again = MdxFile::open(dir.file("wine.mdx"), "WINE", t.fields);
    for (int tag = 0; tag < 4; ++tag)
        EXPECT_EQ(order(*again, tag), expectedOrder(*again, tag, t));
    EXPECT_TRUE(again->check(t.source()).empty());
}

TEST(MdxFile, RanksAndRangesCountWithoutWalking)
{
    TmpDir dir;
    MemTable t;
    for (char c = 'A'; c <= 'Z'; ++c)
        for (int i = 0; i < 40 + (c - 'A'); ++i)
            t.add(std::string(1, c) + std::to_string(i), i);
    auto m = MdxFile::create(dir.file("w.mdx"), "w", t.fields, {{"IDX0", "UPPER(NAME)", false, false}}, t.source());
    for (char c = 'A'; c <= 'Z'; ++c) {
        std::string lo(1, c), hi = std::string(1, c) + char(0xFF);
        uint64_t n = m->upperBound(0, hi) - m->lowerBound(0, lo);
        EXPECT_EQ(n, uint64_t(40 + (c - 'A'))) << c;
    }
    // Exact search: position of an entry, absent entries give size().
    std::string key = m->keyFromText(0, "C7");
    uint64_t p = m->lowerBound(0, key);
    ASSERT_LT(p, m->size(0));
    EXPECT_EQ(m->compare(0, m->keyAt(0, p), key), 0);
    EXPECT_EQ(m->find(0, key, m->recnoAt(0, p)), p);
    EXPECT_EQ(m->find(0, m->keyFromText(0, "C999"), 1), m->size(0));
}

TEST(MdxFile, DamagedForeignOrInterruptedFilesAreDatabaseErrors)
{
    TmpDir dir;
    MemTable t;
    t.add("Merlot", 1);
    MdxFile::create(dir.file("data.mdx"), "DATA", t.fields, {{"IDX0", "UPPER(NAME)", false, false}}, t.source());
    const std::string good = dir.file("data.mdx");

    auto expectCorrupt = [&](const std::string& path, const std::string& table) {
        try {
            MdxFile::open(path, table, t.fields);
            ADD_FAILURE() << "opened " << path;
        } catch (const DatabaseError& e) {
            EXPECT_NE(e.code(), DatabaseError::Code::General) << e.what();
        }
    };
    expectCorrupt(good, "DATA_3");               // foreign: records another table
    expectCorrupt(dir.file("missing.mdx"), "X"); // missing
    {
        fs::copy_file(good, dir.file("short.mdx"));
        fs::resize_file(dir.file("short.mdx"), 700);
        expectCorrupt(dir.file("short.mdx"), "DATA");
    }
    {
        fs::copy_file(good, dir.file("garbage.mdx"));
        int fd = ::open(dir.file("garbage.mdx").c_str(), O_RDWR);
        std::vector<uint8_t> junk(1024, 0xEE);
        ASSERT_EQ(::pwrite(fd, junk.data(), junk.size(), 2048), 1024);
        ::close(fd);
        expectCorrupt(dir.file("garbage.mdx"), "DATA");
    }
    // An expression naming a field the table does not have.
    std::vector<FieldDescriptor> other = {FieldDescriptor{"TITLE", 'C', 20, 0, 1}};
    EXPECT_THROW(MdxFile::open(good, "DATA", other), DatabaseError);

    // A process killed in the middle of an update leaves the file marked.
    pid_t pid = ::fork();
    if (pid == 0) {
        auto m = MdxFile::open(good, "DATA", t.fields);
        m->beginChange();
        auto r = t.make("Zinfandel", 2);
        m->insertRecord(2, r.data());
        ::_exit(0); // no endChange
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    expectCorrupt(good, "DATA");
}

TEST(MdxFile, AnotherProcessesChangesShowAfterRefresh)
{
    TmpDir dir;
    MemTable t;
    t.add("Merlot", 1);
    auto m = MdxFile::create(dir.file("d.mdx"), "D", t.fields, {{"IDX0", "UPPER(NAME)", false, false}}, t.source());
    EXPECT_FALSE(m->refresh());
    pid_t pid = ::fork();
    if (pid == 0) {
        auto other = MdxFile::open(dir.file("d.mdx"), "D", t.fields);
        for (int i = 0; i < 300; ++i) {
            auto r = t.make("Cab" + std::to_string(i), i);
            other->insertRecord(uint32_t(2 + i), r.data());
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(m->refresh());
    EXPECT_EQ(m->size(0), 301u);
    EXPECT_EQ(m->recnoAt(0, 300), 1u); // "MERLOT" sorts after every "CAB..."
}

TEST(MdxFile, TagsCanBeAddedDeletedAndRegenerated)
{
    TmpDir dir;
    MemTable t;
    std::mt19937 rng(3);
    for (int i = 0; i < 500; ++i)
        t.add(randomName(rng), i);
    auto m = MdxFile::create(dir.file("d.mdx"), "D", t.fields, {{"IDX0", "UPPER(NAME)", false, false}}, t.source());
    m->addTag({"IDX1", "STR(COST, 20, 4)", false, false}, t.source());
    m->addTag({"IDX2", "NAME", true, false}, t.source());
    EXPECT_THROW(m->addTag({"IDX1", "NAME", false, false}, t.source()), DatabaseError);
    EXPECT_THROW(m->addTag({"BAD", "UPPER(NOPE)", false, false}, t.source()), DatabaseError);
    ASSERT_EQ(m->tagCount(), 3);
    m->deleteTag("idx1");
    ASSERT_EQ(m->tagCount(), 2);
    EXPECT_EQ(m->findTag("IDX2"), 1);
    EXPECT_EQ(order(*m, 1), expectedOrder(*m, 1, t));
    // Records changed behind the index's back: regenerate rebuilds from the records.
    t.records[0] = t.make("Aaaa", 0);
    t.records[1][0] = '*';
    EXPECT_FALSE(m->check(t.source()).empty());
    m->regenerate(t.source());
    EXPECT_TRUE(m->check(t.source()).empty());
    EXPECT_EQ(order(*m, 0), expectedOrder(*m, 0, t));
}
