// Letter counts and a first-time sort tag over a large record table.
//
//   bench_storage [records]   (default 100000)

#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"
#include "storage/storage.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

using namespace mk;

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

void makeTable(const std::string& path, const std::vector<dbase::FieldDescriptor>& fields,
               const std::vector<dbase::TagSpec>& tags)
{
    dbase::createTable(path, fields, true);
    dbase::Table t(path);
    t.open(dbase::OpenMode::Exclusive);
    for (const dbase::TagSpec& tag : tags)
        dbase::addTag(t, tag);
    t.close();
}

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    dbase::installIndexProvider();
    QTemporaryDir program, data;
    const std::string prog = program.path().toStdString();
    makeTable(prog + "/data.dbf",
              {fd("RECNO", 'N', 10), fd("SEL", 'C', 1), fd("NAME", 'C', 40), fd("PRODUCER", 'C', 40),
               fd("BOTTLES", 'N', 10), fd("COST", 'N', 12, 2), fd("NOTES", 'M', 10), fd("PICTURE", 'B', 10)},
              {{"IDX0", "RECNO"}, {"IDX1", "SEL+STR(RECNO, 10, 0)"}});
    makeTable(prog + "/master.dbf",
              {fd("FILENAME", 'C', 12), fd("DBNAME", 'C', 40), fd("DESCR", 'C', 80), fd("COUNTER", 'N', 10)},
              {{"IDX0", "FILENAME"}});

    // The record table, filled while open exclusively.
    const std::string dataPath = data.path().toStdString() + "/data.dbf";
    dbase::copyTable(prog + "/data.dbf", dataPath, true, true);
    auto start = std::chrono::steady_clock::now();
    {
        dbase::Table t(dataPath);
        t.open(dbase::OpenMode::Exclusive);
        std::mt19937 rng(42);
        const char* starts = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789~";
        std::string name(12, ' ');
        for (int i = 0; i < records; ++i) {
            name[0] = starts[rng() % 63];
            for (size_t k = 1; k < name.size(); ++k)
                name[k] = char('a' + rng() % 26);
            t.append();
            t.setNumber(0, i + 1);
            t.setString(1, "2");
            t.setString(2, name);
            t.setNumber(4, double(rng() % 100));
            t.post();
        }
    }
    std::printf("filled %d records in %.0f ms\n", records, msSince(start));

    TIndex index;
    TStorage storage(index);
    storage.ProgramDir = program.path();
    storage.DataDir = data.path();
    storage.SettingsDir = data.path();
    storage.CreateTables();
    start = std::chrono::steady_clock::now();
    if (!storage.OpenDatabase()) {
        std::fprintf(stderr, "could not open the database\n");
        return 1;
    }
    std::printf("OpenDatabase: %.1f ms\n", msSince(start));

    index.requested = {2, 0, 0, 0};
    start = std::chrono::steady_clock::now();
    const bool applied = storage.ApplySortIndex();
    std::printf("ApplySortIndex (new tag UPPER(NAME) built over %d records): %s, %.1f ms\n",
                storage.RecordCount(storage.recordTable()), applied ? "ok" : "FAILED", msSince(start));

    start = std::chrono::steady_clock::now();
    storage.RecountLetters();
    const double recount = msSince(start);
    int total = 0;
    for (int c : storage.letterCounts)
        total += c;
    std::printf("RecountLetters over %d records: %.2f ms (letters A %d, M %d, Z %d, sum %d)\n", records, recount,
                storage.letterCount('A'), storage.letterCount('M'), storage.letterCount('Z'), total);

    index.requested = {2, 1, 0, 0};
    storage.ApplySortIndex();
    start = std::chrono::steady_clock::now();
    storage.RecountLetters();
    std::printf("RecountLetters, descending: %.2f ms\n", msSince(start));
    return 0;
}
