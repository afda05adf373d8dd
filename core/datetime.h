#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

namespace core {

// Year, month and day without leading zeros, joined by "_": 7 March 2024 gives "2024_3_7".
QString datePart(QDate date);

// Two-digit hours and minutes on the 24-hour clock: "14:05", "09:30".
QString hoursMinutes(QTime time);

// The locale's long time form without its time zone: "14:05:07", or "2:05:07 PM" where the
// locale uses a 12-hour clock.
QString longTimeText(QTime time, const QLocale& locale = QLocale());

// The locale's short date form with a four-digit year ("07.03.2024" under de_DE). Where that
// form names the month in letters (as the C locale does) the numeric "3/7/2024" is used, so
// the text can stand in a file name.
QString shortDateText(QDate date, const QLocale& locale = QLocale());

// A time of day as a real number of days after midnight: 12:00 gives 0.5.
double dayFraction(QTime time);

// The start of the clock hour an instant is in, as an instant of its own: in the autumn hour that
// comes twice, 02:30 summer time and 02:30 winter time are in two hours, an hour apart.
QDateTime hourStart(const QDateTime& at);

} // namespace core
