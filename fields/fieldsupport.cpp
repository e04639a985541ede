#include "fields/fieldsupport.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace mk::fields {

QPoint popupPosition(const QRect& anchor, const QSize& popup, const QRect& screen)
{
    int left = anchor.left() + 1;
    if (left + popup.width() > screen.right() + 1)
        left = screen.right() + 1 - popup.width() - 1;
    int top = anchor.bottom() + 1 + 1;
    if (top + popup.height() > screen.bottom() + 1)
        top = anchor.top() - popup.height();
    return QPoint(left, top);
}

QRect globalRect(const QWidget* w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

QRect screenGeometryOf(const QWidget* w)
{
    QScreen* screen = w ? w->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

bool isLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(int year, int month)
{
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

} // namespace mk::fields
