#pragma once

#include "shell/settings/binarysettings.h"
#include "shell/settings/options.h"
#include "shell/settings/textsettings.h"
#include "storage/tindex.h"

#include <QString>
#include <QStringList>

#include <bitset>

namespace mk {

// The program-wide state of one run. It is filled during start-up, fixed by
// the login and read by every subsystem; one instance lives for the whole run.
struct GlobalState
{
    QString ProgramDir; // directory of the executable
    QString DataRoot;   // parent of all data directories
    QString PublicDirName = QStringLiteral("DATA");
    QString DataDir;     // directory of the database currently open
    QString SettingsDir; // the user's settings files; fixed after login
    QString TableFileName = QStringLiteral("data.dbf");

    QString SupervisorName = QStringLiteral("Supervisor");
    QString UserName;
    qint16 AccessLevel = 1; // 1 read and write, 2 read only, 3 none
    bool IsSupervisor = false;

    QString ProductName = QStringLiteral("Quenlow Marlocket");
    QString ProductVersion = QStringLiteral("Version 3.0 (32-bit)");
    QString RequiredFieldMessage = QStringLiteral("Title Field cannot be empty!");
    std::bitset<256> RequiredSlots;     // zero-based slot indexes; empty in this product
    std::bitset<256> TodayDefaultSlots; // zero-based slot indexes; empty in this product
    quint8 SummaryValueField = 6;
    qint32 SummaryWeightField = 5;
    bool WebFeatures = false;
    qint32 MinRightPageWidth = 230;
    QString HomePage = QStringLiteral("https://marlocket.example.org/");

    TMachineOptions MachineOptions;
    TUserOptions UserOptions;
    // Whether start-up found the machine options file (no login on a first run).
    bool MachineOptionsFound = false;

    // The sort state of the record table, alive for the whole run.
    TIndex SortIndex;

    QStringList FieldLabels;
    TDateFormats DateFormats;
    TReminderDates ReminderDates;

    bool FirstShow = true;
    // Set when the data root had to move to the user's own data folder
    // because the program directory is not writable.
    bool DataRootRelocated = false;

    QString publicDataDir() const;
    // The directory, upper-cased, equals the public data directory upper-cased.
    bool IsPublicDataDir(const QString& dir) const;
    // Read-only access to the public databases while working in them.
    bool IsReadOnly() const;
};

GlobalState& globals();

} // namespace mk
