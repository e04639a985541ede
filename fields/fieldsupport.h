#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Small helpers shared by the field editors and their popups.
namespace mk::fields {

// Where a popup of size popup goes for a control whose screen rectangle is
// anchor: one pixel right of and below its bottom-left corner, moved left to
// fit the screen, or above the control (its bottom touching the control's
// top) when it does not fit below.
QPoint popupPosition(const QRect& anchor, const QSize& popup, const QRect& screen);

// The screen rectangle of w.
QRect globalRect(const QWidget* w);
// The geometry of the screen that w is on (the primary screen as fallback).
QRect screenGeometryOf(const QWidget* w);

// 31, 28/29, 31, 30...: February has 29 days in years divisible by 4 and
// either not by 100 or by 400.
bool isLeapYear(int year);
int daysInMonth(int year, int month);

} // namespace mk::fields
