#pragma once

// Key bytes of .mdx tags: text keys as they are (space-padded), numeric keys
// as the 12-byte BCD form, date keys as a little-endian double holding the
// Julian day number. See MDX_FORMAT.md.

#include "storage/engine/expr.h"

#include <cstdint>
#include <string>

namespace mk::dbase {

std::string encodeBcd(Decimal value);
void writeBcd(Decimal value, uint8_t* out); // 12 bytes
Decimal decodeBcd(const uint8_t* bcd);
int compareBcd(const uint8_t* a, const uint8_t* b);
std::string encodeDateKey(int64_t julian);
void writeDateKey(int64_t julian, uint8_t* out); // 8 bytes
int compareDateKey(const uint8_t* a, const uint8_t* b);
// The key of an evaluated expression for a tag of this key type and length.
std::string encodeKey(const ExprValue& value, char keyType, int keyLength);

} // namespace mk::dbase
