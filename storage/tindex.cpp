#include "storage/tindex.h"

#include "platform/files.h"
#include "platform/text.h"
#include "storage/dbtable.h"
#include "storage/storage.h"

#include <QFile>

namespace mk {

namespace {

enum class Kind { Text, Numeric, Date, Memo, Other };

Kind kindOf(const dbase::FieldDescriptor& f)
{
    switch (f.type) {
    case 'C':
        return Kind::Text;
    case 'N':
    case 'F':
    case 'I':
    case 'Y':
    case 'O':
    case '+':
        return Kind::Numeric;
    case 'D':
        return Kind::Date;
    case 'M':
        return Kind::Memo;
    default:
        return Kind::Other;
    }
}

bool textLike(Kind k)
{
    return k == Kind::Text || k == Kind::Memo;
}

const QString NumericDescending = QStringLiteral("STR(999999999999999999-%1, 20, 4)");
const QString DateDescending = QStringLiteral("STR({12/31/3099}-%1, 10, 0)");

} // namespace

void TIndex::Create(quint8 primary, quint8 primaryDescending, quint8 secondary, quint8 secondaryDescending)
{
    requested = {primary, primaryDescending, secondary, secondaryDescending};
    Snapshot();
    keyExpression.clear();
    filteredKeyExpression.clear();
    options = 0;
    filteredOptions = 0;
    filtered = false;
}

void TIndex::Reset()
{
    requested = {0, 0, 0, 0};
    keyExpression.clear();
    filteredKeyExpression.clear();
    Snapshot();
}

QString TIndex::TagName(int n) const
{
    return (filtered ? QStringLiteral("IDXF") : QStringLiteral("IDX")) + QString::number(n);
}

void TIndex::BuildExpression()
{
    if (table && table->active()) {
        BuildExpression(table->engine().fields());
    } else {
        keyExpression.clear();
        filteredKeyExpression.clear();
        options = filteredOptions = 0;
    }
}

TIndex::Part TIndex::KeyPart(const dbase::FieldDescriptor& field, bool descending, int budget)
{
    const QString f = fromCp1252(field.name);
    const int size = field.length;
    switch (kindOf(field)) {
    case Kind::Text:
        if (size <= budget)
            return {f, size};
        return {QStringLiteral("UPPER(SUBSTR(%1, 1, %2))").arg(f).arg(budget), budget};
    case Kind::Numeric: {
        const int w = std::min(budget, 20);
        if (descending)
            return {NumericDescending.arg(f), w};
        return {QStringLiteral("STR(%1, %2, 4)").arg(f).arg(w), w};
    }
    case Kind::Date:
        // Counted by its real width so that the other part keeps within the key limit.
        if (descending)
            return {DateDescending.arg(f), 10};
        return {QStringLiteral("DTOS(%1)").arg(f), 8};
    case Kind::Memo:
        return {QStringLiteral("UPPER(SUBSTR(MLINE(%1, 1), 1, %2))").arg(f).arg(budget), budget};
    case Kind::Other:
        break;
    }
    return {};
}

void TIndex::BuildExpression(const std::vector<dbase::FieldDescriptor>& fields)
{
    keyExpression.clear();
    options = 0;
    const int count = int(fields.size());
    const int p = requested[0];
    const int s = requested[2];
    bool d1 = requested[1] != 0;
    bool d2 = requested[3] != 0;

    if (p >= FirstUserField && p < count) {
        const dbase::FieldDescriptor& pf = fields[size_t(p)];
        const Kind pk = kindOf(pf);
        // A secondary that cannot be part of a key (picture, logical, missing) sorts like none.
        const bool twoFields = s >= FirstUserField && s != p && s < count && kindOf(fields[size_t(s)]) != Kind::Other;
        if (!twoFields) {
            const QString f = fromCp1252(pf.name);
            switch (pk) {
            case Kind::Text:
                keyExpression = pf.length < 100 ? QStringLiteral("UPPER(%1)").arg(f)
                                                : QStringLiteral("UPPER(SUBSTR(%1, 1, 99))").arg(f);
                options = OptExpression | (d1 ? OptDescending : 0);
                break;
            case Kind::Numeric:
                keyExpression = d1 ? NumericDescending.arg(f) : QStringLiteral("STR(%1, 20, 4)").arg(f);
                options = OptExpression;
                break;
            case Kind::Date:
                keyExpression = d1 ? DateDescending.arg(f) : QStringLiteral("DTOS(%1)").arg(f);
                options = OptExpression;
                break;
            case Kind::Memo:
                keyExpression = QStringLiteral("UPPER(MLINE(%1, 1))").arg(f);
                options = OptExpression | (d1 ? OptDescending : 0);
                break;
            case Kind::Other:
                break;
            }
        } else {
            const dbase::FieldDescriptor& sf = fields[size_t(s)];
            const Kind sk = kindOf(sf);
            options = OptExpression;
            if (textLike(pk) && textLike(sk)) {
                d2 = d1;
                if (d1)
                    options |= OptDescending;
            } else if (textLike(pk) && d1) {
                options |= OptDescending;
                d2 = !d2;
            } else if (textLike(sk) && d2) {
                options |= OptDescending;
                d1 = !d1;
            }
            const Part part1 = KeyPart(pf, d1, 59);
            if (part1.expression.isEmpty()) {
                options = 0;
            } else {
                const Part part2 = KeyPart(sf, d2, 99 - part1.length);
                keyExpression = (part1.expression + QLatin1Char('+') + part2.expression).left(MaxKeyLength);
            }
        }
    }

    filteredOptions = options;
    if (keyExpression.isEmpty() || count < 2)
        filteredKeyExpression.clear();
    else
        filteredKeyExpression = (fromCp1252(fields[1].name) + QLatin1Char('+') + keyExpression).left(MaxKeyLength);
}

QString TIndex::FindOrCreateTag(TDbTable& t, TStorage& storage)
{
    keyExpression.clear();
    table = &t;
    // The field definitions are read with the table open; it is closed again
    // so that adding a tag can open it exclusively.
    const bool wasOpen = t.active();
    if (!wasOpen)
        t.open();
    BuildExpression();
    std::vector<dbase::TagInfo> tags = t.tags();
    if (!wasOpen)
        t.close();

    if (keyExpression.isEmpty())
        return {};
    const QString wanted = filtered ? filteredKeyExpression : keyExpression;
    const bool wantDescending = ((filtered ? filteredOptions : options) & OptDescending) != 0;
    const std::string wantedBytes = toCp1252Std(wanted);
    for (const dbase::TagInfo& tag : tags)
        if (tag.expression == wantedBytes && tag.descending == wantDescending)
            return fromCp1252(tag.name);

    // The number of existing tags names the new one; a name already taken
    // (tags of another scheme) moves on to the next free number.
    int n = int(tags.size());
    auto taken = [&tags](const QString& name) {
        const std::string upper = upperAscii(toCp1252Std(name));
        for (const dbase::TagInfo& tag : tags)
            if (upperAscii(tag.name) == upper)
                return true;
        return false;
    };
    QString name = TagName(n);
    while (taken(name))
        name = TagName(++n);

    t.close();
    if (!storage.OpenTable(t, t.tableName(), true)) {
        t.setExclusive(false);
        return {};
    }
    try {
        t.addIndex(name, wanted, wantDescending);
    } catch (...) {
        t.close();
        t.setExclusive(false);
        throw;
    }
    t.close();
    t.setExclusive(false);
    return name;
}

QString TIndex::SettingsPath(const QString& dataDir, const QString& tableFileName)
{
    const qsizetype dot = tableFileName.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? tableFileName : tableFileName.left(dot);
    return pathForWriteNoCase(dataDir, base + QStringLiteral(".idx"));
}

void TIndex::LoadSettings(const QString& path)
{
    Reset();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.read(4);
    if (bytes.size() < 4)
        return;
    for (int i = 0; i < 4; ++i)
        requested[size_t(i)] = quint8(bytes[i]);
}

bool TIndex::SaveSettings(const QString& path) const
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(requested[size_t(i)]);
    return writeFileAtomic(path, bytes);
}

} // namespace mk
