#include "app/core/directories.h"
#include "app/core/globals.h"
#include "app/core/startup.h"
#include "app/core/termination.h"
#include "platform/prompt.h"
#include "platform/help.h"
#include "platform/widgets/helpwindow.h"
#include "platform/widgets/qtprompter.h"
#include "shell/mainwindow.h"
#include "shell/startupui.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marlocket"));
    mk::setApplicationTitle(QStringLiteral("Marlocket"));
    mk::QtPrompter qtPrompter;
    mk::ScopedPrompter usePrompter(qtPrompter);

    mk::GlobalState& g = mk::globals();
    mk::QtStartupUi ui;
    if (mk::RunStartup(g, ui, QCoreApplication::applicationFilePath()) != mk::StartupResult::Running)
        return 1;

    int rc = 0;
    {
        auto window = std::make_unique<mk::TForm3>(g);
        ui.closeSplash();
        if (window->databaseOpen()) {
            // Logging off or a shutdown ends the run like closing the window.
            mk::TerminationHandler onTerminate([&window] { window->close(); });
            window->show();
            rc = app.exec();
        }
        mk::WriteReminders(g);
        window.reset();
    }
    mk::MarkShutdownComplete(g);
    return rc;
}
