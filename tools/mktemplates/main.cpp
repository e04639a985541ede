// mktemplates: writes the template tables (.dbf, .dbt, .mdx) the program
// ships beside itself, from the schema file kept in the source tree.
//
//   mktemplates <schema file> <output folder>

#include "storage/engine/mdx.h"
#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace mk::dbase;

namespace {

struct TableDef
{
    std::string dbf;
    std::string mdx;
    std::vector<FieldDescriptor> fields;
    std::vector<TagSpec> tags;
};

bool parseSchema(const std::string& path, std::vector<TableDef>& out, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream ls(line);
        std::string word;
        if (!(ls >> word) || word[0] == '#')
            continue;
        const std::string where = path + ":" + std::to_string(lineNo) + ": ";
        if (word == "table") {
            TableDef t;
            if (!(ls >> t.dbf >> t.mdx)) {
                error = where + "table needs a file name and an index file name";
                return false;
            }
            out.push_back(t);
        } else if (word == "field" && !out.empty()) {
            FieldDescriptor f;
            std::string type;
            int length = 10, decimals = 0;
            ls >> f.name >> type;
            if (f.name.empty() || f.name.size() > 10 || type.size() != 1) {
                error = where + "bad field";
                return false;
            }
            f.type = type[0];
            ls >> length >> decimals;
            if (f.type == 'M' || f.type == 'B')
                length = 10;
            if (f.type == 'D')
                length = 8;
            if (length < 1 || length > 254 || decimals < 0 || decimals > 15) {
                error = where + "bad field width";
                return false;
            }
            f.length = static_cast<uint8_t>(length);
            f.decimals = static_cast<uint8_t>(decimals);
            out.back().fields.push_back(f);
        } else if (word == "tag" && !out.empty()) {
            TagSpec s;
            ls >> s.name;
            std::string rest;
            std::getline(ls, rest);
            // Options are trailing words; the expression is everything before them.
            auto strip = [&](const char* opt, bool& flag) {
                const std::string o = std::string(" ") + opt;
                while (!rest.empty() && rest.back() == ' ')
                    rest.pop_back();
                if (rest.size() >= o.size() && rest.compare(rest.size() - o.size(), o.size(), o) == 0) {
                    flag = true;
                    rest.erase(rest.size() - o.size());
                }
            };
            strip("unique", s.unique);
            strip("descending", s.descending);
            size_t b = rest.find_first_not_of(' ');
            s.expression = b == std::string::npos ? "" : rest.substr(b);
            if (s.name.empty() || s.expression.empty()) {
                error = where + "tag needs a name and an expression";
                return false;
            }
            out.back().tags.push_back(s);
        } else {
            error = where + "unknown line";
            return false;
        }
    }
    return true;
}

void writeTable(const std::string& folder, const TableDef& def)
{
    const std::string dbf = folder + "/" + def.dbf;
    createTable(dbf, def.fields, true);
    if (def.tags.empty())
        return;
    std::vector<FieldDescriptor> fields;
    {
        Table t(dbf);
        t.open(OpenMode::Exclusive);
        fields = t.fields();
    }
    const std::string base = def.dbf.substr(0, def.dbf.find('.'));
    RecordSource none;
    none.read = [](uint32_t, std::vector<uint8_t>&) { return false; };
    // Remove an index of another letter case left by an older build.
    const std::string old = findTableFiles(dbf).mdx;
    if (!old.empty() && old != folder + "/" + def.mdx)
        std::remove(old.c_str());
    MdxFile::create(folder + "/" + def.mdx, base, fields, def.tags, none);
    setProductionFlag(dbf, true);
    // Read it back through the engine: the template must open with its index.
    installIndexProvider();
    Table check(dbf);
    check.open(OpenMode::Exclusive);
    if (listTags(check).size() != def.tags.size())
        throw DatabaseError("template index of " + def.dbf + " did not read back");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: mktemplates <schema file> <output folder>\n";
        return 2;
    }
    std::vector<TableDef> defs;
    std::string error;
    if (!parseSchema(argv[1], defs, error)) {
        std::cerr << "mktemplates: " << error << "\n";
        return 1;
    }
    try {
        for (const auto& d : defs)
            writeTable(argv[2], d);
    } catch (const std::exception& e) {
        std::cerr << "mktemplates: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
