// The storage layer over real tables: creation from templates, opening with
// repair, moving a broken record table aside, record numbers, the copy
// buffer, record positions and letters.

#include "tests/storage/storagefixture.h"

#include "platform/files.h"
#include "platform/text.h"
#include "storage/engine/table_ops.h"

#include <QDir>
#include <QFile>

#include <optional>

using namespace mk;
using namespace mk::test;

namespace {

int messageCount(const ScriptedPrompter& p, MessageType type)
{
    int n = 0;
    for (const auto& m : p.messages())
        n += m.type == type ? 1 : 0;
    return n;
}

} // namespace

TEST_F(StorageFixture, EmptyDataDirectoryGetsCatalogueBufferAndRecordTable)
{
    ASSERT_TRUE(storage->OpenDatabase());
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages().at(0).type, MessageType::Warning);
    EXPECT_TRUE(prompter.messages().at(0).text.startsWith("Could not Open the database!"));
    EXPECT_TRUE(fileExistsNoCase(data.path(), "master.dbf"));
    EXPECT_TRUE(fileExistsNoCase(data.path(), "data.dbf"));
    EXPECT_TRUE(fileExistsNoCase(data.path(), "data.mdx"));
    EXPECT_FALSE(fileExistsNoCase(data.path(), "copy.mdx"));
    EXPECT_EQ(storage->copyBuffer().recordCount(), 1);
    EXPECT_TRUE(storage->copyBuffer().tags().empty());
    EXPECT_EQ(storage->catalogue().indexName(), "IDX0");
    EXPECT_FALSE(storage->quietIndex);
    // Nothing to move aside: no bad$$$ files appear.
    EXPECT_FALSE(fileExistsNoCase(data.path(), "bad$$$.dbf"));

    // A new database numbers its records from 2 on.
    TDbTable& t = storage->recordTable();
    t.setAfterInsert([this](TDbTable& table) { storage->AssignRecordNumber(table); });
    addRecords({"First", "Second"});
    t.first();
    EXPECT_EQ(t.asNumber(F_RECNO).value_or(0), 2);
    t.next();
    EXPECT_EQ(t.asNumber(F_RECNO).value_or(0), 3);
    storage->EnsureCatalogueEntry("data.dbf");
    EXPECT_EQ(storage->catalogue().asString(0), "data.dbf");
    EXPECT_EQ(storage->catalogue().asString(1), "data.dbf");
    EXPECT_EQ(storage->catalogue().asNumber(3).value_or(0), 3);
}

TEST_F(StorageFixture, DamagedIndexIsReplacedAndRecordsSurvive)
{
    for (const QString name : {"data.dbf", "data_3.dbf"}) {
        SCOPED_TRACE(name.toStdString());
        storage->TableFileName = name;
        ASSERT_TRUE(storage->OpenDatabase());
        addRecords({"Alpha", "Beta", "Gamma"});
        restart();
        prompter.clear();
        const QString mdx = findFileNoCase(data.path(), QString(name).replace(".dbf", ".mdx"));
        ASSERT_FALSE(mdx.isEmpty());
        QFile f(mdx);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write(QByteArray(2048, '\x5A'));
        f.close();

        storage->TableFileName = name;
        ASSERT_TRUE(storage->OpenDatabase());
        EXPECT_TRUE(prompter.messages().isEmpty()) << prompter.lastMessageText().toStdString();
        EXPECT_EQ(storage->RecordCount(storage->recordTable()), 3);
        EXPECT_FALSE(fileExistsNoCase(data.path(), "bad$$$.dbf"));
        if (name != "data.dbf")
            EXPECT_FALSE(fileExistsNoCase(program.path(), name)) << "temporary template copy left behind";
        // The regenerated index serves a sort order again.
        index.requested = {uint8_t(F_NAME), 1, 0, 0};
        ASSERT_TRUE(storage->ApplySortIndex());
        storage->recordTable().first();
        EXPECT_EQ(storage->recordTable().asString(F_NAME), "Gamma");
        restart();
    }
}

TEST_F(StorageFixture, RecordTableWithoutMemoFileIsMovedAsideAndReplaced)
{
    ASSERT_TRUE(storage->OpenDatabase());
    addRecords({"Kept one", "Kept two"});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        restart();
        prompter.clear();
        ASSERT_TRUE(QFile::remove(findFileNoCase(data.path(), "data.dbt")));
        ASSERT_TRUE(storage->OpenDatabase());
        ASSERT_EQ(prompter.messages().size(), 1);
        EXPECT_EQ(prompter.messages().at(0).text,
                  "Could not Open the database! A new database will be created. The original file (if existed) was "
                  "renamed to BAD$$$.DBF.");
        EXPECT_EQ(storage->RecordCount(storage->recordTable()), 0);
        EXPECT_TRUE(fileExistsNoCase(data.path(), "data.dbt"));
        EXPECT_TRUE(fileExistsNoCase(data.path(), "bad$$$.dbf"));
        EXPECT_TRUE(fileExistsNoCase(data.path(), "bad$$$.mdx"));
        EXPECT_EQ(index.requested, (TSortState{0, 0, 0, 0}));
        addRecords({"Next"});
    }
    // The first broken set is kept under the next free name, not overwritten.
    EXPECT_TRUE(fileExistsNoCase(data.path(), "bad$$$1.dbf"));
    EXPECT_TRUE(fileExistsNoCase(data.path(), "bad$$$1.mdx"));
    QFile first(findFileNoCase(data.path(), "bad$$$1.dbf"));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_TRUE(first.readAll().contains("Kept two"));
}

TEST_F(StorageFixture, GoToRecordAndRecordLetter)
{
    ASSERT_TRUE(storage->OpenDatabase());
    addRecords({"apple", "7 Hills", "~tilde", "", "Zinfandel", "[bracket"});
    TDbTable& t = storage->recordTable();
    const int n = storage->RecordCount(t);
    ASSERT_EQ(n, 6);
    ASSERT_TRUE(storage->GoToRecord(t, 0));
    EXPECT_EQ(t.asString(F_NAME), "apple");
    ASSERT_TRUE(storage->GoToRecord(t, 2));
    EXPECT_EQ(t.asString(F_NAME), "~tilde");
    ASSERT_TRUE(storage->GoToRecord(t, n));
    EXPECT_TRUE(t.eof());
    ASSERT_TRUE(storage->GoToRecord(t, n + 5));
    EXPECT_TRUE(t.eof());

    EXPECT_EQ(storage->RecordLetter(t), 0) << "entry order has no letter";
    index.requested = {uint8_t(F_NAME), 0, 0, 0};
    const char expected[] = {'A', 'A', 'Z', 'A', 'Z', 'Z'};
    for (int i = 0; i < n; ++i) {
        storage->GoToRecord(t, i);
        EXPECT_EQ(storage->RecordLetter(t), expected[i]) << t.asString(F_NAME).toStdString();
    }
    index.requested = {uint8_t(F_BOTTLES), 0, 0, 0};
    EXPECT_EQ(storage->RecordLetter(t), 0) << "numeric primary";
    TDbTable closed;
    EXPECT_FALSE(storage->GoToRecord(closed, 0));
    EXPECT_EQ(storage->RecordLetter(closed), 0);
}

TEST_F(StorageFixture, CopyRecordsRenumbersAndCountsDamagedRecords)
{
    ASSERT_TRUE(storage->OpenDatabase());
    TDbTable& t = storage->recordTable();
    t.setAfterInsert([this](TDbTable& table) { storage->AssignRecordNumber(table); });
    addRecords({"One", "Two", "Three", "Four"});
    t.first();
    t.edit();
    t.engine().setMemoLines(F_NOTES, {"line one", "line two"});
    t.post();
    const qint64 notesAt =
            t.engine().header().headerLength + t.engine().header().recordLength + t.engine().field(F_NOTES).offset;
    t.close();
    {
        // The second record's memo points far past the end of the memo file.
        QFile dbf(findFileNoCase(data.path(), "data.dbf"));
        ASSERT_TRUE(dbf.open(QIODevice::ReadWrite));
        dbf.seek(notesAt);
        dbf.write("    999999");
    }

    ASSERT_TRUE(storage->CreateTableInDataDir("TEMP$00.DBF", true));
    TDbTable source, work;
    source.setDatabaseName(data.path());
    source.setTableName("data.dbf");
    source.open();
    work.setDatabaseName(data.path());
    work.setTableName("TEMP$00.DBF");
    work.setExclusive(true);
    work.open();
    int failures = -1;
    int steps = 0;
    const int next = storage->CopyRecords(source, work, failures, [&](int, int total) {
        EXPECT_EQ(total, 4);
        ++steps;
        return true;
    });
    EXPECT_EQ(next, 5);
    EXPECT_EQ(failures, 1) << "the damaged memo is skipped, the record copied";
    EXPECT_EQ(steps, 5);
    EXPECT_FALSE(work.active());
    work.setExclusive(false);
    work.open();
    ASSERT_EQ(work.recordCount(), 4);
    work.first();
    EXPECT_EQ(work.asNumber(F_RECNO).value_or(0), 1);
    EXPECT_EQ(work.engine().memoLines(F_NOTES).at(1), "line two");
    work.next();
    EXPECT_EQ(work.asString(F_NAME), "Two");
    EXPECT_TRUE(work.isNull(F_NOTES));
    work.last();
    EXPECT_EQ(work.asNumber(F_RECNO).value_or(0), 4);
    EXPECT_EQ(work.asString(F_NAME), "Four");

    // After a repair of n records the next new record gets n + 2.
    source.close();
    t.open();
    storage->SetCatalogueCounter(next, "data.dbf");
    addRecords({"After repair"});
    t.last();
    EXPECT_EQ(t.asNumber(F_RECNO).value_or(0), 6);
}

TEST_F(StorageFixture, CopyAndPasteThroughTheBuffer)
{
    struct Panel : LetterPanel
    {
        QString refreshed;
        void refreshLetter(char letter) override { refreshed += QChar(letter); }
    } panel;
    ASSERT_TRUE(storage->OpenDatabase());
    addRecords({"Merlot", "Barolo"});
    TDbTable& t = storage->recordTable();
    index.requested = {uint8_t(F_NAME), 0, 0, 0};

    storage->CopyToBuffer(5);
    EXPECT_EQ(prompter.lastMessageText(), "Empty Record - Not Copied!");
    EXPECT_FALSE(storage->bufferFilled());
    storage->PasteFromBuffer(0, &panel);
    storage->GoToRecord(t, 0);
    EXPECT_EQ(t.asString(F_NAME), "Merlot") << "nothing pasted before a copy";

    storage->CopyToBuffer(0);
    EXPECT_TRUE(storage->bufferFilled());
    storage->letterCounts.fill(1);
    storage->PasteFromBuffer(1, &panel); // over Barolo
    storage->GoToRecord(t, 1);
    EXPECT_EQ(t.asString(F_NAME), "Merlot");
    EXPECT_EQ(storage->letterCount('B'), 0);
    EXPECT_EQ(storage->letterCount('M'), 2);
    EXPECT_EQ(panel.refreshed, "BM");
    storage->PasteFromBuffer(2, &panel); // at the end: a new record
    EXPECT_EQ(storage->RecordCount(t), 3);
    EXPECT_EQ(storage->letterCount('M'), 3);
}

TEST_F(StorageFixture, FieldValuesMenuCaptions)
{
    ASSERT_TRUE(storage->OpenDatabase());
    prompter.clear();
    TDbTable& t = storage->recordTable();
    t.append();
    t.setString(F_SHORTNOTE, QString(60, 'x'));
    t.setNumber(F_COST, 12.5);
    t.engine().setDate(F_CUSTOM3, {2024, 3, 9});
    t.engine().setMemoLines(F_NOTES, {"Notes first", "second"});
    t.engine().setBlob(F_PICTURE, "BMxxxx");
    t.post();
    TDateFormats formats{{1, 19}};
    const QStringList captions = storage->FieldValuesMenu(t, formats);
    ASSERT_EQ(captions.size(), t.fieldCount() - 2);
    EXPECT_EQ(captions.at(F_SHORTNOTE - 2), QString(50, 'x'));
    EXPECT_EQ(captions.at(F_COST - 2), "12.50");
    EXPECT_EQ(captions.at(F_CUSTOM3 - 2), "09/03/2024");
    EXPECT_EQ(captions.at(F_NOTES - 2), "Notes first");
    EXPECT_EQ(captions.at(F_SMALLPIC - 2), "<PICTURE> - Empty");
    EXPECT_EQ(captions.at(F_PICTURE - 2), "<PICTURE> - Not Empty");
    EXPECT_TRUE(prompter.messages().isEmpty());

    // A memo pointing past the end of the memo file: the message names the record.
    t.edit();
    t.setString(F_PRODUCER, "Chateau X");
    t.post();
    const qint64 notesAt = t.engine().header().headerLength + t.engine().field(F_NOTES).offset;
    t.close();
    {
        QFile dbf(findFileNoCase(data.path(), "data.dbf"));
        ASSERT_TRUE(dbf.open(QIODevice::ReadWrite));
        dbf.seek(notesAt);
        dbf.write("    999999");
    }
    t.open();
    t.first();
    const QStringList damaged = storage->FieldValuesMenu(t, formats);
    EXPECT_EQ(damaged.at(F_NOTES - 2), "");
    EXPECT_EQ(damaged.at(F_NAME - 2), "");
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages().at(0).type, MessageType::Error);
    EXPECT_EQ(prompter.messages().at(0).text, "Corrupt Memo Field!!! You should delete record: \rChateau X");
}

TEST_F(StorageFixture, OpenTableAsksToRetryWhileAnotherProcessHoldsTheTable)
{
    ASSERT_TRUE(storage->OpenDatabase());
    index.requested = {uint8_t(F_NAME), 0, 0, 0};
    ASSERT_TRUE(storage->ApplySortIndex());
    const size_t tags = storage->recordTable().tags().size();
    storage->recordTable().close();
    prompter.clear();
    std::optional<TableHolder> holder;
    holder.emplace(findFileNoCase(data.path(), "data.dbf"), true);
    ASSERT_TRUE(holder->holding());
    TDbTable t;
    EXPECT_FALSE(storage->OpenTable(t, "data.dbf", true)) << "exclusive: no question";
    EXPECT_TRUE(prompter.messages().isEmpty());
    prompter.pushAnswer(Answer::Yes);
    prompter.pushAnswer(Answer::No);
    EXPECT_FALSE(storage->OpenTable(t, "data.dbf", false));
    ASSERT_EQ(prompter.messages().size(), 2);
    EXPECT_EQ(prompter.messages().at(0).text, "Cannot open the file: data.dbf\rRetry?");
    EXPECT_EQ(prompter.messages().at(0).type, MessageType::Warning);
    EXPECT_FALSE(storage->OpenTable(t, "missing.dbf", false));
    // The index of the table in use was left alone: its sort tag is still there.
    holder.reset();
    EXPECT_TRUE(storage->OpenTable(t, "data.dbf", false));
    EXPECT_EQ(t.tags().size(), tags);
}

TEST_F(StorageFixture, RecordTableInUseElsewhereIsNotReplaced)
{
    ASSERT_TRUE(storage->OpenDatabase());
    addRecords({"Precious"});
    restart();
    prompter.clear();
    TableHolder holder(findFileNoCase(data.path(), "data.dbf"), true);
    ASSERT_TRUE(holder.holding());
    prompter.pushAnswer(Answer::No);
    EXPECT_FALSE(storage->OpenDatabase());
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages().at(0).text.startsWith("Cannot open the file: data.dbf"));
    EXPECT_FALSE(fileExistsNoCase(data.path(), "bad$$$.dbf"));
    QFile dbf(findFileNoCase(data.path(), "data.dbf"));
    ASSERT_TRUE(dbf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(dbf.readAll().contains("Precious"));
}

TEST_F(StorageFixture, MissingTemplatesAndDroppedTags)
{
    ASSERT_TRUE(storage->OpenDatabase());
    TDbTable t;
    t.setDatabaseName(data.path());
    t.setTableName("other.dbf");
    ASSERT_TRUE(storage->CreateTableFromTemplate(t, true));
    t.open();
    EXPECT_EQ(t.tags().size(), 2u);
    storage->DropAllIndexes(t);
    EXPECT_FALSE(t.active());
    EXPECT_FALSE(t.exclusive());
    t.open();
    EXPECT_TRUE(t.tags().empty());
    t.close();
    storage->DeleteTable(data.path(), "other.dbf");
    EXPECT_FALSE(fileExistsNoCase(data.path(), "other.dbf"));
    storage->DeleteTable(data.path(), "other.dbf"); // a missing table is no error

    // Without templates nothing can be created, and that is reported.
    restart();
    prompter.clear();
    for (const char* name : {"data.dbf", "data.dbt", "DATA.MDX", "master.dbf", "MASTER.MDX"})
        QFile::remove(program.file(name));
    EXPECT_FALSE(storage->CreateTableInDataDir("fresh.dbf", true));
    EXPECT_FALSE(storage->CreateCatalogue());
    QFile::remove(findFileNoCase(data.path(), "master.dbf"));
    EXPECT_FALSE(storage->OpenDatabase());
    EXPECT_EQ(prompter.lastMessageText(), "Could not Open the Master.dbf file!");
}

TEST_F(StorageFixture, CopyFilesAndListTables)
{
    EXPECT_FALSE(TStorage::CopyFileExpanding(data.file("none"), data.file("out")));
    ASSERT_TRUE(data.write("in.bin", QByteArray("\x00\x01zz", 4)));
    ASSERT_TRUE(data.write("out.bin", QByteArray(100, 'q')));
    ASSERT_TRUE(TStorage::CopyFileExpanding(data.file("in.bin"), data.file("out.bin")));
    EXPECT_EQ(data.read("out.bin"), QByteArray("\x00\x01zz", 4));

    const QString backup = data.mkdir("BACKUP");
    for (int n = 1; n <= 3; ++n) {
        data.write(QString("list%1.dbf").arg(n), "dbf" + QByteArray::number(n));
        data.write(QString("list%1.mdx").arg(n), "mdx" + QByteArray::number(n));
    }
    data.write("list5.dbf", "beyond the gap");
    data.write("BACKUP/list1.dbf", "old");
    data.write("BACKUP/list1.mdx", "old");
    data.write("BACKUP/list2.dbf", "old, no mdx");
    data.write("BACKUP/list3.dbf", "old and unreached");
    storage->CopyListFiles(data.path(), backup);
    EXPECT_EQ(data.read("BACKUP/list1.dbf"), "dbf1");
    EXPECT_EQ(data.read("BACKUP/list3.mdx"), "mdx3");
    EXPECT_FALSE(data.exists("BACKUP/list5.dbf"));
}

TEST_F(StorageFixture, DamagedListTableIndexIsRebuiltFromTheListTemplate)
{
    dbase::copyTable(toCp1252Std(program.file("list.dbf")), toCp1252Std(data.file("list1.dbf")), true);
    {
        TDbTable list;
        list.setDatabaseName(data.path());
        list.setTableName("list1.dbf");
        list.open();
        for (const char* item : {"Merlot", "Cabernet", "Syrah"}) {
            list.append();
            list.setString(0, QString::fromLatin1(item));
            list.post();
        }
    }
    const QString mdx = findFileNoCase(data.path(), "list1.mdx");
    ASSERT_FALSE(mdx.isEmpty());
    QFile f(mdx);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(QByteArray(2048, '\x5A'));
    f.close();

    TDbTable list;
    ASSERT_TRUE(storage->OpenTable(list, "list1.dbf", false));
    EXPECT_TRUE(prompter.messages().isEmpty()) << prompter.lastMessageText().toStdString();
    list.setIndexName("IDX");
    EXPECT_EQ(list.recordCount(), 3);
    list.first();
    EXPECT_EQ(list.asString(0), "Cabernet");
    // The program folder was not written.
    EXPECT_FALSE(fileExistsNoCase(program.path(), "list1.dbf"));
}
