// Production indexes laid out the way other programs write them: other block
// sizes, FOR conditions, unique and descending tags (hand-made files in
// tests/data/index/foreign, see the README there), and the conditions the
// FOR clause is written in.

#include "storage/engine/expr.h"
#include "storage/engine/mdx.h"
#include "storage/engine/mdx_tool.h"
#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"
#include "tests/support/fixtures.h"

#include "tests/index/index_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

using namespace mk::dbase;
namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- conditions

struct CondRecord
{
    std::vector<ExprField> fields{
            {"NAME", 'C', 10, 0, 1}, {"PRICE", 'N', 8, 2, 11}, {"BOUGHT", 'D', 8, 0, 19}, {"OK", 'L', 1, 0, 27}};
    std::vector<uint8_t> bytes = std::vector<uint8_t>(28, ' ');

    CondRecord(const std::string& name, const char* price, const char* date, char ok)
    {
        std::memcpy(&bytes[1], name.data(), std::min<size_t>(name.size(), 10));
        std::memcpy(&bytes[11], price, 8);
        std::memcpy(&bytes[19], date, 8);
        bytes[27] = uint8_t(ok);
    }
    bool eval(const std::string& cond) const
    {
        const KeyExpression e = KeyExpression::parse(cond, fields);
        EXPECT_EQ(e.resultType(), 'L') << cond;
        return e.evaluate(bytes.data(), bytes.size()).logical;
    }
};

TEST(ForCondition, ComparisonsAndLogicFollowDbase)
{
    const CondRecord barolo("Barolo", "   20.00", "19991231", 'T');
    const CondRecord accent("\xE9mile", "   -1.50", "        ", 'F');
    struct Case
    {
        const CondRecord& rec;
        const char* cond;
        bool want;
    } cases[] = {
            // Text up to the right operand's length (SET EXACT OFF).
            {barolo, "NAME = \"Bar\"", true},
            {barolo, "\"Bar\" = NAME", false},
            {barolo, "NAME = ''", true},
            {barolo, "NAME # \"Bar\"", false},
            {barolo, "NAME <> 'Rio'", true},
            {barolo, "NAME != 'Rio'", true},
            {barolo, "NAME < \"Bas\"", true},
            {barolo, "NAME > \"Bar\"", false},
            {barolo, "NAME >= \"Bar\"", true},
            {barolo, "NAME <= \"Ba\"", true},
            {barolo, "NAME = \"Barolo    \"", true},
            {barolo, "NAME = \"Barolo     x\"", false},
            {accent, "NAME > \"Z\"", true}, // bytes compare unsigned (0xE9 after 'Z')
            {barolo, "\"rol\" $ NAME", true},
            {barolo, "\"xyz\" $ NAME", false},
            // Numbers and dates.
            {barolo, "PRICE > 19.99", true},
            {barolo, "PRICE = 20", true},
            {barolo, "PRICE >= 20 .AND. PRICE <= 20", true},
            {accent, "PRICE < -1", true},
            {accent, "PRICE + 2 > 0", true},
            {barolo, "BOUGHT < {01/01/2000}", true},
            {barolo, "BOUGHT + 1 = {01/01/2000}", true},
            {accent, "BOUGHT < {01/01/1900}", true}, // an empty date is the smallest
            // Logical values and precedence.
            {barolo, "OK", true},
            {accent, "OK", false},
            {barolo, ".NOT. OK", false},
            {barolo, "OK = .T.", true},
            {accent, "OK # .t.", true},
            {barolo, ".f. .OR. .y.", true},
            {barolo, ".NOT. PRICE > 30 .AND. NAME = \"B\"", true},
            {barolo, "PRICE > 30 .OR. NAME = \"B\" .AND. .F.", false},
            {barolo, "(PRICE > 30 .OR. NAME = \"B\") .AND. .T.", true},
            {accent, ".NOT. .NOT. OK .or. price < 0", true},
            {barolo, ".NOT. DELETED()", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.rec.eval(c.cond), c.want) << c.cond;
}

TEST(ForCondition, MalformedConditionsAreErrors)
{
    const CondRecord r("Barolo", "   20.00", "19991231", 'T');
    for (const char* bad : {"PRICE > \"a\"", "NAME .AND. OK", "PRICE > 1 > 2", "OK .XOR. OK", "OK .AND.", "NAME < ",
                            ".NOT. PRICE", "OK < .T.", "PRICE >>> 3", "OK .AND", "NAME $ PRICE"})
        EXPECT_THROW(KeyExpression::parse(bad, r.fields), ExprError) << bad;
}

// ---------------------------------------------------------------- the files

using mk::dbase::test::TmpDir;

// The fields of both fixtures: NAME C20, PRICE N8.2, BOUGHT D, COUNTRY C2, INSTOCK L.
struct Rec
{
    uint32_t recno = 0;
    std::string name, bought, country;
    double price = 0;
    bool instock = false;
};

Rec decode(uint32_t recno, const uint8_t* b)
{
    Rec r;
    r.recno = recno;
    r.name.assign(reinterpret_cast<const char*>(b + 1), 20);
    r.price = std::stod(std::string(reinterpret_cast<const char*>(b + 21), 8));
    r.bought.assign(reinterpret_cast<const char*>(b + 29), 8);
    r.country.assign(reinterpret_cast<const char*>(b + 37), 2);
    r.instock = b[39] == 'T';
    return r;
}

std::string upperAscii(std::string s)
{
    for (auto& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return s;
}

// What a tag must hold, worked out from the record values alone.
struct Expect
{
    std::string tag;
    std::function<bool(const Rec&)> in;                 // FOR condition
    std::function<int(const Rec&, const Rec&)> cmpKeys; // key order (the tag's direction)
    bool unique = false;
};

std::vector<Expect> expectations(const std::string& base)
{
    auto cmpStr = [](const std::string& a, const std::string& b) { return a < b ? -1 : (b < a ? 1 : 0); };
    auto all = [](const Rec&) { return true; };
    if (base == "B512")
        return {{"NAME", all, [=](const Rec& a, const Rec& b) { return cmpStr(a.name, b.name); }},
                {"PRICE", all,
                 [](const Rec& a, const Rec& b) { return a.price < b.price ? -1 : (b.price < a.price ? 1 : 0); }},
                // Descending; blank dates sort first in ascending order, so last here.
                {"BOUGHT", all, [=](const Rec& a, const Rec& b) { return -cmpStr(a.bought, b.bought); }}};
    return {{"UPNAME", [](const Rec& r) { return r.price >= 20 && r.country != "FR"; },
             [=](const Rec& a, const Rec& b) { return cmpStr(upperAscii(a.name), upperAscii(b.name)); }},
            {"COUNTRY", all, [=](const Rec& a, const Rec& b) { return cmpStr(a.country, b.country); }, true},
            {"STOCKDATE", [](const Rec& r) { return r.instock; },
             [=](const Rec& a, const Rec& b) { return cmpStr(a.bought + a.name, b.bought + b.name); }}};
}

std::vector<Rec> liveRecords(Table& t)
{
    std::vector<Rec> out;
    std::vector<uint8_t> buf(t.header().recordLength);
    for (uint32_t n = 1, count = t.physicalCount(); n <= count; ++n)
        if (t.readRecord(n, buf.data()) && buf[0] != '*')
            out.push_back(decode(n, buf.data()));
    return out;
}

// Walks every tag through the table's cursor and compares with what the
// record values say it must hold.
void verifyTags(Table& t, const std::string& base)
{
    const std::vector<Rec> live = liveRecords(t);
    for (const Expect& e : expectations(base)) {
        SCOPED_TRACE(base + " tag " + e.tag);
        std::vector<Rec> want;
        for (const Rec& r : live)
            if (e.in(r))
                want.push_back(r);
        std::stable_sort(want.begin(), want.end(), [&](const Rec& a, const Rec& b) { return e.cmpKeys(a, b) < 0; });
        if (e.unique) // the first record of each key stays
            want.erase(std::unique(want.begin(), want.end(),
                                   [&](const Rec& a, const Rec& b) { return e.cmpKeys(a, b) == 0; }),
                       want.end());
        std::vector<uint32_t> wantNos, got;
        for (const Rec& r : want)
            wantNos.push_back(r.recno);
        setCurrentTag(t, e.tag);
        for (t.first(); !t.eof(); t.next())
            got.push_back(t.recno());
        EXPECT_EQ(got, wantNos);
        EXPECT_EQ(t.recordCount(), wantNos.size());
    }
    setCurrentTag(t, "");
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void patchFile(const std::string& path, size_t offset, const std::string& bytes)
{
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(std::streamoff(offset));
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

uint32_t get32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t get16(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b[at] | b[at + 1] << 8);
}

// The declared layout: block size, and per tag its table entry and the
// header fields other programs read (key format, sizes, flags, expressions;
// not the serial number, which counts updates).
std::map<std::string, std::string> layoutOf(const std::string& mdxPath)
{
    const std::vector<uint8_t> b = readFile(mdxPath);
    std::map<std::string, std::string> out;
    out["block"] = std::to_string(get16(b, 20)) + "/" + std::to_string(get16(b, 22));
    for (int i = 0; i < get16(b, 28); ++i) {
        const size_t e = 544 + 32 * size_t(i);
        const std::string name(reinterpret_cast<const char*>(&b[e + 4]), 11);
        const size_t h = size_t(get32(b, e)) * 512;
        std::string fields(reinterpret_cast<const char*>(&b[h + 8]), 12);    // format .. item length
        fields += std::string(reinterpret_cast<const char*>(&b[h + 21]), 3); // unique flag
        fields += std::string(reinterpret_cast<const char*>(&b[h + 24]), 220) + char(b[h + 245]);
        fields += std::string(reinterpret_cast<const char*>(&b[h + 762]), 220);
        out[name.c_str()] = std::string(reinterpret_cast<const char*>(&b[e + 15]), 6) + fields;
    }
    return out;
}

class ForeignMdx : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        installIndexProvider();
        base = GetParam();
        for (const char* ext : {".DBF", ".MDX"})
            fs::copy_file(mk::test::fixturePath(QString("index/foreign/") + base.c_str() + ext).toStdString(),
                          dir.path / (base + ext));
        dbf = (dir.path / (base + ".DBF")).string();
        mdx = (dir.path / (base + ".MDX")).string();
    }
    int check()
    {
        std::ostringstream out;
        const int rc = mdxToolCheck(dbf, out);
        EXPECT_EQ(out.str(), "") << base;
        return rc;
    }
    uint32_t blockBytes() const { return get16(readFile(mdx), 22); }

    TmpDir dir;
    std::string base, dbf, mdx;
};

TEST_P(ForeignMdx, TagsReadAsDeclared)
{
    Table t(dbf);
    t.open();
    verifyTags(t, base);
    const std::vector<TagInfo> tags = listTags(t);
    ASSERT_EQ(tags.size(), 3u);
    if (base == "B512") {
        EXPECT_EQ(tags[1].keyType, 'N');
        EXPECT_EQ(tags[2].keyType, 'D');
        EXPECT_TRUE(tags[2].descending);
    } else {
        EXPECT_EQ(tags[0].name, "UPNAME"); // padded with spaces in the file
        EXPECT_EQ(tags[0].forExpression, "PRICE >= 20 .AND. COUNTRY <> \"FR\"");
        EXPECT_TRUE(tags[1].unique);
        EXPECT_EQ(tags[2].forExpression, "INSTOCK");
        std::ostringstream out;
        EXPECT_EQ(mdxToolTags(dbf, out), 0);
        EXPECT_NE(out.str().find("\tfor INSTOCK\t"), std::string::npos) << out.str();
        EXPECT_EQ(out.str().rfind("(blocks of 2048 bytes)\n", 0), 0u) << out.str();
    }
    t.close();
    EXPECT_EQ(check(), 0);
}

// Appends that split pages in every tag, changes that move records into and
// out of the FOR conditions, deletions; then the file is read back as
// another program would: same block size, same tag headers, sound trees.
TEST_P(ForeignMdx, UpdatesKeepTheDeclaredLayout)
{
    const auto before = layoutOf(mdx);
    {
        Table t(dbf);
        t.open();
        const char* names[] = {"Aglianico", "zinfandel", "Barolo 77", "Cava 1", "Tokaji 9"};
        const char* countries[] = {"FR", "IT", "NZ", "ES"};
        for (int i = 0; i < 90; ++i) {
            t.append();
            t.setString(0, std::string(names[i % 5]) + " " + std::to_string(i));
            t.setNumber(1, double((i * 37) % 130) - 5);
            if (i % 7)
                t.setDate(2, Date{1990 + i % 30, 1 + i % 12, 1 + i % 28});
            t.setString(3, countries[i % 4]);
            t.setBool(4, i % 3 != 0);
            t.post();
        }
        for (uint32_t n = 2; n < 200; n += 9) {
            ASSERT_TRUE(t.goToRecno(n));
            t.edit();
            t.setNumber(1, *t.asNumber(1) >= 20 ? 3.5 : 55.25); // crosses PRICE >= 20
            t.setBool(4, !*t.asBool(4));                        // crosses INSTOCK
            if (n % 2)
                t.setString(3, "FR"); // may take the first record of a country away
            t.post();
        }
        // A lower record takes the key NZ over from the appended one holding it.
        ASSERT_TRUE(t.goToRecno(1));
        t.edit();
        t.setString(3, "NZ");
        t.post();
        // Deleting the first record of a country brings the next one into
        // the unique COUNTRY tag.
        std::map<std::string, uint32_t> firstOf;
        for (const Rec& r : liveRecords(t))
            firstOf.emplace(r.country, r.recno);
        std::vector<uint32_t> gone;
        for (const auto& f : firstOf)
            if (f.first != "NZ")
                gone.push_back(f.second);
        for (uint32_t n = 5; n < 240; n += 13)
            gone.push_back(n);
        for (uint32_t n : gone)
            if (t.goToRecno(n))
                t.deleteRecord();
        verifyTags(t, base);
    }
    EXPECT_EQ(check(), 0);
    EXPECT_EQ(layoutOf(mdx), before);
    const std::vector<uint8_t> file = readFile(mdx);
    for (int i = 0; i < 3; ++i) // every tag changed: its serial number moved on from 1
        EXPECT_GT(file[size_t(get32(file, 544 + 32 * size_t(i))) * 512 + 20], 1) << i;
    EXPECT_EQ(file.size() % blockBytes(), 0u);
    EXPECT_GE(uint64_t(get32(file, 32)) * 512, file.size()); // the page count covers the file
    Table again(dbf);
    again.open();
    verifyTags(again, base);
}

// Adding, deleting and regenerating tags write the file again in its own
// block size and keep the FOR conditions.
// Other programs keep the keys of deleted records; the engine keeps live
// records only. Deleting records behind the index's back (as such a program
// does) leaves keys the engine sets aside: the views and counts skip them,
// the check accepts them, and the next update writes the tags without them.
std::vector<FieldDescriptor> fixtureFields();

TEST_P(ForeignMdx, KeysOfDeletedRecordsAreSetAside)
{
    const std::vector<uint8_t> head = readFile(dbf);
    const size_t headerLength = get16(head, 8), recordLength = get16(head, 10);
    for (uint32_t recno : {3u, 7u, 8u})
        patchFile(dbf, headerLength + (recno - 1) * recordLength, "*");
    EXPECT_EQ(check(), 0);
    {
        Table t(dbf);
        t.open();
        verifyTags(t, base);
        t.append();
        t.setString(0, "Xinomavro");
        t.setNumber(1, 25);
        t.setString(3, "GR");
        t.setBool(4, true);
        t.post();
        verifyTags(t, base);
    }
    // What the update wrote: no key of a deleted record is left in any tag.
    auto file = MdxFile::open(mdx, base, fixtureFields(), false);
    for (int tag = 0; tag < file->tagCount(); ++tag)
        for (uint64_t pos = 0; pos < file->size(tag); ++pos) {
            const uint32_t r = file->recnoAt(tag, pos);
            EXPECT_TRUE(r != 3 && r != 7 && r != 8) << "tag " << tag << " record " << r;
        }
    EXPECT_EQ(check(), 0);
}

TEST_P(ForeignMdx, TagManagementKeepsTheBlockSize)
{
    const uint32_t bs = blockBytes();
    Table t(dbf);
    t.open(OpenMode::Exclusive);
    addTag(t, TagSpec{"CHEAP", "NAME", false, false, "PRICE < 10 .AND. .NOT. DELETED()"});
    EXPECT_EQ(blockBytes(), bs);
    EXPECT_EQ(listTags(t).back().forExpression, "PRICE < 10 .AND. .NOT. DELETED()");
    setCurrentTag(t, "CHEAP");
    uint32_t cheap = 0;
    for (t.first(); !t.eof(); t.next(), ++cheap)
        EXPECT_LT(*t.asNumber(1), 10);
    EXPECT_GT(cheap, 0u);
    deleteTag(t, listTags(t)[1].name);
    regenerateTags(t);
    EXPECT_EQ(blockBytes(), bs);
    EXPECT_EQ(listTags(t).size(), 3u);
    t.close();
    EXPECT_EQ(check(), 0);
    if (base == "B2048") {
        const auto layout = layoutOf(mdx);
        EXPECT_EQ(layout.at("block"), "4/2048");
        EXPECT_EQ(layoutOf(mdx).count("CHEAP"), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ForeignMdx, ::testing::Values("B512", "B2048"));

std::vector<FieldDescriptor> fixtureFields()
{
    return {{"NAME", 'C', 20, 0, 1},
            {"PRICE", 'N', 8, 2, 21},
            {"BOUGHT", 'D', 8, 0, 29},
            {"COUNTRY", 'C', 2, 0, 37},
            {"INSTOCK", 'L', 1, 0, 39}};
}

// Block sizes that make no sense and FOR conditions that cannot be read make
// the index damaged, as an unknown key expression does.
TEST(ForeignMdxDamage, BadBlockSizesAndConditionsAreDamagedIndexes)
{
    TmpDir dir;
    const std::string src = mk::test::fixturePath("index/foreign/B512.MDX").toStdString();
    const std::vector<uint8_t> orig = readFile(src);
    const size_t tagHeader = size_t(get32(orig, 544)) * 512;
    struct Patch
    {
        size_t offset;
        std::string bytes;
    } patches[] = {
            {20, std::string("\x03\x00\x00\x04", 4)}, // 3 pages but 1024 bytes
            {20, std::string("\x00\x00\x00\x00", 4)},
            {20, std::string("\x40\x00\x00\x80", 4)}, // 64 pages
            {20, std::string("\x01\x00\x00\x01", 4)}, // 256 bytes
            {tagHeader + 245, "\x01"},
            {tagHeader + 762, "PRICE >>> 3"},
            {tagHeader + 762, "PRICE + 1"},
            {tagHeader + 762, "NOSUCH = 1"},
    };
    for (size_t i = 0; i < std::size(patches); ++i) {
        const std::string path = (dir.path / ("b" + std::to_string(i) + ".mdx")).string();
        fs::copy_file(src, path);
        if (i >= 5)
            patchFile(path, tagHeader + 245, "\x01");
        patchFile(path, patches[i].offset, patches[i].bytes);
        SCOPED_TRACE(i);
        try {
            MdxFile::open(path, "B512", fixtureFields(), false);
            if (i != 4) // a FOR flag with no text is a tag without a condition
                ADD_FAILURE() << "opened";
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.code(), DatabaseError::Code::Corrupt) << e.what();
            EXPECT_NE(i, 4u) << e.what();
        }
    }
}

// A free list that points at a live page (another program's chaining, or
// damage) is not followed: the page stays with its tag.
TEST(ForeignMdxDamage, FreeListIntoLivePagesIsIgnored)
{
    installIndexProvider();
    TmpDir dir;
    for (const char* ext : {".DBF", ".MDX"})
        fs::copy_file(mk::test::fixturePath(QString("index/foreign/B512") + ext).toStdString(),
                      dir.path / (std::string("B512") + ext));
    const std::string mdx = (dir.path / "B512.MDX").string();
    const std::vector<uint8_t> orig = readFile(mdx);
    const uint32_t root = get32(orig, size_t(get32(orig, 544)) * 512);
    patchFile(mdx, 36, std::string(reinterpret_cast<const char*>(&root), 4));
    {
        Table t((dir.path / "B512.DBF").string());
        t.open();
        for (int i = 0; i < 40; ++i) {
            t.append();
            t.setString(0, "Aa " + std::to_string(i));
            t.setNumber(1, i);
            t.post();
        }
        verifyTags(t, "B512");
    }
    std::ostringstream out;
    EXPECT_EQ(mdxToolCheck((dir.path / "B512.DBF").string(), out), 0) << out.str();
}

// Files created here keep 1024-byte blocks.
TEST(ForeignMdxDamage, NewFilesStayAtTwoPagesPerBlock)
{
    installIndexProvider();
    TmpDir dir;
    const std::string path = (dir.path / "new.dbf").string();
    createTable(path, fixtureFields());
    Table t(path);
    t.open(OpenMode::Exclusive);
    addTag(t, TagSpec{"N", "NAME", false, false, "INSTOCK"});
    t.close();
    const std::vector<uint8_t> b = readFile((dir.path / "new.mdx").string());
    ASSERT_GE(b.size(), 2048u);
    EXPECT_EQ(get16(b, 20), 2);
    EXPECT_EQ(get16(b, 22), 1024);
}

} // namespace
