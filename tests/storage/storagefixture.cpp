#include "tests/storage/storagefixture.h"

#include "platform/text.h"
#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

#include <sys/wait.h>
#include <unistd.h>

namespace mk::test {

namespace {

dbase::FieldDescriptor fd(const char* name, char type, int length, int decimals = 0)
{
    dbase::FieldDescriptor f;
    f.name = name;
    f.type = type;
    f.length = uint8_t(length);
    f.decimals = uint8_t(decimals);
    return f;
}

void makeTable(const QString& path, const std::vector<dbase::FieldDescriptor>& fields,
               const std::vector<dbase::TagSpec>& tags)
{
    const std::string p = toCp1252Std(path);
    dbase::createTable(p, fields, true);
    dbase::Table t(p);
    t.open(dbase::OpenMode::Exclusive);
    for (const dbase::TagSpec& tag : tags)
        dbase::addTag(t, tag);
    t.close();
}

} // namespace

void makeTemplates(const QString& dir)
{
    makeTable(dir + "/data.dbf",
              {fd("RECNO", 'N', 10),     fd("SEL", 'C', 1),       fd("NAME", 'C', 40),      fd("PRODUCER", 'C', 40),
               fd("STYLE", 'C', 30),     fd("VARIETAL", 'C', 30), fd("VINTAGE", 'C', 10),   fd("BOTTLES", 'N', 10),
               fd("COST", 'N', 12, 2),   fd("TOTAL", 'N', 14, 2), fd("SMALLPIC", 'B', 10),  fd("REGION", 'C', 40),
               fd("ATTRIB", 'C', 40),    fd("RATING", 'C', 20),   fd("BESTWITH", 'C', 40),  fd("LOCATION", 'C', 30),
               fd("DRINKFROM", 'C', 10), fd("DRINKTO", 'C', 10),  fd("SHORTNOTE", 'C', 80), fd("CUSTOM1", 'N', 12, 2),
               fd("CUSTOM2", 'C', 60),   fd("CUSTOM3", 'D', 8),   fd("CUSTOM4", 'C', 120),  fd("NOTES", 'M', 10),
               fd("PICTURE", 'B', 10)},
              {{"IDX0", "RECNO"}, {"IDX1", "SEL+STR(RECNO, 10, 0)"}});
    QFile::rename(dir + "/data.mdx", dir + "/DATA.MDX");
    makeTable(dir + "/master.dbf",
              {fd("FILENAME", 'C', 12), fd("DBNAME", 'C', 40), fd("DESCR", 'C', 80), fd("COUNTER", 'N', 10)},
              {{"IDX0", "FILENAME"}});
    QFile::rename(dir + "/master.mdx", dir + "/MASTER.MDX");
    makeTable(dir + "/list.dbf", {fd("ITEM", 'C', 60)}, {{"IDX", "UPPER(ITEM)"}});
}

void StorageFixture::SetUp()
{
    dbase::installIndexProvider();
    ASSERT_TRUE(program.isValid() && data.isValid());
    makeTemplates(program.path());
    usePrompter = std::make_unique<ScopedPrompter>(prompter);
    restart();
}

void StorageFixture::restart()
{
    storage.reset();
    storage = std::make_unique<TStorage>(index);
    storage->ProgramDir = program.path();
    storage->DataDir = data.path();
    storage->SettingsDir = data.path();
    storage->filterState = [this] { return filter; };
    storage->letterTabsEnabled = [this] { return letterTabs; };
    storage->CreateTables();
}

void StorageFixture::TearDown()
{
    storage.reset();
    usePrompter.reset();
}

void StorageFixture::addRecords(const QStringList& names)
{
    TDbTable& t = storage->recordTable();
    for (const QString& name : names) {
        t.append();
        t.setString(F_SEL, "2");
        t.setString(F_NAME, name);
        t.post();
    }
}

TableHolder::TableHolder(const QString& dbfPath, bool exclusive)
{
    int ready[2];
    int stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0)
        return;
    const std::string path = toCp1252Std(dbfPath);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(ready[0]);
        ::close(stop[1]);
        char ok = '1';
        dbase::Table t(path);
        try {
            t.open(exclusive ? dbase::OpenMode::Exclusive : dbase::OpenMode::Shared);
        } catch (...) {
            ok = '0';
        }
        (void)!::write(ready[1], &ok, 1);
        char c;
        (void)!::read(stop[0], &c, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    m_stop = stop[1];
    char ok = '0';
    m_ok = ::read(ready[0], &ok, 1) == 1 && ok == '1';
    ::close(ready[0]);
}

TableHolder::~TableHolder()
{
    if (m_stop >= 0)
        ::close(m_stop);
    if (m_pid > 0)
        ::waitpid(m_pid, nullptr, 0);
}

} // namespace mk::test
