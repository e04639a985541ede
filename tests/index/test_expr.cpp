#include "storage/engine/expr.h"
#include "storage/engine/mdx_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

using namespace mk::dbase;

namespace {

// A record layout like the wine table: marker, name (30), note (120),
// bottles N(8,0), cost N(12,2), drink-by D, notes M.
struct Layout
{
    std::vector<ExprField> fields;
    int size = 1;
    void add(const std::string& name, char type, int len, int dec = 0)
    {
        fields.push_back(ExprField{name, type, len, dec, size});
        size += len;
    }
    Layout()
    {
        add("MARK", 'C', 1);
        add("NAME", 'C', 30);
        add("NOTE", 'C', 120);
        add("BOTTLES", 'N', 8);
        add("COST", 'N', 12, 2);
        add("DRINKBY", 'D', 8);
        add("NOTES", 'M', 10);
    }
    std::vector<uint8_t> record(const std::map<std::string, std::string>& values) const
    {
        std::vector<uint8_t> r(size_t(size), ' ');
        for (const auto& f : fields) {
            auto it = values.find(f.name);
            if (it == values.end())
                continue;
            std::string v = it->second;
            if (f.type == 'N' && v.size() < size_t(f.length))
                v = std::string(size_t(f.length) - v.size(), ' ') + v; // right-aligned
            std::memcpy(r.data() + f.offset, v.data(), std::min(v.size(), size_t(f.length)));
        }
        return r;
    }
};

std::string eval(const Layout& l, const std::string& expr, const std::map<std::string, std::string>& values,
                 const MemoReader& memo = {})
{
    auto e = KeyExpression::parse(expr, l.fields);
    auto rec = l.record(values);
    ExprValue v = e.evaluate(rec.data(), rec.size(), memo);
    return v.text;
}

} // namespace

// Every form the sort-key builder writes, with its key width and value.
TEST(KeyExpression, SortKeyFormsParseAndEvaluate)
{
    Layout l;
    MemoReader memo = [](int, std::string_view raw) {
        return std::string(raw).find('7') != std::string::npos ? std::string("grand vin\r\nsecond line") : "";
    };
    struct Case
    {
        const char* expr;
        int length;
        std::map<std::string, std::string> values;
        std::string expected;
    } cases[] = {
            {"UPPER(NAME)", 30, {{"NAME", "Ch\xE2teau Margaux"}}, "CH\xC2TEAU MARGAUX"}, // Windows-1252
            {"UPPER(SUBSTR(NOTE, 1, 99))", 99, {{"NOTE", "needs air"}}, "NEEDS AIR"},
            {"STR(BOTTLES, 20, 4)", 20, {{"BOTTLES", "12"}}, "             12.0000"},
            {"STR(999999999999999999-COST, 20, 4)", 20, {{"COST", "12.50"}}, "999999999999999986.5"},
            {"STR(999999999999999999-BOTTLES, 20, 4)", 20, {}, "999999999999999999.0"},
            {"DTOS(DRINKBY)", 8, {{"DRINKBY", "20240131"}}, "20240131"},
            {"DTOS(DRINKBY)", 8, {}, "        "},
            {"STR({12/31/3099}-DRINKBY, 10, 0)", 10, {{"DRINKBY", "30991230"}}, "         1"},
            {"UPPER(MLINE(NOTES, 1))", 50, {{"NOTES", "         7"}}, "GRAND VIN"},
            {"UPPER(SUBSTR(MLINE(NOTES, 1), 1, 40))", 40, {{"NOTES", "         7"}}, "GRAND VIN"},
            {"MARK+UPPER(NAME)", 31, {{"MARK", "2"}, {"NAME", "Rioja"}}, "2RIOJA"},
            {"NAME+STR(999999999999999999-COST, 20, 4)", 50, {{"NAME", "A"}, {"COST", "1"}}, "A"},
            {"STR(999999999999999999-COST, 20, 4)+NAME", 50, {{"NAME", "B"}, {"COST", "0"}}, "999999999999999999.0B"},
            {"UPPER(SUBSTR(NAME, 1, 59))+UPPER(SUBSTR(NOTE, 1, 40))", 70, {{"NAME", "x"}, {"NOTE", "y"}}, "X"},
            {"DTOS(DRINKBY)+UPPER(NAME)", 38, {{"DRINKBY", "20000101"}, {"NAME", "z"}}, "20000101Z"},
            {"STR({12/31/3099}-DRINKBY, 10, 0)+NAME", 40, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        auto e = KeyExpression::parse(c.expr, l.fields);
        EXPECT_EQ(e.resultType(), 'C');
        EXPECT_EQ(e.resultLength(), c.length);
        std::string got = eval(l, c.expr, c.values, memo);
        ASSERT_EQ(got.size(), size_t(c.length));
        std::string trimmed = got.substr(0, got.find_last_not_of(' ') + 1);
        if (!c.expected.empty())
            EXPECT_EQ(got.substr(0, c.expected.size()), c.expected);
        else
            EXPECT_FALSE(trimmed.empty());
    }
}

// The date, number and choice functions other programs' tags and FOR
// conditions use, shown through STR so every result is text.
TEST(KeyExpression, DateNumberAndChoiceFunctions)
{
    Layout l;
    const std::map<std::string, std::string> rec = {
            {"NAME", "Barolo"}, {"COST", "-12.45"}, {"BOTTLES", "3"}, {"DRINKBY", "20240229"}};
    struct Case
    {
        const char* expr;
        const char* expected;
    } cases[] = {
            {"STR(YEAR(DRINKBY), 4)+STR(MONTH(DRINKBY), 2)+STR(DAY(DRINKBY), 2)", "2024 229"},
            {"STR(YEAR(DRINKBY)*0+YEAR({01/01/1900}), 4)", nullptr}, // no "*": an error
            {"STR(ABS(COST), 8, 2)", "   12.45"},
            {"STR(INT(COST), 5)", "  -12"},
            {"STR(ROUND(COST, 1), 8, 2)", "  -12.50"},
            {"STR(ROUND(COST, 0), 5)", "  -12"},
            {"STR(ROUND(1250, -2), 6)", "  1300"},
            {"IIF(BOTTLES > 2, NAME, \"none\")", "Barolo"},
            {"IIF(EMPTY(NOTE), \"-\", SUBSTR(NOTE, 1, 10))", "-"},
            {"IIF(ISBLANK(DRINKBY) .OR. EMPTY(COST), \"blank\", \"set\")", "set  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        if (!c.expected) {
            EXPECT_THROW(KeyExpression::parse(c.expr, l.fields), ExprError);
            continue;
        }
        const std::string got = eval(l, c.expr, rec);
        EXPECT_EQ(got.substr(0, std::strlen(c.expected)), c.expected);
    }
    // A blank record: YEAR of an empty date is 0, every field is empty.
    EXPECT_EQ(eval(l, "STR(YEAR(DRINKBY), 4)", {}), "   0");
    EXPECT_EQ(eval(l, "IIF(EMPTY(NAME) .AND. EMPTY(BOTTLES) .AND. EMPTY(DRINKBY), \"yes\", \"no \")", {}), "yes");
    EXPECT_THROW(KeyExpression::parse("IIF(NAME, NAME, NAME)", l.fields), ExprError);
    EXPECT_THROW(KeyExpression::parse("IIF(BOTTLES > 1, NAME, BOTTLES)", l.fields), ExprError);
}

// The descending forms must sort the other way round as text keys.
TEST(KeyExpression, DescendingNumberAndDateKeysReverseTheOrder)
{
    Layout l;
    // One decimal is left in 20 characters, so costs apart by less than 0.05 tie
    // (and then follow the record number).
    std::vector<std::string> costs = {"0", "0.5", "1", "12.5", "999.99", "123456789.99"};
    std::vector<std::string> keys;
    for (const auto& c : costs)
        keys.push_back(eval(l, "STR(999999999999999999-COST, 20, 4)", {{"COST", c}}));
    EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend())) << keys.front() << " / " << keys.back();
    EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());

    std::vector<std::string> dates = {"19991231", "20000101", "20240229", "30991230"};
    keys.clear();
    for (const auto& d : dates)
        keys.push_back(eval(l, "STR({12/31/3099}-DRINKBY, 10, 0)", {{"DRINKBY", d}}));
    EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend()));
    // Ascending forms keep the order.
    keys.clear();
    for (const auto& d : dates)
        keys.push_back(eval(l, "DTOS(DRINKBY)", {{"DRINKBY", d}}));
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
}

TEST(KeyExpression, UnknownNamesAndWrongTypesAreErrors)
{
    Layout l;
    for (const char* bad :
         {"UPPER(WINE)", "UPPER(BOTTLES)", "DTOS(NAME)", "STR(NAME, 10, 0)", "NAME+BOTTLES", "FOO(NAME)", "UPPER(NAME",
          "NOTES", "MLINE(NAME, 1)", "NOTE+NAME", "STR(BOTTLES, WIDTH, 0)", "{13/45/2000}", "DRINKBY+DRINKBY"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(KeyExpression::parse(bad, l.fields), ExprError);
    }
    // Names are case-insensitive; numeric and date results are allowed.
    EXPECT_EQ(KeyExpression::parse("upper(name)", l.fields).resultLength(), 30);
    EXPECT_EQ(KeyExpression::parse("COST", l.fields).resultType(), 'N');
    EXPECT_EQ(KeyExpression::parse("DRINKBY", l.fields).resultType(), 'D');
    EXPECT_TRUE(KeyExpression::parse("COST", l.fields).isSingleField());
}

TEST(KeyExpression, StrFollowsDbaseRules)
{
    EXPECT_EQ(dbaseStr(Decimal::fromInt(5), 10, 0), "         5");
    Decimal d;
    ASSERT_TRUE(Decimal::parse("123.456", d));
    EXPECT_EQ(dbaseStr(d, 5, 2), "123.5"); // fewer decimals when the integer part needs the room
    EXPECT_EQ(dbaseStr(d, 2, 0), "**");
    ASSERT_TRUE(Decimal::parse("-2.5", d));
    EXPECT_EQ(dbaseStr(d, 6, 1), "  -2.5");
}

TEST(KeyEncoding, BcdMatchesTheDbaseLayoutAndOrder)
{
    Decimal v;
    ASSERT_TRUE(Decimal::parse("12.5", v));
    std::string b = encodeBcd(v);
    ASSERT_EQ(b.size(), 12u);
    EXPECT_EQ(uint8_t(b[0]), 52 + 2);          // two digits before the point
    EXPECT_EQ(uint8_t(b[1]), (3 << 2) | 0x01); // three significant digits, positive
    EXPECT_EQ(uint8_t(b[2]), 0x12);
    EXPECT_EQ(uint8_t(b[3]), 0x50);
    EXPECT_EQ(uint8_t(encodeBcd(Decimal{-v.v})[1]) & 0x80, 0x80);

    std::vector<std::string> texts = {"-1000", "-12.5", "-0.01", "0", "0.001", "0.5", "1", "12.5", "99999999"};
    std::vector<std::string> enc;
    for (const auto& t : texts) {
        Decimal x;
        ASSERT_TRUE(Decimal::parse(t, x));
        enc.push_back(encodeBcd(x));
        EXPECT_EQ(decodeBcd(reinterpret_cast<const uint8_t*>(enc.back().data())), x) << t;
    }
    for (size_t i = 1; i < enc.size(); ++i)
        EXPECT_LT(compareBcd(reinterpret_cast<const uint8_t*>(enc[i - 1].data()),
                             reinterpret_cast<const uint8_t*>(enc[i].data())),
                  0)
                << texts[i - 1] << " < " << texts[i];
}

TEST(KeyEncoding, DatesAreJulianDayNumbers)
{
    EXPECT_EQ(julianFromCivil(2000, 1, 1), 2451545);
    EXPECT_EQ(julianFromDbfDate("20000101"), 2451545);
    EXPECT_EQ(julianFromDbfDate("        "), 0);
    EXPECT_EQ(julianFromDbfDate("20230229"), 0);
    int y, m, d;
    civilFromJulian(2451545 + 366, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20010101);
    std::string k = encodeDateKey(2451545);
    double v;
    std::memcpy(&v, k.data(), 8);
    EXPECT_EQ(v, 2451545.0);
}
