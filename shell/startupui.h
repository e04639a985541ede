#pragma once

#include "app/core/startup.h"

#include <memory>

class QDialog;

namespace mk {

// The windows of start-up: the "Welcome" splash and the "Login" dialog.
class QtStartupUi : public StartupUi
{
public:
    QtStartupUi();
    ~QtStartupUi() override;

    void showSplash() override;
    void closeSplash() override;
    LoginResult runLogin(const LoginSettings& settings, LoginState& state) override;

private:
    std::unique_ptr<QDialog> m_splash;
};

} // namespace mk
