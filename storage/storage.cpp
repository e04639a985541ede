#include "storage/storage.h"

#include <QRegularExpression>

#include "platform/dates.h"
#include "platform/files.h"
#include "platform/prompt.h"
#include "platform/text.h"
#include "storage/engine/index_hooks.h"
#include "storage/engine/order.h"
#include "storage/engine/table_ops.h"

#include <QDate>
#include <QFile>

#include <cmath>

namespace mk {

using dbase::DatabaseError;
using dbase::EngineError;

namespace {

QString baseOf(const QString& fileName)
{
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

bool removeNoCase(const QString& dir, const QString& name)
{
    const QString found = findFileNoCase(dir, name);
    return !found.isEmpty() && QFile::remove(found);
}

} // namespace

TStorage::TStorage(TIndex& index)
    : m_index(index)
{}

TStorage::~TStorage()
{
    CloseTables();
}

FilterState TStorage::currentFilter() const
{
    return filterState ? filterState() : FilterState::Off;
}

// ---------------------------------------------------------------- tables

void TStorage::CreateTables()
{
    dbase::installIndexProvider();
    m_record = std::make_unique<TDbTable>();
    m_copy = std::make_unique<TDbTable>();
    m_catalogue = std::make_unique<TDbTable>();
    if (beforePost)
        m_record->setBeforePost(beforePost);
}

void TStorage::CloseTables() noexcept
{
    for (auto* t : {&m_record, &m_copy, &m_catalogue})
        if (*t) {
            (*t)->close();
            t->reset();
        }
}

bool TStorage::OpenTable(TDbTable& table, const QString& fileName, bool exclusive)
{
    if (!fileExistsNoCase(DataDir, fileName))
        return false;
    table.setDatabaseName(DataDir);
    table.setTableName(fileName);
    table.setExclusive(exclusive);
    m_lastOpenLocked = false;
    bool result = OpenWithRepair(table, true);
    int retries = 0;
    while (!result) {
        try {
            table.open();
            result = true;
        } catch (const DatabaseError& e) {
            m_lastOpenLocked = e.code() == DatabaseError::Code::Locked;
            if (retries < 10) {
                ++retries;
                continue;
            }
            if (exclusive)
                return false;
            if (!confirm(QStringLiteral("Cannot open the file: ") + fileName + QStringLiteral("\rRetry?"),
                         MessageType::Warning))
                return false;
        }
    }
    return true;
}

bool TStorage::OpenWithRepair(TDbTable& table, bool regenerate)
{
    if (table.active())
        return true;
    try {
        table.open();
        return true;
    } catch (const DatabaseError& e) {
        // A table held by someone else is not damaged: its index stays as it is.
        if (e.code() == DatabaseError::Code::Locked)
            return false;
    }
    bool result = false;
    try {
        RepairIndexFile(table);
        if (regenerate)
            result = RegenerateIndexes(table);
        if (result)
            table.open();
    } catch (const DatabaseError&) {
        result = false;
    }
    return result;
}

bool TStorage::RepairIndexFile(TDbTable& table)
{
    const QString dir = table.databaseName();
    const QString base = table.baseName();
    const QString mdxName = base + QStringLiteral(".mdx");
    removeNoCase(dir, mdxName);
    const QString target = joinPath(dir, mdxName);

    auto copyTemplateIndex = [&](const QString& templateName) {
        const QString source = findFileNoCase(ProgramDir, templateName);
        if (source.isEmpty() || !CopyFileExpanding(source, target))
            return false;
        if (dbase::IndexProvider* p = dbase::indexProvider())
            p->retarget(toCp1252Std(target), toCp1252Std(base));
        return true;
    };

    const QString upper = upperAscii(table.tableName());
    if (upper == QLatin1String("MASTER.DBF"))
        return copyTemplateIndex(QStringLiteral("MASTER.MDX"));
    if (upper == QLatin1String("LIST.DBF"))
        return false; // never replace the list template itself
    // A list table gets the list template's index: the record template's tags
    // name fields a list table does not have.
    static const QRegularExpression listTable(QStringLiteral("^LIST[0-9]+\\.DBF$"));
    if (listTable.match(upper).hasMatch())
        return copyTemplateIndex(QStringLiteral("LIST.MDX"));
    // Every other table is a copy of the record template. The index records
    // its table's name, so the template's index is copied and renamed to this
    // table; the program directory is never written (it may be read-only).
    return copyTemplateIndex(QStringLiteral("DATA.MDX"));
}

bool TStorage::RegenerateIndexes(TDbTable& table)
{
    table.close();
    table.setIndexName(QString());
    table.setExclusive(true);
    bool ok = false;
    try {
        table.open();
        if (table.engine().header().productionIndex & 1)
            dbase::regenerateTags(table.engine());
        ok = true;
    } catch (const DatabaseError&) {
        ok = false;
    }
    table.close();
    table.setExclusive(false);
    return ok;
}

bool TStorage::CreateTableFromTemplate(TDbTable& table, bool keepIndexes)
{
    const QString source = findFileNoCase(ProgramDir, QStringLiteral("data.dbf"));
    const QString destination = joinPath(table.databaseName(), table.tableName());
    table.close();
    if (fileExistsNoCase(table.databaseName(), table.tableName()))
        DeleteTableFiles(table);
    // A copy that fails is reported here, so that Restore can put the old table back.
    if (source.isEmpty())
        return false;
    try {
        dbase::copyTable(toCp1252Std(source), toCp1252Std(destination), keepIndexes, true);
    } catch (const DatabaseError&) {
        return false;
    }
    if (!keepIndexes)
        DropAllIndexes(table);
    return true;
}

bool TStorage::CreateTableInDataDir(const QString& fileName, bool keepIndexes)
{
    TDbTable table;
    table.setDatabaseName(DataDir);
    table.setTableName(fileName);
    return CreateTableFromTemplate(table, keepIndexes);
}

bool TStorage::CreateCatalogue()
{
    const QString source = findFileNoCase(ProgramDir, QStringLiteral("master.dbf"));
    if (source.isEmpty())
        return false;
    try {
        dbase::copyTable(toCp1252Std(source), toCp1252Std(joinPath(DataDir, QStringLiteral("master.dbf"))), true, true);
    } catch (const DatabaseError&) {
        return false;
    }
    return true;
}

void TStorage::DropAllIndexes(TDbTable& table)
{
    table.close();
    table.setIndexName(QString());
    table.setExclusive(true);
    try {
        table.open();
        const std::vector<dbase::TagInfo> tags = table.tags();
        for (auto it = tags.rbegin(); it != tags.rend(); ++it)
            table.deleteIndex(fromCp1252(it->name).left(80));
    } catch (const DatabaseError&) {}
    table.close();
    table.setExclusive(false);
}

void TStorage::DeleteTableFiles(TDbTable& table)
{
    table.close();
    const QString base = table.baseName();
    for (const char* ext : {".dbf", ".dbt", ".mdx"})
        removeNoCase(table.databaseName(), base + QLatin1String(ext));
}

void TStorage::DeleteTable(const QString& directory, const QString& fileName)
{
    try {
        dbase::deleteTable(toCp1252Std(joinPath(directory, fileName)));
    } catch (const DatabaseError&) {}
}

bool TStorage::CopyFileExpanding(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    char buffer[65536];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            return false;
    }
    return out.flush();
}

void TStorage::CopyListFiles(const QString& sourceDir, const QString& destinationDir)
{
    for (int n = 1; n < 10000; ++n) {
        const QString base = QStringLiteral("list%1").arg(n);
        const bool hadDbf = removeNoCase(destinationDir, base + QStringLiteral(".dbf"));
        const bool hadMdx = removeNoCase(destinationDir, base + QStringLiteral(".mdx"));
        if (!hadDbf || !hadMdx)
            break;
    }
    for (int n = 1; n < 10000; ++n) {
        const QString base = QStringLiteral("list%1").arg(n);
        const QString dbf = findFileNoCase(sourceDir, base + QStringLiteral(".dbf"));
        const QString mdx = findFileNoCase(sourceDir, base + QStringLiteral(".mdx"));
        if (!dbf.isEmpty())
            CopyFileExpanding(dbf, joinPath(destinationDir, base + QStringLiteral(".dbf")));
        if (!mdx.isEmpty())
            CopyFileExpanding(mdx, joinPath(destinationDir, base + QStringLiteral(".mdx")));
        if (dbf.isEmpty() || mdx.isEmpty())
            break;
    }
}

int TStorage::CopyRecords(TDbTable& source, TDbTable& destination, int& failures, const ProgressFn& progress)
{
    const int total = RecordCount(source);
    if (progress)
        progress(0, total);
    failures = 0;
    int n = 1;
    int done = 0;
    try {
        source.first();
    } catch (const DatabaseError&) {
        destination.close();
        return n;
    }
    while (!source.eof()) {
        bool faulty = false;
        try {
            destination.append();
            const int fields = std::min(source.fieldCount(), destination.fieldCount());
            for (int pos = 0; pos < fields; ++pos) {
                try {
                    destination.assignFrom(source, pos);
                } catch (const DatabaseError&) {
                    faulty = true; // damaged value: the field stays empty
                }
            }
            destination.setNumber(0, n);
            destination.post();
            ++n;
        } catch (const DatabaseError&) {
            try {
                destination.cancel();
            } catch (const DatabaseError&) {}
            faulty = true;
        }
        if (faulty)
            ++failures;
        ++done;
        try {
            source.next();
        } catch (const DatabaseError&) {
            ++failures;
            break;
        }
        if (progress && !progress(done, total))
            break;
    }
    destination.close();
    return n;
}

// ---------------------------------------------------------------- opening

void TStorage::moveAsideBroken()
{
    static const char* exts[] = {".dbf", ".dbt", ".mdx"};
    const QString bad = QStringLiteral("bad$$$");
    // An older set of broken files is kept under the next free name.
    bool older = false;
    for (const char* ext : exts)
        older = older || fileExistsNoCase(DataDir, bad + QLatin1String(ext));
    if (older) {
        int n = 1;
        auto used = [&](int k) {
            for (const char* ext : exts)
                if (fileExistsNoCase(DataDir, bad + QString::number(k) + QLatin1String(ext)))
                    return true;
            return false;
        };
        while (used(n))
            ++n;
        for (const char* ext : exts) {
            const QString found = findFileNoCase(DataDir, bad + QLatin1String(ext));
            if (!found.isEmpty())
                QFile::rename(found, joinPath(DataDir, bad + QString::number(n) + QLatin1String(ext)));
        }
    }
    const QString base = baseOf(TableFileName);
    for (const char* ext : exts) {
        const QString found = findFileNoCase(DataDir, base + QLatin1String(ext));
        if (!found.isEmpty())
            QFile::rename(found, joinPath(DataDir, bad + QLatin1String(ext)));
    }
}

bool TStorage::OpenRecordTable()
{
    TDbTable& record = *m_record;
    record.setIndexName(QString());
    const bool usable = fileExistsNoCase(DataDir, baseOf(TableFileName) + QStringLiteral(".dbt")) &&
                        OpenTable(record, TableFileName, false);
    if (!usable && m_lastOpenLocked) {
        // In use by someone else (maintenance elsewhere): not broken, so it
        // is neither moved aside nor replaced.
        m_lastOpenLocked = false;
        return false;
    }
    if (usable) {
        BuildFieldKindSets(record);
        m_index.LoadSettings(TIndex::SettingsPath(DataDir, TableFileName));
        ApplySortIndex();
        if (loadFilter)
            loadFilter();
    } else {
        showWarning(QStringLiteral("Could not Open the database! A new database will be created. The original file "
                                   "(if existed) was renamed to BAD$$$.DBF."));
        record.close();
        moveAsideBroken();
        CreateTableInDataDir(TableFileName, true);
        record.setDatabaseName(DataDir);
        record.setTableName(TableFileName);
        record.setIndexName(QString());
        record.setExclusive(false);
        m_index.Reset();
        try {
            record.open();
            BuildFieldKindSets(record);
            if (clearFilter)
                clearFilter();
            ApplySortIndex();
            if (!record.active())
                throw DatabaseError(DatabaseError::Code::General, "record table closed");
        } catch (const DatabaseError&) {
            showError(QStringLiteral("Could not Open the new database!"));
            return false;
        }
    }
    if (!record.active())
        return false;
    RecordDecimals(record);
    return true;
}

bool TStorage::OpenDatabase()
{
    TDbTable& cat = *m_catalogue;
    bool catalogueOpen = OpenTable(cat, QStringLiteral("master.dbf"), false);
    try {
        if (!catalogueOpen) {
            CreateCatalogue();
            cat.setDatabaseName(DataDir);
            cat.setTableName(QStringLiteral("master.dbf"));
            cat.setExclusive(false);
            cat.setIndexName(QStringLiteral("IDX0"));
            cat.open();
        } else {
            cat.setIndexName(QStringLiteral("IDX0"));
        }
    } catch (const DatabaseError&) {
        cat.close();
        showError(QStringLiteral("Could not Open the Master.dbf file!"));
        return false;
    }

    TDbTable& copy = *m_copy;
    try {
        if (!OpenTable(copy, QStringLiteral("copy.dbf"), false)) {
            CreateTableInDataDir(QStringLiteral("copy.dbf"), false);
            copy.setDatabaseName(DataDir);
            copy.setTableName(QStringLiteral("copy.dbf"));
            copy.setExclusive(false);
            copy.open();
        }
        if (copy.isEmpty()) {
            copy.append();
            copy.post();
        }
    } catch (const DatabaseError&) {
        copy.close();
        showError(QStringLiteral("Could not Open the Copy/Paste file!"));
        return false;
    }

    if (!OpenRecordTable())
        return false;
    try {
        EnsureCatalogueEntry(TableFileName);
    } catch (const DatabaseError&) {
        showError(QStringLiteral("Could not Open the Master.dbf file!"));
        return false;
    }
    quietIndex = false;
    return true;
}

// ---------------------------------------------------------------- catalogue

void TStorage::EnsureCatalogueEntry(const QString& fileName)
{
    TDbTable& cat = *m_catalogue;
    if (!cat.active())
        return;
    // The key is the name as stored or, for an upper-cased tag, its upper case.
    QString key = fileName;
    for (const dbase::TagInfo& tag : cat.tags())
        if (upperAscii(tag.name) == "IDX0" && upperAscii(tag.expression).rfind("UPPER(", 0) == 0)
            key = upperAscii(fileName);
    if (cat.findKey(key))
        return;
    cat.append();
    cat.setString(0, fileName);
    cat.setString(1, fileName);
    cat.setNumber(3, 1);
    cat.post();
    cat.findKey(key);
}

void TStorage::SetCatalogueCounter(double value, const QString& fileName)
{
    EnsureCatalogueEntry(fileName);
    TDbTable& cat = *m_catalogue;
    cat.edit();
    cat.setNumber(3, value);
    cat.post();
}

void TStorage::AssignRecordNumber(TDbTable& table)
{
    if (!table.isNull(0))
        return;
    // The row of this record table, whichever row the catalogue was left on;
    // the edit re-reads it under its lock, so two users never share a number.
    EnsureCatalogueEntry(TableFileName);
    TDbTable& cat = *m_catalogue;
    try {
        cat.edit();
        const qint64 c = std::llround(cat.asNumber(3).value_or(0));
        table.edit();
        table.setNumber(0, double(c + 1));
        cat.setNumber(3, double(c + 1));
        cat.post();
    } catch (const DatabaseError&) {
        try {
            cat.cancel();
        } catch (const DatabaseError&) {}
        throw;
    }
}

// ---------------------------------------------------------------- records

bool TStorage::GoToRecord(TDbTable& table, int n)
{
    if (!table.active())
        return false;
    if (n <= RecordCount(table)) {
        table.first();
        if (n > 0)
            table.moveBy(n);
    } else {
        table.last();
        table.next();
    }
    return true;
}

int TStorage::RecordCount(TDbTable& table)
{
    return table.active() ? table.recordCount() : 0;
}

char TStorage::RecordLetter(TDbTable& table)
{
    if (!table.active())
        return 0;
    const int p = m_index.primary();
    if (p < FirstUserField || p >= table.fieldCount() || table.field(p).type != dbase::TypeChar)
        return 0;
    const std::string text = table.engine().asString(p);
    if (text.empty())
        return 'A';
    unsigned char c = static_cast<unsigned char>(text[0]);
    if (c >= 'a' && c <= 'z')
        c = static_cast<unsigned char>(c - 32);
    if (c < 'A')
        return 'A';
    if (c > 'Z')
        return 'Z';
    return char(c);
}

QStringList TStorage::FieldValuesMenu(TDbTable& table, const TDateFormats& dateFormats)
{
    QStringList captions;
    if (!table.active())
        return captions;
    int dateField = 0;
    for (int pos = FirstUserField; pos < table.fieldCount(); ++pos) {
        const char type = table.field(pos).type;
        QString text;
        if (type == dbase::TypeMemo) {
            try {
                const std::vector<std::string> lines = table.engine().memoLines(pos);
                if (!lines.empty())
                    text = fromCp1252(lines.front());
            } catch (const EngineError&) {
                QString record;
                try {
                    record = table.fieldCount() > 3 ? table.asString(3) : QString();
                } catch (const DatabaseError&) {}
                showError(QStringLiteral("Corrupt Memo Field!!! You should delete record: \r") + record);
            }
        } else if (type == dbase::TypeDate) {
            const int code = dateField < dateFormats.size() ? dateFormats.at(dateField).code : 0;
            ++dateField;
            if (const std::optional<dbase::Date> d = table.asDate(pos)) {
                const QDate date(d->year, d->month, d->day);
                if (date.isValid())
                    text = formatDate(date, dateFormatForCode(code));
            }
        } else if (type == dbase::TypeBinary || type == dbase::TypeGeneral) {
            text = QStringLiteral("<PICTURE>") +
                   (table.isNull(pos) ? QStringLiteral(" - Empty") : QStringLiteral(" - Not Empty"));
        } else {
            try {
                text = table.asString(pos);
            } catch (const EngineError&) {}
        }
        captions.append(text.left(50));
    }
    return captions;
}

void TStorage::CopyToBuffer(int position)
{
    TDbTable& record = *m_record;
    TDbTable& copy = *m_copy;
    GoToRecord(record, position);
    if (record.eof()) {
        showWarning(QStringLiteral("Empty Record - Not Copied!"));
        return;
    }
    try {
        copy.first();
        copy.edit();
        const int fields = std::min(record.fieldCount(), copy.fieldCount());
        for (int pos = FirstUserField; pos < fields; ++pos)
            copy.assignFrom(record, pos);
        copy.post();
    } catch (const DatabaseError&) {
        try {
            copy.cancel();
        } catch (const DatabaseError&) {}
        return; // the buffer keeps what it had
    }
    m_bufferFilled = true;
}

void TStorage::PasteFromBuffer(int position, LetterPanel* letterPanel)
{
    if (!m_bufferFilled)
        return;
    TDbTable& record = *m_record;
    TDbTable& copy = *m_copy;
    GoToRecord(record, position);
    try {
        char oldLetter = 0;
        if (record.eof())
            record.append();
        else
            oldLetter = RecordLetter(record);
        record.edit();
        copy.first();
        const int fields = std::min(record.fieldCount(), copy.fieldCount());
        for (int pos = FirstUserField; pos < fields; ++pos)
            record.assignFrom(copy, pos);
        const char newLetter = RecordLetter(record);
        record.post();
        MoveLetterCount(oldLetter, newLetter, letterPanel);
    } catch (const DatabaseError&) {
        try {
            record.cancel();
        } catch (const DatabaseError&) {}
    }
}

void TStorage::BuildFieldKindSets(TDbTable& table)
{
    textFields.reset();
    memoFields.reset();
    binaryFields.reset();
    const int count = std::min(table.fieldCount(), 256);
    for (int pos = FirstUserField; pos < count; ++pos) {
        const char type = table.field(pos).type;
        if (type == dbase::TypeChar)
            textFields.set(size_t(pos));
        else if (type == dbase::TypeMemo)
            memoFields.set(size_t(pos));
        else if (type == dbase::TypeBinary || type == dbase::TypeGeneral)
            binaryFields.set(size_t(pos));
    }
}

void TStorage::RecordDecimals(TDbTable& table)
{
    for (int pos = 0; pos < table.fieldCount(); ++pos)
        if (table.field(pos).isNumeric())
            table.setDecimals(pos, table.field(pos).decimals);
}

} // namespace mk
