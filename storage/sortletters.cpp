// The sort index of the record table and the letter counts of its view.

#include "platform/prompt.h"
#include "platform/text.h"
#include "storage/storage.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

namespace mk {

using dbase::DatabaseError;

namespace {

// Hourglass for the duration of a scope, when there is a GUI application.
class WaitCursor
{
public:
    WaitCursor()
        : m_on(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    {
        if (m_on)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor()
    {
        if (m_on)
            QGuiApplication::restoreOverrideCursor();
    }

private:
    bool m_on;
};

} // namespace

bool TStorage::ApplySortIndex()
{
    TDbTable& record = *m_record;
    record.close();
    const QString previous = record.indexName();
    record.setIndexName(QString());
    try {
        const QString name = m_index.FindOrCreateTag(record, *this);
        if (!name.isEmpty()) {
            record.setIndexName(name);
            record.setExclusive(false);
            record.open();
            if (indexChanged)
                indexChanged();
            RecordDecimals(record);
            return true;
        }
    } catch (const DatabaseError&) {}

    // The previous order stays in force.
    record.close();
    record.setExclusive(false);
    record.setIndexName(previous);
    try {
        record.open();
    } catch (const DatabaseError&) {
        // The old tag is gone too: natural order rather than no table at all.
        record.setIndexName(QString());
        try {
            record.open();
        } catch (const DatabaseError&) {}
    }
    RecordDecimals(record);
    m_index.Revert();
    if (!quietIndex)
        showError(QStringLiteral("Unable to create Index!\rDatabase may be used by someone else - this function "
                                 "requires Exclusive Database Use."));
    return false;
}

bool TStorage::CommitSortChange(const std::function<void()>& switchFilterOff)
{
    if (m_index.Unchanged())
        return true;
    if (switchFilterOff)
        switchFilterOff();
    m_index.filtered = false;
    if (ApplySortIndex())
        return true;
    m_index.Revert();
    return false;
}

bool TStorage::ApplyFilterIndex(FilterState newState)
{
    const bool previous = m_index.filtered;
    m_index.filtered = newState != FilterState::Off;
    if (ApplySortIndex())
        return true;
    m_index.filtered = previous;
    return false;
}

bool TStorage::SetLetterRange(TDbTable& table, char letter)
{
    return SetLetterRange(table, letter, letterTabsEnabled ? letterTabsEnabled() : true);
}

bool TStorage::SetLetterRange(TDbTable& table, char letter, bool letterTabs)
{
    const FilterState filter = currentFilter();
    std::string marker;
    if (filter == FilterState::Normal)
        marker = "2";
    else if (filter == FilterState::Reversed)
        marker = "0";

    const int p = m_index.primary();
    const bool hasIndex = table.active() && !table.indexName().isEmpty();
    if (hasIndex && p >= FirstUserField && p < table.fieldCount() && table.field(p).type == dbase::TypeChar &&
        letterTabs) {
        // The key starts with the marker (when filtered) and then the primary
        // text; bounds are prefixes of it. 'A' also takes everything sorting
        // before it, 'Z' everything after it.
        std::string low = marker + letter;
        std::string high = marker + letter;
        if (letter == 'A')
            low = marker;
        if (letter == 'Z')
            high = marker;
        if (table.currentIndexDescending())
            std::swap(low, high);
        table.setRange(low, high);
        table.first();
        return true;
    }

    if (hasIndex && filter != FilterState::Off) {
        std::string low = filter == FilterState::Normal ? "2" : "0";
        std::string high = filter == FilterState::Normal ? "3" : "1";
        if (table.currentIndexDescending())
            std::swap(low, high);
        table.setRange(low, high);
    } else if (hasIndex) {
        table.cancelRange();
    }
    if (table.active())
        table.first();
    return false;
}

bool TStorage::letterTabsApply()
{
    if (letterTabsEnabled && !letterTabsEnabled())
        return false;
    const int p = m_index.primary();
    return p >= FirstUserField && p < 256 && textFields.test(size_t(p));
}

void TStorage::RecountLetters(const ProgressFn& progress)
{
    if (!letterTabsApply())
        return;
    WaitCursor wait;
    TDbTable& record = *m_record;
    int done = 0;
    for (char letter = 'Z'; letter >= 'A'; --letter) {
        int& count = letterCounts[size_t(letter - 'A')];
        count = 0;
        if (SetLetterRange(record, letter))
            count = RecordCount(record);
        if (progress && !progress(++done, 26))
            break;
    }
}

void TStorage::RecountLetter(LetterPanel* letterPanel, char letter)
{
    if (!letterTabsApply() || letter < 'A' || letter > 'Z')
        return;
    letterCounts[size_t(letter - 'A')] = RecordCount(*m_record);
    if (letterPanel)
        letterPanel->refreshLetter(letter);
}

void TStorage::AdjustLetterCount(char letter, bool increment, LetterPanel* letterPanel)
{
    if (letter < 'A' || letter > 'Z')
        return;
    letterCounts[size_t(letter - 'A')] += increment ? 1 : -1;
    if (letterPanel)
        letterPanel->refreshLetter(letter);
}

void TStorage::MoveLetterCount(char oldLetter, char newLetter, LetterPanel* letterPanel)
{
    AdjustLetterCount(oldLetter, false, letterPanel);
    AdjustLetterCount(newLetter, true, letterPanel);
}

int TStorage::letterCount(char letter) const
{
    return letter >= 'A' && letter <= 'Z' ? letterCounts[size_t(letter - 'A')] : 0;
}

} // namespace mk
