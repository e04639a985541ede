#include "tests/support/fixtures.h"

#include <QDir>

namespace mk::test {

QString sourceDir()
{
    const QString env = qEnvironmentVariable("MK_SOURCE_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(env);
    return QStringLiteral(MK_TEST_SOURCE_DIR);
}

QString fixturePath(const QString& relative)
{
    return sourceDir() + QStringLiteral("/tests/data/") + relative;
}

QString programDir()
{
    const QString env = qEnvironmentVariable("MK_PROGRAM_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(env);
    return QStringLiteral(MK_TEST_PROGRAM_DIR);
}

} // namespace mk::test
