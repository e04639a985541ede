#include "platform/help.h"

#include "platform/files.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace mk {

namespace {

QString& dirSlot()
{
    static QString dir;
    return dir;
}

HelpHandler& handlerSlot()
{
    static HelpHandler handler;
    return handler;
}

int& lastSlot()
{
    static int last = 0;
    return last;
}

QString mappedPage(const QString& dir, int context)
{
    const QString mapFile = findFileNoCase(dir, QStringLiteral("contexts.txt"));
    if (mapFile.isEmpty())
        return {};
    QFile f(mapFile);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&f);
    while (!in.atEnd()) {
        QString line = in.readLine();
        const qsizetype hash = line.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            line.truncate(hash);
        const QStringList parts = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() < 2)
            continue;
        bool ok = false;
        if (parts.at(0).toInt(&ok) == context && ok)
            return findFileNoCase(dir, parts.at(1));
    }
    return {};
}

} // namespace

QString helpDirectory()
{
    if (!dirSlot().isEmpty())
        return dirSlot();
    return joinPath(QCoreApplication::applicationDirPath(), QStringLiteral("help"));
}

void setHelpDirectory(const QString& dir)
{
    dirSlot() = dir;
}

QString helpIndexPage()
{
    return findFileNoCase(helpDirectory(), QStringLiteral("index.html"));
}

QString helpPageFor(int context)
{
    const QString dir = helpDirectory();
    if (context > 0) {
        QString page = mappedPage(dir, context);
        if (page.isEmpty())
            page = findFileNoCase(dir, QString::number(context) + QStringLiteral(".html"));
        if (!page.isEmpty() && QFileInfo(page).isFile())
            return page;
    }
    return helpIndexPage();
}

HelpHandler setHelpHandler(HelpHandler handler)
{
    HelpHandler previous = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return previous;
}

void showHelp(int context)
{
    if (context == 0)
        return;
    lastSlot() = context;
    if (handlerSlot())
        handlerSlot()(context);
}

int lastHelpContext()
{
    return lastSlot();
}

} // namespace mk
