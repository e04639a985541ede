#include "storage/engine/mdx.h"

#include "storage/engine/key_writer.h"
#include "storage/engine/mdx_keys.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace mk::dbase {

namespace {

constexpr uint32_t kFirstTagPage = 4;     // pages 0-3: file header and tag table
constexpr uint32_t kTagTableOffset = 544; // 32 bytes per tag
constexpr uint32_t kTagEntrySize = 32;
constexpr uint32_t kMarkerOffset = 48; // our extension: "MKIX", change counter, update flag
constexpr char kMarker[4] = {'M', 'K', 'I', 'X'};
constexpr off_t kLockOffset = 0x7FFFFFF0; // lock byte of the .mdx (beyond any real page)
constexpr int kMaxDepth = 40;
// FOR condition of a tag: flag byte and text in the tag header. The header
// spans at least 1024 bytes so the text fits even with 512-byte blocks.
constexpr size_t kForFlagOffset = 245;
constexpr size_t kForOffset = 762;
constexpr size_t kForMax = 220;
constexpr uint32_t kTagHeaderMinBytes = 1024;

uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

[[noreturn]] void corrupt(const std::string& path, const std::string& what)
{
    throw DatabaseError(DatabaseError::Code::Corrupt, "Index file " + path + " is damaged: " + what);
}

std::string upperAscii(std::string s)
{
    for (auto& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

void todayYmd(uint8_t* p)
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    p[0] = static_cast<uint8_t>(tm.tm_year);
    p[1] = static_cast<uint8_t>(tm.tm_mon + 1);
    p[2] = static_cast<uint8_t>(tm.tm_mday);
}

} // namespace

// ---------------------------------------------------------------- in-memory tree

struct Node
{
    uint32_t page = 0;
    bool leaf = true;
    uint32_t link = 0;             // bytes 4-7, kept as found
    std::string keys;              // leaf: n keys; interior: the last key of each child
    std::vector<uint32_t> ptr;     // leaf: record numbers; interior: child pages
    std::vector<uint32_t> lastRec; // interior: record number of each child's last entry
    std::vector<uint64_t> cnt;     // interior: entries below each child
    std::vector<Node*> kid;        // interior: the child nodes (owned by the tag)
    uint64_t total = 0;
    bool isDirty = false; // changed since the last write

    size_t n() const { return ptr.size(); }
};

struct MdxFile::Tag
{
    TagInfo info;
    KeyExpression expr;
    KeyWriter keyWriter;   // compiled from expr for the key type and length
    KeyExpression forExpr; // parsed FOR condition when hasFor
    bool hasFor = false;
    uint32_t headerPage = 0;
    uint32_t root = 0;
    int keyLen = 0;
    int itemLen = 0;
    int maxKeys = 0;
    uint8_t serial = 1;
    uint8_t keyFormat3 = 0;
    std::unordered_map<uint32_t, std::unique_ptr<Node>> nodes;
    std::vector<uint32_t> dirty; // pages of changed nodes (may repeat)
    bool headerDirty = false;
    // Tag header values as on disk.
    uint32_t writtenRoot = 0;
    uint32_t writtenFirst = 0;
    uint32_t writtenLast = 0;
    bool writtenHasKeys = false;

    const char* key(const Node& nd, size_t i) const { return nd.keys.data() + i * size_t(keyLen); }

    void markDirty(Node& nd)
    {
        if (!nd.isDirty) {
            nd.isDirty = true;
            dirty.push_back(nd.page);
        }
    }

    int cmpKey(const char* a, const char* b) const
    {
        int c = 0;
        if (info.keyType == 'C')
            c = std::memcmp(a, b, size_t(keyLen));
        else if (info.keyType == 'N')
            c = compareBcd(reinterpret_cast<const uint8_t*>(a), reinterpret_cast<const uint8_t*>(b));
        else
            c = compareDateKey(reinterpret_cast<const uint8_t*>(a), reinterpret_cast<const uint8_t*>(b));
        return info.descending ? -c : c;
    }
    int cmpEntry(const char* ka, uint32_t ra, const char* kb, uint32_t rb) const
    {
        int c = cmpKey(ka, kb);
        if (c != 0)
            return c;
        return ra < rb ? -1 : (ra > rb ? 1 : 0);
    }

    Node& node(uint32_t page) const
    {
        auto it = nodes.find(page);
        if (it == nodes.end())
            throw DatabaseError(DatabaseError::Code::Corrupt, "index page missing");
        return *it->second;
    }

    // Last entry of a node.
    void lastOf(const Node& nd, std::string& k, uint32_t& r) const
    {
        if (nd.n() == 0) {
            k.assign(size_t(keyLen), '\0');
            r = 0;
            return;
        }
        if (nd.leaf) {
            k.assign(key(nd, nd.n() - 1), size_t(keyLen));
            r = nd.ptr.back();
        } else {
            k.assign(key(nd, nd.n() - 1), size_t(keyLen));
            r = nd.lastRec.back();
        }
    }

    // First index i whose entry (leaf) or child's last entry (interior) is
    // >= (k, r); interior nodes fall back to their last child.
    size_t lowerIn(const Node& nd, const char* k, uint32_t r) const
    {
        size_t lo = 0, hi = nd.n();
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            uint32_t mr = nd.leaf ? nd.ptr[mid] : nd.lastRec[mid];
            if (cmpEntry(key(nd, mid), mr, k, r) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (!nd.leaf && lo >= nd.n() && nd.n() > 0)
            lo = nd.n() - 1;
        return lo;
    }

    uint64_t rank(const char* k, uint32_t r) const
    {
        uint64_t before = 0;
        const Node* nd = &node(root);
        for (int depth = 0; depth < kMaxDepth; ++depth) {
            if (nd->leaf) {
                size_t lo = 0, hi = nd->n();
                while (lo < hi) {
                    size_t mid = (lo + hi) / 2;
                    if (cmpEntry(key(*nd, mid), nd->ptr[mid], k, r) < 0)
                        lo = mid + 1;
                    else
                        hi = mid;
                }
                return before + lo;
            }
            if (nd->n() == 0)
                return before;
            size_t i = lowerIn(*nd, k, r);
            // Past the last child's last entry: everything is before.
            if (i == nd->n() - 1 && cmpEntry(key(*nd, i), nd->lastRec[i], k, r) < 0)
                return before + nd->total;
            for (size_t j = 0; j < i; ++j)
                before += nd->cnt[j];
            nd = nd->kid[i];
        }
        throw DatabaseError(DatabaseError::Code::Corrupt, "index tree too deep");
    }

    const Node& select(uint64_t pos, size_t& idx) const
    {
        const Node* nd = &node(root);
        for (int depth = 0; depth < kMaxDepth; ++depth) {
            if (nd->leaf) {
                if (pos >= nd->n())
                    throw DatabaseError(DatabaseError::Code::General, "index position out of range");
                idx = size_t(pos);
                return *nd;
            }
            size_t i = 0;
            while (i < nd->n() && pos >= nd->cnt[i]) {
                pos -= nd->cnt[i];
                ++i;
            }
            if (i >= nd->n())
                throw DatabaseError(DatabaseError::Code::General, "index position out of range");
            nd = nd->kid[i];
        }
        throw DatabaseError(DatabaseError::Code::Corrupt, "index tree too deep");
    }
};

// ---------------------------------------------------------------- helpers

std::vector<ExprField> exprFields(const std::vector<FieldDescriptor>& fields)
{
    std::vector<ExprField> out;
    out.reserve(fields.size());
    for (const auto& f : fields)
        out.push_back(ExprField{f.name, f.type, f.length, f.decimals, static_cast<int>(f.offset)});
    return out;
}

MdxFile::MdxFile() = default;

MdxFile::~MdxFile()
{
    try {
        flush();
    } catch (...) {
        // The file keeps its "in progress" mark and is regenerated when next opened.
    }
    if (m_locked)
        unlockFile();
    if (m_fd >= 0)
        ::close(m_fd);
}

MdxFile::Tag& MdxFile::tagRef(int tag) const
{
    if (tag < 0 || tag >= static_cast<int>(m_tags.size()))
        throw DatabaseError(DatabaseError::Code::General, "no such index tag");
    return *m_tags[size_t(tag)];
}

void MdxFile::readAt(uint64_t offset, void* buf, size_t len) const
{
    auto* p = static_cast<uint8_t*>(buf);
    size_t done = 0;
    while (done < len) {
        ssize_t r = ::pread(m_fd, p + done, len - done, off_t(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            std::memset(p + done, 0, len - done); // past the end reads as zeros
            return;
        }
        done += size_t(r);
    }
}

void MdxFile::writeAt(uint64_t offset, const void* buf, size_t len)
{
    const auto* p = static_cast<const uint8_t*>(buf);
    size_t done = 0;
    while (done < len) {
        ssize_t r = ::pwrite(m_fd, p + done, len - done, off_t(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            throw DatabaseError(DatabaseError::Code::Io, "Cannot write index file " + m_path);
        done += size_t(r);
    }
}

void MdxFile::lockFile(bool exclusive)
{
    struct flock fl
    {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockOffset;
    fl.l_len = 1;
    while (::fcntl(m_fd, F_OFD_SETLKW, &fl) < 0) {
        if (errno != EINTR)
            throw DatabaseError(DatabaseError::Code::Locked, "Cannot lock index file " + m_path);
    }
    m_locked = true;
}

void MdxFile::unlockFile()
{
    struct flock fl
    {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockOffset;
    fl.l_len = 1;
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
    m_locked = false;
}

void MdxFile::reopenFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::open(m_path.c_str(), (m_writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (m_fd < 0 && m_writable && (errno == EACCES || errno == EROFS)) {
        m_writable = false;
        m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (m_fd < 0) {
        if (errno == ENOENT)
            throw DatabaseError(DatabaseError::Code::NotFound, "Index file " + m_path + " does not exist");
        throw DatabaseError(DatabaseError::Code::Io, "Cannot open index file " + m_path);
    }
}

// ---------------------------------------------------------------- open / load

std::unique_ptr<MdxFile> MdxFile::open(const std::string& path, const std::string& tableBaseName,
                                       const std::vector<FieldDescriptor>& fields, bool writable, bool allowInterrupted)
{
    std::unique_ptr<MdxFile> f(new MdxFile());
    f->m_path = path;
    f->m_tableName = upperAscii(tableBaseName);
    f->m_fields = exprFields(fields);
    f->m_writable = writable;
    f->reopenFd();
    f->lockFile(false);
    try {
        f->load(allowInterrupted);
    } catch (...) {
        f->unlockFile();
        throw;
    }
    f->unlockFile();
    return f;
}

void MdxFile::load(bool allowInterrupted, size_t keepTags)
{
    struct stat st
    {};
    if (::fstat(m_fd, &st) != 0)
        throw DatabaseError(DatabaseError::Code::Io, "Cannot read index file " + m_path);
    if (st.st_size < off_t(kFirstTagPage * kPageSize))
        corrupt(m_path, "file too short");
    std::vector<uint8_t> hdr(kFirstTagPage * kPageSize);
    readAt(0, hdr.data(), hdr.size());
    loadHeader(hdr.data());
    // Never trust a page count below the file's real size: new pages go past both.
    {
        const uint32_t ppb = m_pagesPerBlock;
        const uint64_t pages = (uint64_t(st.st_size) + kPageSize - 1) / kPageSize;
        m_pageCount = std::max(m_pageCount, uint32_t((pages + ppb - 1) / ppb * ppb));
    }
    if (m_ownMarker && hdr[kMarkerOffset + 8] != 0 && !allowInterrupted)
        corrupt(m_path, "an update was interrupted");

    const uint32_t filePages = uint32_t(st.st_size / kPageSize);
    const int tagsInUse = get16(&hdr[28]);
    std::vector<std::unique_ptr<Tag>> kept;
    for (size_t t = 0; t < keepTags && t < m_tags.size(); ++t)
        kept.push_back(std::move(m_tags[t]));
    m_tags.clear();
    const uint32_t bs = m_blockBytes;
    const uint32_t ppb = m_pagesPerBlock;
    // The pages are read in one go, from the first tag loaded to the end.
    std::vector<uint8_t> image;
    uint32_t imageFrom = filePages;
    constexpr size_t kMaxImage = size_t(64) << 20; // larger files are read block by block
    auto readBlock = [&](uint32_t page, uint8_t* out, size_t len) {
        if (image.empty() && page < filePages && size_t(filePages - page) * kPageSize <= kMaxImage) {
            imageFrom = page;
            image.resize(size_t(filePages - imageFrom) * kPageSize);
            readAt(uint64_t(imageFrom) * kPageSize, image.data(), image.size());
        }
        if (page >= imageFrom && size_t(page - imageFrom) * kPageSize + len <= image.size())
            std::memcpy(out, &image[size_t(page - imageFrom) * kPageSize], len);
        else
            readAt(uint64_t(page) * kPageSize, out, len);
    };
    std::vector<uint8_t> block(std::max(bs, kTagHeaderMinBytes));
    for (int t = 0; t < tagsInUse; ++t) {
        if (size_t(t) < kept.size()) {
            m_tags.push_back(std::move(kept[size_t(t)]));
            continue;
        }
        const uint8_t* e = &hdr[kTagTableOffset + size_t(t) * kTagEntrySize];
        auto tag = std::make_unique<Tag>();
        tag->headerPage = get32(e);
        char name[12] = {};
        std::memcpy(name, e + 4, 11);
        tag->info.name = name;
        while (!tag->info.name.empty() && tag->info.name.back() == ' ')
            tag->info.name.pop_back();
        if (tag->headerPage < kFirstTagPage || tag->headerPage + ppb > filePages)
            corrupt(m_path, "tag header outside the file");
        readBlock(tag->headerPage, block.data(), block.size());
        tag->root = get32(&block[0]);
        tag->writtenRoot = tag->root;
        tag->writtenHasKeys = block[246] != 0;
        tag->writtenFirst = get32(&block[248]);
        tag->writtenLast = get32(&block[252]);
        const uint8_t fmt = block[8];
        tag->info.keyType = static_cast<char>(block[9]);
        if (tag->info.keyType != 'C' && tag->info.keyType != 'N' && tag->info.keyType != 'D')
            tag->info.keyType = static_cast<char>(e[20]); // some writers fill only the tag table
        tag->keyLen = get16(&block[12]);
        tag->maxKeys = get16(&block[14]);
        tag->itemLen = get16(&block[18]);
        tag->serial = block[20];
        tag->info.unique = block[23] != 0 || (fmt & 0x40) != 0;
        tag->info.descending = (fmt & 0x08) != 0;
        tag->keyFormat3 = block[480];
        char expr[221] = {};
        std::memcpy(expr, &block[24], 220);
        tag->info.expression = expr;
        while (!tag->info.expression.empty() && tag->info.expression.back() == ' ')
            tag->info.expression.pop_back();
        tag->info.keyLength = tag->keyLen;
        if (tag->info.keyType != 'C' && tag->info.keyType != 'N' && tag->info.keyType != 'D')
            corrupt(m_path, "unknown key type in tag " + tag->info.name);
        if (tag->keyLen < 1 || tag->keyLen > 100 || tag->itemLen < tag->keyLen + 4 || tag->itemLen > int(bs) / 2 ||
            tag->maxKeys < 2 || 8 + tag->maxKeys * tag->itemLen + 4 > int(bs))
            corrupt(m_path, "bad key sizes in tag " + tag->info.name);
        try {
            tag->expr = KeyExpression::parse(tag->info.expression, m_fields);
        } catch (const ExprError& err) {
            throw DatabaseError(DatabaseError::Code::Corrupt, std::string(err.what()));
        }
        const char rt = tag->expr.resultType();
        if ((rt == 'C' && (tag->info.keyType != 'C' || tag->expr.resultLength() != tag->keyLen)) ||
            (rt == 'N' && (tag->info.keyType != 'N' || tag->keyLen != 12)) ||
            (rt == 'D' && (tag->info.keyType != 'D' || tag->keyLen != 8)) || rt == 'L')
            corrupt(m_path, "tag " + tag->info.name + " does not match its expression");
        tag->keyWriter = KeyWriter::compile(tag->expr, tag->info.keyType, tag->keyLen);
        if (block[kForFlagOffset] != 0) {
            char cond[kForMax + 1] = {};
            std::memcpy(cond, &block[kForOffset], kForMax);
            std::string text = cond;
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            if (!text.empty()) {
                try {
                    tag->forExpr = KeyExpression::parse(text, m_fields);
                } catch (const ExprError& err) {
                    corrupt(m_path, "the FOR condition of tag " + tag->info.name + ": " + err.what());
                }
                if (tag->forExpr.resultType() != 'L')
                    corrupt(m_path, "the FOR condition of tag " + tag->info.name + " is not a condition");
                tag->hasFor = true;
                tag->info.forExpression = text;
            }
        }

        // Load the tree, computing counts and last entries bottom-up.
        std::unordered_set<uint32_t> seen;
        std::function<void(uint32_t, int)> loadNode = [&](uint32_t page, int depth) {
            if (depth > kMaxDepth)
                corrupt(m_path, "tree too deep in tag " + tag->info.name);
            if (page < kFirstTagPage || page + ppb > filePages || !seen.insert(page).second)
                corrupt(m_path, "bad page pointer in tag " + tag->info.name);
            std::vector<uint8_t> b(bs);
            readBlock(page, b.data(), bs);
            auto nd = std::make_unique<Node>();
            nd->page = page;
            const uint32_t n = get32(&b[0]);
            nd->link = get32(&b[4]);
            if (n > uint32_t(tag->maxKeys))
                corrupt(m_path, "too many keys on a page of tag " + tag->info.name);
            const uint32_t after = get32(&b[8 + n * uint32_t(tag->itemLen)]);
            nd->leaf = after == 0;
            const size_t kl = size_t(tag->keyLen);
            if (nd->leaf) {
                nd->keys.resize(n * kl);
                nd->ptr.resize(n);
                for (uint32_t i = 0; i < n; ++i) {
                    const uint8_t* it = &b[8 + i * uint32_t(tag->itemLen)];
                    nd->ptr[i] = get32(it);
                    std::memcpy(nd->keys.data() + i * kl, it + 4, kl);
                }
                nd->total = n;
            } else {
                const uint32_t children = n + 1;
                nd->ptr.resize(children);
                for (uint32_t i = 0; i < children; ++i)
                    nd->ptr[i] = get32(&b[8 + i * uint32_t(tag->itemLen)]);
                nd->keys.resize(children * kl);
                nd->lastRec.resize(children);
                nd->cnt.resize(children);
                nd->kid.resize(children);
                for (uint32_t i = 0; i < children; ++i) {
                    loadNode(nd->ptr[i], depth + 1);
                    Node& ch = tag->node(nd->ptr[i]);
                    nd->kid[i] = &ch;
                    if (ch.n() == 0)
                        corrupt(m_path, "empty page inside tag " + tag->info.name);
                    std::string k;
                    uint32_t r;
                    tag->lastOf(ch, k, r);
                    std::memcpy(nd->keys.data() + i * kl, k.data(), kl);
                    nd->lastRec[i] = r;
                    nd->cnt[i] = ch.total;
                    nd->total += ch.total;
                }
            }
            tag->nodes[page] = std::move(nd);
        };
        loadNode(tag->root, 0);
        m_tags.push_back(std::move(tag));
    }
}

void MdxFile::loadHeader(const uint8_t* hdr)
{
    if (hdr[0] != 2)
        corrupt(m_path, "not a dBASE IV production index");
    const uint16_t pagesPerBlock = get16(&hdr[20]);
    const uint16_t blockBytes = get16(&hdr[22]);
    // Blocks of 1 to 32 pages; the byte count must agree with the page count.
    if (pagesPerBlock < 1 || pagesPerBlock > kMaxPagesPerBlock || blockBytes != pagesPerBlock * kPageSize)
        corrupt(m_path, "unsupported block size");
    m_pagesPerBlock = pagesPerBlock;
    m_blockBytes = blockBytes;
    char name[17] = {};
    std::memcpy(name, &hdr[4], 16);
    std::string recorded = upperAscii(name);
    while (!recorded.empty() && recorded.back() == ' ')
        recorded.pop_back();
    if (!m_tableName.empty() && recorded != m_tableName.substr(0, 16))
        corrupt(m_path, "it belongs to table " + recorded);
    const int tagsInUse = get16(&hdr[28]);
    if (tagsInUse < 0 || tagsInUse > kMaxTags)
        corrupt(m_path, "bad tag count");
    if (hdr[26] != 0 && hdr[26] != kTagEntrySize)
        corrupt(m_path, "bad tag table entry size");
    m_pageCount = get32(&hdr[32]);
    m_firstFree = get32(&hdr[36]);
    m_ownMarker = std::memcmp(&hdr[kMarkerOffset], kMarker, 4) == 0;
    m_counter = m_ownMarker ? get32(&hdr[kMarkerOffset + 4]) : 0;
}

bool MdxFile::refresh()
{
    if (m_changeDepth > 0 || m_batchOpen)
        return false; // nobody else writes while a batch is pending
    uint8_t hdr[64];
    readAt(0, hdr, sizeof hdr);
    const bool own = std::memcmp(&hdr[kMarkerOffset], kMarker, 4) == 0;
    const uint32_t counter = own ? get32(&hdr[kMarkerOffset + 4]) : 0;
    const bool busy = own && hdr[kMarkerOffset + 8] != 0;
    if (!busy && own == m_ownMarker && counter == m_counter)
        return false;
    lockFile(false); // waits for a writer that is still at work
    try {
        readAt(0, hdr, sizeof hdr);
        if (std::memcmp(&hdr[kMarkerOffset], kMarker, 4) == 0 && hdr[kMarkerOffset + 8] != 0)
            corrupt(m_path, "an update was interrupted");
        load();
    } catch (...) {
        unlockFile();
        throw;
    }
    unlockFile();
    return true;
}

// ---------------------------------------------------------------- writing a fresh file

namespace {

void computeThreads(const std::vector<std::string>& names, std::vector<uint8_t>& left, std::vector<uint8_t>& right,
                    std::vector<uint8_t>& parent)
{
    const size_t n = names.size();
    left.assign(n, 0);
    right.assign(n, 0);
    parent.assign(n, 0);
    for (size_t i = 1; i < n; ++i) {
        size_t w = 0;
        for (;;) {
            if (names[i] < names[w]) {
                if (left[w] == 0) {
                    left[w] = uint8_t(i + 1);
                    parent[i] = uint8_t(w + 1);
                    break;
                }
                w = left[w] - 1u;
            } else {
                if (right[w] == 0) {
                    right[w] = uint8_t(i + 1);
                    parent[i] = uint8_t(w + 1);
                    break;
                }
                w = right[w] - 1u;
            }
        }
    }
}

} // namespace

void MdxFile::writeFresh(const std::vector<std::pair<TagSpec, Entries>>& tags, size_t firstNew)
{
    if (tags.size() > size_t(kMaxTags))
        throw DatabaseError(DatabaseError::Code::General, "An index file holds at most 47 tags");
    // Lay out pages: header (0-3), then per tag its header block and its tree.
    // With firstNew > 0 the first tags stay where they are in the current
    // file: only the header and the new tags' pages (past the end) are written.
    const bool append = firstNew > 0;
    std::vector<uint8_t> file(kFirstTagPage * kPageSize, 0);
    if (append)
        readAt(0, file.data(), file.size());
    uint8_t* h = file.data();
    h[0] = 2;
    todayYmd(&h[1]);
    std::string tn = m_tableName.substr(0, 16);
    std::memcpy(&h[4], tn.data(), tn.size());
    const uint32_t bs = m_blockBytes;
    const uint32_t ppb = m_pagesPerBlock;
    put16(&h[20], uint16_t(ppb));
    put16(&h[22], uint16_t(bs));
    h[24] = 1;
    h[25] = 0x30;
    h[26] = uint8_t(kTagEntrySize);
    put16(&h[28], uint16_t(tags.size()));
    todayYmd(&h[44]);
    std::memcpy(&h[kMarkerOffset], kMarker, 4);
    put32(&h[kMarkerOffset + 4], m_counter + 1);
    h[kMarkerOffset + 8] = 0;

    std::vector<std::string> names;
    for (const auto& t : tags)
        names.push_back(upperAscii(t.first.name));
    std::vector<uint8_t> tl, tr, tp;
    computeThreads(names, tl, tr, tp);

    uint32_t nextPage = append ? std::max(m_pageCount, kFirstTagPage) : kFirstTagPage;
    for (size_t t = 0; t < firstNew && t < tags.size(); ++t) {
        uint8_t* e = &file[kTagTableOffset + t * kTagEntrySize];
        e[16] = tl[t];
        e[17] = tr[t];
        e[18] = tp[t];
    }
    const uint32_t firstNewPage = nextPage;
    {
        // Room for every new block: tag headers, leaves and a tenth more for interior pages.
        size_t blocks = 0;
        for (size_t t = firstNew; t < tags.size(); ++t) {
            const size_t item = (tags[t].second.keyLen + 4 + 3) / 4 * 4;
            const size_t perNode = std::max<size_t>(1, (bs - 12) / std::max<size_t>(item, 8));
            const size_t leaves = tags[t].second.size() / perNode + 1;
            blocks += 2 + leaves + leaves / 10 + 1;
        }
        file.reserve(size_t(nextPage) * kPageSize + blocks * bs);
    }
    auto appendBlock = [&](const std::vector<uint8_t>& b) {
        file.resize(size_t(nextPage) * kPageSize + bs, 0);
        std::memcpy(&file[size_t(nextPage) * kPageSize], b.data(), bs);
        nextPage += ppb;
    };

    for (size_t t = firstNew; t < tags.size(); ++t) {
        const TagSpec& spec = tags[t].first;
        const auto& entries = tags[t].second;
        KeyExpression expr;
        try {
            expr = KeyExpression::parse(spec.expression, m_fields);
        } catch (const ExprError& e) {
            throw DatabaseError(DatabaseError::Code::General, e.what());
        }
        char keyType = expr.resultType();
        if (keyType == 'L')
            throw DatabaseError(DatabaseError::Code::General, "A logical expression cannot be an index key");
        const int keyLen = keyType == 'C' ? expr.resultLength() : (keyType == 'N' ? 12 : 8);
        int itemLen = keyLen + 4;
        while (itemLen % 4)
            ++itemLen;
        const int maxKeys = int(bs - 12) / itemLen;
        const uint32_t headerPage = nextPage;
        nextPage += tagHeaderPages();
        file.resize(size_t(nextPage) * kPageSize, 0);

        // Leaves, filled full, then interior levels.
        struct Built
        {
            uint32_t page;
            std::string lastKey;
            uint32_t lastRec;
        };
        std::vector<Built> level;
        uint32_t firstLeaf = 0, lastLeaf = 0;
        size_t i = 0;
        do {
            std::vector<uint8_t> b(bs, 0);
            const size_t take = std::min<size_t>(size_t(maxKeys), entries.size() - i);
            put32(&b[0], uint32_t(take));
            for (size_t j = 0; j < take; ++j) {
                uint8_t* it = &b[8 + j * size_t(itemLen)];
                put32(it, entries.recs[i + j]);
                std::memcpy(it + 4, entries.key(i + j), size_t(keyLen));
            }
            Built bl{nextPage,
                     take ? std::string(entries.key(i + take - 1), size_t(keyLen)) : std::string(size_t(keyLen), '\0'),
                     take ? entries.recs[i + take - 1] : 0};
            if (level.empty())
                firstLeaf = nextPage;
            lastLeaf = nextPage;
            appendBlock(b);
            level.push_back(bl);
            i += take;
        } while (i < entries.size());
        while (level.size() > 1) {
            std::vector<Built> up;
            const size_t fan = size_t(maxKeys) + 1;
            for (size_t s = 0; s < level.size(); s += fan) {
                const size_t take = std::min(fan, level.size() - s);
                std::vector<uint8_t> b(bs, 0);
                put32(&b[0], uint32_t(take - 1));
                for (size_t j = 0; j < take; ++j) {
                    uint8_t* it = &b[8 + j * size_t(itemLen)];
                    put32(it, level[s + j].page);
                    if (j + 1 < take)
                        std::memcpy(it + 4, level[s + j].lastKey.data(), size_t(keyLen));
                }
                up.push_back(Built{nextPage, level[s + take - 1].lastKey, level[s + take - 1].lastRec});
                appendBlock(b);
            }
            level = std::move(up);
        }
        const uint32_t root = level[0].page;

        uint8_t* th = &file[size_t(headerPage) * kPageSize];
        put32(&th[0], root);
        put32(&th[4], nextPage - headerPage);
        th[8] = uint8_t(0x10 | (spec.descending ? 0x08 : 0) | (spec.unique ? 0x40 : 0));
        th[9] = uint8_t(keyType);
        th[11] = 0x1B;
        put16(&th[12], uint16_t(keyLen));
        put16(&th[14], uint16_t(maxKeys));
        put16(&th[16], keyType == 'D' ? 1 : 0);
        put16(&th[18], uint16_t(itemLen));
        th[20] = 1;
        th[23] = spec.unique ? 1 : 0;
        std::string ex = spec.expression.substr(0, 219);
        std::memcpy(&th[24], ex.data(), ex.size());
        th[246] = entries.empty() ? 0 : 1;
        put32(&th[248], firstLeaf);
        put32(&th[252], lastLeaf);
        todayYmd(&th[257]);
        th[480] = expr.isSingleField() ? 1 : 0;
        if (!spec.forExpression.empty()) {
            th[kForFlagOffset] = 1;
            std::memcpy(&th[kForOffset], spec.forExpression.data(), std::min(spec.forExpression.size(), kForMax - 1));
        }

        uint8_t* e = &file[kTagTableOffset + t * kTagEntrySize];
        put32(e, headerPage);
        std::string nm = names[t].substr(0, 10);
        std::memcpy(e + 4, nm.data(), nm.size());
        e[15] = 0x10;
        e[16] = tl[t];
        e[17] = tr[t];
        e[18] = tp[t];
        e[19] = 0x02;
        e[20] = uint8_t(keyType);
    }
    h = file.data(); // the vector grew
    put32(&h[32], nextPage);
    put32(&h[36], 0);
    put32(&h[40], 0);

    if (append) {
        // New pages first, then the header that makes them part of the file.
        const size_t from = size_t(firstNewPage) * kPageSize;
        if (file.size() > from)
            writeAt(from, file.data() + from, file.size() - from);
        writeAt(0, file.data(), kFirstTagPage * kPageSize);
        load(false, firstNew);
        return;
    }
    // Write beside the old file and rename it into place: a process killed
    // here leaves the old index (still marked as it was) or the new one.
    const std::string tmp = m_path + ".tmp";
    int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw DatabaseError(DatabaseError::Code::Io, "Cannot create index file " + tmp);
    size_t done = 0;
    while (done < file.size()) {
        ssize_t r = ::write(fd, file.data() + done, file.size() - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            ::close(fd);
            ::unlink(tmp.c_str());
            throw DatabaseError(DatabaseError::Code::Io, "Cannot write index file " + tmp);
        }
        done += size_t(r);
    }
    // No fsync: the rename keeps a killed process from leaving half a file;
    // surviving a power cut is left to the file system, as for the tables.
    ::close(fd);
    if (::rename(tmp.c_str(), m_path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw DatabaseError(DatabaseError::Code::Io, "Cannot replace index file " + m_path);
    }
    m_writable = true;
    reopenFd(); // closing the old descriptor dropped its lock
    m_locked = false;
    m_batchOpen = false;
    load();
}

MdxFile::Entries MdxFile::buildEntries(Tag& tag, const RecordSource& records)
{
    // Keys go into one flat buffer; an index permutation is sorted and the
    // keys are laid out once more in order. Ties keep record order, as the
    // records are read in ascending number.
    const size_t kl = size_t(tag.keyLen);
    std::string flat;
    std::vector<uint32_t> recs;
    flat.reserve(size_t(records.count) * kl);
    recs.reserve(records.count);
    std::vector<uint8_t> rec;
    MemoReader memo = records.memo ? records.memo : m_memo;
    for (uint32_t r = 1; r <= records.count; ++r) {
        if (!records.read(r, rec))
            continue;
        if (tag.hasFor) {
            bool in = false;
            try {
                in = tag.forExpr.evaluate(rec.data(), rec.size(), memo).logical;
            } catch (const ExprError& e) {
                throw DatabaseError(DatabaseError::Code::General, e.what());
            }
            if (!in)
                continue;
        }
        flat.resize(recs.size() * kl + kl);
        try {
            tag.keyWriter.write(rec.data(), rec.size(), memo, flat.data() + recs.size() * kl);
        } catch (const ExprError& e) {
            throw DatabaseError(DatabaseError::Code::General, e.what());
        }
        recs.push_back(r);
    }
    std::vector<uint32_t> order(recs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = uint32_t(i);
    const char* base = flat.data();
    if (tag.info.keyType == 'C' && !tag.info.descending) {
        // Text keys sort by their first eight bytes as one number, the rest
        // of the key and then the record order breaking ties.
        struct Item
        {
            uint64_t prefix;
            uint32_t idx;
        };
        std::vector<Item> items(order.size());
        for (size_t i = 0; i < items.size(); ++i) {
            uint8_t b[8] = {};
            std::memcpy(b, base + i * kl, std::min<size_t>(kl, 8));
            uint64_t v = 0;
            for (uint8_t x : b)
                v = v << 8 | x;
            items[i] = Item{v, uint32_t(i)};
        }
        const size_t rest = kl > 8 ? kl - 8 : 0;
        std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            if (rest) {
                const int c = std::memcmp(base + size_t(a.idx) * kl + 8, base + size_t(b.idx) * kl + 8, rest);
                if (c != 0)
                    return c < 0;
            }
            return a.idx < b.idx;
        });
        for (size_t i = 0; i < items.size(); ++i)
            order[i] = items[i].idx;
    } else {
        std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            const int c = tag.cmpKey(base + a * kl, base + b * kl);
            return c < 0 || (c == 0 && a < b);
        });
    }
    if (tag.info.unique) {
        // The first record of each key stays.
        auto end = std::unique(order.begin(), order.end(),
                               [&](uint32_t a, uint32_t b) { return tag.cmpKey(base + a * kl, base + b * kl) == 0; });
        order.erase(end, order.end());
    }
    Entries out;
    out.keyLen = kl;
    out.keys.resize(order.size() * kl);
    out.recs.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        std::memcpy(out.keys.data() + i * kl, base + size_t(order[i]) * kl, kl);
        out.recs[i] = recs[order[i]];
    }
    return out;
}

MdxFile::Entries MdxFile::entriesOf(const Tag& tag) const
{
    Entries out;
    out.keyLen = size_t(tag.keyLen);
    const uint64_t n = tag.node(tag.root).total;
    out.keys.reserve(n * out.keyLen);
    out.recs.reserve(n);
    std::function<void(uint32_t)> walk = [&](uint32_t page) {
        const Node& nd = tag.node(page);
        if (nd.leaf) {
            for (size_t i = 0; i < nd.n(); ++i) {
                out.keys.append(tag.key(nd, i), out.keyLen);
                out.recs.push_back(nd.ptr[i]);
            }
        } else {
            for (uint32_t c : nd.ptr)
                walk(c);
        }
    };
    walk(tag.root);
    return out;
}

static std::unique_ptr<MdxFile::Tag> specTag(const TagSpec& spec, const std::vector<ExprField>& fields)
{
    auto t = std::make_unique<MdxFile::Tag>();
    t->info.name = spec.name;
    t->info.expression = spec.expression;
    t->info.descending = spec.descending;
    t->info.unique = spec.unique;
    try {
        t->expr = KeyExpression::parse(spec.expression, fields);
    } catch (const ExprError& e) {
        throw DatabaseError(DatabaseError::Code::General, e.what());
    }
    const char rt = t->expr.resultType();
    if (rt == 'L')
        throw DatabaseError(DatabaseError::Code::General, "A logical expression cannot be an index key");
    t->info.keyType = rt;
    t->keyLen = rt == 'C' ? t->expr.resultLength() : (rt == 'N' ? 12 : 8);
    t->info.keyLength = t->keyLen;
    t->keyWriter = KeyWriter::compile(t->expr, t->info.keyType, t->keyLen);
    if (!spec.forExpression.empty()) {
        if (spec.forExpression.size() >= kForMax)
            throw DatabaseError(DatabaseError::Code::General, "The FOR condition is longer than 219 characters");
        try {
            t->forExpr = KeyExpression::parse(spec.forExpression, fields);
        } catch (const ExprError& e) {
            throw DatabaseError(DatabaseError::Code::General, e.what());
        }
        if (t->forExpr.resultType() != 'L')
            throw DatabaseError(DatabaseError::Code::General,
                                "The FOR condition \"" + spec.forExpression + "\" is not a condition");
        t->hasFor = true;
        t->info.forExpression = spec.forExpression;
    }
    return t;
}

static void checkTagName(const std::string& name)
{
    if (name.empty() || name.size() > 10)
        throw DatabaseError(DatabaseError::Code::General, "Invalid index tag name \"" + name + "\"");
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
            throw DatabaseError(DatabaseError::Code::General, "Invalid index tag name \"" + name + "\"");
}

std::unique_ptr<MdxFile> MdxFile::create(const std::string& path, const std::string& tableBaseName,
                                         const std::vector<FieldDescriptor>& fields, const std::vector<TagSpec>& tags,
                                         const RecordSource& records)
{
    std::unique_ptr<MdxFile> f(new MdxFile());
    f->m_path = path;
    f->m_tableName = upperAscii(tableBaseName);
    f->m_fields = exprFields(fields);
    std::vector<std::pair<TagSpec, Entries>> all;
    for (const auto& spec : tags) {
        checkTagName(spec.name);
        auto t = specTag(spec, f->m_fields);
        all.emplace_back(spec, f->buildEntries(*t, records));
    }
    f->writeFresh(all);
    return f;
}

void MdxFile::retarget(const std::string& path, const std::string& tableBaseName)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw DatabaseError(DatabaseError::Code::Io, "Cannot open index file " + path);
    uint8_t name[16] = {};
    std::string n = upperAscii(tableBaseName).substr(0, 16);
    std::memcpy(name, n.data(), n.size());
    bool ok = ::pwrite(fd, name, 16, 4) == 16;
    ::close(fd);
    if (!ok)
        throw DatabaseError(DatabaseError::Code::Io, "Cannot write index file " + path);
}

int MdxFile::tagCount() const
{
    return static_cast<int>(m_tags.size());
}

TagInfo MdxFile::tagInfo(int tag) const
{
    return tagRef(tag).info;
}

int MdxFile::findTag(const std::string& name) const
{
    const std::string u = upperAscii(name);
    for (size_t i = 0; i < m_tags.size(); ++i)
        if (upperAscii(m_tags[i]->info.name) == u)
            return static_cast<int>(i);
    return -1;
}

void MdxFile::addTag(const TagSpec& spec, const RecordSource& records)
{
    checkTagName(spec.name);
    if (findTag(spec.name) >= 0)
        throw DatabaseError(DatabaseError::Code::General, "Index tag " + spec.name + " already exists");
    if (tagCount() >= kMaxTags)
        throw DatabaseError(DatabaseError::Code::General, "An index file holds at most 47 tags");
    flush();
    refresh();
    auto t = specTag(spec, m_fields);
    std::vector<std::pair<TagSpec, Entries>> all;
    for (const auto& old : m_tags) {
        TagSpec s{old->info.name, old->info.expression, old->info.descending, old->info.unique,
                  old->info.forExpression};
        all.emplace_back(s, Entries{}); // kept in place
    }
    all.emplace_back(spec, buildEntries(*t, records));
    if (!m_writable)
        throw DatabaseError(DatabaseError::Code::Io, "Index file " + m_path + " is read-only");
    writeFresh(all, m_tags.size());
}

void MdxFile::deleteTag(const std::string& name)
{
    flush();
    refresh();
    const int idx = findTag(name);
    if (idx < 0)
        throw DatabaseError(DatabaseError::Code::NotFound, "Index tag " + name + " does not exist");
    std::vector<std::pair<TagSpec, Entries>> all;
    for (size_t i = 0; i < m_tags.size(); ++i) {
        if (int(i) == idx)
            continue;
        const auto& old = m_tags[i];
        TagSpec s{old->info.name, old->info.expression, old->info.descending, old->info.unique,
                  old->info.forExpression};
        all.emplace_back(s, entriesOf(*old));
    }
    writeFresh(all);
}

void MdxFile::regenerate(const RecordSource& records)
{
    flush();
    std::vector<std::pair<TagSpec, Entries>> all;
    for (const auto& old : m_tags) {
        TagSpec s{old->info.name, old->info.expression, old->info.descending, old->info.unique,
                  old->info.forExpression};
        all.emplace_back(s, buildEntries(*old, records));
    }
    writeFresh(all);
}

// ---------------------------------------------------------------- maintenance

void MdxFile::beginChange()
{
    if (!m_writable)
        throw DatabaseError(DatabaseError::Code::Io, "Index file " + m_path + " is read-only");
    if (m_changeDepth++ > 0 || m_batchOpen)
        return;
    lockFile(true);
    try {
        uint8_t hdr[64];
        readAt(0, hdr, sizeof hdr);
        const bool own = std::memcmp(&hdr[kMarkerOffset], kMarker, 4) == 0;
        if (own && hdr[kMarkerOffset + 8] != 0)
            corrupt(m_path, "an update was interrupted");
        const uint32_t counter = own ? get32(&hdr[kMarkerOffset + 4]) : 0;
        if (own != m_ownMarker || counter != m_counter)
            load();
        writeHeaderCounters(true);
    } catch (...) {
        m_changeDepth = 0;
        unlockFile();
        throw;
    }
    m_batchOpen = m_writeBehind;
    if (m_batchOpen)
        m_batchStart = std::chrono::steady_clock::now();
}

void MdxFile::writeHeaderCounters(bool dirty)
{
    uint8_t m[9];
    std::memcpy(m, kMarker, 4);
    put32(&m[4], m_counter);
    m[8] = dirty ? 1 : 0;
    writeAt(kMarkerOffset, m, sizeof m);
    m_ownMarker = true;
}

size_t MdxFile::dirtyPages() const
{
    size_t n = 0;
    for (const auto& t : m_tags)
        n += t->dirty.size();
    return n;
}

void MdxFile::endChange()
{
    if (m_changeDepth == 0)
        return;
    if (--m_changeDepth > 0)
        return;
    // A write-behind batch is written once it holds this many pages (64 MB);
    // random inserts dirty most leaves, so smaller batches would write the
    // same pages over and over. A batch never waits longer than a second
    // for its next change to end.
    constexpr size_t kBatchPages = 65536;
    if (m_batchOpen && dirtyPages() < kBatchPages &&
        std::chrono::steady_clock::now() - m_batchStart < std::chrono::seconds(1))
        return;
    commitChange();
}

void MdxFile::commitChange()
{
    m_batchOpen = false;
    try {
        flushDirty();
        ++m_counter;
        // Bytes 32-56 in one write: page count, free list, date, marker.
        uint8_t h[25] = {};
        put32(&h[0], m_pageCount);
        put32(&h[4], m_firstFree);
        todayYmd(&h[12]);
        std::memcpy(&h[16], kMarker, 4);
        put32(&h[20], m_counter);
        h[24] = 0;
        writeAt(32, h, sizeof h);
        m_ownMarker = true;
    } catch (...) {
        unlockFile();
        throw;
    }
    unlockFile();
}

void MdxFile::setWriteBehind(bool on)
{
    if (!on)
        flush();
    m_writeBehind = on;
}

void MdxFile::flush()
{
    if (m_batchOpen && m_changeDepth == 0)
        commitChange();
}

uint32_t MdxFile::allocPage()
{
    // A free block is taken only when nothing in the file uses it: a free
    // list another program chains differently is then ignored, never followed
    // into live pages.
    if (m_firstFree != 0 &&
        (m_firstFree < kFirstTagPage || m_firstFree + m_pagesPerBlock > m_pageCount || pageInUse(m_firstFree)))
        m_firstFree = 0;
    if (m_firstFree != 0) {
        const uint32_t page = m_firstFree;
        uint8_t b[8];
        readAt(uint64_t(page) * kPageSize, b, 8);
        m_firstFree = get32(&b[4]);
        if (m_firstFree >= m_pageCount)
            m_firstFree = 0;
        return page;
    }
    const uint32_t page = std::max(m_pageCount, kFirstTagPage);
    m_pageCount = page + m_pagesPerBlock;
    return page;
}

bool MdxFile::pageInUse(uint32_t page) const
{
    const uint32_t span = tagHeaderPages();
    for (const auto& t : m_tags) {
        if (page >= t->headerPage && page < t->headerPage + span)
            return true;
        if (t->nodes.count(page) != 0)
            return true;
    }
    return false;
}

uint32_t MdxFile::tagHeaderPages() const
{
    // One block, and never less than 1024 bytes (room for the FOR condition).
    const uint32_t minPages = kTagHeaderMinBytes / kPageSize;
    return m_pagesPerBlock >= minPages ? m_pagesPerBlock
                                       : (minPages + m_pagesPerBlock - 1) / m_pagesPerBlock * m_pagesPerBlock;
}

void MdxFile::freePage(uint32_t page)
{
    std::vector<uint8_t> b(m_blockBytes, 0);
    put32(&b[4], m_firstFree);
    writeAt(uint64_t(page) * kPageSize, b.data(), m_blockBytes);
    m_firstFree = page;
}

void MdxFile::flushDirty()
{
    // Pages are written in file order, neighbours in one write.
    std::vector<std::pair<uint32_t, const Tag*>> pages;
    for (auto& tp : m_tags) {
        const Tag& t = *tp;
        for (uint32_t page : t.dirty)
            if (t.nodes.count(page)) // a page freed meanwhile is not written
                pages.emplace_back(page, &t);
    }
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    constexpr size_t kRunPages = 128;
    std::vector<uint8_t> run;
    run.reserve(std::min(pages.size(), kRunPages) * m_blockBytes);
    uint32_t runStart = 0;
    auto writeRun = [&] {
        if (!run.empty())
            writeAt(uint64_t(runStart) * kPageSize, run.data(), run.size());
        run.clear();
    };
    for (size_t p = 0; p < pages.size(); ++p) {
        const uint32_t page = pages[p].first;
        const Tag& t = *pages[p].second;
        const size_t blocks = run.size() / m_blockBytes;
        if (!run.empty() && (page != runStart + m_pagesPerBlock * blocks || blocks >= kRunPages))
            writeRun();
        if (run.empty())
            runStart = page;
        run.resize(run.size() + m_blockBytes, 0);
        uint8_t* b = run.data() + run.size() - m_blockBytes;
        Node& nd = *t.nodes.find(page)->second;
        nd.isDirty = false;
        put32(&b[4], nd.link);
        const size_t kl = size_t(t.keyLen);
        if (nd.leaf) {
            put32(&b[0], uint32_t(nd.n()));
            for (size_t i = 0; i < nd.n(); ++i) {
                uint8_t* item = &b[8 + i * size_t(t.itemLen)];
                put32(item, nd.ptr[i]);
                std::memcpy(item + 4, t.key(nd, i), kl);
            }
        } else {
            put32(&b[0], uint32_t(nd.n() - 1));
            for (size_t i = 0; i < nd.n(); ++i) {
                uint8_t* item = &b[8 + i * size_t(t.itemLen)];
                put32(item, nd.ptr[i]);
                if (i + 1 < nd.n())
                    std::memcpy(item + 4, t.key(nd, i), kl);
            }
        }
    }
    writeRun();
    for (auto& tp : m_tags) {
        Tag& t = *tp;
        t.dirty.clear();
        if (t.headerDirty) {
            // The tag header changes only with the root, the first or last
            // leaf or the has-keys flag; most updates leave it alone.
            const Node* first = &t.node(t.root);
            while (!first->leaf)
                first = &t.node(first->ptr.front());
            const Node* last = &t.node(t.root);
            while (!last->leaf)
                last = &t.node(last->ptr.back());
            const bool hasKeys = t.node(t.root).total != 0;
            // The serial number counts the tag's updates; other programs
            // compare it to notice that the tag changed under them.
            ++t.serial;
            writeAt(uint64_t(t.headerPage) * kPageSize + 20, &t.serial, 1);
            if (t.root != t.writtenRoot) {
                uint8_t r[4];
                put32(r, t.root);
                writeAt(uint64_t(t.headerPage) * kPageSize, r, 4);
                t.writtenRoot = t.root;
            }
            if (first->page != t.writtenFirst || last->page != t.writtenLast || hasKeys != t.writtenHasKeys) {
                uint8_t tail[10] = {};
                tail[0] = hasKeys ? 1 : 0;
                put32(&tail[2], first->page);
                put32(&tail[6], last->page);
                writeAt(uint64_t(t.headerPage) * kPageSize + 246, tail, 10);
                t.writtenFirst = first->page;
                t.writtenLast = last->page;
                t.writtenHasKeys = hasKeys;
            }
            t.headerDirty = false;
        }
    }
}

namespace {

// Insert (k, r) into the tag's tree, splitting full pages.
struct TreeEditor
{
    MdxFile::Tag& t;
    std::function<uint32_t()> alloc;
    std::function<void(uint32_t)> release;

    size_t kl() const { return size_t(t.keyLen); }

    void setChildSummary(Node& parent, size_t i, const Node& child)
    {
        char* pk = parent.keys.data() + i * kl();
        if (child.n() == 0) {
            std::memset(pk, 0, kl());
            parent.lastRec[i] = 0;
        } else {
            const char* ck = t.key(child, child.n() - 1);
            const uint32_t r = child.leaf ? child.ptr.back() : child.lastRec.back();
            if (std::memcmp(pk, ck, kl()) != 0 || parent.lastRec[i] != r) {
                std::memcpy(pk, ck, kl());
                parent.lastRec[i] = r;
                if (i + 1 < parent.n())
                    t.markDirty(parent);
            }
        }
        parent.cnt[i] = child.total;
    }

    // Splits node `page` (overfull) into itself and a new right sibling; returns the new page.
    uint32_t split(Node& nd)
    {
        auto right = std::make_unique<Node>();
        right->page = alloc();
        right->leaf = nd.leaf;
        right->link = nd.page;
        const size_t n = nd.n();
        const size_t keep = n / 2;
        right->keys.assign(nd.keys.begin() + std::ptrdiff_t(keep * kl()), nd.keys.end());
        right->ptr.assign(nd.ptr.begin() + std::ptrdiff_t(keep), nd.ptr.end());
        nd.keys.resize(keep * kl());
        nd.ptr.resize(keep);
        if (nd.leaf) {
            right->total = right->n();
            nd.total = nd.n();
        } else {
            right->lastRec.assign(nd.lastRec.begin() + std::ptrdiff_t(keep), nd.lastRec.end());
            right->cnt.assign(nd.cnt.begin() + std::ptrdiff_t(keep), nd.cnt.end());
            right->kid.assign(nd.kid.begin() + std::ptrdiff_t(keep), nd.kid.end());
            nd.lastRec.resize(keep);
            nd.cnt.resize(keep);
            nd.kid.resize(keep);
            right->total = 0;
            for (auto c : right->cnt)
                right->total += c;
            nd.total = 0;
            for (auto c : nd.cnt)
                nd.total += c;
        }
        const uint32_t page = right->page;
        t.markDirty(nd);
        t.markDirty(*right);
        t.nodes[page] = std::move(right);
        return page;
    }

    bool overfull(const Node& nd) const
    {
        return nd.leaf ? nd.n() > size_t(t.maxKeys) : nd.n() > size_t(t.maxKeys) + 1;
    }

    void insert(const std::string& k, uint32_t r)
    {
        std::vector<std::pair<Node*, size_t>> path;
        Node* nd = &t.node(t.root);
        while (!nd->leaf) {
            if (nd->n() == 0)
                throw DatabaseError(DatabaseError::Code::Corrupt, "empty index page");
            size_t i = t.lowerIn(*nd, k.data(), r);
            path.emplace_back(nd, i);
            nd = nd->kid[i];
        }
        size_t pos = t.lowerIn(*nd, k.data(), r);
        if (pos < nd->n() && nd->ptr[pos] == r && t.cmpKey(t.key(*nd, pos), k.data()) == 0)
            return; // already there (a recalled record whose key was never taken out)
        if (t.info.unique) {
            // dBASE keeps the first record of a key in a unique tag.
            bool dup = (pos < nd->n() && t.cmpKey(t.key(*nd, pos), k.data()) == 0) ||
                       (pos > 0 && t.cmpKey(t.key(*nd, pos - 1), k.data()) == 0);
            if (!dup && pos == nd->n()) {
                // The next entry may sit on the following page.
                const uint64_t rk = t.rank(k.data(), 0);
                if (rk < t.node(t.root).total) {
                    size_t idx;
                    const Node& nx = t.select(rk, idx);
                    dup = t.cmpKey(t.key(nx, idx), k.data()) == 0;
                }
            }
            if (dup)
                return;
        }
        nd->keys.insert(pos * kl(), k.data(), kl());
        nd->ptr.insert(nd->ptr.begin() + std::ptrdiff_t(pos), r);
        nd->total = nd->n();
        t.markDirty(*nd);
        Node* child = nd;
        uint32_t newSibling = overfull(*child) ? split(*child) : 0;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            Node& parent = *it->first;
            const size_t i = it->second;
            setChildSummary(parent, i, *child);
            if (newSibling) {
                Node& sib = t.node(newSibling);
                parent.keys.insert(parent.keys.begin() + std::ptrdiff_t((i + 1) * kl()), kl(), '\0');
                parent.ptr.insert(parent.ptr.begin() + std::ptrdiff_t(i + 1), newSibling);
                parent.lastRec.insert(parent.lastRec.begin() + std::ptrdiff_t(i + 1), 0);
                parent.cnt.insert(parent.cnt.begin() + std::ptrdiff_t(i + 1), 0);
                parent.kid.insert(parent.kid.begin() + std::ptrdiff_t(i + 1), &sib);
                setChildSummary(parent, i, *child);
                setChildSummary(parent, i + 1, sib);
                t.markDirty(parent);
            }
            parent.total = 0;
            for (auto c : parent.cnt)
                parent.total += c;
            child = &parent;
            newSibling = overfull(parent) ? split(parent) : 0;
        }
        if (newSibling) {
            auto root = std::make_unique<Node>();
            root->page = alloc();
            root->leaf = false;
            root->ptr = {child->page, newSibling};
            root->keys.assign(2 * kl(), '\0');
            root->lastRec = {0, 0};
            root->cnt = {0, 0};
            Node& sib = t.node(newSibling);
            root->kid = {child, &sib};
            setChildSummary(*root, 0, *child);
            setChildSummary(*root, 1, sib);
            root->total = root->cnt[0] + root->cnt[1];
            t.root = root->page;
            t.markDirty(*root);
            t.nodes[root->page] = std::move(root);
            t.headerDirty = true;
        }
        t.headerDirty = true;
    }

    // Removes the entry of record r wherever it is (its key could not be
    // recomputed, e.g. a memo rewritten in place); false when absent.
    bool removeRecno(uint32_t r)
    {
        std::string found;
        bool ok = false;
        std::function<void(uint32_t)> walk = [&](uint32_t page) {
            const Node& nd = t.node(page);
            if (nd.leaf) {
                for (size_t i = 0; i < nd.n() && !ok; ++i)
                    if (nd.ptr[i] == r) {
                        found.assign(t.key(nd, i), kl());
                        ok = true;
                    }
            } else {
                for (size_t i = 0; i < nd.n() && !ok; ++i)
                    walk(nd.ptr[i]);
            }
        };
        walk(t.root);
        return ok && remove(found, r);
    }

    // Removes (k, r); false when the tag has no such entry.
    bool remove(const std::string& k, uint32_t r)
    {
        std::vector<std::pair<Node*, size_t>> path;
        Node* nd = &t.node(t.root);
        while (!nd->leaf) {
            if (nd->n() == 0)
                return false;
            size_t i = t.lowerIn(*nd, k.data(), r);
            path.emplace_back(nd, i);
            nd = nd->kid[i];
        }
        size_t pos = t.lowerIn(*nd, k.data(), r);
        if (pos >= nd->n() || nd->ptr[pos] != r || t.cmpKey(t.key(*nd, pos), k.data()) != 0)
            return false;
        nd->keys.erase(pos * kl(), kl());
        nd->ptr.erase(nd->ptr.begin() + std::ptrdiff_t(pos));
        nd->total = nd->n();
        t.markDirty(*nd);
        Node* child = nd;
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            Node& parent = *it->first;
            const size_t i = it->second;
            if (child->n() == 0) {
                const uint32_t gone = child->page;
                parent.keys.erase(i * kl(), kl());
                parent.ptr.erase(parent.ptr.begin() + std::ptrdiff_t(i));
                parent.lastRec.erase(parent.lastRec.begin() + std::ptrdiff_t(i));
                parent.cnt.erase(parent.cnt.begin() + std::ptrdiff_t(i));
                parent.kid.erase(parent.kid.begin() + std::ptrdiff_t(i));
                t.nodes.erase(gone);
                release(gone);
                t.markDirty(parent);
            } else {
                setChildSummary(parent, i, *child);
            }
            parent.total = 0;
            for (auto c : parent.cnt)
                parent.total += c;
            child = &parent;
        }
        Node& root = t.node(t.root);
        if (!root.leaf && root.n() == 0) {
            root.leaf = true;
            root.keys.clear();
            root.ptr.clear();
            root.lastRec.clear();
            root.cnt.clear();
            root.kid.clear();
            root.total = 0;
            t.markDirty(root);
        }
        t.headerDirty = true;
        return true;
    }
};

// Puts (key, recno) into the tag. In a unique tag a record with a lower
// number than the one holding the key takes it over.
void putKey(TreeEditor& ed, const std::string& key, uint32_t recno)
{
    MdxFile::Tag& t = ed.t;
    if (t.info.unique) {
        const uint64_t p = t.rank(key.data(), 0);
        if (p < t.node(t.root).total) {
            size_t idx;
            const Node& nd = t.select(p, idx);
            const uint32_t holder = nd.ptr[idx];
            if (t.cmpKey(t.key(nd, idx), key.data()) == 0 && holder > recno)
                ed.remove(key, holder);
        }
    }
    ed.insert(key, recno);
}

// Takes the entry of recno out of the tag: by its key, or by the record
// number alone when the key is not there (or could not be computed). A
// unique key taken out passes on to the lowest live record that has it,
// which holder() finds. False when the tag held no entry of the record.
bool takeKey(TreeEditor& ed, const std::string& key, uint32_t recno, const std::function<uint32_t()>& holder)
{
    if (key.empty() || !ed.remove(key, recno))
        return ed.removeRecno(recno);
    if (ed.t.info.unique)
        if (const uint32_t next = holder())
            ed.insert(key, next);
    return true;
}

} // namespace

void MdxFile::dropKeysOfDeletedRecords()
{
    if (m_ownMarker || !m_records)
        return;
    const RecordSource src = m_records();
    std::vector<uint8_t> rec;
    for (uint32_t r = 1; r <= src.count; ++r) {
        rec.clear();
        if (src.read(r, rec) || rec.empty() || rec[0] != '*')
            continue;
        for (int i = 0; i < tagCount(); ++i) {
            // Nothing is written here: a page emptied now simply stays out of
            // the tree (and out of the free list) in the file.
            TreeEditor ed{*m_tags[size_t(i)], [this] { return allocPage(); }, [](uint32_t) {}};
            std::string key;
            try {
                key = tagKey(i, rec.data());
            } catch (const DatabaseError&) {
                // No key can be computed: look for the record number alone.
            }
            takeKey(ed, key, r, [&] { return nextHolder(i, key, r); });
        }
    }
}

uint32_t MdxFile::nextHolder(int tag, const std::string& key, uint32_t except) const
{
    if (!m_records)
        return 0;
    const RecordSource src = m_records();
    std::vector<uint8_t> rec;
    for (uint32_t r = 1; r <= src.count; ++r) {
        if (r == except || !src.read(r, rec))
            continue;
        try {
            if (tagKey(tag, rec.data()) == key)
                return r;
        } catch (const DatabaseError&) {
            // A record whose key cannot be computed (damaged memo) has none.
        }
    }
    return 0;
}

std::string MdxFile::makeKey(int tag, const uint8_t* record) const
{
    Tag& t = tagRef(tag);
    std::string k(size_t(t.keyLen), '\0');
    try {
        // The record length is not known here; the fields the expression
        // reads all lie inside a record of the table.
        t.keyWriter.write(record, SIZE_MAX, m_memo, k.data());
    } catch (const ExprError& e) {
        throw DatabaseError(DatabaseError::Code::General, e.what());
    }
    return k;
}

bool MdxFile::inTag(int tag, const uint8_t* record) const
{
    const Tag& t = tagRef(tag);
    if (!t.hasFor)
        return true;
    try {
        return t.forExpr.evaluate(record, SIZE_MAX, m_memo).logical;
    } catch (const ExprError& e) {
        throw DatabaseError(DatabaseError::Code::General, e.what());
    }
}

std::string MdxFile::tagKey(int tag, const uint8_t* record) const
{
    return inTag(tag, record) ? makeKey(tag, record) : std::string();
}

std::string MdxFile::keyFromText(int tag, const std::string& text) const
{
    Tag& t = tagRef(tag);
    if (t.info.keyType == 'C') {
        std::string k = text;
        k.resize(size_t(t.keyLen), ' ');
        return k;
    }
    ExprValue v;
    if (t.info.keyType == 'N') {
        v.type = 'N';
        Decimal::parse(text, v.num);
    } else {
        v.type = 'D';
        v.date = julianFromDbfDate(text);
    }
    return encodeKey(v, t.info.keyType, t.keyLen);
}

void MdxFile::insertRecord(uint32_t recno, const uint8_t* record)
{
    std::vector<std::string> keys; // empty: the record has no key in that tag
    for (int i = 0; i < tagCount(); ++i)
        keys.push_back(tagKey(i, record));
    beginChange();
    try {
        for (int i = 0; i < tagCount(); ++i) {
            if (keys[size_t(i)].empty())
                continue;
            TreeEditor ed{*m_tags[size_t(i)], [this] { return allocPage(); }, [this](uint32_t p) { freePage(p); }};
            putKey(ed, keys[size_t(i)], recno);
        }
    } catch (...) {
        endChange();
        throw;
    }
    endChange();
}

void MdxFile::removeRecord(uint32_t recno, const uint8_t* record)
{
    std::vector<std::string> keys; // empty: the record has no key in that tag
    for (int i = 0; i < tagCount(); ++i)
        keys.push_back(tagKey(i, record));
    beginChange();
    bool missing = false;
    try {
        for (int i = 0; i < tagCount(); ++i) {
            if (keys[size_t(i)].empty())
                continue;
            TreeEditor ed{*m_tags[size_t(i)], [this] { return allocPage(); }, [this](uint32_t p) { freePage(p); }};
            const std::string& key = keys[size_t(i)];
            if (!takeKey(ed, key, recno, [&] { return nextHolder(i, key, recno); }) && !m_tags[size_t(i)]->info.unique)
                missing = true;
        }
    } catch (...) {
        endChange();
        throw;
    }
    endChange();
    if (missing)
        corrupt(m_path, "a record's key is missing");
}

void MdxFile::changeRecord(uint32_t recno, const uint8_t* oldRecord, const uint8_t* newRecord)
{
    std::vector<std::string> oldKeys, newKeys;
    for (int i = 0; i < tagCount(); ++i) {
        oldKeys.push_back(tagKey(i, oldRecord));
        newKeys.push_back(tagKey(i, newRecord));
    }
    beginChange();
    bool missing = false;
    try {
        for (int i = 0; i < tagCount(); ++i) {
            if (oldKeys[size_t(i)] == newKeys[size_t(i)])
                continue;
            TreeEditor ed{*m_tags[size_t(i)], [this] { return allocPage(); }, [this](uint32_t p) { freePage(p); }};
            // A FOR condition can put the record into the tag or take it out.
            const std::string& oldKey = oldKeys[size_t(i)];
            if (!oldKey.empty() && !takeKey(ed, oldKey, recno, [&] { return nextHolder(i, oldKey, recno); }) &&
                !m_tags[size_t(i)]->info.unique)
                missing = true;
            if (!newKeys[size_t(i)].empty())
                putKey(ed, newKeys[size_t(i)], recno);
        }
    } catch (...) {
        endChange();
        throw;
    }
    endChange();
    if (missing)
        corrupt(m_path, "a record's key is missing");
}

// ---------------------------------------------------------------- reading

uint64_t MdxFile::size(int tag) const
{
    const Tag& t = tagRef(tag);
    return t.node(t.root).total;
}

uint32_t MdxFile::recnoAt(int tag, uint64_t pos) const
{
    size_t idx;
    const Node& nd = tagRef(tag).select(pos, idx);
    return nd.ptr[idx];
}

std::string MdxFile::keyAt(int tag, uint64_t pos) const
{
    const Tag& t = tagRef(tag);
    size_t idx;
    const Node& nd = t.select(pos, idx);
    return std::string(t.key(nd, idx), size_t(t.keyLen));
}

static std::string fitKey(const MdxFile::Tag& t, const std::string& key)
{
    std::string k = key;
    k.resize(size_t(t.keyLen), t.info.keyType == 'C' ? ' ' : '\0');
    return k;
}

uint64_t MdxFile::lowerBound(int tag, const std::string& key) const
{
    const Tag& t = tagRef(tag);
    std::string k = fitKey(t, key);
    return t.rank(k.data(), 0);
}

uint64_t MdxFile::upperBound(int tag, const std::string& key) const
{
    const Tag& t = tagRef(tag);
    std::string k = fitKey(t, key);
    return t.rank(k.data(), UINT32_MAX);
}

uint64_t MdxFile::rank(int tag, const std::string& key, uint32_t recno) const
{
    const Tag& t = tagRef(tag);
    std::string k = fitKey(t, key);
    return t.rank(k.data(), recno);
}

uint64_t MdxFile::find(int tag, const std::string& key, uint32_t recno) const
{
    const Tag& t = tagRef(tag);
    std::string k = fitKey(t, key);
    const uint64_t p = t.rank(k.data(), recno);
    if (p < t.node(t.root).total) {
        size_t idx;
        const Node& nd = t.select(p, idx);
        if (nd.ptr[idx] == recno && t.cmpKey(t.key(nd, idx), k.data()) == 0)
            return p;
    }
    return t.node(t.root).total;
}

int MdxFile::compare(int tag, const std::string& a, const std::string& b) const
{
    const Tag& t = tagRef(tag);
    std::string x = fitKey(t, a), y = fitKey(t, b);
    return t.cmpKey(x.data(), y.data());
}

std::vector<std::string> MdxFile::check(const RecordSource& records)
{
    flush();
    std::vector<std::string> problems;
    // Other programs keep the keys of deleted records; those are no fault.
    std::vector<bool> deleted(size_t(records.count) + 1, false);
    {
        std::vector<uint8_t> rec;
        for (uint32_t r = 1; r <= records.count; ++r) {
            rec.clear();
            deleted[r] = !records.read(r, rec) && !rec.empty() && rec[0] == '*';
        }
    }
    for (auto& tp : m_tags) {
        Tag& t = *tp;
        const std::string label = "tag " + t.info.name + ": ";
        Entries have;
        try {
            have = entriesOf(t);
        } catch (const DatabaseError& e) {
            problems.push_back(label + e.what());
            continue;
        }
        Entries want;
        try {
            want = buildEntries(t, records);
        } catch (const DatabaseError& e) {
            problems.push_back(label + e.what());
            continue;
        }
        std::set<std::string> keysOfDeleted; // unique tags: keys a deleted record holds
        {
            size_t kept = 0;
            for (size_t i = 0; i < have.size(); ++i) {
                const uint32_t r = have.recs[i];
                if (r < deleted.size() && deleted[r]) {
                    if (t.info.unique)
                        keysOfDeleted.emplace(have.key(i), have.keyLen);
                    continue;
                }
                if (kept != i) {
                    std::memmove(have.keys.data() + kept * have.keyLen, have.key(i), have.keyLen);
                    have.recs[kept] = r;
                }
                ++kept;
            }
            have.recs.resize(kept);
            have.keys.resize(kept * have.keyLen);
        }
        if (!keysOfDeleted.empty()) {
            // Such a key has no live holder in the tag.
            size_t kept = 0;
            for (size_t i = 0; i < want.size(); ++i) {
                if (keysOfDeleted.count(std::string(want.key(i), want.keyLen)))
                    continue;
                if (kept != i) {
                    std::memmove(want.keys.data() + kept * want.keyLen, want.key(i), want.keyLen);
                    want.recs[kept] = want.recs[i];
                }
                ++kept;
            }
            want.recs.resize(kept);
            want.keys.resize(kept * want.keyLen);
        }
        for (size_t i = 1; i < have.size(); ++i)
            if (t.cmpEntry(have.key(i - 1), have.recs[i - 1], have.key(i), have.recs[i]) >= 0) {
                problems.push_back(label + "keys out of order at position " + std::to_string(i));
                break;
            }
        if (have.size() != want.size())
            problems.push_back(label + std::to_string(have.size()) + " keys for " + std::to_string(want.size()) +
                               " records");
        size_t shown = 0;
        for (size_t i = 0; i < std::min(have.size(), want.size()) && shown < 5; ++i)
            if (have.recs[i] != want.recs[i] || std::memcmp(have.key(i), want.key(i), have.keyLen) != 0) {
                problems.push_back(label + "position " + std::to_string(i) + " holds record " +
                                   std::to_string(have.recs[i]) + ", expected record " + std::to_string(want.recs[i]));
                ++shown;
            }
        // Every page must be reachable from the root exactly once and within the file.
        for (const auto& [page, nd] : t.nodes)
            if (page + m_pagesPerBlock > m_pageCount && m_pageCount != 0)
                problems.push_back(label + "page " + std::to_string(page) + " lies past the recorded file size");
    }
    return problems;
}

} // namespace mk::dbase
