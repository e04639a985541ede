#include "storage/dbtable.h"

#include "platform/files.h"
#include "platform/text.h"
#include "storage/engine/order.h"

namespace mk {

using dbase::DatabaseError;

struct TDbTable::IndexState
{
    bool descending = false;
    int keyLength = 0;
    bool ranged = false;
};

TDbTable::TDbTable()
    : m_idx(std::make_unique<IndexState>())
{}

TDbTable::~TDbTable() = default;

QString TDbTable::filePath() const
{
    const QString found = findFileNoCase(m_dir, m_name);
    return found.isEmpty() ? joinPath(m_dir, m_name) : found;
}

QString TDbTable::baseName() const
{
    const qsizetype dot = m_name.indexOf(QLatin1Char('.'));
    return dot < 0 ? m_name : m_name.left(dot);
}

void TDbTable::open()
{
    if (m_table.isOpen())
        return;
    m_table.setPath(toCp1252Std(filePath()));
    m_table.open(m_exclusive ? dbase::OpenMode::Exclusive : dbase::OpenMode::Shared);
    m_decimals.assign(size_t(m_table.fieldCount()), 0);
    try {
        installOrder();
    } catch (...) {
        m_table.close();
        throw;
    }
}

void TDbTable::close() noexcept
{
    if (m_table.isOpen() && m_table.state() != dbase::DatasetState::Browse)
        try {
            m_table.cancel();
        } catch (...) {}
    m_table.close();
    m_idx->ranged = false;
}

void TDbTable::installOrder()
{
    m_idx->ranged = false;
    m_idx->descending = false;
    m_idx->keyLength = 0;
    if (m_index.isEmpty()) {
        dbase::setCurrentTag(m_table, std::string());
        return;
    }
    const std::string name = toCp1252Std(m_index);
    dbase::setCurrentTag(m_table, name);
    for (const dbase::TagInfo& tag : dbase::listTags(m_table))
        if (upperAscii(tag.name) == upperAscii(name)) {
            m_idx->descending = tag.descending;
            m_idx->keyLength = tag.keyLength;
        }
}

void TDbTable::setIndexName(const QString& tag)
{
    m_index = tag;
    if (m_table.isOpen())
        installOrder();
}

QString TDbTable::fieldName(int pos) const
{
    return fromCp1252(m_table.field(pos).name);
}

int TDbTable::decimals(int pos) const
{
    return pos >= 0 && size_t(pos) < m_decimals.size() ? m_decimals[size_t(pos)] : 0;
}

void TDbTable::setDecimals(int pos, int count)
{
    if (pos < 0)
        return;
    if (size_t(pos) >= m_decimals.size())
        m_decimals.resize(size_t(pos) + 1, 0);
    m_decimals[size_t(pos)] = count;
}

std::vector<dbase::TagInfo> TDbTable::tags()
{
    if (!m_table.isOpen())
        return {};
    return dbase::listTags(m_table);
}

void TDbTable::addIndex(const QString& name, const QString& expression, bool descending)
{
    dbase::TagSpec spec;
    spec.name = toCp1252Std(name);
    spec.expression = toCp1252Std(expression);
    spec.descending = descending;
    dbase::addTag(m_table, spec);
}

void TDbTable::deleteIndex(const QString& name)
{
    dbase::deleteTag(m_table, toCp1252Std(name));
}

bool TDbTable::currentIndexDescending() const
{
    return m_idx->descending;
}

void TDbTable::setRange(const std::string& low, const std::string& high)
{
    // A prefix bound becomes the smallest or largest key that starts with it;
    // in a descending tag the first key in tag order is the bytewise largest.
    const size_t len = size_t(std::max(m_idx->keyLength, int(std::max(low.size(), high.size()))));
    auto fill = [len](std::string key, bool largest) {
        if (key.size() < len)
            key.append(len - key.size(), largest ? '\xFF' : '\0');
        return key;
    };
    const bool desc = m_idx->descending;
    dbase::setRangeKeys(m_table, fill(low, desc), fill(high, !desc));
    m_idx->ranged = true;
}

void TDbTable::cancelRange()
{
    dbase::cancelRange(m_table);
    m_idx->ranged = false;
}

bool TDbTable::hasRange() const
{
    return m_idx->ranged;
}

bool TDbTable::findKey(const QString& text)
{
    return dbase::findKey(m_table, toCp1252Std(text));
}

QString TDbTable::asString(int pos) const
{
    return fromCp1252(m_table.asString(pos));
}

void TDbTable::setString(int pos, const QString& text)
{
    m_table.setString(pos, toCp1252Std(text));
}

void TDbTable::assignFrom(const TDbTable& source, int pos)
{
    const dbase::Table& src = source.m_table;
    const dbase::FieldDescriptor& f = src.field(pos);
    if (src.isNull(pos)) {
        m_table.setNull(pos);
        return;
    }
    switch (f.type) {
    case dbase::TypeMemo:
    case dbase::TypeBinary:
    case dbase::TypeGeneral:
        m_table.setBlob(pos, src.asBlob(pos));
        break;
    case dbase::TypeLogical: {
        const std::optional<bool> b = src.asBool(pos);
        if (b)
            m_table.setBool(pos, *b);
        else
            m_table.setNull(pos);
        break;
    }
    case dbase::TypeNumeric:
    case dbase::TypeFloat: {
        const std::optional<double> v = src.asNumber(pos);
        if (v)
            m_table.setNumber(pos, *v);
        else
            m_table.setNull(pos);
        break;
    }
    default:
        m_table.setString(pos, src.asString(pos));
        break;
    }
}

void TDbTable::setBeforePost(Handler handler)
{
    if (!handler) {
        m_table.setBeforePost({});
        return;
    }
    m_table.setBeforePost([this, h = std::move(handler)](dbase::Table&) { h(*this); });
}

void TDbTable::setAfterInsert(Handler handler)
{
    if (!handler) {
        m_table.setAfterInsert({});
        return;
    }
    m_table.setAfterInsert([this, h = std::move(handler)](dbase::Table&) { h(*this); });
}

} // namespace mk
