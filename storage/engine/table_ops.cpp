#include "storage/engine/table_ops.h"

#include "storage/engine/dbf_file.h"
#include "storage/engine/field_codec.h"
#include "storage/engine/file_io.h"
#include "storage/engine/index_hooks.h"
#include "storage/engine/memo_file.h"
#include "storage/engine/order.h"
#include "storage/engine/table.h"
#include "storage/engine/table_replace.h"

#include <cstring>
#include <vector>

namespace mk::dbase {

// ------------------------------------------------------------ replacement

ReplaceFiles replaceFilesFor(const std::string& dbfPath)
{
    return {replaceExtension(dbfPath, ".$$w"), replaceExtension(dbfPath, ".$$f"), replaceExtension(dbfPath, ".$$t")};
}

void commitReplace(const std::string& dbfPath, const std::string& dbtPath, bool withMemo)
{
    const ReplaceFiles rf = replaceFilesFor(dbfPath);
    syncDirectoryOf(dbfPath);
    renameFile(rf.dbfWork, rf.dbfReady); // the commit point
    syncDirectoryOf(dbfPath);
    if (withMemo)
        renameFile(rf.dbtWork, dbtPath);
    renameFile(rf.dbfReady, dbfPath);
    syncDirectoryOf(dbfPath);
}

bool finishInterruptedReplace(const std::string& dbfPath)
{
    const ReplaceFiles rf = replaceFilesFor(dbfPath);
    if (fileExists(rf.dbfReady)) {
        if (fileExists(rf.dbtWork)) {
            std::string dbt = findFileNoCase(replaceExtension(dbfPath, ".dbt"));
            if (dbt.empty())
                dbt = replaceExtension(dbfPath, ".dbt");
            renameFile(rf.dbtWork, dbt);
        }
        renameFile(rf.dbfReady, dbfPath);
        syncDirectoryOf(dbfPath);
        return true;
    }
    if (fileExists(rf.dbfWork) || fileExists(rf.dbtWork)) {
        removeFileIfExists(rf.dbfWork);
        removeFileIfExists(rf.dbtWork);
    }
    return false;
}

namespace {

std::string withExt(const std::string& dbfPath, const char* ext)
{
    return replaceExtension(dbfPath, ext);
}

bool hasMemoFields(const std::vector<FieldDescriptor>& fields)
{
    for (const auto& f : fields)
        if (f.isMemoLike())
            return true;
    return false;
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Writes the records of `source` that pass `keep` into work files beside
// `destDbf`. Header bytes are the source's, with the count and date set;
// memo values are copied into a fresh memo file.
struct RewriteOptions
{
    bool dropIndex = false;
    bool keepDeleted = false;
    bool noRecords = false;
};

void writeWorkFiles(Table& source, const std::string& destDbf, const RewriteOptions& opt)
{
    DbfFile& dbf = source.dbf();
    const TableHeader& h = dbf.header();
    const auto& fields = dbf.fields();
    const bool memo = hasMemoFields(fields);
    const ReplaceFiles rf = replaceFilesFor(destDbf);

    std::vector<uint8_t> head(h.headerLength);
    dbf.file().readExact(0, head.data(), head.size());
    if (memo && (head[0] == layout::kVersionDbase3Memo || (head[0] & 0x80) == 0))
        head[0] = layout::kVersionDbase4Memo; // the copy gets a dBASE IV memo file
    if (opt.dropIndex) {
        head[28] = 0;
        for (size_t i = 0; i < fields.size(); ++i)
            head[32 + 32 * i + 31] = 0;
    }
    TableHeader stamp = h;
    stampToday(stamp);
    head[1] = stamp.year;
    head[2] = stamp.month;
    head[3] = stamp.day;

    File out;
    out.create(rf.dbfWork);
    MemoFile memoOut;
    if (memo) {
        MemoFile::create(rf.dbtWork, baseName(destDbf));
        memoOut.open(rf.dbtWork, false);
        memoOut.setExclusive(true);
    }
    const uint32_t len = dbf.recordLength();
    const uint32_t physical = opt.noRecords ? 0 : dbf.refreshCount();
    std::vector<uint8_t> buf;
    buf.reserve(static_cast<size_t>(len) * 256 + 1);
    std::vector<uint8_t> rec(len);
    uint32_t written = 0;
    uint64_t offset = h.headerLength;
    MemoFile* memoIn = source.memo();
    for (uint32_t r = 1; r <= physical; ++r) {
        if (!dbf.readRecord(r, rec.data()))
            break;
        if (rec[0] == layout::kDeletedFlag && !opt.keepDeleted)
            continue;
        if (memo) {
            for (const auto& f : fields) {
                if (!f.isMemoLike())
                    continue;
                const uint32_t block = codec::readMemoPointer(rec.data() + f.offset, f.length);
                uint32_t newBlock = 0;
                if (block != 0) {
                    if (!memoIn)
                        throw EngineError("The table has no memo file");
                    const std::string value = memoIn->read(block);
                    if (!value.empty())
                        newBlock = memoOut.write(value);
                }
                codec::writeMemoPointer(rec.data() + f.offset, f.length, newBlock);
            }
        }
        buf.insert(buf.end(), rec.begin(), rec.end());
        ++written;
        if (buf.size() >= static_cast<size_t>(len) * 256) {
            out.writeAt(offset, buf.data(), buf.size());
            offset += buf.size();
            buf.clear();
        }
    }
    buf.push_back(layout::kEndOfFile);
    out.writeAt(offset, buf.data(), buf.size());
    put32(head.data() + 4, written);
    out.writeAt(0, head.data(), head.size());
    out.sync();
    if (memo) {
        memoOut.flush();
        memoOut.file().sync();
    }
}

void rewriteInPlace(const std::string& dbfPath, const RewriteOptions& opt)
{
    const TableFiles files = findTableFiles(dbfPath);
    if (files.dbf.empty())
        throw DatabaseError(DatabaseError::Code::NotFound, "Table does not exist: " + dbfPath);
    bool withMemo = false;
    bool hasIndex = false;
    {
        Table t(files.dbf);
        t.open(OpenMode::Exclusive);
        withMemo = hasMemoFields(t.fields());
        hasIndex = (t.header().productionIndex & 1) && !files.mdx.empty();
        if (t.indexHooks())
            t.indexHooks()->beginChange(); // the index is stale until regenerated
        const ReplaceFiles rf = replaceFilesFor(files.dbf);
        try {
            writeWorkFiles(t, files.dbf, opt);
        } catch (...) {
            removeFileIfExists(rf.dbfWork);
            removeFileIfExists(rf.dbtWork);
            throw;
        }
        std::string dbt = files.dbt.empty() ? lowerCaseFileName(withExt(files.dbf, ".dbt")) : files.dbt;
        commitReplace(files.dbf, dbt, withMemo);
        // The exclusive lock on the old file is dropped only now.
    }
    // Record numbers changed: every tag is rebuilt (this also clears the
    // "update in progress" mark set above).
    if (hasIndex)
        regenerateProductionIndex(files.dbf);
}

// Fails with Locked while any table object or process has the table open;
// works on damaged tables too (no header is parsed).
void ensureNotInUse(const std::string& dbfPath)
{
    File f;
    f.open(dbfPath, false);
    if (!f.readOnly() && !f.tryLock(layout::kOpenModeLock, 1, true))
        throw DatabaseError(DatabaseError::Code::Locked, "The table is in use by someone else: " + dbfPath);
}

} // namespace

// ------------------------------------------------------------ operations

TableFiles findTableFiles(const std::string& dbfPath)
{
    TableFiles f;
    f.dbf = findFileNoCase(dbfPath);
    const std::string base = f.dbf.empty() ? dbfPath : f.dbf;
    f.dbt = findFileNoCase(withExt(base, ".dbt"));
    f.mdx = findFileNoCase(withExt(base, ".mdx"));
    return f;
}

void createTable(const std::string& dbfPath, const std::vector<FieldDescriptor>& fieldsIn, bool overwrite)
{
    const std::string path = lowerCaseFileName(dbfPath);
    if (!findFileNoCase(path).empty()) {
        if (!overwrite)
            throw DatabaseError(DatabaseError::Code::General, "The table already exists: " + path);
        deleteTable(path);
    }
    std::vector<FieldDescriptor> fields = fieldsIn;
    for (auto& f : fields) {
        switch (f.type) {
        case 'D':
            f.length = 8;
            f.decimals = 0;
            break;
        case 'L':
            f.length = 1;
            f.decimals = 0;
            break;
        case 'M':
        case 'B':
        case 'G':
            f.length = 10;
            f.decimals = 0;
            break;
        case 'N':
        case 'F':
            if (f.length == 0 || f.length > 20 || f.decimals >= f.length)
                throw DatabaseError(DatabaseError::Code::General, "Bad numeric field size: " + f.name);
            break;
        case 'C':
            if (f.length == 0 || f.length > 254)
                throw DatabaseError(DatabaseError::Code::General, "Bad text field size: " + f.name);
            f.decimals = 0;
            break;
        default:
            throw DatabaseError(DatabaseError::Code::General, std::string("Unsupported field type ") + f.type);
        }
    }
    const bool memo = hasMemoFields(fields);
    TableHeader h;
    h.version = memo ? layout::kVersionDbase4Memo : layout::kVersionPlain;
    h.languageDriver = layout::kLanguageDriver1252;
    stampToday(h);
    std::vector<uint8_t> head = buildDbfHeader(h, fields);
    head.push_back(layout::kEndOfFile);
    const ReplaceFiles rf = replaceFilesFor(path);
    {
        File out;
        out.create(rf.dbfWork);
        out.writeAt(0, head.data(), head.size());
        out.sync();
    }
    if (memo)
        MemoFile::create(rf.dbtWork, baseName(path));
    commitReplace(path, withExt(path, ".dbt"), memo);
}

void copyTable(const std::string& sourcePath, const std::string& destPath, bool keepIndexes, bool overwrite)
{
    const TableFiles src = findTableFiles(sourcePath);
    if (src.dbf.empty())
        throw DatabaseError(DatabaseError::Code::NotFound, "Table does not exist: " + sourcePath);
    const std::string dest = lowerCaseFileName(destPath);
    const TableFiles old = findTableFiles(dest);
    if (!old.dbf.empty() && !overwrite)
        throw DatabaseError(DatabaseError::Code::General, "The table already exists: " + dest);
    if (old.dbf == src.dbf && !old.dbf.empty())
        throw DatabaseError(DatabaseError::Code::General, "Cannot copy a table onto itself");
    bool withMemo = false;
    bool hadIndex = false;
    {
        Table t(src.dbf);
        t.open(OpenMode::Shared);
        withMemo = hasMemoFields(t.fields());
        hadIndex = (t.header().productionIndex & 1) && !src.mdx.empty();
        RewriteOptions opt;
        opt.dropIndex = !keepIndexes || !hadIndex;
        opt.keepDeleted = true; // a copy keeps the table as it is
        const ReplaceFiles rf = replaceFilesFor(dest);
        try {
            writeWorkFiles(t, dest, opt);
        } catch (...) {
            removeFileIfExists(rf.dbfWork);
            removeFileIfExists(rf.dbtWork);
            throw;
        }
    }
    // Clear what the old destination had, then commit the copy.
    if (!old.mdx.empty())
        removeFileIfExists(old.mdx);
    if (!old.dbt.empty() && old.dbt != withExt(dest, ".dbt"))
        removeFileIfExists(old.dbt);
    if (!old.dbf.empty() && old.dbf != dest)
        removeFileIfExists(old.dbf);
    commitReplace(dest, withExt(dest, ".dbt"), withMemo);
    if (!withMemo)
        removeFileIfExists(withExt(dest, ".dbt"));
    if (keepIndexes && hadIndex) {
        const std::string mdx = withExt(dest, ".mdx");
        copyFile(src.mdx, mdx);
        if (indexProvider())
            indexProvider()->retarget(mdx, baseName(dest));
    }
}

void deleteTable(const std::string& dbfPath)
{
    const TableFiles f = findTableFiles(dbfPath);
    if (f.dbf.empty())
        throw DatabaseError(DatabaseError::Code::NotFound, "Table does not exist: " + dbfPath);
    ensureNotInUse(f.dbf);
    removeFileIfExists(f.dbf);
    if (!f.dbt.empty())
        removeFileIfExists(f.dbt);
    if (!f.mdx.empty())
        removeFileIfExists(f.mdx);
}

void renameTable(const std::string& dbfPath, const std::string& newDbfPath)
{
    const TableFiles f = findTableFiles(dbfPath);
    if (f.dbf.empty())
        throw DatabaseError(DatabaseError::Code::NotFound, "Table does not exist: " + dbfPath);
    const std::string dest = lowerCaseFileName(newDbfPath);
    if (!findFileNoCase(dest).empty())
        throw DatabaseError(DatabaseError::Code::General, "The table already exists: " + dest);
    ensureNotInUse(f.dbf);
    // Memo and index first, the .dbf last: until the .dbf moves, the old
    // name is still the table.
    if (!f.dbt.empty())
        renameFile(f.dbt, withExt(dest, ".dbt"));
    if (!f.mdx.empty())
        renameFile(f.mdx, withExt(dest, ".mdx"));
    renameFile(f.dbf, dest);
    syncDirectoryOf(dest);
    if (!f.mdx.empty() && indexProvider())
        indexProvider()->retarget(withExt(dest, ".mdx"), baseName(dest));
}

void emptyTable(const std::string& dbfPath)
{
    RewriteOptions opt;
    opt.noRecords = true;
    rewriteInPlace(dbfPath, opt);
}

void packTable(const std::string& dbfPath)
{
    rewriteInPlace(dbfPath, RewriteOptions{});
}

void regenerateIndexes(const std::string& dbfPath)
{
    const TableFiles files = findTableFiles(dbfPath);
    if (files.dbf.empty())
        throw DatabaseError(DatabaseError::Code::NotFound, "Table does not exist: " + dbfPath);
    bool flagged = false;
    {
        File f;
        f.open(files.dbf, false);
        uint8_t flag = 0;
        f.readExact(28, &flag, 1);
        flagged = (flag & 1) != 0;
    }
    if (!flagged && files.mdx.empty())
        return; // no production index
    regenerateProductionIndex(files.dbf);
}

void copyFile(const std::string& source, const std::string& destination)
{
    File in;
    in.open(source, false);
    File out;
    out.create(destination);
    std::vector<char> buf(1 << 16);
    uint64_t offset = 0;
    for (;;) {
        const size_t n = in.readAt(offset, buf.data(), buf.size());
        if (n == 0)
            break;
        out.writeAt(offset, buf.data(), n);
        offset += n;
    }
}

} // namespace mk::dbase
