#pragma once

// The help window: one QTextBrowser window showing the help page for a
// context (see platform/help.h for where pages come from). install() makes
// it the handler of mk::showHelp().
//
// When help is asked for from a modal dialog or message box, the window is
// opened over that dialog (so it can be used while the dialog waits) and
// closes with it; otherwise it is an ordinary top-level window.

#include <QDialog>
#include <QPointer>

class QTextBrowser;

namespace mk {

class HelpWindow : public QDialog
{
    Q_OBJECT
public:
    // Makes the help window the handler of mk::showHelp().
    static void install();
    // Shows the page for a context, creating the window when needed.
    static void showContext(int context);
    // The window, or nullptr when none is open.
    static HelpWindow* instance();

    int context() const { return m_context; }
    // The page file shown (empty when no page exists).
    QString pageFile() const { return m_pageFile; }
    QTextBrowser* browser() const { return m_browser; }

    void setContext(int context);

private:
    explicit HelpWindow(QWidget* parent);

    QTextBrowser* m_browser = nullptr;
    int m_context = 0;
    QString m_pageFile;

    static QPointer<HelpWindow> s_instance;
};

} // namespace mk
