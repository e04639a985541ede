#pragma once

// Key bytes of a tag straight from a record. compile() turns the parsed key
// expression into a small flat program for the forms tags commonly hold
// (fields, constants, "+" and "-", UPPER, LOWER, TRIM, LTRIM, SUBSTR, LEFT,
// RIGHT, STR, DTOS, DTOC, VAL, date arithmetic); write() runs it into the
// caller's buffer without allocating. Any other expression is evaluated the
// general way inside write(), so one call serves every tag. The bytes are
// always those of encodeKey(expr.evaluate(...)), cut or zero-filled to the
// key length.

#include "storage/engine/expr.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mk::dbase {

class KeyWriter
{
public:
    // keyType 'C', 'N' or 'D'; keyLength is the number of bytes write() fills.
    static KeyWriter compile(const KeyExpression& expr, char keyType, int keyLength);

    KeyWriter() = default;

    int keyLength() const { return m_keyLength; }
    // False when write() takes the general evaluation path.
    bool isCompiled() const { return m_program != nullptr; }

    // Writes keyLength() bytes to out. Throws ExprError like evaluate().
    void write(const uint8_t* record, size_t size, const MemoReader& memo, char* out) const;

    // Widest text a step builds whole before cutting it (LTRIM, "-", VAL):
    // the size of the writer's scratch buffers.
    static constexpr int kMaxWholeText = 256;

    // One node of a compiled expression; children by index into the
    // program. Text nodes have a fixed width, as in the parsed tree.
    enum class Code : uint8_t {
        TextField,  // the field's bytes
        TextConst,  // text
        Concat,     // a + b
        TrimConcat, // a - b: trailing blanks of a move to the end
        Upper,
        Lower,
        Same,  // TRIM/RTRIM: the width is kept, so the value is a's
        LTrim, // leading blanks of a move to the end
        Slice, // SUBSTR/LEFT/RIGHT: a from offset `from`
        Str,   // STR(a, width, decimals)
        Dtos,  // DTOS(a)
        Dtoc,  // DTOC(a)
        NumField,
        NumConst,
        NumNeg,
        NumAdd,
        NumSub,
        DateDiff, // date a - date b, in days
        Val,      // VAL(a)
        DateField,
        DateConst,
        DatePlus,   // date a + number b
        DateMinus,  // date a - number b
        NumPlusDate // number a + date b
    };
    struct Step
    {
        Code code = Code::NumConst;
        int a = -1;
        int b = -1;
        int length = 0;   // width of a text result
        int offset = 0;   // field: offset in the record
        int from = 0;     // Slice: first byte of a
        int width = 0;    // Str
        int decimals = 0; // Str
        Decimal num;      // NumConst
        int64_t date = 0; // DateConst
        std::string text; // TextConst
    };
    struct Program
    {
        std::vector<Step> steps; // the root is the last
        size_t recordSize = 0;   // the end of the farthest field read
    };

private:
    // Builds the program from the parsed tree; false for forms it does not cover.
    static bool lower(const KeyExpression& expr, Program& out);

    void general(const uint8_t* record, size_t size, const MemoReader& memo, char* out) const;
    void text(int step, const uint8_t* rec, size_t from, size_t len, char* out) const;
    Decimal number(int step, const uint8_t* rec) const;
    int64_t date(int step, const uint8_t* rec) const;

    KeyExpression m_expr;
    std::shared_ptr<const Program> m_program;
    char m_keyType = 'C';
    int m_keyLength = 0;
};

} // namespace mk::dbase
