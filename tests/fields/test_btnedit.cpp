// The edit-with-button base: button placement, key filter, locked state.

#include "fields/editbutton.h"
#include "fields/mybtnedit.h"
#include "platform/scriptedprompter.h"
#include "tests/fields/printers.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace mk;

TEST(BtnEdit, ButtonSitsInsideTheRightEdge)
{
    TClickEdit edit;
    edit.resize(150, 26);
    edit.show();
    QApplication::processEvents();
    TEditButton* button = edit.button();
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->width(), 20);
    EXPECT_GT(button->x(), 150 - 20 - 6);
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(button->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(edit.textMargins().right(), 21);
    edit.resize(200, 40);
    QApplication::processEvents();
    EXPECT_GT(button->x(), 200 - 20 - 6);
    EXPECT_GT(button->height(), 30);
    edit.setButtonVisible(false);
    EXPECT_FALSE(button->isVisible());
    EXPECT_EQ(edit.textMargins().right(), 0);
    EXPECT_GE(edit.minimumSizeHint().height(), QFontMetrics(edit.font()).height() + 4);
}

TEST(BtnEdit, ClickEditRaisesBtnClick)
{
    TClickEdit edit;
    edit.setButtonHint(QStringLiteral("Click here to dial"));
    EXPECT_EQ(edit.button()->toolTip(), "Click here to dial");
    EXPECT_FALSE(edit.AutoSelect());
    edit.show();
    int clicks = 0;
    QObject::connect(&edit, &TClickEdit::BtnClick, [&] { ++clicks; });
    QTest::mouseClick(edit.button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST(BtnEdit, EntrySelectsOrPutsTheCaretAtTheStart)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* selecting = new TMyBtnEdit(&window);
    auto* plain = new TClickEdit(&window);
    layout->addWidget(selecting);
    layout->addWidget(plain);
    selecting->setText(QStringLiteral("Chateau"));
    plain->setText(QStringLiteral("Margaux"));
    plain->setCursorPosition(7);
    window.show();
    window.activateWindow();
    QApplication::processEvents();
    plain->setFocus(Qt::TabFocusReason);
    selecting->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(selecting->selectedText(), "Chateau");
    plain->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(plain->hasSelectedText());
    EXPECT_EQ(plain->cursorPosition(), 0);
}

TEST(BtnEdit, LockedEditKeepsItsTextButCopies)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new TClickEdit(&window);
    layout->addWidget(edit);
    edit->setText(QStringLiteral("555-1234"));
    edit->setStayEnabled(true);
    window.show();
    window.activateWindow();

    QWidget* asWidget = edit;
    asWidget->setEnabled(false);
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_TRUE(edit->isLocked());
    edit->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(edit, "99");
    QTest::keyClick(edit, Qt::Key_Backspace);
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "555-1234");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "555-1234");
    int clicks = 0;
    QObject::connect(edit, &TClickEdit::BtnClick, [&] { ++clicks; });
    QTest::mouseClick(edit->button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1) << "the button still works";

    setFieldEnabled(edit, true);
    EXPECT_FALSE(edit->isLocked());
    edit->setFocus(Qt::TabFocusReason);
    edit->end(false);
    QTest::keyClicks(edit, "9");
    EXPECT_EQ(edit->text(), "555-12349");

    // Without the flag disabling really disables.
    edit->setStayEnabled(false);
    edit->setEnabled(false);
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(edit->isLocked());
}
