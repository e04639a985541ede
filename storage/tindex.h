#pragma once

// The sort state of the record table and the index tag that serves it: a
// primary and an optional secondary field, each ascending or descending,
// turned into a dBASE key expression; with a filter on, the selection
// marker leads the key. Tags are looked up by expression and added when
// missing; none is ever dropped here.

#include "storage/engine/dbf_types.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace mk {

class TDbTable;
class TStorage;

// Primary position, primary descending, secondary position, secondary descending.
using TSortState = std::array<quint8, 4>;

class TIndex
{
public:
    static constexpr quint8 OptDescending = 0x04;
    static constexpr quint8 OptExpression = 0x10;
    static constexpr int FirstUserField = 2;
    static constexpr int MaxKeyLength = 100;

    TIndex() { Create(0, 0, 0, 0); }

    void Create(quint8 primary, quint8 primaryDescending, quint8 secondary, quint8 secondaryDescending);
    void Snapshot() { applied = requested; }
    void Revert() { requested = applied; }
    bool Unchanged() const { return requested == applied; }
    void Reset();
    QString TagName(int n) const;

    // From the requested state and the field definitions of the table (or the given ones).
    void BuildExpression();
    void BuildExpression(const std::vector<dbase::FieldDescriptor>& fields);
    struct Part
    {
        QString expression;
        int length = 0;
    };
    static Part KeyPart(const dbase::FieldDescriptor& field, bool descending, int budget);

    // The tag serving the requested state on the (closed) table, added when
    // there is none; empty when none could be found or made. Adding opens the
    // table exclusively through the storage layer. DatabaseError escapes
    // when the engine refuses the tag.
    QString FindOrCreateTag(TDbTable& table, TStorage& storage);

    // `<table base name>.idx` in the data directory.
    static QString SettingsPath(const QString& dataDir, const QString& tableFileName);
    void LoadSettings(const QString& path);
    bool SaveSettings(const QString& path) const;

    int primary() const { return requested[0]; }
    bool primaryDescending() const { return requested[1] != 0; }
    int secondary() const { return requested[2]; }
    bool secondaryDescending() const { return requested[3] != 0; }

    TDbTable* table = nullptr;
    quint8 options = 0;
    QString keyExpression;
    QString filteredKeyExpression;
    quint8 filteredOptions = 0;
    TSortState applied{};
    TSortState requested{};
    bool filtered = false;
};

} // namespace mk
