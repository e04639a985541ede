// The calendar popup of the date field: keys, month lengths, years with
// 29 February, mouse tracking, placement and its two buttons.

#include "fields/calpop.h"
#include "fields/dateedit.h"
#include "fields/editbutton.h"
#include "fields/fieldsupport.h"
#include "platform/dates.h"
#include "tests/fields/printers.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace mk;

namespace {

struct Calendar
{
    TDateEdit edit;
    std::unique_ptr<TfrmCalPop> pop;

    explicit Calendar(const QDate& start)
    {
        edit.setDateFormat(QStringLiteral("mm/dd/yyyy"));
        if (start.isValid())
            edit.setDateValue(toDateValue(start));
        edit.show();
        pop = std::make_unique<TfrmCalPop>(&edit);
        pop->show();
        QApplication::processEvents();
    }
};

void whileCalendarOpen(std::function<void(TfrmCalPop*)> act)
{
    QTimer::singleShot(0, [act] {
        auto* pop = qobject_cast<TfrmCalPop*>(QApplication::activeModalWidget());
        ASSERT_NE(pop, nullptr);
        act(pop);
    });
}

} // namespace

TEST(Calendar, KeysMoveTheSelection)
{
    struct Case
    {
        QDate start;
        Qt::Key key;
        QDate expected;
    };
    const Case cases[] = {
            {QDate(2000, 3, 15), Qt::Key_Home, QDate(2001, 3, 15)},
            {QDate(2000, 3, 15), Qt::Key_End, QDate(1999, 3, 15)},
            {QDate(2000, 1, 15), Qt::Key_Home, QDate(2001, 1, 15)},
            {QDate(2000, 2, 29), Qt::Key_Home, QDate(2001, 2, 28)},
            {QDate(2000, 2, 29), Qt::Key_End, QDate(1999, 3, 1)},
            {QDate(2000, 2, 28), Qt::Key_Home, QDate(2001, 2, 28)},
            {QDate(2001, 2, 28), Qt::Key_End, QDate(2000, 2, 28)},
            {QDate(2001, 6, 1), Qt::Key_Home, QDate(2002, 6, 1)},
            {QDate(2001, 1, 31), Qt::Key_PageDown, QDate(2001, 3, 3)},
            {QDate(2000, 1, 31), Qt::Key_PageDown, QDate(2000, 3, 2)},
            {QDate(2001, 3, 31), Qt::Key_PageUp, QDate(2001, 3, 3)},
            {QDate(2001, 3, 15), Qt::Key_PageUp, QDate(2001, 2, 15)},
            {QDate(2001, 3, 15), Qt::Key_Left, QDate(2001, 3, 14)},
            {QDate(2001, 3, 31), Qt::Key_Right, QDate(2001, 4, 1)},
            {QDate(2001, 3, 15), Qt::Key_Up, QDate(2001, 3, 8)},
            {QDate(2001, 3, 29), Qt::Key_Down, QDate(2001, 4, 5)},
    };
    for (const Case& c : cases) {
        Calendar cal(c.start);
        EXPECT_EQ(cal.pop->selectedDate(), c.start);
        QTest::keyClick(cal.pop.get(), c.key);
        EXPECT_EQ(cal.pop->selectedDate(), c.expected)
                << c.start.toString(Qt::ISODate).toStdString() << " key " << c.key;
        EXPECT_EQ(cal.edit.dateValue(), toDateValue(c.start)) << "moving does not write into the field";
    }
}

TEST(Calendar, CellsOfTheMonth)
{
    // 1 March 2000 was a Wednesday: cell 4.
    Calendar cal(QDate(2000, 3, 15));
    EXPECT_EQ(cal.pop->dayInCell(3), 0);
    EXPECT_EQ(cal.pop->dayInCell(4), 1);
    EXPECT_EQ(cal.pop->dayInCell(34), 31);
    EXPECT_EQ(cal.pop->dayInCell(35), 0);
    EXPECT_EQ(cal.pop->selectedCell(), 18);
    QTest::keyClick(cal.pop.get(), Qt::Key_Right);
    EXPECT_EQ(cal.pop->previousCell(), 18);
    EXPECT_EQ(cal.pop->selectedCell(), 19);
    // Layout: 21 cell units plus 8 wide, 8 rows plus 28 high.
    EXPECT_EQ(cal.pop->width(), 21 * cal.pop->cellUnit() + 8);
    EXPECT_EQ(cal.pop->height(), 8 * cal.pop->rowHeight() + 28);
    auto* today = cal.pop->findChild<QPushButton*>(QStringLiteral("TodayBtn"));
    auto* cancel = cal.pop->findChild<QPushButton*>(QStringLiteral("CancelBtn"));
    ASSERT_TRUE(today && cancel);
    EXPECT_EQ(today->size(), QSize(30, 24));
    EXPECT_EQ(today->geometry().right() + 1, cal.pop->width() / 2 - 4);
    EXPECT_EQ(cancel->x(), cal.pop->width() / 2 + 4);
    EXPECT_EQ(cancel->geometry().bottom() + 1, cal.pop->height() - 4);
    EXPECT_EQ(today->toolTip(), "Set Today Date");
    EXPECT_EQ(cancel->toolTip(), "Close Calendar Without Updating Date Field.");
    EXPECT_EQ(cal.pop->toolTip(), "Click on a Day to update Date Field");
    EXPECT_EQ(today->focusPolicy(), Qt::NoFocus);
}

TEST(Calendar, MouseSelectsTracksAndChooses)
{
    Calendar cal(QDate(2000, 3, 15));
    // A press on an empty cell does nothing.
    QTest::mousePress(cal.pop.get(), Qt::LeftButton, {}, cal.pop->cellRect(1).center());
    EXPECT_EQ(cal.pop->selectedDate(), QDate(2000, 3, 15));
    QTest::mouseRelease(cal.pop.get(), Qt::LeftButton, {}, cal.pop->cellRect(1).center());
    EXPECT_TRUE(cal.pop->isVisible());
    // The arrow boxes page through the months.
    QTest::mouseClick(cal.pop.get(), Qt::LeftButton, {}, cal.pop->rightArrowRect().center());
    EXPECT_EQ(cal.pop->selectedDate(), QDate(2000, 4, 15));
    QTest::mouseClick(cal.pop.get(), Qt::LeftButton, {}, cal.pop->leftArrowRect().center());
    EXPECT_EQ(cal.pop->selectedDate(), QDate(2000, 3, 15));
    // Press on the 1st, drag to the 9th, release: chosen and closed with OK.
    QTest::mousePress(cal.pop.get(), Qt::LeftButton, {}, cal.pop->cellRect(4).center());
    EXPECT_EQ(cal.pop->selectedDate(), QDate(2000, 3, 1));
    QMouseEvent move(QEvent::MouseMove, cal.pop->cellRect(12).center(),
                     cal.pop->mapToGlobal(cal.pop->cellRect(12).center()), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(cal.pop.get(), &move);
    EXPECT_EQ(cal.pop->selectedDate(), QDate(2000, 3, 9));
    QTest::mouseRelease(cal.pop.get(), Qt::LeftButton, {}, cal.pop->cellRect(12).center());
    EXPECT_EQ(cal.pop->result(), TfrmCalPop::OkResult);
    EXPECT_EQ(cal.edit.Date(), "03/09/2000");
}

TEST(Calendar, EnterChoosesEscCancels)
{
    {
        Calendar cal(QDate(2000, 3, 15));
        QTest::keyClick(cal.pop.get(), Qt::Key_Right);
        QTest::keyClick(cal.pop.get(), Qt::Key_Escape);
        EXPECT_EQ(cal.pop->result(), TfrmCalPop::CancelResult);
        EXPECT_EQ(cal.edit.Date(), "03/15/2000");
    }
    {
        Calendar cal(QDate(2000, 3, 15));
        QTest::keyClick(cal.pop.get(), Qt::Key_Right);
        QTest::keyClick(cal.pop.get(), Qt::Key_Return);
        EXPECT_EQ(cal.pop->result(), TfrmCalPop::OkResult);
        EXPECT_EQ(cal.edit.Date(), "03/16/2000");
    }
    // An empty field starts the calendar at today.
    Calendar cal{QDate()};
    EXPECT_EQ(cal.pop->selectedDate(), QDate::currentDate());
}

TEST(Calendar, PlacementKeepsThePopupOnTheScreen)
{
    const QSize popup(200, 150);
    const QRect screen(0, 0, 1000, 800);
    // Below the bottom-left corner.
    EXPECT_EQ(fields::popupPosition(QRect(100, 100, 120, 22), popup, screen), QPoint(101, 123));
    // Moved left to fit.
    EXPECT_EQ(fields::popupPosition(QRect(900, 100, 120, 22), popup, screen), QPoint(1000 - 200 - 1, 123));
    // Above the control when it does not fit below.
    EXPECT_EQ(fields::popupPosition(QRect(100, 700, 120, 22), popup, screen), QPoint(101, 550));
}

TEST(Calendar, ButtonOfTheDateField)
{
    TDateEdit edit;
    edit.setDateFormat(QStringLiteral("mm/dd/yyyy"));
    edit.setDate(QStringLiteral("_3/_5/2000"));
    edit.show();
    // The calendar opens on the padded mask; TodayBtn sets today.
    QDate shownDate;
    whileCalendarOpen([&](TfrmCalPop* pop) {
        shownDate = pop->selectedDate();
        pop->findChild<QPushButton*>(QStringLiteral("TodayBtn"))->click();
    });
    EXPECT_EQ(edit.showCalendar(), TfrmCalPop::TodayResult);
    EXPECT_EQ(shownDate, QDate(2000, 3, 5));
    EXPECT_EQ(edit.dateValue(), todayValue());
    EXPECT_EQ(edit.caret(), 0);

    // CancelBtn leaves the field as it was.
    edit.setDate(QStringLiteral("03/05/2000"));
    whileCalendarOpen([](TfrmCalPop* pop) { pop->findChild<QPushButton*>(QStringLiteral("CancelBtn"))->click(); });
    EXPECT_EQ(edit.showCalendar(), TfrmCalPop::CancelResult);
    EXPECT_EQ(edit.Date(), "03/05/2000");

    // A locked field still opens the calendar, but its choice is not written.
    edit.setEnabled(false);
    ASSERT_TRUE(edit.isLocked());
    bool opened = false;
    whileCalendarOpen([&](TfrmCalPop* pop) {
        opened = true;
        QTest::keyClick(pop, Qt::Key_Home);
        QTest::keyClick(pop, Qt::Key_Return);
    });
    QTest::mouseClick(edit.button(), Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_EQ(edit.Date(), "03/05/2000");
    whileCalendarOpen([](TfrmCalPop* pop) { pop->findChild<QPushButton*>(QStringLiteral("TodayBtn"))->click(); });
    edit.showCalendar();
    EXPECT_EQ(edit.Date(), "03/05/2000");
}
