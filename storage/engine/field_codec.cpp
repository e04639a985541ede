#include "storage/engine/field_codec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace mk::dbase::codec {

namespace {
bool isPad(uint8_t c)
{
    return c == ' ' || c == 0;
}
} // namespace

bool isBlank(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (!isPad(p[i]))
            return false;
    return true;
}

std::string_view trimmed(const uint8_t* p, size_t n)
{
    size_t b = 0, e = n;
    while (b < e && isPad(p[b]))
        ++b;
    while (e > b && isPad(p[e - 1]))
        --e;
    return {reinterpret_cast<const char*>(p + b), e - b};
}

std::string_view rightTrimmed(const uint8_t* p, size_t n)
{
    size_t e = n;
    while (e > 0 && isPad(p[e - 1]))
        --e;
    return {reinterpret_cast<const char*>(p), e};
}

static bool parseStrict(std::string_view t, double& out)
{
    // Digits with an optional sign, decimal point and exponent; nothing else.
    if (t.empty())
        return false;
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-')
        ++i;
    bool digits = false;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        ++i;
        digits = true;
    }
    if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        bool exp = false;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            ++i;
            exp = true;
        }
        if (!exp)
            return false;
    }
    if (i != t.size())
        return false;
    char buf[64];
    if (t.size() >= sizeof buf)
        return false;
    size_t n = 0;
    for (char c : t)
        buf[n++] = c == ',' ? '.' : c;
    const char* b = buf;
    if (*b == '+')
        ++b;
    auto r = std::from_chars(b, buf + n, out);
    return r.ec == std::errc() && r.ptr == buf + n && std::isfinite(out);
}

bool isAsteriskFill(std::string_view t)
{
    return !t.empty() && t.find_first_not_of('*') == std::string_view::npos;
}

std::optional<double> readNumber(const uint8_t* p, size_t n)
{
    const std::string_view t = trimmed(p, n);
    // Other writers store a null number (and dBASE a number too wide for its
    // field) as asterisks: no value, not damage.
    if (t.empty() || isAsteriskFill(t))
        return std::nullopt;
    // Fast path: plain digits with an optional point and sign.
    double out = 0;
    if (!parseStrict(t, out))
        throw EngineError("Bad numeric value: \"" + std::string(t) + "\"");
    return out;
}

double parseNumberText(std::string_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    double out = 0;
    if (!parseStrict(text.substr(b, e - b), out))
        throw DatabaseError(DatabaseError::Code::General, "\"" + std::string(text) + "\" is not a valid number");
    return out;
}

void writeNumber(uint8_t* p, size_t n, int decimals, double value)
{
    if (!std::isfinite(value))
        throw DatabaseError(DatabaseError::Code::ValueTooLong, "Not a finite number");
    char buf[64] = {};
    int len = 0;
    if (std::fabs(value) < 1e20)
        len = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    else
        len = 64;
    if (len <= 0 || static_cast<size_t>(len) > n)
        throw DatabaseError(DatabaseError::Code::ValueTooLong,
                            "Number does not fit a field of " + std::to_string(n) + " characters");
    if (len >= 2 && buf[0] == '-') {
        bool zero = true;
        for (int i = 1; i < len; ++i)
            if (buf[i] != '0' && buf[i] != '.')
                zero = false;
        if (zero) { // "-0.00" -> "0.00"
            std::memmove(buf, buf + 1, static_cast<size_t>(len));
            --len;
        }
    }
    std::memset(p, ' ', n - static_cast<size_t>(len));
    std::memcpy(p + n - static_cast<size_t>(len), buf, static_cast<size_t>(len));
}

bool validDate(const Date& d)
{
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1)
        return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int dim = days[d.month - 1];
    if (d.month == 2 && ((d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0))
        dim = 29;
    return d.day <= dim;
}

std::optional<Date> readDate(const uint8_t* p)
{
    if (isBlank(p, 8))
        return std::nullopt;
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9')
            throw EngineError("Bad date value: \"" + std::string(reinterpret_cast<const char*>(p), 8) + "\"");
        v[i] = p[i] - '0';
    }
    Date d{v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]};
    if (d.year == 0 && d.month == 0 && d.day == 0)
        return std::nullopt; // "00000000" is how some writers store no date
    if (!validDate(d))
        throw EngineError("Bad date value: \"" + std::string(reinterpret_cast<const char*>(p), 8) + "\"");
    return d;
}

void writeDate(uint8_t* p, const Date& d)
{
    if (!validDate(d))
        throw DatabaseError(DatabaseError::Code::General, "Invalid date");
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
    std::memcpy(p, buf, 8);
}

std::optional<bool> readLogical(uint8_t b)
{
    switch (b) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
        return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
        return false;
    case '?':
    case ' ':
    case 0:
        return std::nullopt;
    default:
        throw EngineError("Bad logical value");
    }
}

uint32_t readMemoPointer(const uint8_t* p, size_t n)
{
    if (n == 4) { // binary pointer of some writers
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
               (static_cast<uint32_t>(p[3]) << 24);
    }
    const std::string_view t = trimmed(p, n);
    if (t.empty())
        return 0;
    uint64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            throw EngineError("Bad memo pointer: \"" + std::string(t) + "\"");
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > 0xFFFFFFFFull)
            throw EngineError("Bad memo pointer: \"" + std::string(t) + "\"");
    }
    return static_cast<uint32_t>(v);
}

void writeMemoPointer(uint8_t* p, size_t n, uint32_t block)
{
    if (n == 4) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<uint8_t>(block >> (8 * i));
        return;
    }
    std::memset(p, ' ', n);
    if (block == 0)
        return;
    char buf[16];
    const int len = std::snprintf(buf, sizeof buf, "%u", block);
    std::memcpy(p + n - static_cast<size_t>(len), buf, static_cast<size_t>(len));
}

} // namespace mk::dbase::codec
