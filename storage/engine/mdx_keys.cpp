#include "storage/engine/mdx_keys.h"

#include <cstring>

namespace mk::dbase {

// Byte 0: 52 + the position of the decimal point counted from the first
// significant digit (digits before the point; negative for 0.00x).
// Byte 1: number of significant digits << 2, bit 0 always set, bit 7 the sign.
// Bytes 2-11: the significant digits, two per byte, high nibble first.
std::string encodeBcd(Decimal value)
{
    std::string out(12, '\0');
    writeBcd(value, reinterpret_cast<uint8_t*>(out.data()));
    return out;
}

void writeBcd(Decimal value, uint8_t* out)
{
    std::memset(out, 0, 12);
    const bool neg = value.v < 0;
    const unsigned __int128 a =
            neg ? -static_cast<unsigned __int128>(value.v) : static_cast<unsigned __int128>(value.v);
    if (a == 0) {
        out[0] = 52;
        out[1] = 0x01;
        return;
    }
    // All digits of a, nine of them after the point; the point position
    // counts from the first significant digit. Trailing zeros go.
    char digits[48];
    const int all = decimalDigits(a, digits);
    const int pointPos = all - 9;
    int n = all;
    while (n > 0 && digits[n - 1] == '0')
        --n;
    if (n > 20)
        n = 20;
    out[0] = uint8_t(52 + pointPos);
    out[1] = uint8_t((n << 2) | 0x01 | (neg ? 0x80 : 0));
    for (int i = 0; i < n; ++i) {
        const int d = digits[i] - '0';
        if (i % 2 == 0)
            out[2 + i / 2] = uint8_t(d << 4);
        else
            out[2 + i / 2] = uint8_t(out[2 + i / 2] | d);
    }
}

Decimal decodeBcd(const uint8_t* b)
{
    const int pointPos = int(b[0]) - 52;
    const int count = (b[1] >> 2) & 0x1F;
    const bool neg = (b[1] & 0x80) != 0;
    __int128 v = 0;
    int used = 0;
    for (int i = 0; i < count && i < 20; ++i) {
        const int d = (i % 2 == 0) ? (b[2 + i / 2] >> 4) : (b[2 + i / 2] & 0x0F);
        v = v * 10 + (d > 9 ? 9 : d);
        ++used;
    }
    // value = 0.d1d2... * 10^pointPos ; in units of 10^-9
    int shift = pointPos - used + 9;
    const __int128 limit = static_cast<__int128>(1) << 120;
    while (shift > 0) {
        if (v > limit / 10)
            break;
        v *= 10;
        --shift;
    }
    while (shift < 0) {
        v /= 10;
        ++shift;
    }
    Decimal d;
    d.v = neg ? -v : v;
    return d;
}

int compareBcd(const uint8_t* a, const uint8_t* b)
{
    const Decimal x = decodeBcd(a), y = decodeBcd(b);
    return x < y ? -1 : (y < x ? 1 : 0);
}

std::string encodeDateKey(int64_t julian)
{
    std::string out(8, '\0');
    writeDateKey(julian, reinterpret_cast<uint8_t*>(out.data()));
    return out;
}

void writeDateKey(int64_t julian, uint8_t* out)
{
    const double d = static_cast<double>(julian);
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i)
        out[i] = uint8_t((bits >> (8 * i)) & 0xFF);
}

int compareDateKey(const uint8_t* a, const uint8_t* b)
{
    uint64_t x = 0, y = 0;
    for (int i = 7; i >= 0; --i) {
        x = x << 8 | a[i];
        y = y << 8 | b[i];
    }
    double dx, dy;
    std::memcpy(&dx, &x, 8);
    std::memcpy(&dy, &y, 8);
    return dx < dy ? -1 : (dy < dx ? 1 : 0);
}

std::string encodeKey(const ExprValue& value, char keyType, int keyLength)
{
    if (keyType == 'N')
        return encodeBcd(value.num);
    if (keyType == 'D')
        return encodeDateKey(value.date);
    std::string k = value.text;
    k.resize(size_t(keyLength), ' ');
    return k;
}

} // namespace mk::dbase
