#pragma once

// The two "options.dat" files: the machine options in the program directory
// (and its copy in the data root) and the user options in the settings
// directory. Both are plain little-endian records without header; newer
// fields are optional tails that are read only when the file is long enough.

#include "shell/settings/bytestream.h"

#include <QFont>
#include <QString>

namespace mk {

inline constexpr const char* OptionsFileName = "options.dat";

// 264 bytes on disk: a short string of 256 bytes (length byte, up to 255
// characters, zero filled), the style bits, 3 bytes of padding, the size in
// points as int32.
struct TFontRecord
{
    enum StyleBit : quint8 { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };

    QString Name = QStringLiteral("Arial");
    quint8 Style = Bold;
    qint32 Size = 10;

    static constexpr qsizetype ByteSize = 264;

    void write(TByteWriter& out) const;
    // All 264 bytes or nothing: a short input leaves the record unchanged.
    bool read(TByteReader& in);

    QFont toFont() const;
    // The name is cut to 255 characters, as the record holds no more.
    static TFontRecord fromFont(const QFont& font);

    bool operator==(const TFontRecord&) const = default;
};

struct TMachineOptions
{
    qint16 PasswordMode = 1;     // 0 "Password Required", 1 "Password Not Required"
    qint16 PublicAccessMode = 0; // 0 as in accounts, 1 read and write, 2 read only, 3 none
    QString DataRoot;            // the program directory unless set
    qint16 UserCount = 0;        // 0 one-user, 1 multi-user system
    QString SupervisorPassword;

    static TMachineOptions defaults(const QString& programDir);

    QByteArray toBytes() const;
    // Reads the fields the bytes hold; a field past the end keeps its value
    // (a settings string past the end becomes empty).
    void readFrom(TByteReader& in);

    bool operator==(const TMachineOptions&) const = default;
};

// Reads "options.dat" from programDir into options (which starts from the
// defaults). When the file was read and names another data root that holds an
// "options.dat" of its own, that copy is read as well and wins, except for the
// data root itself; the result is then that of the second read. Finally a
// data root that is empty or cannot be entered becomes programDir. Returns
// whether the (last) file read could be opened.
bool ReadMachineOptions(const QString& programDir, TMachineOptions& options);

// Writes "options.dat" to programDir and, when the data root is another
// directory, the same bytes to the data root too. Returns false when a copy
// could not be written (callers ignore it).
bool WriteMachineOptions(const QString& programDir, const TMachineOptions& options);

struct TUserOptions
{
    // Core part.
    qint16 MenusAndSpeedBars = 0; // 0 both, 1 only menus, 2 only speed bars
    qint16 Reserved2 = 1;         // unused; written back as read
    qint16 Reserved3 = 0;         // unused; written back as read
    qint16 HintMessages = 0;      // 0 show hints, 1 hide
    qint16 LetterTabs = 0;        // 0 used, 1 not used
    qint16 InitialDataFile = 1;   // 0 "Load Default File", 1 "Load Last Used File"
    qint16 Reserved7 = 0;         // unused; written back as read
    qint16 FilterDateFormat = 0;  // date-format code of the last field filter
    qint16 SpeedBarLocation = 1;  // 0 top, 1 bottom
    qint16 DeleteMode = 0;        // 0 "Ask User To Confirm", 1 "Immediate Delete"
    QString LastTableFileName = QStringLiteral("data.dbf");
    QString LastDataDir;           // the login directory unless set
    qint16 HideOnStartup = 0;      // 6 hide at start-up, 0 show; above 5 means hide
    qint16 LetterTabsLocation = 0; // 0 center, 1 right side
    bool StayOnTop = false;
    bool ShowTips = true;
    // Tail 1 (after four reserved settings strings, written empty).
    TFontRecord RecordButtonFont;
    TFontRecord EditFieldFont;
    TFontRecord MemoFieldFont;
    bool AutoFill = true;
    bool ShowReminders = true;
    // Tail 2.
    bool ShowTrayIcon = false;

    bool hideOnStartup() const { return HideOnStartup > 5; }

    // Always all 26 fields.
    QByteArray toBytes() const;
    void readFrom(TByteReader& in);

    bool operator==(const TUserOptions&) const = default;
};

// Reads "options.dat" from settingsDir into options (which starts from the
// defaults). Returns whether the file could be opened.
bool ReadUserOptions(const QString& settingsDir, TUserOptions& options);
bool WriteUserOptions(const QString& settingsDir, const TUserOptions& options);

// The decision the user options make about the database opened at start-up.
struct TLastDatabase
{
    bool reopen = false; // take tableFileName
    QString tableFileName;
    bool takeDataDir = false; // also take dataDir
    QString dataDir;
};

// Reopen only with "Load Last Used File" and both saved texts non-empty, and
// not for a user without access (level 3, not the supervisor) whose saved
// directory is the public one. The directory is taken only when it starts
// with the data root (exact, case-sensitive).
TLastDatabase LastUsedDatabase(const TUserOptions& options, const QString& dataRoot, bool isSupervisor, int accessLevel,
                               bool savedDirIsPublic);

} // namespace mk
