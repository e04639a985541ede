#include "shell/settings/options.h"

#include "platform/files.h"
#include "platform/text.h"
#include "shell/settings/settingsstring.h"

#include <QDir>
#include <QFileInfo>

namespace mk {

void TFontRecord::write(TByteWriter& out) const
{
    const QByteArray name = toCp1252(Name).left(255);
    out.writeByte(quint8(name.size()));
    out.writeBytes(name);
    out.writeZeros(255 - name.size());
    out.writeByte(Style);
    out.writeZeros(3);
    out.writeInt32(Size);
}

bool TFontRecord::read(TByteReader& in)
{
    QByteArray raw;
    if (!in.readBytes(ByteSize, raw))
        return false;
    TByteReader r(raw);
    quint8 length = 0;
    r.readByte(length);
    QByteArray name;
    r.readBytes(length, name);
    r.skip(255 - length);
    quint8 style = 0;
    r.readByte(style);
    r.skip(3);
    qint32 size = 0;
    r.readInt32(size);
    Name = fromCp1252(name);
    Style = style;
    Size = size;
    return true;
}

QFont TFontRecord::toFont() const
{
    QFont font(Name);
    if (Size > 0)
        font.setPointSize(Size);
    font.setBold(Style & Bold);
    font.setItalic(Style & Italic);
    font.setUnderline(Style & Underline);
    font.setStrikeOut(Style & StrikeOut);
    return font;
}

TFontRecord TFontRecord::fromFont(const QFont& font)
{
    TFontRecord rec;
    rec.Name = font.family().left(255);
    rec.Style = quint8((font.bold() ? Bold : 0) | (font.italic() ? Italic : 0) | (font.underline() ? Underline : 0) |
                       (font.strikeOut() ? StrikeOut : 0));
    rec.Size = font.pointSize() > 0 ? font.pointSize() : qRound(font.pointSizeF());
    return rec;
}

TMachineOptions TMachineOptions::defaults(const QString& programDir)
{
    TMachineOptions o;
    o.DataRoot = programDir;
    return o;
}

QByteArray TMachineOptions::toBytes() const
{
    TByteWriter out;
    out.writeInt16(PasswordMode);
    out.writeInt16(PublicAccessMode);
    WriteSettingsString(out, DataRoot);
    out.writeInt16(UserCount);
    WriteSettingsString(out, SupervisorPassword);
    return out.bytes();
}

void TMachineOptions::readFrom(TByteReader& in)
{
    in.readInt16(PasswordMode);
    in.readInt16(PublicAccessMode);
    DataRoot = ReadSettingsString(in);
    in.readInt16(UserCount);
    SupervisorPassword = ReadSettingsString(in);
}

namespace {

// Reads "options.dat" of dir into options; false when there is none to read.
template<class Options>
bool readOptionsFile(const QString& dir, Options& options)
{
    if (dir.isEmpty())
        return false;
    const QString path = findFileNoCase(dir, QString::fromLatin1(OptionsFileName));
    if (path.isEmpty())
        return false;
    std::optional<QByteArray> bytes = readFileBytes(path);
    if (!bytes)
        return false;
    TByteReader in(std::move(*bytes));
    options.readFrom(in);
    return true;
}

bool readMachineFile(const QString& dir, TMachineOptions& options)
{
    return readOptionsFile(dir, options);
}

bool canEnterDirectory(const QString& dir)
{
    if (dir.isEmpty())
        return false;
    const QFileInfo info(nativePath(dir));
    return info.isDir() && info.isExecutable();
}

bool writeOptionsFile(const QString& dir, const QByteArray& bytes)
{
    if (dir.isEmpty())
        return false;
    return writeFileAtomic(pathForWriteNoCase(dir, QString::fromLatin1(OptionsFileName)), bytes);
}

} // namespace

bool ReadMachineOptions(const QString& programDir, TMachineOptions& options)
{
    options = TMachineOptions::defaults(programDir);
    bool result = readMachineFile(programDir, options);
    if (result && !options.DataRoot.isEmpty() && options.DataRoot != programDir &&
        fileExistsNoCase(options.DataRoot, QString::fromLatin1(OptionsFileName))) {
        const QString dataRoot = options.DataRoot;
        result = readMachineFile(dataRoot, options);
        options.DataRoot = dataRoot;
    }
    if (!canEnterDirectory(options.DataRoot))
        options.DataRoot = programDir;
    return result;
}

bool WriteMachineOptions(const QString& programDir, const TMachineOptions& options)
{
    const QByteArray bytes = options.toBytes();
    bool ok = writeOptionsFile(programDir, bytes);
    if (!options.DataRoot.isEmpty() && options.DataRoot != programDir)
        ok = writeOptionsFile(options.DataRoot, bytes) && ok;
    return ok;
}

QByteArray TUserOptions::toBytes() const
{
    TByteWriter out;
    out.writeInt16(MenusAndSpeedBars);
    out.writeInt16(Reserved2);
    out.writeInt16(Reserved3);
    out.writeInt16(HintMessages);
    out.writeInt16(LetterTabs);
    out.writeInt16(InitialDataFile);
    out.writeInt16(Reserved7);
    out.writeInt16(FilterDateFormat);
    out.writeInt16(SpeedBarLocation);
    out.writeInt16(DeleteMode);
    WriteSettingsString(out, LastTableFileName);
    WriteSettingsString(out, LastDataDir);
    out.writeInt16(HideOnStartup);
    out.writeInt16(LetterTabsLocation);
    out.writeBool(StayOnTop);
    out.writeBool(ShowTips);
    for (int i = 0; i < 4; ++i)
        WriteSettingsString(out, QString());
    RecordButtonFont.write(out);
    EditFieldFont.write(out);
    MemoFieldFont.write(out);
    out.writeBool(AutoFill);
    out.writeBool(ShowReminders);
    out.writeBool(ShowTrayIcon);
    return out.bytes();
}

void TUserOptions::readFrom(TByteReader& in)
{
    in.readInt16(MenusAndSpeedBars);
    in.readInt16(Reserved2);
    in.readInt16(Reserved3);
    in.readInt16(HintMessages);
    in.readInt16(LetterTabs);
    in.readInt16(InitialDataFile);
    in.readInt16(Reserved7);
    in.readInt16(FilterDateFormat);
    in.readInt16(SpeedBarLocation);
    in.readInt16(DeleteMode);
    LastTableFileName = ReadSettingsString(in);
    LastDataDir = ReadSettingsString(in);
    in.readInt16(HideOnStartup);
    in.readInt16(LetterTabsLocation);
    in.readBool(StayOnTop);
    in.readBool(ShowTips);

    if (in.atEnd())
        return;
    for (int i = 0; i < 4; ++i)
        ReadSettingsString(in);
    RecordButtonFont.read(in);
    EditFieldFont.read(in);
    MemoFieldFont.read(in);
    in.readBool(AutoFill);
    in.readBool(ShowReminders);

    if (in.atEnd())
        return;
    in.readBool(ShowTrayIcon);
}

bool ReadUserOptions(const QString& settingsDir, TUserOptions& options)
{
    options = TUserOptions();
    return readOptionsFile(settingsDir, options);
}

bool WriteUserOptions(const QString& settingsDir, const TUserOptions& options)
{
    return writeOptionsFile(settingsDir, options.toBytes());
}

TLastDatabase LastUsedDatabase(const TUserOptions& options, const QString& dataRoot, bool isSupervisor, int accessLevel,
                               bool savedDirIsPublic)
{
    TLastDatabase last;
    if (options.InitialDataFile != 1 || options.LastTableFileName.isEmpty() || options.LastDataDir.isEmpty())
        return last;
    if (!isSupervisor && accessLevel == 3 && savedDirIsPublic)
        return last;
    last.reopen = true;
    last.tableFileName = options.LastTableFileName;
    if (options.LastDataDir.startsWith(dataRoot, Qt::CaseSensitive)) {
        last.takeDataDir = true;
        last.dataDir = options.LastDataDir;
    }
    return last;
}

} // namespace mk
