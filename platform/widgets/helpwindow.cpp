#include "platform/widgets/helpwindow.h"

#include "platform/help.h"
#include "platform/prompt.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace mk {

QPointer<HelpWindow> HelpWindow::s_instance;

HelpWindow::HelpWindow(QWidget* parent)
    : QDialog(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(applicationTitle() + tr(" Help"));
    resize(640, 520);
    auto* layout = new QVBoxLayout(this);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenExternalLinks(true);
    layout->addWidget(m_browser);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* contents = buttons->addButton(tr("&Contents"), QDialogButtonBox::ActionRole);
    contents->setObjectName(QStringLiteral("contentsButton"));
    QPushButton* back = buttons->addButton(tr("&Back"), QDialogButtonBox::ActionRole);
    back->setObjectName(QStringLiteral("backButton"));
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(contents, &QPushButton::clicked, this, [this] { setContext(HelpContext::Contents); });
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    back->setEnabled(false);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

void HelpWindow::install()
{
    setHelpHandler([](int context) { HelpWindow::showContext(context); });
}

HelpWindow* HelpWindow::instance()
{
    return s_instance.data();
}

void HelpWindow::setContext(int context)
{
    m_context = context;
    m_pageFile = helpPageFor(context);
    if (m_pageFile.isEmpty()) {
        m_browser->setHtml(tr("<h2>Help is not available</h2>"
                              "<p>The help pages were not found in the folder <tt>%1</tt>. "
                              "Reinstall the program to restore them.</p>")
                                   .arg(helpDirectory().toHtmlEscaped()));
        return;
    }
    m_browser->setSource(QUrl::fromLocalFile(m_pageFile));
}

void HelpWindow::showContext(int context)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == s_instance.data())
        modal = s_instance ? s_instance->parentWidget() : nullptr;
    // A window parented to the waiting dialog stays usable while it is modal.
    if (s_instance && s_instance->parentWidget() != modal) {
        s_instance->hide();
        s_instance->deleteLater();
        s_instance = nullptr;
    }
    if (!s_instance) {
        s_instance = new HelpWindow(modal);
        s_instance->setAttribute(Qt::WA_DeleteOnClose);
        if (modal)
            s_instance->setWindowModality(Qt::WindowModal);
    }
    s_instance->setContext(context);
    s_instance->show();
    s_instance->raise();
    s_instance->activateWindow();
}

} // namespace mk
