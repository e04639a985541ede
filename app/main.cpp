#include "app/core/directories.h"
#include "app/core/globals.h"
#include "app/core/startup.h"
#include "app/core/termination.h"
#include "platform/help.h"
#include "platform/prompt.h"
#include "platform/widgets/helpwindow.h"
#include "platform/widgets/qtprompter.h"
#include "shell/mainwindow.h"
#include "shell/startupui.h"

#include <QApplication>
#include <QPointer>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marlocket"));
    mk::setApplicationTitle(QStringLiteral("Marlocket"));
    mk::QtPrompter qtPrompter;
    mk::ScopedPrompter usePrompter(qtPrompter);
    mk::HelpWindow::install();
    mk::setHelpDirectory(mk::programDirFor(QCoreApplication::applicationFilePath()) + QStringLiteral("/help"));

    // Logging off or a system shutdown (SIGTERM, SIGHUP) ends the run like
    // closing the main window, also while a dialog is waiting for an answer.
    bool terminating = false;
    QPointer<QWidget> mainWindow;
    mk::TerminationHandler onTerminate([&] {
        terminating = true;
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
        if (mainWindow)
            mainWindow->close();
    });

    mk::GlobalState& g = mk::globals();
    mk::QtStartupUi ui;
    if (mk::RunStartup(g, ui, QCoreApplication::applicationFilePath()) != mk::StartupResult::Running)
        return 1;

    int rc = 0;
    {
        auto window = std::make_unique<mk::TForm3>(g);
        mainWindow = window.get();
        ui.closeSplash();
        if (window->databaseOpen() && !terminating) {
            window->show();
            rc = app.exec();
        }
        mk::WriteReminders(g);
        window.reset();
    }
    mk::MarkShutdownComplete(g);
    return rc;
}
