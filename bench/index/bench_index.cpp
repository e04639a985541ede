// Index benchmarks: the engine's production index and SQLite on the same
// data in the same run. Prints figures; asserts nothing.
//
//   bench_index [records]   (default 100000)

#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>

using namespace mk::dbase;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

std::string randomName(std::mt19937& rng)
{
    static const char* parts[] = {"mer", "lot", "cab", "ern", "et",  "rio", "ja",  "syr", "ah",  "pi",
                                  "not", "zin", "fan", "del", "gre", "na",  "che", "nin", "tem", "pra"};
    std::string s;
    const int n = 2 + int(rng() % 4);
    for (int i = 0; i < n; ++i)
        s += parts[rng() % 20];
    s[0] = char('A' + rng() % 26);
    return s + " " + std::to_string(rng() % 10000);
}

void exec(sqlite3* db, const char* sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s: %s\n", sql, err ? err : "?");
        sqlite3_free(err);
        std::exit(1);
    }
}

void row(const char* what, double ours, double theirs)
{
    std::printf("%-46s %12.3f ms %12.3f ms   %s\n", what, ours, theirs, ours <= theirs ? "ok" : "slower");
}

} // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    char tmpl[] = "/tmp/mk_bench_index_XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    installIndexProvider();

    std::mt19937 rng(42);
    std::vector<std::string> names;
    std::vector<double> costs;
    std::vector<std::string> cities;
    for (int i = 0; i < n + 20000; ++i) {
        names.push_back(randomName(rng));
        costs.push_back(double(rng() % 100000) / 100.0);
        cities.push_back(randomName(rng).substr(0, 12));
    }

    auto appendRows = [&](Table& t, int from, int to) {
        for (int i = from; i < to; ++i) {
            t.append();
            t.setString(0, names[size_t(i)]);
            t.setNumber(1, costs[size_t(i)]);
            t.setString(2, cities[size_t(i)]);
            t.setString(3, "20240101");
            t.post();
        }
    };

    // ---- engine table
    const std::string path = (dir / "bench.dbf").string();
    std::vector<FieldDescriptor> fields(4);
    fields[0] = {"NAME", 'C', 40, 0, 0};
    fields[1] = {"COST", 'N', 12, 2, 0};
    fields[2] = {"CITY", 'C', 20, 0, 0};
    fields[3] = {"DRINK", 'D', 8, 0, 0};
    createTable(path, fields);
    Table t(path);
    t.open(OpenMode::Exclusive);
    auto t0 = Clock::now();
    appendRows(t, 0, n);
    auto t1 = Clock::now();
    std::printf("engine: %d records written in %.1f ms (no index)\n", n, ms(t0, t1));

    // ---- SQLite table
    sqlite3* db = nullptr;
    sqlite3_open((dir / "bench.sqlite").string().c_str(), &db);
    exec(db, "PRAGMA journal_mode=WAL");
    exec(db, "PRAGMA synchronous=OFF");
    exec(db, "CREATE TABLE t(name TEXT, cost REAL, city TEXT, drink TEXT)");
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &ins, nullptr);
    auto insertRows = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            sqlite3_bind_text(ins, 1, names[size_t(i)].c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_double(ins, 2, costs[size_t(i)]);
            sqlite3_bind_text(ins, 3, cities[size_t(i)].c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(ins, 4, "20240101", -1, SQLITE_STATIC);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
    };
    exec(db, "BEGIN");
    insertRows(0, n);
    exec(db, "COMMIT");

    std::printf("\n%-46s %15s %15s\n", "benchmark", "engine", "SQLite");

    // Tag builds: the best of three runs on each side (the machine may be busy).
    auto bestOf3 = [](const std::function<void()>& build, const std::function<void()>& undo) {
        double best = 1e300;
        for (int r = 0; r < 3; ++r) {
            if (r)
                undo();
            const auto a = Clock::now();
            build();
            best = std::min(best, ms(a, Clock::now()));
        }
        return best;
    };

    // 1. Tag on UPPER(NAME)
    double ours = bestOf3([&] { addTag(t, {"IDX0", "UPPER(NAME)", false, false}); }, [&] { deleteTag(t, "IDX0"); });
    double theirs = bestOf3([&] { exec(db, "CREATE INDEX i0 ON t(upper(name))"); }, [&] { exec(db, "DROP INDEX i0"); });
    row("build tag UPPER(NAME)", ours, theirs);

    // 2. Two-field tag, descending numeric part
    ours = bestOf3(
            [&] {
                addTag(t, {"IDX1", "NAME+STR(999999999999999999-COST, 20, 4)", false, false});
            },
            [&] { deleteTag(t, "IDX1"); });
    theirs = bestOf3([&] { exec(db, "CREATE INDEX i1 ON t(name, cost DESC)"); }, [&] { exec(db, "DROP INDEX i1"); });
    row("build tag NAME+STR(999...-COST, 20, 4)", ours, theirs);

    // 3. Append 10,000 records with five tags
    addTag(t, {"IDX2", "UPPER(CITY)", false, false});
    addTag(t, {"IDX3", "STR(COST, 20, 4)", false, false});
    addTag(t, {"IDX4", "DTOS(DRINK)+UPPER(NAME)", false, false});
    exec(db, "CREATE INDEX i2 ON t(upper(city))");
    exec(db, "CREATE INDEX i3 ON t(cost)");
    exec(db, "CREATE INDEX i4 ON t(drink, upper(name))");
    t0 = Clock::now();
    appendRows(t, n, n + 10000);
    t.flush(); // pages held back while the table is exclusive
    t1 = Clock::now();
    auto s0 = Clock::now();
    exec(db, "BEGIN");
    insertRows(n, n + 10000);
    exec(db, "COMMIT");
    auto s1 = Clock::now();
    row("append 10,000 records, five tags", ms(t0, t1), ms(s0, s1));
    // Held exclusively, the table writes index pages in batches, as SQLite
    // does in one transaction. Opened shared, each Post is its own change,
    // visible to other processes at once: the like-for-like SQLite figure is
    // one transaction per insert.
    t.close();
    t.open(OpenMode::Shared);
    t0 = Clock::now();
    appendRows(t, n + 10000, n + 20000);
    t1 = Clock::now();
    auto a0 = Clock::now();
    insertRows(n + 10000, n + 20000);
    auto a1 = Clock::now();
    row("  the same, shared (SQLite: a transaction each)", ms(t0, t1), ms(a0, a1));
    t.close();
    t.open(OpenMode::Exclusive);
    if (auto* pi = dynamic_cast<ProductionIndex*>(t.indexHooks())) {
        auto problems = pi->mdx().check(tableRecords(t));
        for (size_t i = 0; i < problems.size() && i < 10; ++i)
            std::printf("  index problem: %s\n", problems[i].c_str());
    }
    sqlite3_finalize(ins);

    // 4. Position 90,000 in index order
    setCurrentTag(t, "IDX0");
    const int reps = 200;
    const int target = std::min(90000, n - 1);
    t0 = Clock::now();
    for (int r = 0; r < reps; ++r) {
        t.first();
        t.moveBy(target);
    }
    t1 = Clock::now();
    sqlite3_stmt* off = nullptr;
    std::string offSql = "SELECT rowid FROM t ORDER BY upper(name) LIMIT 1 OFFSET " + std::to_string(target);
    sqlite3_prepare_v2(db, offSql.c_str(), -1, &off, nullptr);
    s0 = Clock::now();
    for (int r = 0; r < reps; ++r) {
        sqlite3_step(off);
        sqlite3_reset(off);
    }
    s1 = Clock::now();
    sqlite3_finalize(off);
    row("go to position 90,000 (per call)", ms(t0, t1) / reps, ms(s0, s1) / reps);

    // 5. Count one letter's range
    t0 = Clock::now();
    uint32_t count = 0;
    for (int r = 0; r < reps; ++r) {
        setRangeKeys(t, "C", std::string("C") + char(0xFF));
        count = t.recordCount();
    }
    t1 = Clock::now();
    sqlite3_stmt* cnt = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM t WHERE upper(name) >= 'C' AND upper(name) < 'D'", -1, &cnt, nullptr);
    int64_t sqlCount = 0;
    s0 = Clock::now();
    for (int r = 0; r < reps; ++r) {
        sqlite3_step(cnt);
        sqlCount = sqlite3_column_int64(cnt, 0);
        sqlite3_reset(cnt);
    }
    s1 = Clock::now();
    sqlite3_finalize(cnt);
    row("count the records of letter C (per call)", ms(t0, t1) / reps, ms(s0, s1) / reps);
    std::printf("\nletter C: engine %u records, SQLite %lld records\n", count, static_cast<long long>(sqlCount));
    cancelRange(t);
    std::printf("all: engine %u records\n", t.recordCount());
    {
        sqlite3_stmt* q = nullptr;
        sqlite3_prepare_v2(db, "SELECT name FROM t WHERE upper(name) >= 'C' AND upper(name) < 'D' ORDER BY upper(name)",
                           -1, &q, nullptr);
        setRangeKeys(t, "C", std::string("C") + char(0xFF));
        t.first();
        while (sqlite3_step(q) == SQLITE_ROW) {
            std::string sn = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
            std::string en = t.eof() ? "<eof>" : t.asString(0);
            if (sn != en) {
                std::printf("first difference: sqlite [%s] engine [%s]\n", sn.c_str(), en.c_str());
                break;
            }
            t.next();
        }
        sqlite3_finalize(q);
    }

    t.close();
    sqlite3_close(db);
    fs::remove_all(dir);
    return 0;
}
