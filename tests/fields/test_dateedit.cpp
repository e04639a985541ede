// The date field: overtype typing, caret rules, padding and validation,
// format switching, the popup menu and the locked state.

#include "fields/dateedit.h"
#include "platform/dates.h"
#include "platform/locale.h"
#include "platform/scriptedprompter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "tests/fields/printers.h"

#include <gtest/gtest.h>

using namespace mk;

namespace {

// A window with the date field and a second control to leave it for.
struct DateForm
{
    QWidget window;
    TDateEdit* edit;
    QLineEdit* other;

    explicit DateForm(const QString& format = QStringLiteral("mm/dd/yyyy"))
    {
        auto* layout = new QVBoxLayout(&window);
        edit = new TDateEdit(&window);
        other = new QLineEdit(&window);
        layout->addWidget(edit);
        layout->addWidget(other);
        edit->setDateFormat(format);
        window.show();
        window.activateWindow();
        edit->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }

    void leave()
    {
        other->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }
};

} // namespace

TEST(DateEdit, TypingFillsTheMaskAndSkipsSeparators)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    DateForm form;
    EXPECT_EQ(form.edit->text(), "__/__/____");
    const int expectedCarets[] = {1, 3, 4, 6, 7, 8, 9, 10};
    const char* digits = "12311999";
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(form.edit, digits[i]);
        EXPECT_EQ(form.edit->caret(), expectedCarets[i]) << "after digit " << i;
        EXPECT_EQ(form.edit->cursorPosition(), expectedCarets[i]);
    }
    EXPECT_EQ(form.edit->text(), "12/31/1999");
    // Typing beyond the last position changes nothing.
    QTest::keyClick(form.edit, '5');
    EXPECT_EQ(form.edit->text(), "12/31/1999");
    EXPECT_EQ(form.edit->caret(), 10);
    EXPECT_EQ(dateFromValue(form.edit->dateValue()), QDate(1999, 12, 31));
    EXPECT_TRUE(form.edit->undoAction()->isEnabled());
    EXPECT_EQ(prompter.beepCount(), 0);
}

TEST(DateEdit, OnlyDigitsPassAndOthersBeep)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    DateForm form;
    QTest::keyClicks(form.edit, "a-/ ");
    EXPECT_EQ(form.edit->text(), "__/__/____");
    EXPECT_EQ(prompter.beepCount(), 4);
    // Delete and paste cannot break the mask either.
    QApplication::clipboard()->setText(QStringLiteral("hello"));
    QTest::keyClick(form.edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(form.edit, Qt::Key_Delete);
    EXPECT_EQ(form.edit->text(), "__/__/____");
}

TEST(DateEdit, BackspaceAndCaretKeysMoveOverSeparators)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    DateForm form;
    QTest::keyClicks(form.edit, "123");
    EXPECT_EQ(form.edit->text(), "12/3_/____");
    QTest::keyClick(form.edit, Qt::Key_Backspace);
    EXPECT_EQ(form.edit->caret(), 3);
    // Right after the separator: moves over it and clears the digit before it.
    QTest::keyClick(form.edit, Qt::Key_Backspace);
    EXPECT_EQ(form.edit->text(), "1_/__/____");
    EXPECT_EQ(form.edit->caret(), 1);

    QTest::keyClick(form.edit, Qt::Key_End);
    EXPECT_EQ(form.edit->caret(), 10);
    QTest::keyClick(form.edit, Qt::Key_Home);
    EXPECT_EQ(form.edit->caret(), 0);
    QTest::keyClick(form.edit, Qt::Key_Right);
    EXPECT_EQ(form.edit->caret(), 1);
    QTest::keyClick(form.edit, Qt::Key_Right);
    EXPECT_EQ(form.edit->caret(), 3);
    QTest::keyClick(form.edit, Qt::Key_Left);
    EXPECT_EQ(form.edit->caret(), 1);
    QTest::keyClick(form.edit, Qt::Key_Left);
    QTest::keyClick(form.edit, Qt::Key_Left);
    EXPECT_EQ(form.edit->caret(), 0);
    // Backspace at the start changes nothing.
    QTest::keyClick(form.edit, Qt::Key_Backspace);
    EXPECT_EQ(form.edit->text(), "1_/__/____");
}

TEST(DateEdit, MouseClickPlacesTheCaretNeverOverASeparator)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    DateForm form;
    form.edit->setDate(QStringLiteral("12/31/1999"));
    // Click just right of the first separator: the caret goes in front of it,
    // and a digit typed there lands behind the separator.
    const int y = form.edit->height() / 2;
    int x = 0;
    while (x < form.edit->width() && form.edit->cursorPositionAt(QPoint(x, y)) < 3)
        ++x;
    ASSERT_EQ(form.edit->cursorPositionAt(QPoint(x, y)), 3);
    QTest::mouseClick(form.edit, Qt::LeftButton, {}, QPoint(x, y));
    EXPECT_EQ(form.edit->caret(), 2);
    QTest::keyClick(form.edit, '4');
    EXPECT_EQ(form.edit->text(), "12/41/1999");
    EXPECT_EQ(form.edit->caret(), 4);
}

TEST(DateEdit, LeavingPadsOrRefusesTheMask)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    {
        DateForm form;
        form.edit->setDate(QStringLiteral("1_/05/1999"));
        form.edit->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        form.leave();
        ASSERT_EQ(prompter.messages().size(), 1);
        EXPECT_EQ(prompter.messages().at(0).text, "Invalid Date!");
        EXPECT_EQ(prompter.messages().at(0).type, MessageType::Error);
        EXPECT_EQ(form.edit->text(), "1_/05/1999");
        EXPECT_TRUE(form.edit->hasFocus()) << "the focus goes back into the field";
    }
    prompter.clear();
    {
        DateForm form;
        form.edit->setDate(QStringLiteral("_1/_5/1999"));
        form.edit->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        form.leave();
        EXPECT_TRUE(prompter.messages().isEmpty());
        EXPECT_EQ(form.edit->text(), "01/05/1999");
        EXPECT_EQ(dateFromValue(form.edit->dateValue()), QDate(1999, 1, 5));
        EXPECT_TRUE(form.other->hasFocus());
    }
    {
        DateForm form;
        QTest::keyClicks(form.edit, "1331");
        form.leave();
        EXPECT_EQ(prompter.lastMessageText(), "Invalid Date!") << "month 13";
    }
}

TEST(DateEdit, GetAndSetDate)
{
    DateForm form;
    EXPECT_TRUE(form.edit->isEmpty());
    EXPECT_EQ(form.edit->dateValue(), 0);
    form.edit->setDateValue(toDateValue(QDate(2001, 2, 3)));
    EXPECT_EQ(form.edit->text(), "02/03/2001");
    EXPECT_FALSE(form.edit->isEmpty());
    form.edit->setDateValue(0);
    EXPECT_TRUE(form.edit->isEmpty());
    // A text that does not fit the mask is refused; the old mask stays.
    form.edit->setDate(QStringLiteral("12/31/1999"));
    form.edit->setDate(QStringLiteral("1999-12-31x"));
    EXPECT_EQ(form.edit->Date(), "12/31/1999");
    form.edit->setDate(QString());
    EXPECT_EQ(form.edit->Date(), "__/__/____");
    // A mask that does not read as a date gives today.
    form.edit->setDate(QStringLiteral("13/45/1999"));
    EXPECT_EQ(form.edit->dateValue(), todayValue());
}

TEST(DateEdit, SwitchingFormatsKeepsTheDate)
{
    DateForm form;
    form.edit->setDate(QStringLiteral("02/03/2001"));
    form.edit->setDateFormat(QStringLiteral("yyyy/mm/dd"));
    EXPECT_EQ(form.edit->text(), "2001/02/03");
    form.edit->setDateFormat(QStringLiteral("yyyy"));
    EXPECT_EQ(form.edit->text(), "2001");
    EXPECT_EQ(form.edit->maskLength(), 4);
    form.edit->setDateFormat(QStringLiteral("mm/dd/yyyy"));
    EXPECT_EQ(form.edit->text(), "01/01/2001");
    form.edit->setDateFormat(QStringLiteral("dd/mm/yy"));
    EXPECT_EQ(form.edit->text(), "01/01/01");
    // A mask that does not parse counts as empty.
    form.edit->setDateFormat(QStringLiteral("mm/dd/yyyy"));
    form.edit->setDate(QStringLiteral("1_/__/____"));
    form.edit->setDateFormat(QStringLiteral("yyyy/mm/dd"));
    EXPECT_EQ(form.edit->text(), "____/__/__");
}

TEST(DateEdit, FormatsAreNormalised)
{
    const std::pair<const char*, const char*> cases[] = {
            {"m/d/yyyy", "mm/dd/yyyy"},   {"M/d/yy", "mm/dd/yy"},     {"dd.MM.yyyy", "dd/mm/yyyy"},
            {"yyyy-mm-dd", "yyyy/mm/dd"}, {"d/m/yyyy", "dd/mm/yyyy"}, {"mm/dd/yyyy hh", "mm/dd/yyyy"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(fields::normaliseDateFormat(QString::fromLatin1(in)), QString::fromLatin1(out)) << in;

    // The system short date format decides the start format; odd shapes fall back.
    Locale german = Locale::english();
    german.dateSeparator = QLatin1Char('.');
    german.shortDateFormat = QStringLiteral("dd/mm/yyyy");
    {
        ScopedLocale use(german);
        TDateEdit edit;
        EXPECT_EQ(edit.DateFormat(), "dd/mm/yyyy");
        EXPECT_EQ(edit.text(), "__.__.____") << "separators show as the system date separator";
        edit.setDateValue(toDateValue(QDate(2024, 2, 29)));
        EXPECT_EQ(edit.text(), "29.02.2024");
        EXPECT_EQ(dateFromValue(edit.dateValue()), QDate(2024, 2, 29));
    }
    Locale odd = Locale::english();
    odd.shortDateFormat = QStringLiteral("d mmmm yyyy");
    ScopedLocale use(odd);
    TDateEdit edit;
    EXPECT_EQ(edit.DateFormat(), "mm/dd/yyyy");
}

TEST(DateEdit, PopupMenuItems)
{
    DateForm form;
    QStringList texts;
    for (QAction* a : form.edit->menu()->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts.join('|'), "&Undo|&Today|&Clear|-|&Font...|C&olor...|&Date Format|-|&Help");
    EXPECT_FALSE(form.edit->undoAction()->isEnabled());

    form.edit->todayAction()->trigger();
    EXPECT_EQ(form.edit->dateValue(), todayValue());
    const QString todayText = form.edit->text();
    form.edit->clearAction()->trigger();
    EXPECT_TRUE(form.edit->isEmpty());
    EXPECT_TRUE(form.edit->undoAction()->isEnabled());
    form.edit->undoAction()->trigger();
    EXPECT_EQ(form.edit->text(), todayText);

    QAction* reported = nullptr;
    QObject::connect(form.edit, &TDateEdit::OnSetFormat, [&](QAction* item) { reported = item; });
    form.edit->setDate(QStringLiteral("02/03/2001"));
    form.edit->formatAction(2)->trigger();
    ASSERT_EQ(reported, form.edit->formatAction(2));
    EXPECT_EQ(reported->data().toInt(), 2);
    EXPECT_EQ(form.edit->text(), "2001/02/03");
    form.edit->updateFormatChecks();
    EXPECT_TRUE(form.edit->formatAction(2)->isChecked());
    EXPECT_FALSE(form.edit->formatAction(0)->isChecked());
    form.edit->setDateFormat(QStringLiteral("dd/mm/yy"));
    form.edit->updateFormatChecks();
    EXPECT_TRUE(form.edit->formatAction(1)->isChecked());

    int fontRequests = 0;
    QObject::connect(form.edit, &TDateEdit::OnSetFont, [&](QMenu* m) { fontRequests += m == form.edit->menu(); });
    form.edit->menu()->actions().at(4)->trigger();
    EXPECT_EQ(fontRequests, 1);
    form.edit->hideFontAndColorItems();
    EXPECT_FALSE(form.edit->menu()->actions().at(4)->isVisible());
    EXPECT_FALSE(form.edit->menu()->actions().at(5)->isVisible());
}

TEST(DateEdit, LockedFieldIgnoresTypingButCopies)
{
    ScriptedPrompter prompter;
    ScopedPrompter use(prompter);
    DateForm form;
    form.edit->setDate(QStringLiteral("12/31/1999"));
    form.edit->setEnabled(false);
    EXPECT_TRUE(form.edit->isEnabled()) << "a date field stays enabled";
    EXPECT_TRUE(form.edit->isLocked());
    form.edit->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QTest::keyClicks(form.edit, "0101");
    QTest::keyClick(form.edit, Qt::Key_Backspace);
    EXPECT_EQ(form.edit->text(), "12/31/1999");
    EXPECT_EQ(prompter.beepCount(), 0);
    form.edit->selectAll();
    QApplication::clipboard()->clear();
    QTest::keyClick(form.edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "12/31/1999");

    // Enabling again unlocks it.
    form.edit->setEnabled(true);
    EXPECT_FALSE(form.edit->isLocked());
    form.edit->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.edit, '0');
    EXPECT_EQ(form.edit->text(), "02/31/1999");
}
