#pragma once

// The storage layer of one run: the three long-lived tables (record table,
// copy buffer, catalogue), their creation from the template tables of the
// program directory, opening with repair, the catalogue counter and record
// numbers, the record copy buffer, the field kind sets, the sort index of
// the record table and the letter counts of its view.

#include "shell/settings/textsettings.h"
#include "storage/dbtable.h"
#include "storage/tindex.h"

#include <QString>
#include <QStringList>

#include <array>
#include <bitset>
#include <functional>
#include <memory>

namespace mk {

// The letter tabs of the main window, refreshed after a count changes.
class LetterPanel
{
public:
    virtual ~LetterPanel() = default;
    virtual void refreshLetter(char letter) = 0;
};

// Steps of a long loop: done of total; returning false stops the loop.
using ProgressFn = std::function<bool(int done, int total)>;

enum class FilterState { Off = 0, Normal = 1, Reversed = 2 };

class TStorage
{
public:
    static constexpr int FirstUserField = 2;

    explicit TStorage(TIndex& index);
    ~TStorage();

    // Directories of the run (ProgramDir holds the template tables).
    QString ProgramDir;
    QString DataDir;
    QString SettingsDir;
    QString TableFileName = QStringLiteral("data.dbf");

    // ---- the three tables ----
    void CreateTables();
    void CloseTables() noexcept;
    TDbTable& recordTable() { return *m_record; }
    TDbTable& copyBuffer() { return *m_copy; }
    TDbTable& catalogue() { return *m_catalogue; }

    bool OpenDatabase();
    bool OpenTable(TDbTable& table, const QString& fileName, bool exclusive);
    bool OpenWithRepair(TDbTable& table, bool regenerate);
    bool RepairIndexFile(TDbTable& table);
    bool RegenerateIndexes(TDbTable& table);
    bool CreateTableFromTemplate(TDbTable& table, bool keepIndexes);
    bool CreateTableInDataDir(const QString& fileName, bool keepIndexes);
    bool CreateCatalogue();
    bool OpenRecordTable();
    void DropAllIndexes(TDbTable& table);
    void DeleteTableFiles(TDbTable& table);
    void DeleteTable(const QString& directory, const QString& fileName);
    static bool CopyFileExpanding(const QString& source, const QString& destination);
    void CopyListFiles(const QString& sourceDir, const QString& destinationDir);
    int CopyRecords(TDbTable& source, TDbTable& destination, int& failures, const ProgressFn& progress = {});

    void EnsureCatalogueEntry(const QString& fileName);
    void SetCatalogueCounter(double value, const QString& fileName);
    void AssignRecordNumber(TDbTable& table);

    static bool GoToRecord(TDbTable& table, int n);
    static int RecordCount(TDbTable& table);
    // 0, or 'A'..'Z' from the primary sort field's text.
    char RecordLetter(TDbTable& table);
    // Captions of the field values menu, one per field from position 2 on.
    QStringList FieldValuesMenu(TDbTable& table, const TDateFormats& dateFormats);

    void CopyToBuffer(int position);
    void PasteFromBuffer(int position, LetterPanel* letterPanel);
    bool bufferFilled() const { return m_bufferFilled; }

    void BuildFieldKindSets(TDbTable& table);
    void RecordDecimals(TDbTable& table);
    std::bitset<256> textFields, memoFields, binaryFields;

    // While on, a failure to make a sort index current shows no message.
    bool quietIndex = true;

    // ---- sort index and letters ----
    bool ApplySortIndex();
    // The sort command after the user edited the requested state (snapshot
    // taken before): nothing when unchanged; else the filter goes off and the
    // new order is applied, reverting the state when it cannot be.
    bool CommitSortChange(const std::function<void()>& switchFilterOff);
    // A filter change: the filtered key serves any state but Off; the flag
    // is put back when the index cannot be made.
    bool ApplyFilterIndex(FilterState newState);
    bool SetLetterRange(TDbTable& table, char letter);
    bool SetLetterRange(TDbTable& table, char letter, bool letterTabs);
    bool letterTabsApply();
    void RecountLetters(const ProgressFn& progress = {});
    void RecountLetter(LetterPanel* letterPanel, char letter);
    void AdjustLetterCount(char letter, bool increment, LetterPanel* letterPanel);
    void MoveLetterCount(char oldLetter, char newLetter, LetterPanel* letterPanel);
    int letterCount(char letter) const;
    std::array<int, 26> letterCounts{};

    TIndex& index() { return m_index; }

    // ---- links to the rest of the program ----
    // The filter list's before-post handler, given to the record table by CreateTables.
    TDbTable::Handler beforePost;
    // Filter state and letter-tabs option as the program holds them.
    std::function<FilterState()> filterState;
    std::function<bool()> letterTabsEnabled;
    // Loading (from the user's "filter.dat") and clearing the filter list.
    std::function<void()> loadFilter;
    std::function<void()> clearFilter;
    // The main window's index-changed notification.
    std::function<void()> indexChanged;

private:
    void moveAsideBroken();
    // The last failed open of OpenTable failed because someone else holds the table.
    bool m_lastOpenLocked = false;
    FilterState currentFilter() const;

    TIndex& m_index;
    std::unique_ptr<TDbTable> m_record;
    std::unique_ptr<TDbTable> m_copy;
    std::unique_ptr<TDbTable> m_catalogue;
    bool m_bufferFilled = false;
};

} // namespace mk
