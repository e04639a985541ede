#pragma once

// The raw binary records: window placement ("wnd.dat"), the colour scheme
// ("color.lst") and the reminder dates ("remind.dat").

#include <QColor>
#include <QString>

#include <array>
#include <optional>

namespace mk {

inline constexpr const char* WindowPlacementFileName = "wnd.dat";
inline constexpr const char* ColorSchemeFileName = "color.lst";
inline constexpr const char* ReminderDatesFileName = "remind.dat";

// "wnd.dat": five int32 values, 20 bytes.
struct TWindowPlacement
{
    qint32 Top = 0;
    qint32 Left = 0;
    qint32 Width = 0;
    qint32 Height = 0;
    qint32 RightPageWidth = 0;

    enum class Kind {
        Stored,    // width, height and right-page width all above 0
        Maximized, // all three 0 (what a maximized window writes)
        Design,    // anything else: keep the design placement
    };
    Kind kind() const;

    bool operator==(const TWindowPlacement&) const = default;
};

// nullopt when the file is missing or holds fewer than 20 bytes.
std::optional<TWindowPlacement> ReadWindowPlacement(const QString& settingsDir);
// A maximized window writes 20 zero bytes instead of its placement.
bool WriteWindowPlacement(const QString& settingsDir, const TWindowPlacement& placement, bool maximized);

// The colour scheme: 27 elements, each an index into the 16-colour palette.
inline constexpr int ColorElementCount = 27;
inline constexpr int PaletteSize = 16;
using TColorScheme = std::array<quint8, ColorElementCount>;

// The built-in scheme used while no "color.lst" exists.
TColorScheme BuiltInColorScheme();
// The texts the options dialog lists for the elements.
QString ColorElementText(int element);
// The colour value of a palette entry: red in the low byte, then green, then
// blue. Indexes out of range give black.
quint32 PaletteColorValue(int index);
QColor PaletteColor(int index);
// Converts colour values (low bytes red, green, blue) to and from QColor.
QColor ColorFromValue(quint32 value);
quint32 ColorValue(const QColor& color);

// "color.lst" in the data directory. A missing file or one shorter than 27
// bytes gives the built-in scheme; an element whose byte is no palette index
// keeps its built-in colour.
TColorScheme ReadColorScheme(const QString& dataDir);
bool WriteColorScheme(const QString& dataDir, const TColorScheme& scheme);

// "remind.dat": four date-times as days since 30 December 1899 (the fraction
// is the time of day), 0 meaning never.
struct TReminderDates
{
    double LastBackup = 0;
    double LastBackupReminder = 0;
    double LastMaintenance = 0; // last reindex or pack
    double LastMaintenanceReminder = 0;

    bool operator==(const TReminderDates&) const = default;
};

// Four zeros when the file is missing; a value the file does not hold, or one
// that is not a finite number, reads as 0.
TReminderDates ReadReminderDates(const QString& settingsDir);
// A zero in the last backup or last maintenance date is replaced by now
// before writing (the current date-time when now is not given).
bool WriteReminderDates(const QString& settingsDir, const TReminderDates& dates, double now);
bool WriteReminderDates(const QString& settingsDir, const TReminderDates& dates);

} // namespace mk
