#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace mk {

QString nativePath(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

QString joinPath(const QString& dir, const QString& name)
{
    const QString n = nativePath(name);
    if (dir.isEmpty())
        return n;
    if (!n.isEmpty() && QDir::isAbsolutePath(n))
        return n;
    QString d = nativePath(dir);
    if (n.isEmpty())
        return d;
    if (!d.endsWith(QLatin1Char('/')))
        d += QLatin1Char('/');
    return d + n;
}

namespace {

// One path component matched ignoring case inside an existing folder.
QString findEntryNoCase(const QString& dir, const QString& entry)
{
    if (entry.isEmpty() || entry == QLatin1String(".") || entry == QLatin1String(".."))
        return joinPath(dir, entry);
    const QString exact = joinPath(dir, entry);
    if (QFileInfo::exists(exact))
        return exact;
    const QDir d(dir.isEmpty() ? QStringLiteral(".") : dir);
    const QStringList names =
            d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& candidate : names) {
        if (candidate.compare(entry, Qt::CaseInsensitive) == 0)
            return joinPath(dir, candidate);
    }
    return {};
}

} // namespace

QString findFileNoCase(const QString& dir, const QString& name)
{
    const QString rel = nativePath(name);
    if (rel.isEmpty())
        return {};
    if (QDir::isAbsolutePath(rel))
        return findFileNoCase(rel);
    QString current = nativePath(dir);
    const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    for (const QString& part : parts) {
        current = findEntryNoCase(current, part);
        if (current.isEmpty())
            return {};
    }
    return current;
}

QString findFileNoCase(const QString& path)
{
    const QString p = nativePath(path);
    if (p.isEmpty())
        return {};
    if (QFileInfo::exists(p))
        return p;
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return findFileNoCase(QString(), p);
    QString dir = p.left(slash);
    const QString name = p.mid(slash + 1);
    if (dir.isEmpty())
        dir = QStringLiteral("/");
    if (!QFileInfo(dir).isDir()) {
        // Resolve the folders too, from the root (or the current folder).
        if (QDir::isAbsolutePath(dir)) {
            const qsizetype rootLen = dir.startsWith(QLatin1Char('/')) ? 1 : 3; // "/" or "C:/"
            dir = findFileNoCase(dir.left(rootLen), dir.mid(rootLen));
        } else {
            dir = findFileNoCase(QString(), dir);
        }
        if (dir.isEmpty())
            return {};
    }
    return findEntryNoCase(dir, name);
}

bool fileExistsNoCase(const QString& dir, const QString& name)
{
    return !findFileNoCase(dir, name).isEmpty();
}

bool fileExistsNoCase(const QString& path)
{
    return !findFileNoCase(path).isEmpty();
}

QString pathForWriteNoCase(const QString& dir, const QString& name)
{
    const QString found = findFileNoCase(dir, name);
    return found.isEmpty() ? joinPath(dir, name) : found;
}

bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error)
{
    const QString target = nativePath(path);
    if (QFileInfo(target).isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a directory").arg(target);
        return false;
    }
    QSaveFile file(target);
    // Never fall back to writing the target in place: a failure must leave
    // the previous content intact.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    // commit() flushes the temporary file to disk before renaming it.
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

std::optional<QByteArray> readFileBytes(const QString& path)
{
    QFile file(nativePath(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return data;
}

} // namespace mk
