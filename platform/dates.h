#pragma once

// Date-time values and the date formats of date fields and filters.
//
// A date-time value is a float64 counting days since 30 December 1899; the
// fraction is the time of day (0.5 = noon). 0 is 30 Dec 1899 (and means "no
// date" in date fields), 2 is 1 January 1900. For values before the epoch
// the integer part counts the days back and the fraction is still the time
// (-1.25 is 29 Dec 1899 06:00).
//
// Date formats use the letters d, dd, m, mm, yy, yyyy (also ddd/dddd and
// mmm/mmmm for day and month names); '/' stands for the locale's date
// separator; other characters are copied.
//
// Two-digit years: a year written with one or two digits is put into the
// hundred years from 50 years before the reference year (the current year
// by default) to 49 years after it. In 2026, "76".."99" are 1976..1999 and
// "00".."75" are 2000..2075.

#include "platform/locale.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace mk {

using DateTimeValue = double;

// ---- conversions ----
DateTimeValue toDateValue(const QDate& date);          // whole days
DateTimeValue toDateTimeValue(const QDateTime& value); // local date and time, millisecond precision
QDate dateFromValue(DateTimeValue value);              // invalid QDate for NaN or out of range
QTime timeFromValue(DateTimeValue value);              // rounded to milliseconds
QDateTime dateTimeFromValue(DateTimeValue value);      // local time
DateTimeValue todayValue();
DateTimeValue nowValue();

// ---- date-field formats (codes as stored in the date-format list) ----
enum class DateFormatCode { MonthDayYear = 0, DayMonthYear = 1, YearMonthDay = 2, YearOnly = 3 };
// "mm/dd/yyyy", "dd/mm/yyyy", "yyyy/mm/dd", "yyyy"; any other code gives "mm/dd/yyyy".
QString dateFormatForCode(int code);
// The code of a format; the two-digit-year forms count as their four-digit
// counterparts; a format that is none of them gives nullopt.
std::optional<int> codeForDateFormat(const QString& format);

// The order in which day, month and year are written.
enum class DateOrder { MonthDayYear = 0, DayMonthYear = 1, YearMonthDay = 2 };
// The order of a format: the first of the letters d, m, y decides
// (d first: day/month/year; y first: year/month/day; otherwise month first).
DateOrder dateOrderOf(const QString& format);
// True for a format made of 'y' only ("yyyy").
bool isYearOnlyFormat(const QString& format);

// FilterDateFormat codes 0, 1, 2 (any other code counts as 0).
DateOrder filterDateOrder(int code);
// "mm/dd/yyyy", "dd/mm/yyyy", "yyyy/mm/dd" for the FilterDateFormat code.
QString filterDateFormat(int code);

// ---- formatting ----
QString formatDate(const QDate& date, const QString& format, QChar separator = Locale::current().dateSeparator);
// The date part of a value in the locale's short date format.
QString formatShortDate(const QDate& date, const Locale& locale = Locale::current());

// ---- parsing ----
// Reads a date written as numbers in the given order, separated by one of
// '/', '-', '.', blank or the given separator. Day and month take one or
// two digits, the year one to four (one or two digits: see the window
// above); two numbers give day and month of the reference year. Blanks
// around the text are ignored. Impossible dates (31/02) are rejected.
std::optional<QDate> parseDate(const QString& text, DateOrder order, QChar separator = Locale::current().dateSeparator,
                               int referenceYear = 0);
// Reads text written in a date-field format: a year-only format takes a
// year alone (1 January of it); every other format is read by its order.
std::optional<QDate> parseDateInFormat(const QString& text, const QString& format,
                                       QChar separator = Locale::current().dateSeparator, int referenceYear = 0);

// The year for a one- or two-digit year (0..99) around referenceYear
// (0 = the current year).
int expandTwoDigitYear(int twoDigitYear, int referenceYear = 0);

} // namespace mk
