#pragma once

#include "storage/users.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TLoginDlg;
}

namespace mk {

// The "Login" dialog of start-up, also used as the "Security Check" before
// destructive operations. Its result is a LoginResult; the login state it
// decides is in state() after it closes with OK or NotActive.
class TLoginDlg : public QDialog
{
    Q_OBJECT

public:
    TLoginDlg(const LoginSettings& settings, QWidget* parent = nullptr);
    ~TLoginDlg() override;

    void setSecurityCheck(bool securityCheck);
    LoginResult loginResult() const { return m_result; }
    const LoginState& state() const { return m_state; }

    // Shows the dialog modally and returns its result.
    LoginResult run();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OKClick();
    void FormActivate();

    std::unique_ptr<Ui::TLoginDlg> m_ui;
    LoginSettings m_settings;
    LoginState m_state;
    LoginResult m_result = LoginResult::Cancel;
};

} // namespace mk
