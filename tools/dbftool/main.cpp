// dbftool info|dump|csv|check FILE.dbf
//
// info   the header and the field descriptors
// dump   every record, deleted ones marked, memo text included, binary
//        values (pictures) as their size
// csv    the live records as CSV (header row of field names)
// check  every integrity problem found in the .dbf, its .dbt (and .mdx)
// tags   the tags of the production index
// Exit code: 0 fine, 1 problems found or the table cannot be read, 2 usage.

#include "storage/engine/dbf_file.h"
#include "storage/engine/field_codec.h"
#include "storage/engine/file_io.h"
#include "storage/engine/memo_file.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

#if __has_include("storage/engine/mdx_tool.h")
#include "storage/engine/mdx_tool.h"
#define MK_DBFTOOL_MDX 1
#endif

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

using namespace mk::dbase;

namespace {

int usage()
{
    std::cerr << "usage: dbftool info|dump|csv|check|tags FILE.dbf\n";
    return 2;
}

std::string valueText(Table& t, int pos, bool forCsv)
{
    const FieldDescriptor& f = t.field(pos);
    try {
        if (f.type == 'B' || f.type == 'G') {
            if (t.isNull(pos))
                return "";
            return "<binary " + std::to_string(t.asBlob(pos).size()) + " bytes>";
        }
        std::string v = t.asString(pos);
        if (f.type == 'M' && !forCsv) {
            std::string out;
            for (char c : v) {
                if (c == '\r')
                    continue;
                out += c == '\n' ? std::string(" / ") : std::string(1, c);
            }
            return out;
        }
        return v;
    } catch (const EngineError& e) {
        return std::string("<damaged: ") + e.what() + ">";
    }
}

std::string csvQuote(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

int info(Table& t)
{
    const TableHeader& h = t.header();
    std::printf("file:            %s\n", t.path().c_str());
    std::printf("version:         0x%02X\n", h.version);
    std::printf("last update:     %04d-%02d-%02d\n", 1900 + h.year, h.month, h.day);
    std::printf("records:         %u (%u not deleted)\n", t.physicalCount(), t.recordCount());
    std::printf("header length:   %u\n", h.headerLength);
    std::printf("record length:   %u\n", h.recordLength);
    std::printf("production index:%s\n", (h.productionIndex & 1) ? " yes" : " no");
    std::printf("language driver: 0x%02X\n", h.languageDriver);
    if (t.hasMemoFile())
        std::printf("memo file:       %s (block size %u)\n", t.memoPath().c_str(), t.memo()->blockSize());
    std::printf("\n pos  name        type  len  dec  offset\n");
    for (int i = 0; i < t.fieldCount(); ++i) {
        const FieldDescriptor& f = t.field(i);
        std::printf("%4d  %-10s  %c    %4u  %3u  %6u\n", i, f.name.c_str(), f.type, f.length, f.decimals, f.offset);
    }
    return 0;
}

int dump(Table& t)
{
    const uint32_t count = t.physicalCount();
    std::vector<uint8_t> raw(t.header().recordLength);
    for (uint32_t r = 1; r <= count; ++r) {
        t.readRecord(r, raw.data());
        const bool deleted = raw[0] == '*';
        if (!deleted)
            t.goToRecno(r);
        std::printf("record %u%s\n", r, deleted ? " [deleted]" : "");
        for (int i = 0; i < t.fieldCount(); ++i) {
            const FieldDescriptor& f = t.field(i);
            std::string v;
            if (deleted)
                v = std::string(reinterpret_cast<const char*>(raw.data() + f.offset), f.length);
            else
                v = valueText(t, i, false);
            std::printf("  %-10s %s\n", f.name.c_str(), v.c_str());
        }
    }
    return 0;
}

int csv(Table& t)
{
    for (int i = 0; i < t.fieldCount(); ++i)
        std::printf("%s%s", i ? "," : "", csvQuote(t.field(i).name).c_str());
    std::printf("\r\n");
    for (t.first(); !t.eof(); t.next()) {
        for (int i = 0; i < t.fieldCount(); ++i)
            std::printf("%s%s", i ? "," : "", csvQuote(valueText(t, i, true)).c_str());
        std::printf("\r\n");
    }
    return 0;
}

int check(const std::string& path)
{
    int problems = 0;
    auto report = [&](const std::string& what) {
        ++problems;
        std::printf("%s\n", what.c_str());
    };
    const std::string found = findFileNoCase(path);
    if (found.empty()) {
        report("the table does not exist: " + path);
        return 1;
    }
    // The raw header first: a table that does not open still gets a report.
    File raw;
    try {
        raw.open(found, false);
        const uint64_t size = raw.size();
        std::vector<uint8_t> head(std::min<uint64_t>(size, 65535 + 32));
        raw.readAt(0, head.data(), head.size());
        ParsedHeader ph = parseDbfHeader(head.data(), head.size(), size);
        const uint64_t end =
                ph.header.headerLength + static_cast<uint64_t>(ph.header.recordCount) * ph.header.recordLength;
        uint32_t sum = 1;
        for (const auto& f : ph.fields)
            sum += f.length;
        if (sum != ph.header.recordLength)
            report("record length " + std::to_string(ph.header.recordLength) + " differs from the fields' " +
                   std::to_string(sum));
        if (size == end)
            report("no end-of-file marker");
        else if (size > end + 1)
            report(std::to_string(size - end - 1) + " bytes after the last record");
        else {
            uint8_t eof = 0;
            raw.readAt(end, &eof, 1);
            if (eof != 0x1A)
                report("the byte after the last record is not the end-of-file marker");
        }
    } catch (const DatabaseError& e) {
        report(e.what());
        return 1;
    }
    Table t(found);
    try {
        t.open(OpenMode::Shared);
    } catch (const DatabaseError& e) {
        report(std::string("cannot open: ") + e.what());
        return 1;
    }
    const uint32_t count = t.physicalCount();
    std::vector<uint8_t> rec(t.header().recordLength);
    for (uint32_t r = 1; r <= count; ++r) {
        t.readRecord(r, rec.data());
        if (rec[0] != ' ' && rec[0] != '*')
            report("record " + std::to_string(r) + ": bad deletion flag");
        for (int i = 0; i < t.fieldCount(); ++i) {
            const FieldDescriptor& f = t.field(i);
            const uint8_t* p = rec.data() + f.offset;
            try {
                switch (f.type) {
                case 'N':
                case 'F':
                    codec::readNumber(p, f.length);
                    break;
                case 'D':
                    codec::readDate(p);
                    break;
                case 'L':
                    codec::readLogical(*p);
                    break;
                case 'M':
                case 'B':
                case 'G': {
                    const uint32_t block = codec::readMemoPointer(p, f.length);
                    if (block && t.memo())
                        t.memo()->read(block);
                    break;
                }
                default:
                    break;
                }
            } catch (const DatabaseError& e) {
                report("record " + std::to_string(r) + ", field " + f.name + ": " + e.what());
            }
        }
    }
    t.close();
#ifdef MK_DBFTOOL_MDX
    std::fflush(stdout);
    if (!findTableFiles(found).mdx.empty() && mdxToolCheck(found, std::cout) != 0)
        ++problems;
    std::cout.flush();
#endif
    if (problems == 0)
        std::printf("no problems found (%u records)\n", count);
    return problems ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return usage();
    const std::string cmd = argv[1];
    const std::string path = argv[2];
    if (cmd == "check")
        return check(path);
    if (cmd == "tags") {
#ifdef MK_DBFTOOL_MDX
        try {
            return mdxToolTags(path, std::cout);
        } catch (const DatabaseError& e) {
            std::fprintf(stderr, "dbftool: %s\n", e.what());
            return 1;
        }
#else
        std::fprintf(stderr, "dbftool: this build has no index support\n");
        return 1;
#endif
    }
    if (cmd != "info" && cmd != "dump" && cmd != "csv")
        return usage();
    try {
        Table t(path);
        t.open(OpenMode::Shared);
        if (cmd == "info")
            return info(t);
        if (cmd == "dump")
            return dump(t);
        return csv(t);
    } catch (const DatabaseError& e) {
        std::fprintf(stderr, "dbftool: %s\n", e.what());
        return 1;
    }
}
