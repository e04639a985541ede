// bench_engine [DIR] [RECORDS]
//
// Appends RECORDS (default 100,000) records of the wine layout, each with a
// two-line memo, reads every field of every record, updates one field of
// every record (the walk a filter makes) and positions on random records,
// then does the same work in SQLite, and prints both side by side. The
// tables are kept in DIR (default: a new folder under /tmp), which is
// emptied first.

#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace mk::dbase;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

FieldDescriptor fd(const char* name, char type, int len, int dec = 0)
{
    FieldDescriptor f;
    f.name = name;
    f.type = type;
    f.length = static_cast<uint8_t>(len);
    f.decimals = static_cast<uint8_t>(dec);
    return f;
}

// Record number, selection marker and the 23 slots of the wine layout.
std::vector<FieldDescriptor> wineLayout()
{
    return {fd("RECNUM", 'N', 10),    fd("MARKER", 'C', 1),    fd("WINENAME", 'C', 60),  fd("PRODUCER", 'C', 40),
            fd("STYLE", 'C', 30),     fd("VARIETAL", 'C', 30), fd("VINTAGE", 'C', 10),   fd("BOTTLES", 'N', 6),
            fd("COST", 'N', 12, 2),   fd("TOTAL", 'N', 14, 2), fd("SMALLPIC", 'B', 10),  fd("REGION", 'C', 40),
            fd("ATTRIBS", 'C', 40),   fd("RATING", 'C', 20),   fd("BESTWITH", 'C', 40),  fd("LOCATION", 'C', 30),
            fd("DRINKFROM", 'C', 10), fd("DRINKTO", 'C', 10),  fd("SHORTNOTE", 'C', 80), fd("CUSTOM1", 'N', 12, 2),
            fd("CUSTOM2", 'C', 40),   fd("CUSTOM3", 'D', 8),   fd("CUSTOM4", 'C', 60),   fd("NOTES", 'M', 10),
            fd("PICTURE", 'B', 10)};
}

struct Row
{
    std::string text[17];
    double bottles, cost, custom1;
    std::string memo;
};

Row makeRow(int i)
{
    Row r;
    const std::string n = std::to_string(i);
    const char* texts[] = {"Chateau ", "Domaine ", "Sweet ", "Merlot ", "19",           "Bordeaux ", "oak ", "9",
                           "Cheese ",  "Rack ",    "2020",   "2030",    "Lovely wine ", "Custom ",   "Text "};
    for (int k = 0; k < 15; ++k)
        r.text[k] = texts[k] + n.substr(0, 4);
    r.bottles = i % 24;
    r.cost = (i % 1000) * 1.25;
    r.custom1 = i % 7;
    r.memo = "Tasted on " + n + ": ripe fruit.\r\nKeep until " + std::to_string(2030 + i % 10) + ".";
    return r;
}

// Positions of the text fields in the layout, in Row::text order.
const int kTextPos[] = {2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 17, 18, 20, 22};

struct Figures
{
    double append = 0, read = 0, update = 0, random = 0;
};

Figures runEngine(const std::string& dir, int n, int lookups, bool exclusive, size_t& checksum)
{
    Figures fig;
    const std::string path = dir + "/wine.dbf";
    createTable(path, wineLayout(), true);
    Table t(path);
    t.open(exclusive ? OpenMode::Exclusive : OpenMode::Shared);

    auto t0 = Clock::now();
    for (int i = 1; i <= n; ++i) {
        const Row r = makeRow(i);
        t.append();
        t.setNumber(0, i);
        t.setString(1, "2");
        for (int k = 0; k < 15; ++k)
            t.setString(kTextPos[k], r.text[k]);
        t.setNumber(7, r.bottles);
        t.setNumber(8, r.cost);
        t.setNumber(9, r.bottles * r.cost);
        t.setNumber(19, r.custom1);
        t.setDate(21, Date{2000 + i % 20, 1 + i % 12, 1 + i % 28});
        t.setString(23, r.memo);
        t.post();
    }
    fig.append = seconds(t0);

    t0 = Clock::now();
    size_t sum = 0;
    for (t.first(); !t.eof(); t.next()) {
        for (int pos = 0; pos < t.fieldCount(); ++pos) {
            switch (t.field(pos).type) {
            case 'N':
                sum += static_cast<size_t>(t.asNumber(pos).value_or(0));
                break;
            case 'D':
                sum += static_cast<size_t>(t.asDate(pos) ? t.asDate(pos)->day : 0);
                break;
            case 'M':
                for (const auto& l : t.memoLines(pos))
                    sum += l.size();
                break;
            case 'B':
                sum += t.isNull(pos) ? 0 : 1;
                break;
            default:
                sum += t.asString(pos).size();
            }
        }
    }
    fig.read = seconds(t0);

    t0 = Clock::now();
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.setString(1, t.asNumber(7).value_or(0) > 11 ? "2" : "0");
        t.post();
    }
    fig.update = seconds(t0);

    std::mt19937 rng(42);
    t0 = Clock::now();
    for (int i = 0; i < lookups; ++i) {
        t.goToRecno(1 + rng() % static_cast<uint32_t>(n));
        sum += t.asString(2).size() + t.asString(1).size();
    }
    fig.random = seconds(t0);
    checksum = sum;
    return fig;
}

void check(int rc, sqlite3* db, int expected = SQLITE_OK)
{
    if (rc != expected) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// With commitEachRow every insert and update is its own transaction, visible
// to other connections at once: the like-for-like counterpart of a Post on a
// table open shared. Without it the whole loop is one transaction.
Figures runSqlite(const std::string& dir, int n, int lookups, bool commitEachRow, size_t& checksum)
{
    Figures fig;
    const std::string path = dir + "/wine.sqlite";
    fs::remove(path);
    sqlite3* db = nullptr;
    check(sqlite3_open(path.c_str(), &db), db);
    check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr), db);
    std::string create = "CREATE TABLE wine(recnum INTEGER, marker TEXT";
    const char* names[] = {"winename", "producer", "style",     "varietal", "vintage",   "region",  "attribs", "rating",
                           "bestwith", "location", "drinkfrom", "drinkto",  "shortnote", "custom2", "custom4"};
    for (const char* c : names)
        create += std::string(", ") + c + " TEXT";
    create += ", bottles REAL, cost REAL, total REAL, custom1 REAL, custom3 TEXT, notes TEXT, smallpic BLOB, picture "
              "BLOB)";
    check(sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr), db);

    auto t0 = Clock::now();
    if (!commitEachRow)
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* ins = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO wine VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &ins,
                             nullptr),
          db);
    for (int i = 1; i <= n; ++i) {
        const Row r = makeRow(i);
        sqlite3_bind_int(ins, 1, i);
        sqlite3_bind_text(ins, 2, "2", 1, SQLITE_STATIC);
        for (int k = 0; k < 15; ++k)
            sqlite3_bind_text(ins, 3 + k, r.text[k].data(), static_cast<int>(r.text[k].size()), SQLITE_TRANSIENT);
        sqlite3_bind_double(ins, 18, r.bottles);
        sqlite3_bind_double(ins, 19, r.cost);
        sqlite3_bind_double(ins, 20, r.bottles * r.cost);
        sqlite3_bind_double(ins, 21, r.custom1);
        char date[16];
        std::snprintf(date, sizeof date, "%04d%02d%02d", 2000 + i % 20, 1 + i % 12, 1 + i % 28);
        sqlite3_bind_text(ins, 22, date, 8, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 23, r.memo.data(), static_cast<int>(r.memo.size()), SQLITE_TRANSIENT);
        sqlite3_bind_null(ins, 24);
        sqlite3_bind_null(ins, 25);
        check(sqlite3_step(ins), db, SQLITE_DONE);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    if (!commitEachRow)
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    fig.append = seconds(t0);

    t0 = Clock::now();
    size_t sum = 0;
    sqlite3_stmt* sel = nullptr;
    check(sqlite3_prepare_v2(db, "SELECT * FROM wine", -1, &sel, nullptr), db);
    const int cols = sqlite3_column_count(sel);
    while (sqlite3_step(sel) == SQLITE_ROW) {
        for (int c = 0; c < cols; ++c) {
            switch (sqlite3_column_type(sel, c)) {
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                sum += static_cast<size_t>(sqlite3_column_double(sel, c));
                break;
            case SQLITE_NULL:
                break;
            default:
                sum += static_cast<size_t>(sqlite3_column_bytes(sel, c));
                (void)sqlite3_column_text(sel, c);
            }
        }
    }
    sqlite3_finalize(sel);
    fig.read = seconds(t0);

    t0 = Clock::now();
    if (!commitEachRow)
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt *walk = nullptr, *upd = nullptr;
    check(sqlite3_prepare_v2(db, "SELECT rowid, bottles FROM wine", -1, &walk, nullptr), db);
    check(sqlite3_prepare_v2(db, "UPDATE wine SET marker=? WHERE rowid=?", -1, &upd, nullptr), db);
    while (sqlite3_step(walk) == SQLITE_ROW) {
        sqlite3_bind_text(upd, 1, sqlite3_column_double(walk, 1) > 11 ? "2" : "0", 1, SQLITE_STATIC);
        sqlite3_bind_int64(upd, 2, sqlite3_column_int64(walk, 0));
        check(sqlite3_step(upd), db, SQLITE_DONE);
        sqlite3_reset(upd);
    }
    sqlite3_finalize(walk);
    sqlite3_finalize(upd);
    if (!commitEachRow)
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    fig.update = seconds(t0);

    std::mt19937 rng(42);
    t0 = Clock::now();
    sqlite3_stmt* one = nullptr;
    check(sqlite3_prepare_v2(db, "SELECT winename, marker FROM wine WHERE rowid=?", -1, &one, nullptr), db);
    for (int i = 0; i < lookups; ++i) {
        sqlite3_bind_int64(one, 1, 1 + rng() % static_cast<uint32_t>(n));
        if (sqlite3_step(one) == SQLITE_ROW)
            sum += static_cast<size_t>(sqlite3_column_bytes(one, 0) + sqlite3_column_bytes(one, 1));
        sqlite3_reset(one);
    }
    sqlite3_finalize(one);
    fig.random = seconds(t0);
    sqlite3_close(db);
    checksum = sum;
    return fig;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir;
    if (argc > 1) {
        dir = argv[1];
        fs::create_directories(dir);
    } else {
        char tmpl[] = "/tmp/mkbenchXXXXXX";
        if (!::mkdtemp(tmpl))
            return 1;
        dir = tmpl;
    }
    const int n = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int lookups = 100000;
    try {
        size_t c1 = 0, c2 = 0, c3 = 0;
        const Figures shared = runEngine(dir, n, lookups, false, c1);
        const Figures excl = runEngine(dir, n, lookups, true, c2);
        const Figures lite = runSqlite(dir, n, lookups, false, c3);
        size_t c4 = 0;
        const Figures perRow = runSqlite(dir, n, lookups, true, c4);
        std::printf("%d records of the wine layout (25 fields, two-line memo), tables in %s\n", n, dir.c_str());
        std::printf("%-34s %12s %12s %12s %12s\n", "seconds", "dbf shared", "dbf excl.", "SQLite", "SQLite/row");
        std::printf("%-34s %12.3f %12.3f %12.3f %12.3f\n", "append all", shared.append, excl.append, lite.append,
                    perRow.append);
        std::printf("%-34s %12.3f %12.3f %12.3f %12.3f\n", "read every field of every record", shared.read, excl.read,
                    lite.read, perRow.read);
        std::printf("%-34s %12.3f %12.3f %12.3f %12.3f\n", "update one field of every record", shared.update,
                    excl.update, lite.update, perRow.update);
        std::printf("%-34s %12.3f %12.3f %12.3f %12.3f\n", "100,000 random positionings", shared.random, excl.random,
                    lite.random, perRow.random);
        std::printf("(SQLite: one transaction for each loop; SQLite/row: a transaction per row, visible to other\n"
                    " connections at once, as a Post on a table open shared is)\n");
        std::printf("(checksums of the work, so that none of it is optimised away: %zu %zu %zu)\n", c1, c2, c3);
    } catch (const DatabaseError& e) {
        std::fprintf(stderr, "bench_engine: %s\n", e.what());
        return 1;
    }
    return 0;
}
