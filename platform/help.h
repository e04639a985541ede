#pragma once

// Help contexts and the pages behind them.
//
// Help pages are HTML files in the help folder beside the program
// ("<program dir>/help"). contexts.txt in that folder maps context numbers to
// pages, one "number page" pair a line ('#' starts a comment); a context
// without an entry uses "<number>.html" when that exists, and otherwise the
// general page index.html.
//
// showHelp() hands a context to the installed help handler; the Qt help
// window (mk::HelpWindow) installs itself. Without a handler the request is
// only remembered (lastHelpContext()), which is what headless runs need.

#include <QString>

#include <functional>

namespace mk {

namespace HelpContext {
constexpr int None = 0;
constexpr int Contents = 1; // main window, "Help Contents"
constexpr int Find = 21;
constexpr int SortOptions = 22;
constexpr int Filter = 23;
constexpr int Report = 24;
constexpr int Import = 25;
constexpr int Export = 26;
constexpr int Password = 27;
constexpr int Maintenance = 28;
constexpr int Options = 29;
constexpr int RecordMenu = 31;
constexpr int Fields = 36;
constexpr int CorruptMemo = 62;
constexpr int EditLists = 65;
constexpr int Databases = 81;
constexpr int FieldFilter = 85;
constexpr int RecordTemplates = 99;
constexpr int LoadTemplate = 100;
constexpr int SortButton = 103;
constexpr int Header = 104;
constexpr int RecordList = 105;
constexpr int UserAccounts = 110;
constexpr int UserAccount = 111;
constexpr int BrowserNotFound = 113;
constexpr int SelectDirectory = 114;
constexpr int Attachment = 118;
constexpr int RestoreFromBackup = 123; // "was not Closed normally!", backups
constexpr int Replace = 130;
constexpr int MaintenanceLog = 131;
constexpr int Images = 132;
constexpr int TableViewer = 234;
} // namespace HelpContext

// The help folder; defaults to "<application dir>/help".
QString helpDirectory();
void setHelpDirectory(const QString& dir);

// The page file for a context in the help folder: the mapped page, else
// "<context>.html", else index.html. Empty when not even index.html exists.
QString helpPageFor(int context);
// The page file index.html, or empty when missing.
QString helpIndexPage();

using HelpHandler = std::function<void(int context)>;
// Installs the handler that shows help (nullptr: none). Returns the previous one.
HelpHandler setHelpHandler(HelpHandler handler);
// Shows help for a context (0 shows nothing).
void showHelp(int context);
// The last context passed to showHelp() (0 when none), for tests.
int lastHelpContext();

} // namespace mk
