#pragma once

// The plain text settings files: field captions ("labels.dat"), date formats
// ("date.dat"), the shutdown marker ("shut.dat"), the record-template names
// ("records.tml") and the page order file. Lines end with CR LF; the text is
// Windows-1252.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace mk {

inline constexpr const char* FieldLabelsFileName = "labels.dat";
inline constexpr const char* DateFormatsFileName = "date.dat";
inline constexpr const char* ShutdownFileName = "shut.dat";
inline constexpr const char* RecordTemplatesFileName = "records.tml";

// The error message SaveFieldLabels and SaveDateFormats show when the file
// cannot be written.
inline constexpr const char* SaveOptionsErrorText = "Could not Save Options to a File!";

// The lines of a text file; a line ends at CR LF, LF or a lone CR, and a
// last line without an ending counts. nullopt when the file cannot be read.
std::optional<QStringList> ReadTextLines(const QString& path);
// Each line followed by CR LF, the file replaced atomically.
bool WriteTextLines(const QString& path, const QStringList& lines);

// The captions of the wine layout, slot 1 to 23.
QStringList DefaultFieldLabels();

// `FieldLabels` from "labels.dat": one caption per slot in slot order. A
// missing file gives an empty list (the record form then fills it from its
// design captions). Returns whether the file was read.
bool LoadFieldLabels(const QString& settingsDir, QStringList& labels);
// On failure shows SaveOptionsErrorText (error, OK) and returns false.
bool SaveFieldLabels(const QString& settingsDir, const QStringList& labels);

// One date-format code per date field of the record form, with the zero-based
// slot index of that field (not stored in the file).
struct TDateFormatEntry
{
    int code = 0; // 0 "mm/dd/yyyy", 1 "dd/mm/yyyy", 2 "yyyy/mm/dd", 3 "yyyy"
    int slot = -1;
    bool operator==(const TDateFormatEntry&) const = default;
};
using TDateFormats = QList<TDateFormatEntry>;

// The formats themselves ("mm/dd/yyyy" ...) come from dateFormatForCode()
// in platform/dates.h.
inline constexpr int DateFormatCount = 4;
// "MM/DD/YYYY", "DD/MM/YYYY", "YYYY/MM/DD", "YYYY" as the options dialog
// lists them.
QString DateFormatDialogText(int code);

// A line that is not one of the codes 0 to 3 reads as code 0.
bool LoadDateFormats(const QString& settingsDir, TDateFormats& formats);
// On failure shows SaveOptionsErrorText (error, OK) and returns false.
bool SaveDateFormats(const QString& settingsDir, const TDateFormats& formats);
// Makes the list match the record form's date fields: one entry per field
// (missing entries get code 0, entries beyond the fields are dropped) and
// entry i records the slot of date field i.
void FitDateFormats(TDateFormats& formats, const QList<int>& dateFieldSlots);

// "shut.dat": the running marker while the program runs, the closed marker
// after a clean shutdown. Write errors are ignored.
inline constexpr const char* RunningMarker = "#10*";
inline constexpr const char* ClosedMarker = "@a$)";
void MarkRunning(const QString& settingsDir);
void MarkClosed(const QString& settingsDir);
// True when the file cannot be opened (first run) or its first line is the
// closed marker exactly.
bool WasClosedNormally(const QString& settingsDir);

// "records.tml": one record-template name per line, in template order.
QStringList LoadRecordTemplateNames(const QString& settingsDir);
bool SaveRecordTemplateNames(const QString& settingsDir, const QStringList& names);

// The page order file of a record table: everything after the first "." of
// the table file name becomes "tab" ("data.dbf" -> "data.tab"); a name without
// "." gets "tab" appended.
QString PageOrderFileName(const QString& tableFileName);
// The one line of the file ("2134"), or an empty string when it is missing.
QString ReadPageOrder(const QString& settingsDir, const QString& tableFileName);
bool WritePageOrder(const QString& settingsDir, const QString& tableFileName, const QString& order);
// The last character of each page caption in page order ("Part 1" -> '1').
QString PageOrderOf(const QStringList& pageCaptions);
// Applies a stored order to pages in design order: character p moves the page
// whose caption ends with it to position p. Characters that match no page, or
// positions beyond the pages, are skipped. Gives the design indexes of the
// pages in their new order.
QList<int> ArrangePages(const QStringList& pageCaptions, const QString& order);

} // namespace mk
