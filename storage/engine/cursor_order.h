#pragma once

// The order a Table cursor walks its records in. Table delegates every
// positioning (First, Next, Prior, Last, MoveBy, go to record, RecordCount)
// to its current order; the default is NaturalOrder (record-number order),
// the production index supplies tag orders with ranges.
//
// An order deals in physical record numbers (1-based); 0 means "no record":
// before the first or after the last. Orders must hide deleted records and
// must not cache record bytes across calls: each call reflects the files as
// they are now, so that other processes' changes show at the next
// positioning. Failures are DatabaseError.

#include <cstdint>

namespace mk::dbase {

class Table;

class CursorOrder
{
public:
    virtual ~CursorOrder() = default;

    virtual uint32_t first() = 0;
    virtual uint32_t last() = 0;
    // The record after / before `current` (the record the cursor sits on;
    // 0 from next() means end of table, from prior() beginning of table).
    virtual uint32_t next(uint32_t current) = 0;
    virtual uint32_t prior(uint32_t current) = 0;
    // Records visible in this order (deleted records and records outside a
    // range excluded).
    virtual uint32_t count() = 0;
    // Whether the cursor may sit on `recno` in this order (bookmarks, go to
    // record). Default: the record exists and is not deleted.
    virtual bool contains(uint32_t recno);
    // Move `delta` records from `current`; `moved` receives how many records
    // were actually passed. Default: repeated next()/prior().
    virtual uint32_t moveBy(uint32_t current, int delta, int& moved);

protected:
    explicit CursorOrder(Table& table)
        : m_table(table)
    {}
    Table& table() const { return m_table; }

private:
    Table& m_table;
};

// Record-number order without a range.
class NaturalOrder : public CursorOrder
{
public:
    explicit NaturalOrder(Table& table)
        : CursorOrder(table)
    {}
    uint32_t first() override;
    uint32_t last() override;
    uint32_t next(uint32_t current) override;
    uint32_t prior(uint32_t current) override;
    uint32_t count() override;
    uint32_t moveBy(uint32_t current, int delta, int& moved) override;
};

} // namespace mk::dbase
