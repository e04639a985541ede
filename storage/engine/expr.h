#pragma once

// dBASE key expressions: parsed once, evaluated per record.
//
// The grammar covers what the sort-key builder produces and what dBASE
// index tags commonly hold: field names, numeric constants, date constants
// {mm/dd/yyyy}, text constants in quotes, "+" and "-" and the functions
// UPPER, LOWER, SUBSTR, STR, DTOS, MLINE, TRIM, RTRIM, LTRIM, LEFT, RIGHT,
// DTOC, VAL, CTOD, YEAR, MONTH, DAY, ABS, INT, ROUND, IIF, EMPTY, ISBLANK and
// DELETED. Names are case-insensitive. An unknown name, a wrong
// argument type or a text key longer than 100 bytes is an ExprError, which
// the index turns into a database error.
//
// Conditions (the FOR clause of a tag) add logical values: .T. .F. (.Y. .N.),
// logical fields, the comparisons = # <> < <= > >= between two values of one
// type, "a $ b" (text a occurs in b), and .NOT., .AND., .OR. (loosest last;
// a comparison binds looser than + and -). Text comparison follows dBASE with
// SET EXACT OFF: the left text is compared up to the right one's length, so
// NAME = "Bar" holds for "Barolo"; "<" and ">" compare the same prefix byte by
// byte. Numbers compare exactly, dates by day (an empty date is the smallest).

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mk::dbase {

class ExprError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Fixed-point decimal with nine fractional digits: exact for every value a
// dBASE numeric field can hold and for the 18-digit constants of descending
// keys, which a double would round away.
struct Decimal
{
    static constexpr int64_t kScale = 1000000000; // 10^9
    __int128 v = 0;

    static Decimal fromInt(int64_t i) { return Decimal{static_cast<__int128>(i) * kScale}; }
    static bool parse(std::string_view text, Decimal& out); // false when no digits
    double toDouble() const;
    friend Decimal operator+(Decimal a, Decimal b) { return Decimal{a.v + b.v}; }
    friend Decimal operator-(Decimal a, Decimal b) { return Decimal{a.v - b.v}; }
    friend bool operator==(Decimal a, Decimal b) { return a.v == b.v; }
    friend bool operator<(Decimal a, Decimal b) { return a.v < b.v; }
};

// One field as the expression sees it. offset counts from the start of the
// record (byte 0 is the deletion flag).
struct ExprField
{
    std::string name;
    char type = 'C'; // C N F D L M B G I ...
    int length = 0;
    int decimals = 0;
    int offset = 0;
};

// Returns the text of the memo whose raw field bytes are given (the block
// number as stored in the record). May throw for a damaged memo.
using MemoReader = std::function<std::string(int fieldIndex, std::string_view rawField)>;

// A value during evaluation. Dates are Julian day numbers, 0 for an empty date.
struct ExprValue
{
    char type = 'C'; // 'C', 'N', 'D', 'L'
    std::string text;
    Decimal num;
    int64_t date = 0;
    bool logical = false;
};

// Julian day number of a calendar date and back (2451545 is 1 January 2000).
int64_t julianFromCivil(int y, int m, int d);
void civilFromJulian(int64_t jd, int& y, int& m, int& d);
// "YYYYMMDD" (dBASE date field bytes) to a Julian day; 0 when blank or invalid.
int64_t julianFromDbfDate(std::string_view yyyymmdd);

// dBASE STR(): right-justified in width; decimals are reduced when the
// integer part needs the room; asterisks when even the integer part does not fit.
std::string dbaseStr(Decimal value, int width, int decimals);
// The same into out, which receives exactly the width (clamped to 1..255) in bytes.
void writeDbaseStr(Decimal value, int width, int decimals, char* out);
// DTOS() and DTOC() of a Julian day into 8 bytes (blank forms for 0).
void writeDtos(int64_t julian, char* out);
void writeDtoc(int64_t julian, char* out);
// The decimal digits of value, most significant first, without leading
// zeros ("0" for zero); returns their count (at most 39).
int decimalDigits(unsigned __int128 value, char* out);
// Upper case of one Windows-1252 byte.
unsigned char upper1252(unsigned char c);

class KeyWriter;

class KeyExpression
{
public:
    // Parses text against the given fields. Throws ExprError.
    static KeyExpression parse(std::string_view text, const std::vector<ExprField>& fields);

    KeyExpression();
    KeyExpression(const KeyExpression&);
    KeyExpression(KeyExpression&&) noexcept;
    KeyExpression& operator=(const KeyExpression&);
    KeyExpression& operator=(KeyExpression&&) noexcept;
    ~KeyExpression();

    const std::string& text() const { return m_text; }
    // 'C', 'N', 'D' or 'L'.
    char resultType() const;
    // Width of a text result (fixed for every record); 0 for other types.
    int resultLength() const;
    // True when the expression is one bare field (dBASE "data field" tags).
    bool isSingleField() const;
    // The field positions the expression reads.
    std::vector<int> fieldsUsed() const;

    // Evaluates over one record. Throws ExprError for a damaged value.
    ExprValue evaluate(const uint8_t* record, size_t size, const MemoReader& memo = {}) const;

    struct Node;

private:
    friend class KeyWriter; // compiles the parsed tree

    std::string m_text;
    std::shared_ptr<const Node> m_root;
};

} // namespace mk::dbase
