#include "storage/engine/key_writer.h"

#include "storage/engine/mdx_keys.h"

#include <algorithm>
#include <cstring>

namespace mk::dbase {

namespace {

// Windows-1252 case mapping as arithmetic on each byte (the same as
// upper1252), which the compiler turns into vector code; a table lookup per
// byte does not vectorize well.
void upperBytes(char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        const unsigned letter = unsigned(static_cast<unsigned char>(c - 'a') < 26) |
                                (unsigned(static_cast<unsigned char>(c - 0xE0) < 31) & unsigned(c != 0xF7));
        const unsigned caron = unsigned(c == 0x9A) | unsigned(c == 0x9C) | unsigned(c == 0x9E); // s, oe, z
        const unsigned yDiaeresis = unsigned(c == 0xFF);
        p[i] = static_cast<char>(c - ((letter << 5) | (caron << 4) | (yDiaeresis * 0x60)));
    }
}

void lowerBytes(char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        p[i] = static_cast<char>(static_cast<unsigned char>(c - 'A') < 26 ? c + 32 : c);
    }
}

std::string_view rawField(const uint8_t* rec, const KeyWriter::Step& s)
{
    return {reinterpret_cast<const char*>(rec) + s.offset, size_t(s.width)};
}

// Whole days of a number, as date arithmetic takes them.
int64_t days(Decimal n)
{
    return static_cast<int64_t>(n.v / Decimal::kScale);
}

} // namespace

KeyWriter KeyWriter::compile(const KeyExpression& expr, char keyType, int keyLength)
{
    KeyWriter w;
    w.m_expr = expr;
    w.m_keyType = keyType;
    w.m_keyLength = std::max(keyLength, 0);
    if ((keyType == 'C' || keyType == 'N' || keyType == 'D') && expr.resultType() == keyType) {
        auto p = std::make_shared<Program>();
        if (lower(expr, *p))
            w.m_program = std::move(p);
    }
    return w;
}

void KeyWriter::write(const uint8_t* record, size_t size, const MemoReader& memo, char* out) const
{
    // A record too short for a field takes the general path, which reports it.
    if (!m_program || size < m_program->recordSize) {
        general(record, size, memo, out);
        return;
    }
    const size_t kl = size_t(m_keyLength);
    const int root = int(m_program->steps.size()) - 1;
    if (m_keyType == 'C') {
        const size_t n = std::min(size_t(m_program->steps[size_t(root)].length), kl);
        text(root, record, 0, n, out);
        std::memset(out + n, ' ', kl - n);
        return;
    }
    uint8_t key[12];
    size_t n;
    if (m_keyType == 'N') {
        writeBcd(number(root, record), key);
        n = 12;
    } else {
        writeDateKey(date(root, record), key);
        n = 8;
    }
    n = std::min(n, kl);
    std::memcpy(out, key, n);
    std::memset(out + n, 0, kl - n);
}

void KeyWriter::general(const uint8_t* record, size_t size, const MemoReader& memo, char* out) const
{
    const std::string k = encodeKey(m_expr.evaluate(record, size, memo), m_keyType, m_keyLength);
    const size_t kl = size_t(m_keyLength);
    const size_t n = std::min(k.size(), kl);
    std::memcpy(out, k.data(), n);
    std::memset(out + n, 0, kl - n);
}

// Bytes [from, from + len) of a text step's value; from + len never exceeds
// its width.
void KeyWriter::text(int step, const uint8_t* rec, size_t from, size_t len, char* out) const
{
    if (len == 0)
        return;
    const Step& s = m_program->steps[size_t(step)];
    const auto& steps = m_program->steps;
    char buf[kMaxWholeText];
    switch (s.code) {
    case Code::TextField:
        std::memcpy(out, rec + s.offset + from, len);
        return;
    case Code::TextConst:
        std::memcpy(out, s.text.data() + from, len);
        return;
    case Code::Concat: {
        const size_t la = size_t(steps[size_t(s.a)].length);
        if (from >= la) {
            text(s.b, rec, from - la, len, out);
            return;
        }
        const size_t first = std::min(len, la - from);
        text(s.a, rec, from, first, out);
        if (len > first)
            text(s.b, rec, 0, len - first, out + first);
        return;
    }
    case Code::TrimConcat: {
        const size_t la = size_t(steps[size_t(s.a)].length);
        const size_t lb = size_t(steps[size_t(s.b)].length);
        text(s.a, rec, 0, la, buf);
        text(s.b, rec, 0, lb, buf + la);
        size_t e = la;
        while (e > 0 && buf[e - 1] == ' ')
            --e;
        std::memmove(buf + e, buf + la, lb);
        std::memset(buf + e + lb, ' ', la - e);
        std::memcpy(out, buf + from, len);
        return;
    }
    case Code::Upper:
        text(s.a, rec, from, len, out);
        upperBytes(out, len);
        return;
    case Code::Lower:
        text(s.a, rec, from, len, out);
        lowerBytes(out, len);
        return;
    case Code::Same:
        text(s.a, rec, from, len, out);
        return;
    case Code::Slice:
        text(s.a, rec, size_t(s.from) + from, len, out);
        return;
    case Code::LTrim: {
        const size_t la = size_t(s.length);
        text(s.a, rec, 0, la, buf);
        size_t b = 0;
        while (b < la && buf[b] == ' ')
            ++b;
        std::memmove(buf, buf + b, la - b);
        std::memset(buf + (la - b), ' ', b);
        std::memcpy(out, buf + from, len);
        return;
    }
    case Code::Str:
        writeDbaseStr(number(s.a, rec), s.width, s.decimals, buf);
        std::memcpy(out, buf + from, len);
        return;
    case Code::Dtos: {
        const Step& arg = steps[size_t(s.a)];
        if (arg.code == Code::DateField) {
            // A valid date field reads back as its own bytes.
            const std::string_view raw = rawField(rec, arg);
            if (julianFromDbfDate(raw) != 0)
                std::memcpy(out, raw.data() + from, len);
            else
                std::memset(out, ' ', len);
            return;
        }
        writeDtos(date(s.a, rec), buf);
        std::memcpy(out, buf + from, len);
        return;
    }
    case Code::Dtoc:
        writeDtoc(date(s.a, rec), buf);
        std::memcpy(out, buf + from, len);
        return;
    default:
        throw ExprError("Invalid index expression \"" + m_expr.text() + "\": not a text");
    }
}

Decimal KeyWriter::number(int step, const uint8_t* rec) const
{
    const Step& s = m_program->steps[size_t(step)];
    switch (s.code) {
    case Code::NumField: {
        Decimal d;
        if (!Decimal::parse(rawField(rec, s), d))
            d = Decimal{};
        return d;
    }
    case Code::NumConst:
        return s.num;
    case Code::NumNeg:
        return Decimal{} - number(s.a, rec);
    case Code::NumAdd:
        return number(s.a, rec) + number(s.b, rec);
    case Code::NumSub:
        return number(s.a, rec) - number(s.b, rec);
    case Code::DateDiff:
        return Decimal::fromInt(date(s.a, rec) - date(s.b, rec));
    case Code::Val: {
        char buf[kMaxWholeText];
        const size_t la = size_t(m_program->steps[size_t(s.a)].length);
        text(s.a, rec, 0, la, buf);
        Decimal d;
        if (!Decimal::parse(std::string_view(buf, la), d))
            d = Decimal{};
        return d;
    }
    default:
        throw ExprError("Invalid index expression \"" + m_expr.text() + "\": not a number");
    }
}

int64_t KeyWriter::date(int step, const uint8_t* rec) const
{
    const Step& s = m_program->steps[size_t(step)];
    switch (s.code) {
    case Code::DateField:
        return julianFromDbfDate(rawField(rec, s));
    case Code::DateConst:
        return s.date;
    case Code::DatePlus: {
        const int64_t d = date(s.a, rec);
        const int64_t n = days(number(s.b, rec));
        return d == 0 ? 0 : d + n;
    }
    case Code::DateMinus: {
        const int64_t d = date(s.a, rec);
        const int64_t n = days(number(s.b, rec));
        return d == 0 ? 0 : d - n;
    }
    case Code::NumPlusDate: {
        const int64_t n = days(number(s.a, rec));
        const int64_t d = date(s.b, rec);
        return d == 0 ? 0 : d + n;
    }
    default:
        throw ExprError("Invalid index expression \"" + m_expr.text() + "\": not a date");
    }
}

} // namespace mk::dbase
