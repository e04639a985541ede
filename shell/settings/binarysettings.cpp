#include "shell/settings/binarysettings.h"

#include "platform/dates.h"
#include "platform/files.h"
#include "shell/settings/bytestream.h"

#include <cmath>

namespace mk {

namespace {

std::optional<QByteArray> readIn(const QString& dir, const char* name)
{
    if (dir.isEmpty())
        return std::nullopt;
    const QString path = findFileNoCase(dir, QString::fromLatin1(name));
    if (path.isEmpty())
        return std::nullopt;
    return readFileBytes(path);
}

bool writeIn(const QString& dir, const char* name, const QByteArray& bytes)
{
    if (dir.isEmpty())
        return false;
    return writeFileAtomic(pathForWriteNoCase(dir, QString::fromLatin1(name)), bytes);
}

} // namespace

TWindowPlacement::Kind TWindowPlacement::kind() const
{
    if (Width > 0 && Height > 0 && RightPageWidth > 0)
        return Kind::Stored;
    if (Width == 0 && Height == 0 && RightPageWidth == 0)
        return Kind::Maximized;
    return Kind::Design;
}

std::optional<TWindowPlacement> ReadWindowPlacement(const QString& settingsDir)
{
    std::optional<QByteArray> bytes = readIn(settingsDir, WindowPlacementFileName);
    if (!bytes || bytes->size() < 20)
        return std::nullopt;
    TByteReader in(std::move(*bytes));
    TWindowPlacement p;
    in.readInt32(p.Top);
    in.readInt32(p.Left);
    in.readInt32(p.Width);
    in.readInt32(p.Height);
    in.readInt32(p.RightPageWidth);
    return p;
}

bool WriteWindowPlacement(const QString& settingsDir, const TWindowPlacement& placement, bool maximized)
{
    const TWindowPlacement p = maximized ? TWindowPlacement() : placement;
    TByteWriter out;
    out.writeInt32(p.Top);
    out.writeInt32(p.Left);
    out.writeInt32(p.Width);
    out.writeInt32(p.Height);
    out.writeInt32(p.RightPageWidth);
    return writeIn(settingsDir, WindowPlacementFileName, out.bytes());
}

namespace {

struct PaletteEntry
{
    quint8 r, g, b;
};

constexpr std::array<PaletteEntry, PaletteSize> Palette = {{
        {255, 255, 255}, // 0 white
        {192, 192, 192}, // 1 silver
        {0, 255, 255},   // 2 aqua
        {255, 255, 0},   // 3 yellow
        {0, 255, 0},     // 4 lime
        {255, 0, 0},     // 5 red
        {0, 0, 255},     // 6 blue
        {255, 0, 255},   // 7 fuchsia
        {128, 0, 0},     // 8 maroon
        {128, 128, 0},   // 9 olive
        {0, 128, 0},     // 10 green
        {0, 128, 128},   // 11 teal
        {0, 0, 128},     // 12 navy
        {128, 0, 128},   // 13 purple
        {128, 128, 128}, // 14 gray
        {0, 0, 0},       // 15 black
}};

constexpr TColorScheme BuiltInScheme = {6, 1,  0, 14, 6, 1,  14, 1, 0, 14, 6, 1, 1, 1,
                                        1, 15, 0, 15, 0, 12, 1,  6, 5, 0,  1, 1, 1};

const char* const ElementTexts[ColorElementCount] = {
        "TofC - Record Button Text",
        "TofC - Record Button Background",
        "TofC - Selected Record Button Text",
        "TofC - Selected Record Button Background",
        "TofC - Not Empty Letter Tab Text",
        "TofC - Not Empty Letter Tab Background",
        "TofC - Empty Letter Tab Text",
        "TofC - Empty Letter Tab Background",
        "TofC - Selected Letter Tab Text",
        "TofC - Selected Letter Tab Background",
        "TofC - Labels Text",
        "TofC - Labels Background",
        "TofC - Pages",
        "TofC - Speed Bar",
        "TofC - Window Background",
        "DW   - Text Fields Text",
        "DW   - Text Fields Background",
        "DW   - Multi-line Fields Text",
        "DW   - Multi-line Fields Background",
        "DW   - Labels Text",
        "DW   - Labels Background",
        "DW   - Currency Text (>0)",
        "DW   - Currency Text (<0)",
        "DW   - Currency Background",
        "DW   - Pages",
        "DW   - Speed Bar",
        "DW   - Window Background",
};

} // namespace

TColorScheme BuiltInColorScheme()
{
    return BuiltInScheme;
}

QString ColorElementText(int element)
{
    if (element < 0 || element >= ColorElementCount)
        return {};
    return QString::fromLatin1(ElementTexts[element]);
}

quint32 PaletteColorValue(int index)
{
    if (index < 0 || index >= PaletteSize)
        return 0;
    const PaletteEntry& e = Palette[size_t(index)];
    return quint32(e.r) | (quint32(e.g) << 8) | (quint32(e.b) << 16);
}

QColor PaletteColor(int index)
{
    return ColorFromValue(PaletteColorValue(index));
}

QColor ColorFromValue(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

quint32 ColorValue(const QColor& color)
{
    return quint32(color.red()) | (quint32(color.green()) << 8) | (quint32(color.blue()) << 16);
}

TColorScheme ReadColorScheme(const QString& dataDir)
{
    TColorScheme scheme = BuiltInScheme;
    std::optional<QByteArray> bytes = readIn(dataDir, ColorSchemeFileName);
    if (!bytes || bytes->size() < ColorElementCount)
        return scheme;
    for (int k = 0; k < ColorElementCount; ++k) {
        const quint8 index = static_cast<quint8>((*bytes)[k]);
        if (index < PaletteSize)
            scheme[size_t(k)] = index;
    }
    return scheme;
}

bool WriteColorScheme(const QString& dataDir, const TColorScheme& scheme)
{
    QByteArray bytes;
    for (quint8 index : scheme)
        bytes.append(char(index));
    return writeIn(dataDir, ColorSchemeFileName, bytes);
}

TReminderDates ReadReminderDates(const QString& settingsDir)
{
    TReminderDates dates;
    std::optional<QByteArray> bytes = readIn(settingsDir, ReminderDatesFileName);
    if (!bytes)
        return dates;
    TByteReader in(std::move(*bytes));
    for (double* field :
         {&dates.LastBackup, &dates.LastBackupReminder, &dates.LastMaintenance, &dates.LastMaintenanceReminder}) {
        double value = 0;
        if (in.readDouble(value) && std::isfinite(value))
            *field = value;
    }
    return dates;
}

bool WriteReminderDates(const QString& settingsDir, const TReminderDates& dates, double now)
{
    TReminderDates d = dates;
    if (d.LastBackup == 0)
        d.LastBackup = now;
    if (d.LastMaintenance == 0)
        d.LastMaintenance = now;
    TByteWriter out;
    out.writeDouble(d.LastBackup);
    out.writeDouble(d.LastBackupReminder);
    out.writeDouble(d.LastMaintenance);
    out.writeDouble(d.LastMaintenanceReminder);
    return writeIn(settingsDir, ReminderDatesFileName, out.bytes());
}

bool WriteReminderDates(const QString& settingsDir, const TReminderDates& dates)
{
    return WriteReminderDates(settingsDir, dates, nowValue());
}

} // namespace mk
