// Key bytes per record for the tag expressions of the index benchmark and a
// few more: evaluate + encodeKey against KeyWriter::write, over records in
// memory. Prints figures; asserts nothing.
//
//   bench_keys [records [expression]]   (default 100000, the list below)

#include "storage/engine/key_writer.h"
#include "storage/engine/mdx_keys.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace mk::dbase;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    // NAME C40, COST N12.2, CITY C20, DRINK D8 after the deletion flag.
    const std::vector<ExprField> fields = {
            {"NAME", 'C', 40, 0, 1}, {"COST", 'N', 12, 2, 41}, {"CITY", 'C', 20, 0, 53}, {"DRINK", 'D', 8, 0, 73}};
    const size_t recLen = 81;
    std::mt19937 rng(42);
    std::vector<uint8_t> records(size_t(n) * recLen, ' ');
    for (int i = 0; i < n; ++i) {
        uint8_t* r = records.data() + size_t(i) * recLen;
        std::string name = "Ch\xE2teau " + std::to_string(rng() % 1000000);
        std::memcpy(r + 1, name.data(), name.size());
        char cost[16];
        std::snprintf(cost, sizeof cost, "%12.2f", double(rng() % 100000) / 100.0);
        std::memcpy(r + 41, cost, 12);
        std::memcpy(r + 53, "Bordeaux", 8);
        char date[16];
        std::snprintf(date, sizeof date, "%04u%02u%02u", 1990 + unsigned(rng() % 40), 1 + unsigned(rng() % 12),
                      1 + unsigned(rng() % 28));
        std::memcpy(r + 73, date, 8);
    }

    std::printf("%-44s %14s %14s %8s\n", "key expression", "general", "key writer", "gain");
    std::vector<std::string> texts = {"UPPER(NAME)",
                                      "NAME+STR(999999999999999999-COST, 20, 4)",
                                      "UPPER(CITY)",
                                      "STR(COST, 20, 4)",
                                      "DTOS(DRINK)+UPPER(NAME)",
                                      "COST",
                                      "DRINK",
                                      "STR({12/31/3099}-DRINK, 10, 0)+NAME"};
    if (argc > 2)
        texts = {argv[2]};
    for (const std::string& text : texts) {
        const KeyExpression e = KeyExpression::parse(text, fields);
        const char type = e.resultType();
        const int kl = type == 'C' ? e.resultLength() : (type == 'N' ? 12 : 8);
        const KeyWriter w = KeyWriter::compile(e, type, kl);
        std::string a(size_t(n) * size_t(kl), '\0'), b(size_t(n) * size_t(kl), '\0');
        // Best of five runs each: the machine is shared.
        double general = 1e300, compiled = 1e300;
        for (int run = 0; run < 5; ++run) {
            auto t0 = Clock::now();
            for (int i = 0; i < n; ++i) {
                const std::string k = encodeKey(e.evaluate(records.data() + size_t(i) * recLen, recLen), type, kl);
                std::memcpy(a.data() + size_t(i) * size_t(kl), k.data(), std::min(k.size(), size_t(kl)));
            }
            auto t1 = Clock::now();
            for (int i = 0; i < n; ++i)
                w.write(records.data() + size_t(i) * recLen, recLen, {}, b.data() + size_t(i) * size_t(kl));
            auto t2 = Clock::now();
            general = std::min(general, ms(t0, t1));
            compiled = std::min(compiled, ms(t1, t2));
        }
        std::printf("%-44s %11.2f ms %11.2f ms %7.1fx%s\n", text.c_str(), general, compiled, general / compiled,
                    a == b ? "" : "   KEYS DIFFER");
    }
}
