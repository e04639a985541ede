#include "storage/engine/expr.h"

#include "storage/engine/key_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace mk::dbase {

// ---------------------------------------------------------------- helpers

namespace {
// 10^0 .. 10^19, every power that fits 64 bits.
constexpr auto kPow10 = [] {
    std::array<uint64_t, 20> t{};
    uint64_t v = 1;
    for (auto& x : t) {
        x = v;
        v *= 10; // wraps after the last one, unused
    }
    return t;
}();

// Number of decimal digits of x (1 for 0).
int digitCount(uint64_t x)
{
    // From the bit length: log10(2) ~ 1233 / 4096, then one comparison.
    const int t = ((64 - __builtin_clzll(x | 1)) * 1233) >> 12;
    return t - ((x | 1) < kPow10[size_t(t)] ? 1 : 0) + 1;
}

// The low `count` decimal digits of x into p[0..count), two at a time.
void putDigits(uint64_t x, char* p, int count)
{
    static constexpr auto kPairs = [] {
        std::array<char, 200> t{};
        for (int i = 0; i < 100; ++i) {
            t[size_t(2 * i)] = char('0' + i / 10);
            t[size_t(2 * i + 1)] = char('0' + i % 10);
        }
        return t;
    }();
    int i = count;
    while (i >= 2) {
        const size_t r = size_t(x % 100);
        x /= 100;
        i -= 2;
        p[i] = kPairs[2 * r];
        p[i + 1] = kPairs[2 * r + 1];
    }
    if (i == 1)
        p[0] = char('0' + int(x % 10));
}
} // namespace

bool Decimal::parse(std::string_view t, Decimal& out)
{
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
        ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        neg = t[i] == '-';
        ++i;
    }
    // The integer part collects in 64 bits while it has at most 18 digits
    // (every field value but the widest); past 29 digits further digits are
    // dropped, so that the scaled value cannot overflow.
    constexpr uint64_t k64Limit = 1000000000000000000ULL;                      // 10^18
    const __int128 bigLimit = static_cast<__int128>(k64Limit) * 10000000000LL; // 10^28
    uint64_t small = 0;
    __int128 whole = 0;
    bool big = false;
    uint64_t frac = 0;
    int fracDigits = 0;
    bool any = false;
    bool dot = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            any = true;
            const int d = c - '0';
            if (dot) {
                if (fracDigits < 9) {
                    frac = frac * 10 + uint64_t(d);
                    ++fracDigits;
                }
            } else if (!big && small < k64Limit) {
                small = small * 10 + uint64_t(d);
            } else {
                if (!big) {
                    whole = static_cast<__int128>(small);
                    big = true;
                }
                if (whole < bigLimit)
                    whole = whole * 10 + d;
            }
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            break;
        }
    }
    if (!any)
        return false;
    frac *= kPow10[9 - fracDigits];
    if (!big)
        whole = static_cast<__int128>(small);
    out.v = whole * kScale + static_cast<__int128>(frac);
    if (neg)
        out.v = -out.v;
    return true;
}

double Decimal::toDouble() const
{
    __int128 a = v < 0 ? -v : v;
    double d = static_cast<double>(static_cast<long double>(a / kScale)) +
               static_cast<double>(static_cast<int64_t>(a % kScale)) / kScale;
    return v < 0 ? -d : d;
}

int64_t julianFromCivil(int y, int m, int d)
{
    // Days from 1970-01-01 (proleptic Gregorian), then the Julian day offset.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 2440588;
}

void civilFromJulian(int64_t jd, int& y, int& m, int& d)
{
    int64_t z = jd - 2440588 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

static bool validDate(int y, int m, int d)
{
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1)
        return false;
    static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int md = mdays[m - 1];
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        md = 29;
    return d <= md;
}

int64_t julianFromDbfDate(std::string_view s)
{
    if (s.size() < 8)
        return 0;
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return 0;
        v[i] = s[i] - '0';
    }
    int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    int m = v[4] * 10 + v[5];
    int d = v[6] * 10 + v[7];
    if (!validDate(y, m, d))
        return 0;
    return julianFromCivil(y, m, d);
}

static std::string dtos(int64_t jd)
{
    std::string out(8, ' ');
    writeDtos(jd, out.data());
    return out;
}

void writeDtos(int64_t jd, char* out)
{
    if (jd == 0) {
        std::memset(out, ' ', 8);
        return;
    }
    int y, m, d;
    civilFromJulian(jd, y, m, d);
    if (y >= 0 && y <= 9999) {
        const int v[8] = {y / 1000, y / 100 % 10, y / 10 % 10, y % 10, m / 10, m % 10, d / 10, d % 10};
        for (int i = 0; i < 8; ++i)
            out[i] = char('0' + v[i]);
        return;
    }
    // Years beyond four digits (date arithmetic far out): the printed form, cut to 8.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    std::memcpy(out, buf, 8);
}

void writeDtoc(int64_t jd, char* out)
{
    if (jd == 0) {
        std::memcpy(out, "  /  /  ", 8);
        return;
    }
    int y, m, d;
    civilFromJulian(jd, y, m, d);
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", m, d, y % 100);
    std::memset(out, ' ', 8);
    std::memcpy(out, buf, size_t(std::min(n, 8)));
}

int decimalDigits(unsigned __int128 value, char* out)
{
    // Chunks of 19 digits (base 10^19), each written in 64-bit arithmetic.
    constexpr uint64_t kBase = 10000000000000000000ULL; // 10^19
    if (value >> 64 == 0) {
        const auto x = static_cast<uint64_t>(value);
        const int n = digitCount(x);
        putDigits(x, out, n);
        return n;
    }
    const unsigned __int128 hi = value / kBase;
    const auto lo = static_cast<uint64_t>(value - hi * kBase);
    int n = decimalDigits(hi, out);
    putDigits(lo, out + n, 19);
    return n + 19;
}

// STR() of magnitudes of twenty integer digits and more, digit by digit in
// 128 bits.
static void wideDbaseStr(unsigned __int128 a, bool neg, int width, int decimals, char* out)
{
    int intDigits = 1;
    for (unsigned __int128 w = a / Decimal::kScale; w >= 10; w /= 10)
        ++intDigits;
    const int room = width - intDigits - (neg ? 1 : 0) - 1;
    const int startDec = std::min(decimals, std::max(room, 0));
    char buf[64];
    for (int dec = startDec; dec >= 0; --dec) {
        unsigned __int128 unit = 1;
        for (int i = 0; i < 9 - dec; ++i)
            unit *= 10;
        unsigned __int128 x = (a + unit / 2) / unit; // rounded to dec digits
        const bool nonzero = x != 0;
        int pos = int(sizeof buf);
        for (int i = 0; i < dec; ++i) {
            buf[--pos] = char('0' + int(x % 10));
            x /= 10;
        }
        if (dec > 0)
            buf[--pos] = '.';
        do {
            buf[--pos] = char('0' + int(x % 10));
            x /= 10;
        } while (x > 0 && pos > 1);
        if (neg && nonzero)
            buf[--pos] = '-';
        const int len = int(sizeof buf) - pos;
        if (len <= width) {
            std::memset(out, ' ', size_t(width - len));
            std::memcpy(out + (width - len), buf + pos, size_t(len));
            return;
        }
    }
    std::memset(out, '*', size_t(width));
}

std::string dbaseStr(Decimal value, int width, int decimals)
{
    std::string out(size_t(std::clamp(width, 1, 255)), ' ');
    writeDbaseStr(value, width, decimals, out.data());
    return out;
}

void writeDbaseStr(Decimal value, int width, int decimals, char* out)
{
    width = std::clamp(width, 1, 255);
    decimals = std::clamp(decimals, 0, 9);
    const bool neg = value.v < 0;
    const unsigned __int128 a =
            neg ? -static_cast<unsigned __int128>(value.v) : static_cast<unsigned __int128>(value.v);
    // The integer part and the nine fractional digits apart: one wide
    // division, the rest in 64 bits.
    uint64_t ip;
    uint64_t frac;
    if (a >> 64 == 0) {
        ip = static_cast<uint64_t>(a) / uint64_t(Decimal::kScale);
        frac = static_cast<uint64_t>(a) % uint64_t(Decimal::kScale);
    } else {
        const unsigned __int128 q = a / uint64_t(Decimal::kScale);
        frac = static_cast<uint64_t>(a - q * uint64_t(Decimal::kScale));
        if (q >= kPow10[19]) { // beyond any field value: the plain wide loop
            wideDbaseStr(a, neg, width, decimals, out);
            return;
        }
        ip = static_cast<uint64_t>(q);
    }
    const int intDigits = digitCount(ip);
    // Start with the decimals that can fit beside the integer part (rounding
    // may still need one digit more, which the loop handles).
    const int room = width - intDigits - (neg ? 1 : 0) - 1;
    const int startDec = std::min(decimals, std::max(room, 0));
    for (int dec = startDec; dec >= 0; --dec) {
        const uint64_t unit = kPow10[9 - dec];
        uint64_t f = (frac + unit / 2) / unit; // rounded to dec digits
        uint64_t whole = ip;
        if (f >= kPow10[dec]) {
            f -= kPow10[dec];
            ++whole; // ip < 10^19, so no overflow
        }
        const int wholeDigits = digitCount(whole);
        const bool minus = neg && (whole != 0 || f != 0);
        const int len = (minus ? 1 : 0) + wholeDigits + (dec > 0 ? dec + 1 : 0);
        if (len > width)
            continue;
        char* p = out + (width - len);
        std::memset(out, ' ', size_t(width - len));
        if (minus)
            *p++ = '-';
        putDigits(whole, p, wholeDigits);
        p += wholeDigits;
        if (dec > 0) {
            *p++ = '.';
            putDigits(f, p, dec);
        }
        return;
    }
    std::memset(out, '*', size_t(width));
}

unsigned char upper1252(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

static std::string upperName(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// ---------------------------------------------------------------- tree

enum class Op { Field, Num, Date, Str, Plus, Minus, Neg, Func, Logic, Compare, Contains, And, Or, Not };

struct KeyExpression::Node
{
    Op op = Op::Num;
    char type = 'N'; // static result type: C N D L, or M for a memo field
    int length = 0;  // static width of a text result
    int field = -1;
    const ExprField* fieldDef = nullptr;
    Decimal num;
    int64_t date = 0;
    std::string str;
    std::string func;
    std::vector<std::shared_ptr<Node>> args;
    // Constant integer arguments resolved at parse time (SUBSTR, STR, ...).
    std::vector<int64_t> constArgs;
};

using NodeP = std::shared_ptr<KeyExpression::Node>;

namespace {

struct Token
{
    enum Kind {
        End,
        Name,
        Number,
        String,
        DateLit,
        LParen,
        RParen,
        Comma,
        Plus,
        Minus,
        Arrow,
        Relation, // = # <> < <= > >= (the text says which)
        Dollar,
        And,
        Or,
        Not,
        Logical // .T. .F. .Y. .N. (the text is "T" or "F")
    } kind = End;
    std::string text;
};

class Parser
{
public:
    Parser(std::string_view src, const std::vector<ExprField>& fields, std::vector<ExprField>& owned)
        : m_src(src)
        , m_fields(fields)
        , m_owned(owned)
    {
        next();
    }

    NodeP parseAll()
    {
        NodeP n = parseOr();
        if (m_tok.kind != Token::End)
            fail("unexpected \"" + m_tok.text + "\"");
        return n;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw ExprError("Invalid index expression \"" + std::string(m_src) + "\": " + what);
    }

    void next()
    {
        while (m_pos < m_src.size() && std::isspace(static_cast<unsigned char>(m_src[m_pos])))
            ++m_pos;
        m_tok = Token{};
        if (m_pos >= m_src.size())
            return;
        char c = m_src[m_pos];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t b = m_pos;
            while (m_pos < m_src.size() &&
                   (std::isalnum(static_cast<unsigned char>(m_src[m_pos])) || m_src[m_pos] == '_'))
                ++m_pos;
            m_tok = {Token::Name, std::string(m_src.substr(b, m_pos - b))};
        } else if (c == '.' && m_pos + 1 < m_src.size() && std::isalpha(static_cast<unsigned char>(m_src[m_pos + 1]))) {
            // .AND. .OR. .NOT. .T. .F. .Y. .N.
            size_t e = m_pos + 1;
            while (e < m_src.size() && std::isalpha(static_cast<unsigned char>(m_src[e])))
                ++e;
            if (e >= m_src.size() || m_src[e] != '.')
                fail("unterminated operator \"" + std::string(m_src.substr(m_pos, e - m_pos)) + "\"");
            const std::string w = upperName(m_src.substr(m_pos + 1, e - m_pos - 1));
            m_pos = e + 1;
            if (w == "AND")
                m_tok = {Token::And, ".AND."};
            else if (w == "OR")
                m_tok = {Token::Or, ".OR."};
            else if (w == "NOT")
                m_tok = {Token::Not, ".NOT."};
            else if (w == "T" || w == "Y")
                m_tok = {Token::Logical, "T"};
            else if (w == "F" || w == "N")
                m_tok = {Token::Logical, "F"};
            else
                fail("unknown operator ." + w + ".");
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            size_t b = m_pos;
            while (m_pos < m_src.size() &&
                   (std::isdigit(static_cast<unsigned char>(m_src[m_pos])) || m_src[m_pos] == '.'))
                ++m_pos;
            m_tok = {Token::Number, std::string(m_src.substr(b, m_pos - b))};
        } else if (c == '"' || c == '\'') {
            size_t e = m_src.find(c, m_pos + 1);
            if (e == std::string_view::npos)
                fail("unterminated text");
            m_tok = {Token::String, std::string(m_src.substr(m_pos + 1, e - m_pos - 1))};
            m_pos = e + 1;
        } else if (c == '{') {
            size_t e = m_src.find('}', m_pos + 1);
            if (e == std::string_view::npos)
                fail("unterminated date");
            m_tok = {Token::DateLit, std::string(m_src.substr(m_pos + 1, e - m_pos - 1))};
            m_pos = e + 1;
        } else {
            ++m_pos;
            switch (c) {
            case '(':
                m_tok = {Token::LParen, "("};
                break;
            case ')':
                m_tok = {Token::RParen, ")"};
                break;
            case ',':
                m_tok = {Token::Comma, ","};
                break;
            case '+':
                m_tok = {Token::Plus, "+"};
                break;
            case '$':
                m_tok = {Token::Dollar, "$"};
                break;
            case '=':
                if (m_pos < m_src.size() && m_src[m_pos] == '=')
                    ++m_pos; // == reads as =
                m_tok = {Token::Relation, "="};
                break;
            case '#':
                m_tok = {Token::Relation, "#"};
                break;
            case '!':
                if (m_pos < m_src.size() && m_src[m_pos] == '=') {
                    ++m_pos;
                    m_tok = {Token::Relation, "#"};
                } else {
                    m_tok = {Token::Not, "!"};
                }
                break;
            case '<':
                if (m_pos < m_src.size() && m_src[m_pos] == '>') {
                    ++m_pos;
                    m_tok = {Token::Relation, "#"};
                } else if (m_pos < m_src.size() && m_src[m_pos] == '=') {
                    ++m_pos;
                    m_tok = {Token::Relation, "<="};
                } else {
                    m_tok = {Token::Relation, "<"};
                }
                break;
            case '>':
                if (m_pos < m_src.size() && m_src[m_pos] == '=') {
                    ++m_pos;
                    m_tok = {Token::Relation, ">="};
                } else {
                    m_tok = {Token::Relation, ">"};
                }
                break;
            case '-':
                if (m_pos < m_src.size() && m_src[m_pos] == '>') {
                    ++m_pos;
                    m_tok = {Token::Arrow, "->"};
                } else {
                    m_tok = {Token::Minus, "-"};
                }
                break;
            default:
                fail(std::string("unexpected character '") + c + "'");
            }
        }
    }

    // Conditions, loosest first: .OR., .AND., .NOT., then one comparison
    // (= # <> < <= > >= $) between two sums.
    NodeP parseOr()
    {
        NodeP left = parseAnd();
        while (m_tok.kind == Token::Or) {
            next();
            left = logicNode(Op::Or, left, parseAnd());
        }
        return left;
    }

    NodeP parseAnd()
    {
        NodeP left = parseNot();
        while (m_tok.kind == Token::And) {
            next();
            left = logicNode(Op::And, left, parseNot());
        }
        return left;
    }

    NodeP parseNot()
    {
        if (m_tok.kind == Token::Not) {
            next();
            return logicNode(Op::Not, parseNot(), nullptr);
        }
        return parseComparison();
    }

    NodeP logicNode(Op op, const NodeP& a, const NodeP& b)
    {
        if (a->type != 'L' || (b && b->type != 'L'))
            fail(std::string(op == Op::And ? ".AND." : op == Op::Or ? ".OR." : ".NOT.") + " needs logical operands");
        auto n = std::make_shared<KeyExpression::Node>();
        n->op = op;
        n->type = 'L';
        n->args = {a};
        if (b)
            n->args.push_back(b);
        return n;
    }

    NodeP parseComparison()
    {
        NodeP left = parseSum();
        if (m_tok.kind != Token::Relation && m_tok.kind != Token::Dollar)
            return left;
        const bool contains = m_tok.kind == Token::Dollar;
        const std::string rel = m_tok.text;
        next();
        NodeP right = parseSum();
        auto n = std::make_shared<KeyExpression::Node>();
        n->type = 'L';
        n->args = {left, right};
        if (contains) {
            if (left->type != 'C' || right->type != 'C')
                fail("$ needs two texts");
            n->op = Op::Contains;
        } else {
            const char ta = left->type == 'M' ? 'C' : left->type;
            const char tb = right->type == 'M' ? 'C' : right->type;
            if (ta != tb || left->type == 'M' || right->type == 'M')
                fail("operator " + rel + " compares values of one type");
            if (ta == 'L' && rel != "=" && rel != "#")
                fail("logical values can only be compared with = and #");
            n->op = Op::Compare;
            n->func = rel;
        }
        if (m_tok.kind == Token::Relation || m_tok.kind == Token::Dollar)
            fail("comparisons cannot be chained");
        return n;
    }

    NodeP parseSum()
    {
        NodeP left = parseUnary();
        while (m_tok.kind == Token::Plus || m_tok.kind == Token::Minus) {
            bool plus = m_tok.kind == Token::Plus;
            next();
            NodeP right = parseUnary();
            left = combine(plus, left, right);
        }
        return left;
    }

    NodeP combine(bool plus, const NodeP& a, const NodeP& b)
    {
        auto n = std::make_shared<KeyExpression::Node>();
        n->op = plus ? Op::Plus : Op::Minus;
        n->args = {a, b};
        char ta = a->type, tb = b->type;
        if (ta == 'C' && tb == 'C') {
            n->type = 'C';
            n->length = a->length + b->length;
        } else if (ta == 'N' && tb == 'N') {
            n->type = 'N';
        } else if (ta == 'D' && tb == 'N') {
            n->type = 'D';
        } else if (plus && ta == 'N' && tb == 'D') {
            n->type = 'D';
        } else if (!plus && ta == 'D' && tb == 'D') {
            n->type = 'N';
        } else {
            fail(std::string("operator ") + (plus ? "+" : "-") + " does not apply to these types");
        }
        return n;
    }

    NodeP parseUnary()
    {
        if (m_tok.kind == Token::Minus) {
            next();
            NodeP x = parseUnary();
            if (x->type != 'N')
                fail("unary minus needs a number");
            auto n = std::make_shared<KeyExpression::Node>();
            n->op = Op::Neg;
            n->type = 'N';
            n->args = {x};
            return n;
        }
        if (m_tok.kind == Token::Plus) {
            next();
            return parseUnary();
        }
        return parsePrimary();
    }

    NodeP parsePrimary()
    {
        auto n = std::make_shared<KeyExpression::Node>();
        switch (m_tok.kind) {
        case Token::Number: {
            if (!Decimal::parse(m_tok.text, n->num))
                fail("bad number \"" + m_tok.text + "\"");
            n->op = Op::Num;
            n->type = 'N';
            next();
            return n;
        }
        case Token::String:
            n->op = Op::Str;
            n->type = 'C';
            n->str = m_tok.text;
            n->length = static_cast<int>(n->str.size());
            next();
            return n;
        case Token::DateLit:
            n->op = Op::Date;
            n->type = 'D';
            n->date = parseDateLiteral(m_tok.text);
            next();
            return n;
        case Token::Logical:
            n->op = Op::Logic;
            n->type = 'L';
            n->num = Decimal::fromInt(m_tok.text == "T" ? 1 : 0);
            next();
            return n;
        case Token::LParen: {
            next();
            NodeP inner = parseOr();
            expect(Token::RParen);
            return inner;
        }
        case Token::Name: {
            std::string name = upperName(m_tok.text);
            next();
            if (m_tok.kind == Token::Arrow) { // alias->field: the alias is the table itself
                next();
                if (m_tok.kind != Token::Name)
                    fail("field name expected after ->");
                name = upperName(m_tok.text);
                next();
                return fieldNode(name);
            }
            if (m_tok.kind == Token::LParen) {
                next();
                std::vector<NodeP> args;
                if (m_tok.kind != Token::RParen) {
                    // Arguments are whole expressions: IIF takes a condition.
                    args.push_back(parseOr());
                    while (m_tok.kind == Token::Comma) {
                        next();
                        args.push_back(parseOr());
                    }
                }
                expect(Token::RParen);
                return funcNode(name, std::move(args));
            }
            return fieldNode(name);
        }
        default:
            fail(m_tok.kind == Token::End ? "unexpected end" : "unexpected \"" + m_tok.text + "\"");
        }
    }

    void expect(Token::Kind k)
    {
        if (m_tok.kind != k)
            fail(m_tok.kind == Token::End ? "unexpected end" : "unexpected \"" + m_tok.text + "\"");
        next();
    }

    int64_t parseDateLiteral(const std::string& t)
    {
        std::string s;
        for (char c : t)
            if (c != ' ')
                s += c;
        if (s.empty() || s == "//")
            return 0;
        int parts[3] = {0, 0, 0};
        int np = 0;
        int digits[3] = {0, 0, 0};
        for (char c : s) {
            if (c >= '0' && c <= '9') {
                if (np > 2)
                    fail("bad date {" + t + "}");
                parts[np] = parts[np] * 10 + (c - '0');
                ++digits[np];
            } else if (c == '/' || c == '-' || c == '.') {
                ++np;
            } else {
                fail("bad date {" + t + "}");
            }
        }
        if (np != 2)
            fail("bad date {" + t + "}");
        int m = parts[0], d = parts[1], y = parts[2];
        if (digits[2] <= 2)
            y += 1900;
        if (!validDate(y, m, d))
            fail("bad date {" + t + "}");
        return julianFromCivil(y, m, d);
    }

    NodeP fieldNode(const std::string& name)
    {
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (upperName(m_fields[i].name) == name) {
                auto n = std::make_shared<KeyExpression::Node>();
                n->op = Op::Field;
                n->field = static_cast<int>(i);
                m_owned.push_back(m_fields[i]);
                const ExprField& f = m_fields[i];
                switch (f.type) {
                case 'C':
                    n->type = 'C';
                    n->length = f.length;
                    break;
                case 'N':
                case 'F':
                case 'I':
                case 'Y':
                case 'O':
                case '+':
                    n->type = 'N';
                    break;
                case 'D':
                    n->type = 'D';
                    break;
                case 'L':
                    n->type = 'L';
                    break;
                case 'M':
                    n->type = 'M';
                    break;
                default:
                    fail("field " + name + " cannot be used in an index expression");
                }
                return n;
            }
        }
        fail("unknown field or name " + name);
    }

    static bool constInt(const NodeP& n, int64_t& out)
    {
        if (n->op == Op::Num) {
            out = static_cast<int64_t>(n->num.v / Decimal::kScale);
            return true;
        }
        if (n->op == Op::Neg && n->args[0]->op == Op::Num) {
            out = -static_cast<int64_t>(n->args[0]->num.v / Decimal::kScale);
            return true;
        }
        return false;
    }

    void needArgs(const std::string& f, const std::vector<NodeP>& a, size_t lo, size_t hi)
    {
        if (a.size() < lo || a.size() > hi)
            fail("wrong number of arguments to " + f);
    }

    void needType(const std::string& f, const NodeP& a, char t)
    {
        if (a->type != t)
            fail(std::string("wrong argument type to ") + f);
    }

    int64_t needConst(const std::string& f, const NodeP& a)
    {
        int64_t v = 0;
        needType(f, a, 'N');
        if (!constInt(a, v))
            fail("the width arguments of " + f + " must be numbers");
        return v;
    }

    NodeP funcNode(const std::string& f, std::vector<NodeP> a)
    {
        auto n = std::make_shared<KeyExpression::Node>();
        n->op = Op::Func;
        n->func = f;
        if (f == "UPPER" || f == "LOWER" || f == "TRIM" || f == "RTRIM" || f == "LTRIM") {
            needArgs(f, a, 1, 1);
            needType(f, a[0], 'C');
            n->type = 'C';
            n->length = a[0]->length;
        } else if (f == "SUBSTR") {
            needArgs(f, a, 2, 3);
            needType(f, a[0], 'C');
            int64_t start = needConst(f, a[1]);
            if (start < 1)
                start = 1;
            int64_t avail = std::max<int64_t>(0, a[0]->length - start + 1);
            int64_t len = avail;
            if (a.size() == 3)
                len = std::clamp<int64_t>(needConst(f, a[2]), 0, avail);
            n->constArgs = {start, len};
            n->type = 'C';
            n->length = static_cast<int>(len);
        } else if (f == "LEFT" || f == "RIGHT") {
            needArgs(f, a, 2, 2);
            needType(f, a[0], 'C');
            int64_t len = std::clamp<int64_t>(needConst(f, a[1]), 0, a[0]->length);
            n->constArgs = {len};
            n->type = 'C';
            n->length = static_cast<int>(len);
        } else if (f == "STR") {
            needArgs(f, a, 1, 3);
            needType(f, a[0], 'N');
            int64_t w = a.size() > 1 ? needConst(f, a[1]) : 10;
            int64_t d = a.size() > 2 ? needConst(f, a[2]) : 0;
            if (w < 1 || w > 255 || d < 0)
                fail("bad width in STR");
            n->constArgs = {w, d};
            n->type = 'C';
            n->length = static_cast<int>(w);
        } else if (f == "DTOS" || f == "DTOC") {
            needArgs(f, a, 1, 1);
            needType(f, a[0], 'D');
            n->type = 'C';
            n->length = 8;
        } else if (f == "MLINE") {
            needArgs(f, a, 2, 2);
            needType(f, a[0], 'M');
            needType(f, a[1], 'N');
            n->type = 'C';
            n->length = kMemoWidth;
        } else if (f == "VAL") {
            needArgs(f, a, 1, 1);
            needType(f, a[0], 'C');
            n->type = 'N';
        } else if (f == "CTOD") {
            needArgs(f, a, 1, 1);
            needType(f, a[0], 'C');
            n->type = 'D';
        } else if (f == "DELETED") {
            needArgs(f, a, 0, 0);
            n->type = 'L';
        } else if (f == "YEAR" || f == "MONTH" || f == "DAY") {
            needArgs(f, a, 1, 1);
            needType(f, a[0], 'D');
            n->type = 'N';
        } else if (f == "ABS" || f == "INT") {
            needArgs(f, a, 1, 1);
            needType(f, a[0], 'N');
            n->type = 'N';
        } else if (f == "ROUND") {
            needArgs(f, a, 2, 2);
            needType(f, a[0], 'N');
            n->constArgs = {std::clamp<int64_t>(needConst(f, a[1]), -18, 9)};
            n->type = 'N';
        } else if (f == "IIF") {
            needArgs(f, a, 3, 3);
            needType(f, a[0], 'L');
            needType(f, a[2], a[1]->type);
            n->type = a[1]->type;
            n->length = std::max(a[1]->length, a[2]->length);
        } else if (f == "EMPTY" || f == "ISBLANK") {
            needArgs(f, a, 1, 1);
            n->type = 'L';
        } else {
            fail("unknown function " + f);
        }
        n->args = std::move(a);
        return n;
    }

public:
    static constexpr int kMemoWidth = 50; // dBASE's default memo width

private:
    std::string_view m_src;
    const std::vector<ExprField>& m_fields;
    std::vector<ExprField>& m_owned;
    size_t m_pos = 0;
    Token m_tok;
};

std::string memoLine(const std::string& memo, int64_t n, int width)
{
    // Lines end at CR LF, LF or CR, and are wrapped at the memo width
    // (at the last blank when there is one).
    if (n < 1)
        return {};
    int64_t line = 0;
    size_t i = 0;
    while (i <= memo.size()) {
        size_t end = i;
        while (end < memo.size() && memo[end] != '\r' && memo[end] != '\n' && memo[end] != 0x1A)
            ++end;
        // wrap inside [i, end)
        size_t p = i;
        do {
            size_t take = std::min<size_t>(width, end - p);
            size_t stop = p + take;
            size_t nextStart = stop;
            if (stop < end) {
                size_t sp = memo.rfind(' ', stop);
                if (sp != std::string::npos && sp > p) {
                    stop = sp;
                    nextStart = sp + 1;
                }
            }
            if (++line == n)
                return memo.substr(p, stop - p);
            p = nextStart;
        } while (p < end);
        if (end >= memo.size() || memo[end] == 0x1A)
            break;
        i = end + 1;
        if (memo[end] == '\r' && i < memo.size() && memo[i] == '\n')
            ++i;
        if (i >= memo.size())
            break;
    }
    return {};
}

struct Evaluator
{
    const uint8_t* rec;
    size_t size;
    const MemoReader& memo;
    const std::vector<ExprField>& fields;

    std::string_view raw(const KeyExpression::Node& n) const
    {
        const ExprField& f = fields[n.field];
        if (f.offset < 0 || static_cast<size_t>(f.offset + f.length) > size)
            throw ExprError("record too short for field " + f.name);
        return {reinterpret_cast<const char*>(rec) + f.offset, static_cast<size_t>(f.length)};
    }

    static std::string fit(std::string s, int len)
    {
        s.resize(static_cast<size_t>(std::max(len, 0)), ' ');
        return s;
    }

    ExprValue eval(const KeyExpression::Node& n) const
    {
        ExprValue v;
        v.type = n.type;
        switch (n.op) {
        case Op::Num:
            v.num = n.num;
            return v;
        case Op::Date:
            v.date = n.date;
            return v;
        case Op::Str:
            v.text = n.str;
            return v;
        case Op::Field: {
            std::string_view r = raw(n);
            switch (n.type) {
            case 'C':
                v.text.assign(r);
                break;
            case 'N': {
                Decimal d;
                if (!Decimal::parse(r, d))
                    d = Decimal{};
                v.num = d;
                break;
            }
            case 'D':
                v.date = julianFromDbfDate(r);
                break;
            case 'L':
                v.logical = !r.empty() && std::strchr("TtYy", r[0]) != nullptr && r[0] != 0;
                break;
            case 'M':
                v.text.assign(r);
                break;
            }
            return v;
        }
        case Op::Neg:
            v.num = Decimal{} - eval(*n.args[0]).num;
            return v;
        case Op::Plus:
        case Op::Minus: {
            ExprValue a = eval(*n.args[0]);
            ExprValue b = eval(*n.args[1]);
            const bool plus = n.op == Op::Plus;
            if (a.type == 'C') {
                if (plus) {
                    v.text = a.text + b.text;
                } else { // dBASE "-": trailing blanks of the left part move to the end
                    size_t e = a.text.find_last_not_of(' ');
                    std::string t = e == std::string::npos ? std::string() : a.text.substr(0, e + 1);
                    v.text = t + b.text + std::string(a.text.size() - t.size(), ' ');
                }
            } else if (a.type == 'N' && b.type == 'N') {
                v.num = plus ? a.num + b.num : a.num - b.num;
            } else if (a.type == 'D' && b.type == 'N') {
                int64_t days = static_cast<int64_t>(b.num.v / Decimal::kScale);
                v.date = a.date == 0 ? 0 : (plus ? a.date + days : a.date - days);
            } else if (a.type == 'N' && b.type == 'D') {
                v.date = b.date == 0 ? 0 : b.date + static_cast<int64_t>(a.num.v / Decimal::kScale);
            } else { // D - D
                v.num = Decimal::fromInt(a.date - b.date);
            }
            return v;
        }
        case Op::Func:
            return func(n);
        case Op::Logic:
            v.logical = n.num.v != 0;
            return v;
        case Op::Not:
            v.logical = !eval(*n.args[0]).logical;
            return v;
        case Op::And:
            // Evaluated left to right; the right side only when needed.
            v.logical = eval(*n.args[0]).logical && eval(*n.args[1]).logical;
            return v;
        case Op::Or:
            v.logical = eval(*n.args[0]).logical || eval(*n.args[1]).logical;
            return v;
        case Op::Contains: {
            const ExprValue a = eval(*n.args[0]);
            const ExprValue b = eval(*n.args[1]);
            v.logical = b.text.find(a.text) != std::string::npos;
            return v;
        }
        case Op::Compare: {
            const ExprValue a = eval(*n.args[0]);
            const ExprValue b = eval(*n.args[1]);
            int c = 0;
            switch (a.type) {
            case 'C':
                c = compareText(a.text, b.text);
                break;
            case 'N':
                c = a.num < b.num ? -1 : (b.num < a.num ? 1 : 0);
                break;
            case 'D':
                c = a.date < b.date ? -1 : (a.date > b.date ? 1 : 0);
                break;
            default:
                c = a.logical == b.logical ? 0 : 1;
                break;
            }
            const std::string& r = n.func;
            v.logical = r == "="    ? c == 0
                        : r == "#"  ? c != 0
                        : r == "<"  ? c < 0
                        : r == "<=" ? c <= 0
                        : r == ">"  ? c > 0
                                    : c >= 0;
            return v;
        }
        }
        return v;
    }

    // Text comparison as dBASE does it with SET EXACT OFF: the left text is
    // compared only up to the length of the right one, so "Barolo 1990" =
    // "Barolo" holds and anything = "" holds. Bytes compare unsigned
    // (Windows-1252 order, as the keys); a left text that ends first is smaller.
    static int compareText(const std::string& a, const std::string& b)
    {
        const size_t n = std::min(a.size(), b.size());
        const int c = std::memcmp(a.data(), b.data(), n);
        if (c != 0)
            return c < 0 ? -1 : 1;
        return a.size() < b.size() ? -1 : 0;
    }

    // Text results appended to `out`, fixed to the node's width, without the
    // temporary values of eval(): the hot path of key building.
    void evalText(const KeyExpression::Node& n, std::string& out) const
    {
        const size_t start = out.size();
        if (n.op == Op::Field && n.type == 'C') {
            out.append(raw(n));
        } else if (n.op == Op::Str) {
            out.append(n.str);
        } else if (n.op == Op::Plus && n.type == 'C') {
            evalText(*n.args[0], out);
            evalText(*n.args[1], out);
        } else if (n.op == Op::Func && n.func == "UPPER") {
            evalText(*n.args[0], out);
            for (size_t i = start; i < out.size(); ++i)
                out[i] = static_cast<char>(upper1252(static_cast<unsigned char>(out[i])));
        } else if (n.op == Op::Func && n.func == "SUBSTR") {
            evalText(*n.args[0], out);
            const size_t from = static_cast<size_t>(n.constArgs[0] - 1);
            const size_t len = static_cast<size_t>(n.constArgs[1]);
            const size_t have = out.size() - start;
            if (from >= have) {
                out.resize(start);
            } else {
                out.erase(start, from);
                if (out.size() - start > len)
                    out.resize(start + len);
            }
        } else {
            ExprValue v = eval(n);
            out.append(v.text);
        }
        out.resize(start + static_cast<size_t>(std::max(n.length, 0)), ' ');
    }

    ExprValue func(const KeyExpression::Node& n) const
    {
        ExprValue v;
        v.type = n.type;
        const std::string& f = n.func;
        if (f == "UPPER" || f == "LOWER") {
            v.text = eval(*n.args[0]).text;
            for (auto& c : v.text) {
                auto u = static_cast<unsigned char>(c);
                if (f == "UPPER")
                    c = static_cast<char>(upper1252(u));
                else if (u >= 'A' && u <= 'Z')
                    c = static_cast<char>(u + 32);
            }
        } else if (f == "TRIM" || f == "RTRIM") {
            v.text = eval(*n.args[0]).text;
            size_t e = v.text.find_last_not_of(' ');
            v.text.resize(e == std::string::npos ? 0 : e + 1);
        } else if (f == "LTRIM") {
            v.text = eval(*n.args[0]).text;
            size_t b = v.text.find_first_not_of(' ');
            v.text = b == std::string::npos ? std::string() : v.text.substr(b);
        } else if (f == "SUBSTR") {
            std::string s = eval(*n.args[0]).text;
            size_t start = static_cast<size_t>(n.constArgs[0] - 1);
            v.text = start < s.size() ? s.substr(start, static_cast<size_t>(n.constArgs[1])) : std::string();
        } else if (f == "LEFT") {
            v.text = eval(*n.args[0]).text.substr(0, static_cast<size_t>(n.constArgs[0]));
        } else if (f == "RIGHT") {
            std::string s = eval(*n.args[0]).text;
            size_t len = static_cast<size_t>(n.constArgs[0]);
            v.text = s.size() > len ? s.substr(s.size() - len) : s;
        } else if (f == "STR") {
            v.text = dbaseStr(eval(*n.args[0]).num, static_cast<int>(n.constArgs[0]), static_cast<int>(n.constArgs[1]));
        } else if (f == "DTOS") {
            v.text = dtos(eval(*n.args[0]).date);
        } else if (f == "DTOC") {
            v.text.assign(8, ' ');
            writeDtoc(eval(*n.args[0]).date, v.text.data());
        } else if (f == "MLINE") {
            const KeyExpression::Node& fieldNode = *n.args[0];
            int64_t line = static_cast<int64_t>(eval(*n.args[1]).num.v / Decimal::kScale);
            std::string text;
            if (memo) {
                text = memo(fieldNode.field, raw(fieldNode));
            } else {
                throw ExprError("no memo file for MLINE");
            }
            v.text = memoLine(text, line, Parser::kMemoWidth);
        } else if (f == "VAL") {
            Decimal d;
            if (!Decimal::parse(eval(*n.args[0]).text, d))
                d = Decimal{};
            v.num = d;
        } else if (f == "CTOD") {
            std::string s = eval(*n.args[0]).text;
            int m = 0, d = 0, y = 0;
            if (std::sscanf(s.c_str(), "%d/%d/%d", &m, &d, &y) == 3) {
                if (y < 100)
                    y += 1900;
                v.date = validDate(y, m, d) ? julianFromCivil(y, m, d) : 0;
            }
        } else if (f == "DELETED") {
            v.logical = size > 0 && rec[0] == '*';
        } else if (f == "YEAR" || f == "MONTH" || f == "DAY") {
            const int64_t jd = eval(*n.args[0]).date;
            int y = 0, m = 0, d = 0;
            if (jd != 0)
                civilFromJulian(jd, y, m, d);
            v.num = Decimal::fromInt(f == "YEAR" ? y : (f == "MONTH" ? m : d));
        } else if (f == "ABS") {
            v.num = eval(*n.args[0]).num;
            if (v.num.v < 0)
                v.num.v = -v.num.v;
        } else if (f == "INT") {
            v.num = eval(*n.args[0]).num; // toward zero
            v.num.v = v.num.v / Decimal::kScale * Decimal::kScale;
        } else if (f == "ROUND") {
            // Half away from zero, at the given number of decimals.
            v.num = eval(*n.args[0]).num;
            __int128 unit = 1;
            for (int64_t i = n.constArgs[0]; i < 9; ++i)
                unit *= 10;
            const __int128 half = unit / 2;
            const __int128 mag = (v.num.v < 0 ? -v.num.v : v.num.v) + half;
            const __int128 rounded = mag / unit * unit;
            v.num.v = v.num.v < 0 ? -rounded : rounded;
        } else if (f == "IIF") {
            ExprValue picked = eval(*n.args[eval(*n.args[0]).logical ? 1 : 2]);
            picked.type = n.type;
            v = std::move(picked);
        } else if (f == "EMPTY" || f == "ISBLANK") {
            const ExprValue x = eval(*n.args[0]);
            switch (n.args[0]->type) {
            case 'C':
                v.logical = x.text.find_first_not_of(' ') == std::string::npos;
                break;
            case 'N':
                v.logical = x.num.v == 0;
                break;
            case 'D':
                v.logical = x.date == 0;
                break;
            default:
                v.logical = !x.logical;
            }
        }
        if (v.type == 'C')
            v.text = fit(std::move(v.text), n.length);
        return v;
    }
};

} // namespace

KeyExpression::KeyExpression() = default;
KeyExpression::KeyExpression(const KeyExpression&) = default;
KeyExpression::KeyExpression(KeyExpression&&) noexcept = default;
KeyExpression& KeyExpression::operator=(const KeyExpression&) = default;
KeyExpression& KeyExpression::operator=(KeyExpression&&) noexcept = default;
KeyExpression::~KeyExpression() = default;

// The parsed tree keeps its own copy of the fields it reads, so a
// KeyExpression outlives the field list it was parsed against.
struct ExprHolder : KeyExpression::Node
{
    std::vector<ExprField> fields;
    NodeP root;
};

KeyExpression KeyExpression::parse(std::string_view text, const std::vector<ExprField>& fields)
{
    auto holder = std::make_shared<ExprHolder>();
    std::vector<ExprField> owned;
    Parser p(text, fields, owned);
    holder->root = p.parseAll();
    if (holder->root->type == 'M')
        throw ExprError("Invalid index expression \"" + std::string(text) + "\": a memo field needs MLINE");
    if (holder->root->type == 'C' && holder->root->length > 100)
        throw ExprError("Invalid index expression \"" + std::string(text) + "\": key longer than 100 bytes");
    if (holder->root->type == 'C' && holder->root->length < 1)
        throw ExprError("Invalid index expression \"" + std::string(text) + "\": empty key");
    holder->fields = fields;
    holder->type = holder->root->type;
    holder->length = holder->root->length;
    KeyExpression e;
    e.m_text = std::string(text);
    e.m_root = holder;
    return e;
}

char KeyExpression::resultType() const
{
    return m_root ? m_root->type : 'C';
}

int KeyExpression::resultLength() const
{
    return m_root && m_root->type == 'C' ? m_root->length : 0;
}

bool KeyExpression::isSingleField() const
{
    if (!m_root)
        return false;
    auto h = std::static_pointer_cast<const ExprHolder>(m_root);
    return h->root->op == Op::Field;
}

static void collectFields(const KeyExpression::Node& n, std::vector<int>& out)
{
    if (n.op == Op::Field && std::find(out.begin(), out.end(), n.field) == out.end())
        out.push_back(n.field);
    for (auto& a : n.args)
        collectFields(*a, out);
}

std::vector<int> KeyExpression::fieldsUsed() const
{
    std::vector<int> out;
    if (m_root)
        collectFields(*std::static_pointer_cast<const ExprHolder>(m_root)->root, out);
    return out;
}

ExprValue KeyExpression::evaluate(const uint8_t* record, size_t size, const MemoReader& memo) const
{
    if (!m_root)
        throw ExprError("empty index expression");
    auto h = std::static_pointer_cast<const ExprHolder>(m_root);
    Evaluator ev{record, size, memo, h->fields};
    if (h->root->type == 'C') {
        ExprValue v;
        v.type = 'C';
        v.text.reserve(static_cast<size_t>(h->root->length));
        ev.evalText(*h->root, v.text);
        return v;
    }
    ExprValue v = ev.eval(*h->root);
    if (v.type == 'C')
        v.text.resize(static_cast<size_t>(h->root->length), ' ');
    return v;
}

} // namespace mk::dbase

// ---------------------------------------------------------------- compiled keys
//
// The parsed tree lowered to the flat program of a KeyWriter. Forms the
// program does not cover make lower() answer false, and the writer then
// evaluates the general way.

namespace mk::dbase {

namespace {

struct Lowering
{
    const std::vector<ExprField>& fields;
    KeyWriter::Program& program;

    using Code = KeyWriter::Code;

    int add(KeyWriter::Step s)
    {
        program.steps.push_back(std::move(s));
        return int(program.steps.size()) - 1;
    }

    int node(const KeyExpression::Node& n)
    {
        KeyWriter::Step s;
        s.length = n.type == 'C' ? n.length : 0;
        if (s.length < 0)
            return -1;
        switch (n.op) {
        case Op::Field: {
            if (n.field < 0 || size_t(n.field) >= fields.size())
                return -1;
            const ExprField& f = fields[size_t(n.field)];
            if (f.offset < 0 || f.length < 0)
                return -1;
            s.offset = f.offset;
            s.width = f.length;
            if (n.type == 'C' && n.length == f.length)
                s.code = Code::TextField;
            else if (n.type == 'N')
                s.code = Code::NumField;
            else if (n.type == 'D')
                s.code = Code::DateField;
            else
                return -1;
            program.recordSize = std::max(program.recordSize, size_t(f.offset) + size_t(f.length));
            return add(std::move(s));
        }
        case Op::Num:
            s.code = Code::NumConst;
            s.num = n.num;
            return n.type == 'N' ? add(std::move(s)) : -1;
        case Op::Date:
            s.code = Code::DateConst;
            s.date = n.date;
            return n.type == 'D' ? add(std::move(s)) : -1;
        case Op::Str:
            if (n.type != 'C' || n.str.size() != size_t(n.length))
                return -1;
            s.code = Code::TextConst;
            s.text = n.str;
            return add(std::move(s));
        case Op::Neg:
            if (n.type != 'N' || n.args.size() != 1 || n.args[0]->type != 'N')
                return -1;
            s.code = Code::NumNeg;
            return unary(std::move(s), n);
        case Op::Plus:
        case Op::Minus:
            return sum(std::move(s), n);
        case Op::Func:
            return func(std::move(s), n);
        default:
            return -1;
        }
    }

    int unary(KeyWriter::Step s, const KeyExpression::Node& n)
    {
        s.a = node(*n.args[0]);
        return s.a < 0 ? -1 : add(std::move(s));
    }

    int sum(KeyWriter::Step s, const KeyExpression::Node& n)
    {
        if (n.args.size() != 2)
            return -1;
        const bool plus = n.op == Op::Plus;
        const char ta = n.args[0]->type, tb = n.args[1]->type;
        if (n.type == 'C' && ta == 'C' && tb == 'C') {
            if (n.length != n.args[0]->length + n.args[1]->length)
                return -1;
            s.code = plus ? Code::Concat : Code::TrimConcat;
            if (!plus && n.length > KeyWriter::kMaxWholeText)
                return -1;
        } else if (n.type == 'N' && ta == 'N' && tb == 'N') {
            s.code = plus ? Code::NumAdd : Code::NumSub;
        } else if (n.type == 'N' && !plus && ta == 'D' && tb == 'D') {
            s.code = Code::DateDiff;
        } else if (n.type == 'D' && ta == 'D' && tb == 'N') {
            s.code = plus ? Code::DatePlus : Code::DateMinus;
        } else if (n.type == 'D' && plus && ta == 'N' && tb == 'D') {
            s.code = Code::NumPlusDate;
        } else {
            return -1;
        }
        s.a = node(*n.args[0]);
        if (s.a < 0)
            return -1;
        s.b = node(*n.args[1]);
        if (s.b < 0)
            return -1;
        return add(std::move(s));
    }

    int func(KeyWriter::Step s, const KeyExpression::Node& n)
    {
        const std::string& f = n.func;
        const auto& a = n.args;
        const bool textArg = a.size() >= 1 && a[0]->type == 'C' && a[0]->length >= 0;
        if (f == "UPPER" || f == "LOWER" || f == "TRIM" || f == "RTRIM" || f == "LTRIM") {
            if (a.size() != 1 || !textArg || n.type != 'C' || n.length != a[0]->length)
                return -1;
            if (f == "UPPER")
                s.code = Code::Upper;
            else if (f == "LOWER")
                s.code = Code::Lower;
            else if (f == "LTRIM")
                s.code = Code::LTrim;
            else
                s.code = Code::Same;
            if (s.code == Code::LTrim && n.length > KeyWriter::kMaxWholeText)
                return -1;
            return unary(std::move(s), n);
        }
        if (f == "SUBSTR" || f == "LEFT" || f == "RIGHT") {
            if (!textArg || n.type != 'C' || n.constArgs.empty())
                return -1;
            int64_t from = 0;
            if (f == "SUBSTR")
                from = n.constArgs[0] - 1;
            else if (f == "RIGHT")
                from = a[0]->length - n.length;
            // Zero-width results read nothing; otherwise the slice lies inside a.
            if (n.length > 0 && (from < 0 || from + n.length > a[0]->length))
                return -1;
            s.code = Code::Slice;
            s.from = n.length > 0 ? int(from) : 0;
            return unary(std::move(s), n);
        }
        if (f == "STR") {
            if (a.empty() || a[0]->type != 'N' || n.type != 'C' || n.constArgs.size() != 2 ||
                n.length != n.constArgs[0] || n.length < 1 || n.length > 255)
                return -1;
            s.code = Code::Str;
            s.width = int(n.constArgs[0]);
            s.decimals = int(std::clamp<int64_t>(n.constArgs[1], 0, 9));
            s.a = node(*a[0]);
            return s.a < 0 ? -1 : add(std::move(s));
        }
        if (f == "DTOS" || f == "DTOC") {
            if (a.size() != 1 || a[0]->type != 'D' || n.type != 'C' || n.length != 8)
                return -1;
            s.code = f == "DTOS" ? Code::Dtos : Code::Dtoc;
            return unary(std::move(s), n);
        }
        if (f == "VAL") {
            if (a.size() != 1 || !textArg || n.type != 'N' || a[0]->length > KeyWriter::kMaxWholeText)
                return -1;
            s.code = Code::Val;
            return unary(std::move(s), n);
        }
        return -1;
    }
};

} // namespace

bool KeyWriter::lower(const KeyExpression& expr, Program& out)
{
    if (!expr.m_root)
        return false;
    const auto h = std::static_pointer_cast<const ExprHolder>(expr.m_root);
    if (!h->root)
        return false;
    Lowering l{h->fields, out};
    const int root = l.node(*h->root);
    return root >= 0 && root == int(out.steps.size()) - 1;
}

} // namespace mk::dbase
