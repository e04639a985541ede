// Production indexes (.mdx) written by the engine, read by Perl XBase's
// XBase::Index when it is installed: the tag list (names, key lengths,
// expressions) and a walk of every tag must match the engine's own order.
// No Debian package writes .mdx files, so the other direction has no test
// (tests/data/foreign/README.md).

#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"
#include "tests/interop/interop_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace mk::dbase::interop {
namespace {

struct Walk
{
    std::vector<uint32_t> recnos;
    std::vector<std::string> keysHex;
};

const std::vector<TagSpec>& tagSpecs()
{
    static const std::vector<TagSpec> specs = {
            {"NAME", "NAME", false, false},
            {"VINTAGE", "VINTAGE", false, false},
            {"BOUGHT", "BOUGHT", false, false},
            {"PRICEDESC", "PRICE", true, false},
            {"NAMEYEAR", "UPPER(NAME)+STR(VINTAGE,4)", false, false},
    };
    return specs;
}

// 300 records (several levels in every tag), some deleted, some changed
// after the tags exist, text with Windows-1252 letters.
void writeIndexedTable(const std::string& path)
{
    createTable(path, {fieldDesc("NAME", 'C', 20), fieldDesc("VINTAGE", 'N', 4), fieldDesc("PRICE", 'N', 8, 2),
                       fieldDesc("BOUGHT", 'D', 8)});
    Table t(path);
    t.open(OpenMode::Exclusive);
    for (const TagSpec& s : tagSpecs())
        addTag(t, s);
    static const char* const stems[] = {"Ch\xE2teau", "Rioja", "Gr\xFCner", "barolo", "Sancerre", "\xC9tienne"};
    uint32_t seed = 12345;
    auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int i = 0; i < 300; ++i) {
        t.append();
        t.setString(0, std::string(stems[rnd(6)]) + " " + std::to_string(rnd(1000)));
        t.setNumber(1, 1950 + rnd(70));
        t.setNumber(2, (static_cast<double>(rnd(200000)) - 20000.0) / 100.0);
        t.setDate(3,
                  Date{static_cast<int>(1990 + rnd(30)), static_cast<int>(1 + rnd(12)), static_cast<int>(1 + rnd(28))});
        t.post();
    }
    for (uint32_t r = 7; r <= 300; r += 13) {
        ASSERT_TRUE(t.goToRecno(r));
        t.deleteRecord();
    }
    for (uint32_t r = 5; r <= 300; r += 17) {
        if (!t.goToRecno(r))
            continue;
        t.edit();
        t.setString(0, "Changed " + std::to_string(r));
        t.setNumber(1, 2024);
        t.post();
    }
    t.close();
    if (const char* keep = std::getenv("MK_INTEROP_KEEP")) // for looking at the files by hand
        copyFile(path.substr(0, path.size() - 3) + "mdx", std::string(keep) + "/cellar.mdx"),
                copyFile(path, std::string(keep) + "/cellar.dbf");
}

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

TEST(EngineMdxElsewhere, PerlXBaseIndexListsTagsAndWalksThemInOurOrder)
{
    if (!perlXBaseIndexAvailable())
        GTEST_SKIP() << "Perl XBase::Index (libdbd-xbase-perl) is not installed";
    installIndexProvider();
    Scratch dir;
    const std::string path = dir.path("cellar.dbf");
    writeIndexedTable(path);

    // The engine's view: tags and their order.
    std::map<std::string, TagInfo> ours;
    std::map<std::string, Walk> ourWalk;
    {
        Table t(path);
        t.open(OpenMode::Shared);
        for (const TagInfo& info : listTags(t))
            ours[upper(info.name)] = info;
        std::vector<uint8_t> rec(t.header().recordLength);
        for (const auto& [name, info] : ours) {
            setCurrentTag(t, info.name);
            Walk& w = ourWalk[name];
            for (t.first(); !t.eof(); t.next()) {
                w.recnos.push_back(t.recno());
                w.keysHex.push_back(hex(keyForRecord(t, t.recordBuffer())));
            }
        }
    }
    ASSERT_EQ(ours.size(), tagSpecs().size());

    int code = -1;
    const std::string out =
            run({"/usr/bin/perl", foreignDir() + "/../../interop/readers/dump_mdx.pl", dir.path("cellar.mdx")}, code);
    ASSERT_EQ(code, 0) << out.substr(0, 2000);

    std::map<std::string, std::vector<std::string>> theirTags;
    std::map<std::string, Walk> theirWalk;
    for (const std::string& line : lines(out)) {
        std::vector<std::string> parts;
        size_t start = 0, bar;
        while ((bar = line.find('|', start)) != std::string::npos) {
            parts.push_back(line.substr(start, bar - start));
            start = bar + 1;
        }
        parts.push_back(line.substr(start));
        if (parts[0] == "T" && parts.size() == 5) {
            theirTags[upper(parts[1])] = parts;
        } else if (parts[0] == "K" && parts.size() == 4) {
            Walk& w = theirWalk[upper(parts[1])];
            w.keysHex.push_back(parts[2]);
            w.recnos.push_back(static_cast<uint32_t>(std::stoul(parts[3])));
        } else {
            ADD_FAILURE() << "unexpected line: " << line;
        }
    }

    ASSERT_EQ(theirTags.size(), ours.size()) << out.substr(0, 2000);

    // The table itself (production-index flag set) still opens in XBase.
    const std::string table = run({"/usr/bin/perl", foreignDir() + "/../../interop/readers/dump_xbase.pl", path}, code);
    EXPECT_EQ(code, 0) << table.substr(0, 500);
    EXPECT_EQ(lines(table).size(), 301u);
    for (const TagSpec& spec : tagSpecs()) {
        SCOPED_TRACE("tag " + spec.name);
        const std::string name = upper(spec.name);
        ASSERT_TRUE(theirTags.count(name)) << "XBase does not list the tag";
        const auto& t = theirTags[name];
        EXPECT_EQ(std::stoi(t[2]), ours[name].keyLength);
        EXPECT_EQ(upper(t[4]), upper(spec.expression));
        EXPECT_EQ(upper(ours[name].expression), upper(spec.expression));
        // Walking the tag gives the records in the engine's order, with the
        // same key bytes.
        EXPECT_EQ(ourWalk[name].recnos.size(), 300u - 23u); // deleted records have no keys
        EXPECT_EQ(theirWalk[name].recnos, ourWalk[name].recnos);
        EXPECT_EQ(theirWalk[name].keysHex, ourWalk[name].keysHex);
    }
}

} // namespace
} // namespace mk::dbase::interop
