#pragma once

// The wine records every foreign fixture holds (tests/data/foreign/README.md)
// and that the write tests store: text in Windows-1252.

#include "storage/engine/dbf_types.h"

#include <optional>
#include <string>
#include <vector>

namespace mk::dbase::interop {

struct WineRecord
{
    bool deleted = false;
    std::string name; // right-trimmed bytes
    std::optional<double> vintage;
    std::optional<double> price;
    std::optional<double> rating;
    std::optional<Date> bought;
    std::optional<bool> opened;
    std::string notes; // memo bytes, "" for none
};

inline std::string longNotes()
{
    std::string s;
    for (int i = 1; i <= 60; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Line %02d of the tasting notes.\r\n", i);
        s += buf;
    }
    return s;
}

inline std::vector<WineRecord> wineRecords()
{
    return {
            {false, "Ch\xE2teau Margaux", 2005, 450.0, 97.5, Date{2010, 3, 15}, true,
             "Deep ruby.\r\nCassis, cedar \x97 long finish."},
            {false, "Rioja Reserva", 2012, 18.9, 88.0, Date{2015, 11, 2}, false,
             "Cr\xE8me br\xFBl\xE9"
             "e notes"},
            {true, "Deleted wine", 1999, 1.0, 50.0, Date{1999, 1, 1}, true, "gone"},
            {false, "", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, ""},
            {false, "Gr\xFCner Veltliner", 2020, -12.25, 0.0, Date{1999, 12, 31}, false, longNotes()},
    };
}

} // namespace mk::dbase::interop
