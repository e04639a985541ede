#include "storage/engine/mdx_tool.h"

#include "storage/engine/mdx.h"
#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"

namespace mk::dbase {

namespace {

// Opens the table without its index hooks, so a damaged index can still be
// examined, and opens the index read-only.
std::unique_ptr<MdxFile> openIndex(Table& t, const std::string& dbfPath)
{
    t.setPath(dbfPath);
    openWithoutIndex(t, OpenMode::Shared);
    const std::string mdx = findTableFiles(t.path()).mdx;
    if (mdx.empty())
        throw DatabaseError(DatabaseError::Code::NotFound, "the table has no production index");
    std::string base = t.path().substr(t.path().find_last_of('/') + 1);
    base = base.substr(0, base.find('.'));
    auto file = MdxFile::open(mdx, base, t.fields(), false);
    file->setMemoReader(tableMemoReader(t));
    return file;
}

} // namespace

int mdxToolTags(const std::string& dbfPath, std::ostream& out)
{
    Table t;
    auto m = openIndex(t, dbfPath);
    if (!(t.header().productionIndex & 1))
        out << "(the table's production-index flag is not set)\n";
    if (m->blockSize() != MdxFile::kBlockSize)
        out << "(blocks of " << m->blockSize() << " bytes)\n";
    for (int i = 0; i < m->tagCount(); ++i) {
        const TagInfo info = m->tagInfo(i);
        out << info.name << "\t" << info.expression << "\t" << info.keyType << " " << info.keyLength;
        if (info.descending)
            out << "\tdescending";
        if (info.unique)
            out << "\tunique";
        if (!info.forExpression.empty())
            out << "\tfor " << info.forExpression;
        out << "\t" << m->size(i) << " keys\n";
    }
    return 0;
}

int mdxToolCheck(const std::string& dbfPath, std::ostream& out)
{
    Table t;
    std::unique_ptr<MdxFile> m;
    try {
        m = openIndex(t, dbfPath);
    } catch (const DatabaseError& e) {
        out << "index: " << e.what() << "\n";
        return 1;
    }
    const std::vector<std::string> problems = m->check(tableRecords(t));
    for (const auto& p : problems)
        out << "index: " << p << "\n";
    return problems.empty() ? 0 : 1;
}

} // namespace mk::dbase
