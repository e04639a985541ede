#pragma once

// Conversions between field bytes and values: numbers right-aligned in
// ASCII, dates as YYYYMMDD, logicals, memo pointers as ten ASCII digits.

#include "storage/engine/dbf_types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mk::dbase::codec {

bool isBlank(const uint8_t* p, size_t n);             // spaces or NULs only
std::string_view trimmed(const uint8_t* p, size_t n); // spaces and NULs off both ends
std::string_view rightTrimmed(const uint8_t* p, size_t n);

// A numeric field filled with asterisks: how other writers store a null.
bool isAsteriskFill(std::string_view trimmedText);
// Number in an N/F field: empty or asterisks -> nullopt; garbage -> EngineError.
std::optional<double> readNumber(const uint8_t* p, size_t n);
// Writes `value` right-aligned with `decimals`; ValueTooLong when it does not fit.
void writeNumber(uint8_t* p, size_t n, int decimals, double value);
// Parses a number text for an N/F field (DatabaseError when not a number).
double parseNumberText(std::string_view text);

std::optional<Date> readDate(const uint8_t* p); // 8 bytes; EngineError when malformed
void writeDate(uint8_t* p, const Date& date);   // DatabaseError when out of range
bool validDate(const Date& date);

std::optional<bool> readLogical(uint8_t b); // EngineError for unknown bytes

// Memo pointer: 0 for none; EngineError for garbage.
uint32_t readMemoPointer(const uint8_t* p, size_t n);
void writeMemoPointer(uint8_t* p, size_t n, uint32_t block);

} // namespace mk::dbase::codec
