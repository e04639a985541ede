#include "shell/startupui.h"

#include "app/core/globals.h"
#include "shell/logindlg.h"

#include "ui_splash.h"

#include <QApplication>

namespace mk {

QtStartupUi::QtStartupUi() = default;
QtStartupUi::~QtStartupUi() = default;

void QtStartupUi::showSplash()
{
    m_splash = std::make_unique<QDialog>();
    Ui::TSplash ui;
    ui.setupUi(m_splash.get());
    ui.ProductName_Lbl->setText(globals().ProductName);
    ui.Version_Lbl->setText(globals().ProductVersion);
    m_splash->show();
    // Painted at once: start-up keeps the event loop busy until the main window exists.
    QApplication::processEvents();
}

void QtStartupUi::closeSplash()
{
    m_splash.reset();
}

LoginResult QtStartupUi::runLogin(const LoginSettings& settings, LoginState& state)
{
    TLoginDlg dlg(settings);
    const LoginResult result = dlg.run();
    state = dlg.state();
    return result;
}

} // namespace mk
