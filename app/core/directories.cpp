#include "app/core/directories.h"

#include "app/core/globals.h"
#include "platform/files.h"
#include "platform/prompt.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace mk {

QString programDirFor(const QString& executablePath)
{
    QString dir = QFileInfo(executablePath).absolutePath();
    while (dir.size() > 1 && (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\'))))
        dir.chop(1);
    return dir;
}

bool isWritableDir(const QString& dir)
{
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return false;
    // Permission bits alone do not tell (read-only mounts, ACLs): try it.
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".mk-probe-XXXXXX")));
    return probe.open();
}

QString userDataRoot()
{
    // XDG_DATA_HOME first, as the desktop's base directory rules say.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir(base).filePath(QStringLiteral("Marlocket"));
}

bool relocateUnwritableDataRoot(GlobalState& g)
{
    if (isWritableDir(g.DataRoot))
        return false;
    const QString root = userDataRoot();
    if (!QDir().mkpath(root))
        return false;
    g.DataRoot = root;
    g.DataRootRelocated = true;
    return true;
}

void EnsureDataDirs(const GlobalState& g)
{
    const QString pub = g.publicDataDir();
    const QString backup = joinPath(pub, QStringLiteral("BACKUP"));
    if (QFileInfo(pub).isDir() && QFileInfo(backup).isDir())
        return;
    QDir root(g.DataRoot);
    root.mkdir(g.PublicDirName);
    if (!QDir(pub).mkdir(QStringLiteral("BACKUP")) && !QFileInfo(backup).isDir())
        showWarning(QStringLiteral("Could not Create Data Directory!"));
}

} // namespace mk
