#include "shell/logindlg.h"

#include "ui_logindlg.h"

namespace mk {

TLoginDlg::TLoginDlg(const LoginSettings& settings, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TLoginDlg>())
    , m_settings(settings)
{
    m_ui->setupUi(this);
    // Passwords show as asterisks whatever the style's own password character.
    m_ui->Password_Ed->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    connect(m_ui->OK_Btn, &QPushButton::clicked, this, &TLoginDlg::OKClick);
    connect(m_ui->Cancel_Btn, &QPushButton::clicked, this, [this] {
        m_result = LoginResult::Cancel;
        reject();
    });
}

TLoginDlg::~TLoginDlg() = default;

void TLoginDlg::setSecurityCheck(bool securityCheck)
{
    setWindowTitle(securityCheck ? QStringLiteral("Security Check") : QStringLiteral("Login"));
}

LoginResult TLoginDlg::run()
{
    m_result = LoginResult::Cancel;
    exec();
    return m_result;
}

void TLoginDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormActivate();
}

void TLoginDlg::FormActivate()
{
    const bool multiUser = m_settings.userCount != 0;
    if (multiUser) {
        const bool askPassword = m_settings.passwordsRequired();
        m_ui->Password_Ed->setVisible(askPassword);
        m_ui->Password_Lbl->setVisible(askPassword);
        m_ui->UserID_Ed->setVisible(true);
        m_ui->UserID_Lbl->setVisible(true);
        m_ui->UserID_Ed->setFocus();
    } else {
        m_ui->UserID_Ed->setText(m_settings.supervisorName);
        m_ui->UserID_Ed->setVisible(false);
        m_ui->UserID_Lbl->setVisible(false);
        m_ui->Password_Ed->setVisible(true);
        m_ui->Password_Lbl->setVisible(true);
        m_ui->Password_Ed->setFocus();
    }
}

void TLoginDlg::OKClick()
{
    m_result = EvaluateLogin(m_ui->UserID_Ed->text(), m_ui->Password_Ed->text(), m_settings, m_state);
    if (m_result == LoginResult::Cancel)
        reject();
    else
        accept();
}

} // namespace mk
