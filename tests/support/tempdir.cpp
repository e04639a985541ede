#include "tests/support/tempdir.h"

#include "tests/support/fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mk::test {

TempDir::TempDir(const Locale& locale)
    : m_locale(locale)
    , m_dir(QDir::tempPath() + QStringLiteral("/mk-test-XXXXXX"))
{}

QString TempDir::file(const QString& name) const
{
    return m_dir.filePath(name);
}

QString TempDir::mkdir(const QString& name) const
{
    const QString p = file(name);
    QDir().mkpath(p);
    return p;
}

bool TempDir::write(const QString& name, const QByteArray& bytes) const
{
    const QString p = file(name);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QByteArray TempDir::read(const QString& name) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TempDir::exists(const QString& name) const
{
    return QFileInfo::exists(file(name));
}

bool TempDir::copyFixture(const QString& relative, const QString& name) const
{
    const QString target = file(name);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    if (!QFile::copy(fixturePath(relative), target))
        return false;
    // Fixtures in the source tree may be read-only; the copy must be writable.
    return QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
}

} // namespace mk::test
