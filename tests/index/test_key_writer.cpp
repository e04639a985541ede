// The compiled key writer against the general path (evaluate + encodeKey):
// byte for byte, over a table of forms and records, then over random
// expressions and records. The allocation-free STR, BCD and number parsing
// are checked against plain reference versions.

#include "storage/engine/expr.h"
#include "storage/engine/key_writer.h"
#include "storage/engine/mdx_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

using namespace mk::dbase;

namespace {

struct Layout
{
    std::vector<ExprField> fields;
    int size = 1; // byte 0: deletion flag
    void add(const std::string& name, char type, int len, int dec = 0)
    {
        fields.push_back(ExprField{name, type, len, dec, size});
        size += len;
    }
    Layout()
    {
        add("NAME", 'C', 20);
        add("CITY", 'C', 12);
        add("COST", 'N', 12, 2);
        add("QTY", 'N', 5);
        add("BIG", 'N', 20);
        add("RATE", 'F', 10, 4);
        add("DRINK", 'D', 8);
        add("BOUGHT", 'D', 8);
        add("NOTES", 'M', 10);
    }
    const ExprField& field(const std::string& name) const
    {
        for (const auto& f : fields)
            if (f.name == name)
                return f;
        throw std::logic_error(name);
    }
    // Raw field bytes as given (cut or blank-filled to the field width).
    std::vector<uint8_t> record(const std::map<std::string, std::string>& raw) const
    {
        std::vector<uint8_t> r(size_t(size), ' ');
        for (const auto& [name, bytes] : raw) {
            const ExprField& f = field(name);
            std::memcpy(r.data() + f.offset, bytes.data(), std::min(bytes.size(), size_t(f.length)));
        }
        return r;
    }
};

int keyLengthOf(const KeyExpression& e)
{
    return e.resultType() == 'C' ? e.resultLength() : (e.resultType() == 'N' ? 12 : 8);
}

MemoReader testMemo()
{
    return [](int, std::string_view raw) {
        return std::string(raw).find('7') != std::string::npos ? std::string("first line\r\nsecond") : std::string();
    };
}

// Both ways for one record; an error must be the same error.
void expectSameKey(const KeyExpression& e, const KeyWriter& w, const std::vector<uint8_t>& rec, size_t size,
                   const MemoReader& memo)
{
    std::string general, compiled(size_t(w.keyLength()), '?');
    std::string generalError, compiledError;
    try {
        general = encodeKey(e.evaluate(rec.data(), size, memo), e.resultType(), w.keyLength());
        general.resize(size_t(w.keyLength()), '\0');
    } catch (const ExprError& err) {
        generalError = err.what();
    }
    try {
        w.write(rec.data(), size, memo, compiled.data());
    } catch (const ExprError& err) {
        compiledError = err.what();
    }
    EXPECT_EQ(compiledError, generalError);
    if (generalError.empty()) {
        EXPECT_EQ(compiled, general) << "record: " << std::string(rec.begin(), rec.end());
    }
}

const std::vector<std::map<std::string, std::string>>& sampleRecords()
{
    static const std::vector<std::map<std::string, std::string>> records = {
            {}, // all blank
            {{"NAME", "Ch\xE2teau Margaux"},
             {"CITY", "bordeaux"},
             {"COST", "     1234.56"},
             {"QTY", "   12"},
             {"BIG", "12345678901234567890"},
             {"RATE", "   -0.1234"},
             {"DRINK", "20240131"},
             {"BOUGHT", "20191231"},
             {"NOTES", "         7"}},
            {{"NAME", "  leading blanks"},
             {"CITY", "x"},
             {"COST", "    -9999.99"},
             {"QTY", "  -12"},
             {"BIG", "-1234567890123456789"},
             {"RATE", "-9999.9999"},
             {"DRINK", "00010101"},
             {"BOUGHT", "99991231"}},
            // Asterisks (overflowed numbers) read as empty; invalid dates as empty.
            {{"COST", "************"},
             {"QTY", "*****"},
             {"BIG", std::string(20, '*')},
             {"RATE", "**********"},
             {"DRINK", "20230230"},
             {"BOUGHT", "2023 1 1"}},
            // Windows-1252 letters above 0x7F, the lone exceptions of UPPER.
            {{"NAME", "\xE0\xFF\x9A\x9C\x9E\xF7\xB5\xDF"
                      "abc\xE9"},
             {"CITY", "   \xE8te"},
             {"COST", "        0.01"},
             {"QTY", "    0"},
             {"BIG", "00000000000000000001"},
             {"RATE", "    0.0005"},
             {"DRINK", "19000229"},
             {"BOUGHT", "20000229"}},
            {{"NAME", "abcdefghijklmnopqrst"},
             {"CITY", "123.45xyz   "},
             {"COST", "999999999.99"},
             {"QTY", "99999"},
             {"BIG", "99999999999999999999"},
             {"RATE", "99999.9999"},
             {"DRINK", "20240229"},
             {"BOUGHT", "        "}},
            {{"COST", "  -0.004"}, {"QTY", "-0"}, {"RATE", "  .5"}, {"CITY", "-.5"}, {"DRINK", "2024013"}},
    };
    return records;
}

} // namespace

TEST(KeyWriter, MatchesTheGeneralPathForEveryForm)
{
    const Layout l;
    const MemoReader memo = testMemo();
    struct Case
    {
        const char* expr;
        bool compiled; // the fast path covers it
    } cases[] = {
            {"NAME", true},
            {"UPPER(NAME)", true},
            {"LOWER(NAME)+CITY", true},
            {"NAME+STR(999999999999999999-COST, 20, 4)", true},
            {"STR(COST, 20, 4)", true},
            {"STR(COST, 5, 2)", true}, // too wide: fewer decimals, then asterisks
            {"STR(-COST, 8)", true},
            {"STR(BIG, 25, 3)+STR(BIG-1, 3)", true},
            {"STR(RATE, 12, 6)+STR(QTY+COST-RATE, 15, 11)", true},
            {"STR(DRINK-BOUGHT, 6)", true},
            {"DTOS(DRINK)+UPPER(NAME)", true},
            {"DTOS(DRINK+QTY)+DTOS(QTY+BOUGHT)+DTOS(DRINK-1)", true},
            {"DTOC(DRINK-30)+DTOC(BOUGHT)", true},
            {"SUBSTR(NAME, 3, 5)+SUBSTR(NAME, 18)+SUBSTR(NAME, 25, 3)+CITY", true},
            {"LEFT(NAME, 4)+RIGHT(CITY, 3)+LEFT(CITY, 0)", true},
            {"TRIM(NAME)+RTRIM(CITY)+LTRIM(CITY)+'|'", true},
            {"NAME-CITY", true},
            {"UPPER(SUBSTR(NAME-CITY, 15, 10))", true},
            {"STR(VAL(CITY), 10, 2)+STR(VAL(NAME), 4)", true},
            {"STR({12/31/3099}-DRINK, 10, 0)+NAME", true},
            {"COST", true},
            {"-COST+QTY-(RATE-BIG)", true},
            {"BIG", true},
            {"RATE", true},
            {"DRINK", true},
            {"DRINK+10", true},
            {"{12/31/3099}-DRINK", true},
            {"{}", true}, // the empty date
            {"UPPER(MLINE(NOTES, 1))", false},
            {"CTOD(CITY)", false},
            {"DTOS(CTOD(CITY))+NAME", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        const auto e = KeyExpression::parse(c.expr, l.fields);
        const KeyWriter w = KeyWriter::compile(e, e.resultType(), keyLengthOf(e));
        EXPECT_EQ(w.isCompiled(), c.compiled);
        for (const auto& values : sampleRecords()) {
            const auto rec = l.record(values);
            expectSameKey(e, w, rec, rec.size(), memo);
        }
    }
}

TEST(KeyWriter, ShortRecordsAndOtherKeyShapesAgree)
{
    const Layout l;
    const auto rec = l.record(sampleRecords()[1]);
    const auto e = KeyExpression::parse("CITY+STR(COST, 10, 2)", l.fields);
    const KeyWriter w = KeyWriter::compile(e, 'C', e.resultLength());
    ASSERT_TRUE(w.isCompiled());
    // A record that ends inside COST: the general path's error, from both.
    expectSameKey(e, w, rec, size_t(l.field("COST").offset + 3), {});
    std::string out(size_t(w.keyLength()), '?');
    EXPECT_THROW(w.write(rec.data(), size_t(l.field("COST").offset + 3), {}, out.data()), ExprError);

    // Key lengths other than the expression's: cut, blank- or zero-filled.
    for (int len : {1, 5, 30})
        expectSameKey(e, KeyWriter::compile(e, 'C', len), rec, rec.size(), {});
    const auto num = KeyExpression::parse("COST-QTY", l.fields);
    for (int len : {4, 12, 16})
        expectSameKey(num, KeyWriter::compile(num, 'N', len), rec, rec.size(), {});
    // A key type that is not the expression's takes the general path.
    const KeyWriter mixed = KeyWriter::compile(num, 'C', 10);
    EXPECT_FALSE(mixed.isCompiled());
    std::string general = encodeKey(num.evaluate(rec.data(), rec.size()), 'C', 10);
    std::string got(10, '?');
    mixed.write(rec.data(), rec.size(), {}, got.data());
    EXPECT_EQ(got, general);
}

TEST(KeyWriter, CaseMappingCoversEveryByte)
{
    const Layout l;
    for (const char* text : {"UPPER(NAME)", "LOWER(NAME)"}) {
        SCOPED_TRACE(text);
        const auto e = KeyExpression::parse(text, l.fields);
        const KeyWriter w = KeyWriter::compile(e, 'C', e.resultLength());
        ASSERT_TRUE(w.isCompiled());
        for (int first = 0; first < 256; first += 20) {
            std::string bytes;
            for (int c = first; c < first + 20; ++c)
                bytes += char(c & 0xFF);
            const auto rec = l.record({{"NAME", bytes}});
            expectSameKey(e, w, rec, rec.size(), {});
        }
    }
}

namespace {

// Random well-typed expressions over the layout's fields.
struct ExprGen
{
    std::mt19937& rng;
    int pick(int n) { return int(rng() % unsigned(n)); }
    std::string num(int n) { return std::to_string(n); }

    std::string text(int depth)
    {
        if (depth <= 0)
            return pick(4) == 0 ? "'ab c '" : (pick(2) ? "NAME" : "CITY");
        switch (pick(13)) {
        case 0:
            return "UPPER(" + text(depth - 1) + ")";
        case 1:
            return "LOWER(" + text(depth - 1) + ")";
        case 2:
            return (pick(2) ? "TRIM(" : "RTRIM(") + text(depth - 1) + ")";
        case 3:
            return "LTRIM(" + text(depth - 1) + ")";
        case 4:
            return "SUBSTR(" + text(depth - 1) + ", " + num(1 + pick(25)) + (pick(2) ? ", " + num(pick(16)) : "") + ")";
        case 5:
            return "LEFT(" + text(depth - 1) + ", " + num(pick(20)) + ")";
        case 6:
            return "RIGHT(" + text(depth - 1) + ", " + num(pick(20)) + ")";
        case 7:
            return text(depth - 1) + "+" + text(depth - 1);
        case 8:
            return text(depth - 1) + "-" + text(depth - 1);
        case 9:
        case 10:
            return "STR(" + number(depth - 1) +
                   (pick(4) ? ", " + num(1 + pick(24)) + (pick(2) ? ", " + num(pick(11)) : "") : "") + ")";
        case 11:
            return "DTOS(" + date(depth - 1) + ")";
        default:
            return "DTOC(" + date(depth - 1) + ")";
        }
    }

    std::string number(int depth)
    {
        static const char* leaves[] = {"COST", "QTY", "BIG", "RATE", "12", "0.5", "999999999999999999", "1000.25"};
        if (depth <= 0)
            return leaves[pick(8)];
        switch (pick(5)) {
        case 0:
            return "-" + number(depth - 1);
        case 1:
            return "(" + number(depth - 1) + "+" + number(depth - 1) + ")";
        case 2:
            return "(" + number(depth - 1) + "-" + number(depth - 1) + ")";
        case 3:
            return "(" + date(depth - 1) + "-" + date(depth - 1) + ")";
        default: // over a field: texts of many digits would overflow sums
            return "VAL(" + text(0) + ")";
        }
    }

    // Day counts stay small: date arithmetic is meant for days, not for BIG.
    std::string days() { return pick(2) ? "QTY" : num(pick(4000)); }

    std::string date(int depth)
    {
        static const char* leaves[] = {"DRINK", "BOUGHT", "{02/29/2000}", "{}"};
        if (depth <= 0)
            return leaves[pick(4)];
        switch (pick(3)) {
        case 0:
            return "(" + date(depth - 1) + "+" + days() + ")";
        case 1:
            return "(" + date(depth - 1) + "-" + days() + ")";
        default:
            return "(" + days() + "+" + date(depth - 1) + ")";
        }
    }
};

std::string randomNumberText(std::mt19937& rng, int width, int decimals)
{
    switch (rng() % 8) {
    case 0:
        return std::string(size_t(width), ' ');
    case 1:
        return std::string(size_t(width), '*');
    case 2: {
        std::string s(size_t(width), ' ');
        for (auto& c : s)
            c = " -.0123456789*x"[rng() % 15];
        return s;
    }
    default: { // right-aligned digits, maybe a sign and a point
        std::string digits = rng() % 3 == 0 ? "-" : "";
        const int n = 1 + int(rng() % unsigned(width));
        for (int i = 0; i < n; ++i) {
            if (decimals > 0 && n > decimals + 1 && i == n - decimals)
                digits += '.';
            digits += char('0' + rng() % 10);
        }
        const size_t keep = std::min(digits.size(), size_t(width));
        std::string out(size_t(width), ' ');
        std::memcpy(out.data() + (size_t(width) - keep), digits.data() + (digits.size() - keep), keep);
        return out;
    }
    }
}

std::vector<uint8_t> randomRecord(std::mt19937& rng, const Layout& l)
{
    static const std::string letters = std::string("  abcXYZ.-09") + "\xE0\xE9\xFF\x9A\xF7\xB5\x80";
    std::vector<uint8_t> r(size_t(l.size), ' ');
    for (const auto& f : l.fields) {
        std::string v;
        if (f.type == 'C') {
            for (int i = 0; i < f.length; ++i)
                v += letters[rng() % letters.size()];
        } else if (f.type == 'N' || f.type == 'F') {
            v = randomNumberText(rng, f.length, f.decimals);
        } else if (f.type == 'D') {
            char buf[16];
            switch (rng() % 4) {
            case 0:
                v = "        ";
                break;
            case 1: // any digits: valid or not
                std::snprintf(buf, sizeof buf, "%08u", unsigned(rng() % 100000000));
                v = buf;
                break;
            default:
                std::snprintf(buf, sizeof buf, "%04u%02u%02u", 1 + unsigned(rng() % 9999), 1 + unsigned(rng() % 12),
                              1 + unsigned(rng() % 31));
                v = buf;
            }
        }
        std::memcpy(r.data() + f.offset, v.data(), std::min(v.size(), size_t(f.length)));
    }
    return r;
}

} // namespace

TEST(KeyWriter, RandomExpressionsAndRecordsAgree)
{
    const Layout l;
    std::mt19937 rng(20261211);
    ExprGen gen{rng};
    std::vector<std::vector<uint8_t>> records;
    for (int i = 0; i < 200; ++i)
        records.push_back(randomRecord(rng, l));
    int tried = 0, compiled = 0;
    for (int i = 0; i < 400; ++i) {
        const int kind = gen.pick(4);
        const std::string text = kind == 0 ? gen.number(3) : (kind == 1 ? gen.date(3) : gen.text(3));
        KeyExpression e;
        try {
            e = KeyExpression::parse(text, l.fields);
        } catch (const ExprError&) {
            continue; // too long or empty for a key
        }
        SCOPED_TRACE(text);
        ++tried;
        const KeyWriter w = KeyWriter::compile(e, e.resultType(), keyLengthOf(e));
        compiled += w.isCompiled() ? 1 : 0;
        for (int r = 0; r < 10; ++r) {
            const auto& rec = records[size_t(gen.pick(int(records.size())))];
            expectSameKey(e, w, rec, rec.size(), {});
        }
        if (HasFailure())
            break;
    }
    EXPECT_GT(tried, 200);
    EXPECT_GT(compiled, tried * 9 / 10); // the fast path is what is being compared
}

namespace {

// Plain versions of STR, BCD and number parsing: digit by digit in 128 bits,
// with strings.
std::string referenceStr(Decimal value, int width, int decimals)
{
    width = std::clamp(width, 1, 255);
    decimals = std::clamp(decimals, 0, 9);
    const bool neg = value.v < 0;
    const __int128 a = neg ? -value.v : value.v;
    // Decimals that cannot fit beside the integer part (a minus sign
    // counted) are not tried.
    int intDigits = 1;
    for (__int128 w = a / Decimal::kScale; w >= 10; w /= 10)
        ++intDigits;
    const int startDec = std::min(decimals, std::max(width - intDigits - (neg ? 1 : 0) - 1, 0));
    for (int dec = startDec; dec >= 0; --dec) {
        __int128 unit = 1;
        for (int i = 0; i < 9 - dec; ++i)
            unit *= 10;
        __int128 x = (a + unit / 2) / unit;
        const bool nonzero = x != 0;
        std::string s;
        for (int i = 0; i < dec; ++i, x /= 10)
            s.insert(s.begin(), char('0' + int(x % 10)));
        if (dec > 0)
            s.insert(s.begin(), '.');
        do {
            s.insert(s.begin(), char('0' + int(x % 10)));
            x /= 10;
        } while (x > 0);
        if (neg && nonzero)
            s.insert(s.begin(), '-');
        if (int(s.size()) <= width)
            return std::string(size_t(width) - s.size(), ' ') + s;
    }
    return std::string(size_t(width), '*');
}

std::string referenceBcd(Decimal value)
{
    std::string out(12, '\0');
    const bool neg = value.v < 0;
    __int128 a = neg ? -value.v : value.v;
    if (a == 0) {
        out[0] = char(52);
        out[1] = char(0x01);
        return out;
    }
    std::string digits;
    for (; a > 0; a /= 10)
        digits.insert(digits.begin(), char('0' + int(a % 10)));
    int pointPos = int(digits.size()) - 9;
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    digits.resize(std::min<size_t>(digits.size(), 20));
    out[0] = char(52 + pointPos);
    out[1] = char((digits.size() << 2) | 0x01 | (neg ? 0x80 : 0));
    for (size_t i = 0; i < digits.size(); ++i)
        out[2 + i / 2] = char(out[2 + i / 2] | ((digits[i] - '0') << (i % 2 == 0 ? 4 : 0)));
    return out;
}

Decimal randomDecimal(std::mt19937& rng)
{
    // Up to 38 digits, scale 10^9: from a billionth to beyond any field.
    const int digits = 1 + int(rng() % 38);
    __int128 v = 0;
    for (int i = 0; i < digits; ++i)
        v = v * 10 + int(rng() % 10);
    if (rng() % 4 == 0) { // 99...9x: rounding carries through every digit
        v = 1;
        for (int i = 0; i < digits; ++i)
            v *= 10;
        v -= 1 + int(rng() % 3);
    }
    return Decimal{rng() % 2 ? -v : v};
}

} // namespace

TEST(KeyWriter, StrBcdAndParsingMatchPlainVersions)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        const Decimal v = randomDecimal(rng);
        const int width = 1 + int(rng() % 45);
        const int decimals = int(rng() % 11);
        ASSERT_EQ(dbaseStr(v, width, decimals), referenceStr(v, width, decimals))
                << double(v.v) << " " << width << " " << decimals;
        ASSERT_EQ(encodeBcd(v), referenceBcd(v)) << double(v.v);
    }
    // Number texts: the integer part in 64 bits up to 18 digits, wider
    // beyond; fractions cut at nine digits.
    for (const char* t : {"1", "-0", "  12.5", "123456789012345678", "1234567890123456789", "99999999999999999999",
                          "-12345678901234567890.123456789999", "0.0000000019", "+.5", "12-3", "1.2.3"}) {
        SCOPED_TRACE(t);
        Decimal got;
        ASSERT_TRUE(Decimal::parse(t, got));
        std::string s(t);
        const size_t b = s.find_first_not_of(' ');
        const bool neg = s[b] == '-';
        __int128 whole = 0, frac = 0;
        int fd = 0;
        bool dot = false;
        for (size_t i = b + ((s[b] == '-' || s[b] == '+') ? 1 : 0); i < s.size(); ++i) {
            if (s[i] == '.' && !dot)
                dot = true;
            else if (s[i] < '0' || s[i] > '9')
                break;
            else if (!dot)
                whole = whole * 10 + (s[i] - '0');
            else if (fd < 9)
                frac = frac * 10 + (s[i] - '0'), ++fd;
        }
        for (; fd < 9; ++fd)
            frac *= 10;
        const __int128 want = (whole * Decimal::kScale + frac) * (neg ? -1 : 1);
        EXPECT_TRUE(got.v == want);
    }
    Decimal none;
    EXPECT_FALSE(Decimal::parse("  -  1", none));
    EXPECT_FALSE(Decimal::parse("****", none));
    EXPECT_FALSE(Decimal::parse("   ", none));
    // Constants beyond 29 integer digits stop growing instead of overflowing.
    Decimal huge;
    ASSERT_TRUE(Decimal::parse(std::string(60, '9'), huge));
    EXPECT_GT(huge.v, static_cast<__int128>(0));
}
