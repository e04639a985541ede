#pragma once

// Template tables and a storage layer over temporary folders for the
// storage tests: a program folder with data.dbf/DATA.MDX, master.dbf/
// MASTER.MDX and list.dbf, and an empty data folder.

#include "platform/scriptedprompter.h"
#include "storage/storage.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <memory>

namespace mk::test {

// Field positions of the record template used by the tests.
enum TemplateField {
    F_RECNO = 0,
    F_SEL = 1,
    F_NAME = 2,       // C 40
    F_PRODUCER = 3,   // C 40
    F_STYLE = 4,      // C 30
    F_VARIETAL = 5,   // C 30
    F_VINTAGE = 6,    // C 10
    F_BOTTLES = 7,    // N 10.0
    F_COST = 8,       // N 12.2
    F_TOTAL = 9,      // N 14.2
    F_SMALLPIC = 10,  // B
    F_SHORTNOTE = 18, // C 80
    F_CUSTOM1 = 19,   // N 12.2
    F_CUSTOM2 = 20,   // C 60
    F_CUSTOM3 = 21,   // D
    F_CUSTOM4 = 22,   // C 120
    F_NOTES = 23,     // M
    F_PICTURE = 24,   // B
};

// Writes the three template tables into dir.
void makeTemplates(const QString& dir);

class StorageFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    QString dataFile(const QString& name) const { return data.file(name); }
    // Appends a record to the open record table with these texts in NAME.
    void addRecords(const QStringList& names);
    // Closes every table and builds a fresh storage layer over the same folders.
    void restart();

    TempDir program;
    TempDir data;
    ScriptedPrompter prompter;
    std::unique_ptr<ScopedPrompter> usePrompter;
    TIndex index;
    std::unique_ptr<TStorage> storage;
    FilterState filter = FilterState::Off;
    bool letterTabs = true;
};

// A second process that holds a table open until it is stopped.
class TableHolder
{
public:
    TableHolder(const QString& dbfPath, bool exclusive);
    ~TableHolder();
    bool holding() const { return m_ok; }

private:
    int m_pid = -1;
    int m_stop = -1;
    bool m_ok = false;
};

} // namespace mk::test
