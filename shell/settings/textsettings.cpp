#include "shell/settings/textsettings.h"

#include "platform/dates.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/text.h"

namespace mk {

namespace {

QString fileIn(const QString& dir, const char* name)
{
    if (dir.isEmpty())
        return {};
    return findFileNoCase(dir, QString::fromLatin1(name));
}

QString fileForWrite(const QString& dir, const QString& name)
{
    if (dir.isEmpty())
        return {};
    return pathForWriteNoCase(dir, name);
}

} // namespace

std::optional<QStringList> ReadTextLines(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    std::optional<QByteArray> bytes = readFileBytes(path);
    if (!bytes)
        return std::nullopt;
    QStringList lines;
    const QByteArray& b = *bytes;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < b.size()) {
        const char c = b[i];
        if (c == '\r' || c == '\n') {
            lines.append(fromCp1252(b.constData() + start, i - start));
            if (c == '\r' && i + 1 < b.size() && b[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < b.size())
        lines.append(fromCp1252(b.constData() + start, b.size() - start));
    return lines;
}

bool WriteTextLines(const QString& path, const QStringList& lines)
{
    if (path.isEmpty())
        return false;
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += toCp1252(line);
        bytes += "\r\n";
    }
    return writeFileAtomic(path, bytes);
}

QStringList DefaultFieldLabels()
{
    return {
            QStringLiteral("Wine Name:"),   QStringLiteral("Producer:"),   QStringLiteral("Style:"),
            QStringLiteral("Varietal:"),    QStringLiteral("Vintage:"),    QStringLiteral("Bottles:"),
            QStringLiteral("Cost:"),        QStringLiteral("Total:"),      QStringLiteral("Small Picture:"),
            QStringLiteral("Wine Region:"), QStringLiteral("Attributes:"), QStringLiteral("Wine Rating:"),
            QStringLiteral("Best With:"),   QStringLiteral("Location:"),   QStringLiteral("Drink from:"),
            QStringLiteral("Drink to:"),    QStringLiteral("Short Note:"), QStringLiteral("Custom 1:"),
            QStringLiteral("Custom 2:"),    QStringLiteral("Custom 3:"),   QStringLiteral("Custom 4:"),
            QStringLiteral("Notes:"),       QStringLiteral("Picture:"),
    };
}

bool LoadFieldLabels(const QString& settingsDir, QStringList& labels)
{
    labels.clear();
    std::optional<QStringList> lines = ReadTextLines(fileIn(settingsDir, FieldLabelsFileName));
    if (!lines)
        return false;
    labels = std::move(*lines);
    return true;
}

bool SaveFieldLabels(const QString& settingsDir, const QStringList& labels)
{
    if (WriteTextLines(fileForWrite(settingsDir, QString::fromLatin1(FieldLabelsFileName)), labels))
        return true;
    showError(QString::fromLatin1(SaveOptionsErrorText));
    return false;
}

QString DateFormatDialogText(int code)
{
    return dateFormatForCode(code).toUpper();
}

bool LoadDateFormats(const QString& settingsDir, TDateFormats& formats)
{
    formats.clear();
    std::optional<QStringList> lines = ReadTextLines(fileIn(settingsDir, DateFormatsFileName));
    if (!lines)
        return false;
    for (const QString& line : *lines) {
        TDateFormatEntry entry;
        const QString text = line.trimmed();
        if (text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] < QLatin1Char(char('0' + DateFormatCount)))
            entry.code = text[0].unicode() - '0';
        formats.append(entry);
    }
    return true;
}

bool SaveDateFormats(const QString& settingsDir, const TDateFormats& formats)
{
    QStringList lines;
    for (const TDateFormatEntry& entry : formats)
        lines.append(QString::number(entry.code >= 0 && entry.code < DateFormatCount ? entry.code : 0));
    if (WriteTextLines(fileForWrite(settingsDir, QString::fromLatin1(DateFormatsFileName)), lines))
        return true;
    showError(QString::fromLatin1(SaveOptionsErrorText));
    return false;
}

void FitDateFormats(TDateFormats& formats, const QList<int>& dateFieldSlots)
{
    formats.resize(dateFieldSlots.size());
    for (qsizetype i = 0; i < dateFieldSlots.size(); ++i)
        formats[i].slot = dateFieldSlots[i];
}

namespace {

void writeMarker(const QString& settingsDir, const char* marker)
{
    WriteTextLines(fileForWrite(settingsDir, QString::fromLatin1(ShutdownFileName)), {QString::fromLatin1(marker)});
}

} // namespace

void MarkRunning(const QString& settingsDir)
{
    writeMarker(settingsDir, RunningMarker);
}

void MarkClosed(const QString& settingsDir)
{
    writeMarker(settingsDir, ClosedMarker);
}

bool WasClosedNormally(const QString& settingsDir)
{
    std::optional<QStringList> lines = ReadTextLines(fileIn(settingsDir, ShutdownFileName));
    if (!lines)
        return true;
    return !lines->isEmpty() && lines->first() == QLatin1String(ClosedMarker);
}

QStringList LoadRecordTemplateNames(const QString& settingsDir)
{
    return ReadTextLines(fileIn(settingsDir, RecordTemplatesFileName)).value_or(QStringList());
}

bool SaveRecordTemplateNames(const QString& settingsDir, const QStringList& names)
{
    return WriteTextLines(fileForWrite(settingsDir, QString::fromLatin1(RecordTemplatesFileName)), names);
}

QString PageOrderFileName(const QString& tableFileName)
{
    const qsizetype dot = tableFileName.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return tableFileName + QStringLiteral("tab");
    return tableFileName.left(dot + 1) + QStringLiteral("tab");
}

QString ReadPageOrder(const QString& settingsDir, const QString& tableFileName)
{
    if (settingsDir.isEmpty())
        return {};
    std::optional<QStringList> lines = ReadTextLines(findFileNoCase(settingsDir, PageOrderFileName(tableFileName)));
    if (!lines || lines->isEmpty())
        return {};
    return lines->first();
}

bool WritePageOrder(const QString& settingsDir, const QString& tableFileName, const QString& order)
{
    return WriteTextLines(fileForWrite(settingsDir, PageOrderFileName(tableFileName)), {order});
}

QString PageOrderOf(const QStringList& pageCaptions)
{
    QString order;
    for (const QString& caption : pageCaptions) {
        if (!caption.isEmpty())
            order += caption.back();
    }
    return order;
}

QList<int> ArrangePages(const QStringList& pageCaptions, const QString& order)
{
    QList<int> pages;
    for (int i = 0; i < pageCaptions.size(); ++i)
        pages.append(i);
    for (qsizetype p = 0; p < order.size() && p < pages.size(); ++p) {
        for (qsizetype k = 0; k < pages.size(); ++k) {
            const QString& caption = pageCaptions[pages[k]];
            if (!caption.isEmpty() && caption.back() == order[p]) {
                pages.move(k, p);
                break;
            }
        }
    }
    return pages;
}

} // namespace mk
