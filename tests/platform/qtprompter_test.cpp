#include "platform/help.h"
#include "platform/widgets/helpwindow.h"
#include "platform/widgets/qtprompter.h"

#include "tests/support/fixtures.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs step on the active modal dialog as soon as one is shown.
void whenModalShown(std::function<void(QWidget*)> step)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, step] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            step(modal);
        }
    });
    timer->start();
}

QPushButton* buttonOf(QMessageBox* box, QMessageBox::StandardButton which)
{
    return qobject_cast<QPushButton*>(box->button(which));
}

TEST(QtPrompter, MessageBoxShowsTextAndIsAnswered)
{
    ASSERT_TRUE(qobject_cast<QApplication*>(QCoreApplication::instance()));
    mk::QtPrompter prompter;
    QString title, text;
    whenModalShown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_TRUE(box);
        title = box->windowTitle();
        text = box->text();
        buttonOf(box, QMessageBox::No)->click();
    });
    mk::Message m;
    m.type = mk::MessageType::Confirmation;
    m.text = QStringLiteral("Delete Selected Item?\rReally?");
    m.buttons = mk::Buttons::YesNo;
    EXPECT_EQ(prompter.message(m), mk::Answer::No);
    EXPECT_EQ(title, QStringLiteral("Marlocket"));
    EXPECT_EQ(text, QStringLiteral("Delete Selected Item?\nReally?"));
}

TEST(QtPrompter, HelpButtonShowsHelpAndKeepsTheBoxOpen)
{
    mk::QtPrompter prompter;
    int helpShown = 0;
    bool stillOpenAfterHelp = false;
    const mk::HelpHandler previous = mk::setHelpHandler([&](int context) { helpShown = context; });
    whenModalShown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_TRUE(box);
        auto* help = box->findChild<QPushButton*>(QStringLiteral("helpButton"));
        ASSERT_TRUE(help);
        help->click();
        QCoreApplication::processEvents();
        stillOpenAfterHelp = box->isVisible() && QApplication::activeModalWidget() == box;
        buttonOf(box, QMessageBox::Ok)->click();
    });
    mk::Message m;
    m.type = mk::MessageType::Warning;
    m.caption = QStringLiteral("Own caption");
    m.text = QStringLiteral("Marlocket was not Closed normally!");
    m.buttons = mk::Buttons::OkHelp;
    m.helpContext = mk::HelpContext::RestoreFromBackup;
    EXPECT_EQ(prompter.message(m), mk::Answer::Ok);
    mk::setHelpHandler(previous);
    EXPECT_EQ(helpShown, 123);
    EXPECT_TRUE(stillOpenAfterHelp);
}

TEST(QtPrompter, EscapeGivesTheSafeAnswer)
{
    mk::QtPrompter prompter;
    whenModalShown([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    mk::Message m;
    m.type = mk::MessageType::Warning;
    m.text = QStringLiteral("Retry?");
    m.buttons = mk::Buttons::YesNo;
    EXPECT_EQ(prompter.message(m), mk::Answer::No);
}

TEST(QtPrompter, InputBoxReturnsTextOrCancel)
{
    mk::QtPrompter prompter;
    QString label;
    whenModalShown([&](QWidget* w) {
        auto* dialog = qobject_cast<QInputDialog*>(w);
        ASSERT_TRUE(dialog);
        label = dialog->labelText();
        EXPECT_EQ(dialog->textValue(), QStringLiteral("Bottles:"));
        dialog->setTextValue(QStringLiteral("Cases:"));
        dialog->accept();
    });
    EXPECT_EQ(prompter.inputBox(QStringLiteral("Change Label Text"), QStringLiteral("Enter New Text:"),
                                QStringLiteral("Bottles:")),
              QStringLiteral("Cases:"));
    EXPECT_EQ(label, QStringLiteral("Enter New Text:"));
    whenModalShown([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_EQ(prompter.inputBox(QStringLiteral("a"), QStringLiteral("b"), QString()), std::nullopt);
}

TEST(QtPrompter, FilterConversion)
{
    EXPECT_EQ(mk::QtPrompter::toQtFilters(QStringLiteral("*.txt")), QStringLiteral("*.txt (*.txt)"));
    EXPECT_EQ(mk::QtPrompter::toQtFilters(QStringLiteral("Text files|*.txt|All files|*.*")),
              QStringLiteral("Text files (*.txt);;All files (*.*)"));
    EXPECT_EQ(mk::QtPrompter::toQtFilters(QStringLiteral("Pictures|*.bmp;*.jpg")),
              QStringLiteral("Pictures (*.bmp *.jpg)"));
    EXPECT_EQ(mk::QtPrompter::toQtFilters(QStringLiteral("Tables (*.dbf);;All (*)")),
              QStringLiteral("Tables (*.dbf);;All (*)"));
}

TEST(HelpWindow, ShowsTheContextPageAndFallsBack)
{
    const QString previousDir = mk::helpDirectory();
    mk::setHelpDirectory(mk::test::sourceDir() + QStringLiteral("/shipped/help"));
    mk::HelpWindow::showContext(mk::HelpContext::RestoreFromBackup);
    mk::HelpWindow* w = mk::HelpWindow::instance();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->context(), 123);
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("backup"), Qt::CaseInsensitive));
    mk::HelpWindow::showContext(4242);
    EXPECT_EQ(mk::HelpWindow::instance(), w); // one window, reused
    EXPECT_TRUE(w->pageFile().endsWith(QStringLiteral("index.html")));
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(mk::HelpWindow::instance(), nullptr);
    mk::setHelpDirectory(previousDir);
}

TEST(HelpWindow, OpensOverAWaitingMessageBox)
{
    const QString previousDir = mk::helpDirectory();
    mk::setHelpDirectory(mk::test::sourceDir() + QStringLiteral("/shipped/help"));
    mk::HelpWindow::install();
    mk::QtPrompter prompter;
    bool helpOverBox = false;
    whenModalShown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_TRUE(box);
        box->findChild<QPushButton*>(QStringLiteral("helpButton"))->click();
        mk::HelpWindow* help = mk::HelpWindow::instance();
        helpOverBox = help && help->isVisible() && help->parentWidget() == box;
        buttonOf(box, QMessageBox::Ok)->click();
    });
    mk::Message m;
    m.type = mk::MessageType::Error;
    m.text = QStringLiteral("Corrupt Memo Field!!!");
    m.buttons = mk::Buttons::OkHelp;
    m.helpContext = mk::HelpContext::CorruptMemo;
    EXPECT_EQ(prompter.message(m), mk::Answer::Ok);
    EXPECT_TRUE(helpOverBox);
    // The help window went with the box.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(mk::HelpWindow::instance(), nullptr);
    mk::setHelpHandler(nullptr);
    mk::setHelpDirectory(previousDir);
}

} // namespace
