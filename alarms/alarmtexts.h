#pragma once

#include "alarms/alarmconfig.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <vector>

namespace alarms {

// An alarm that is raised: its value when it was raised and since when.
struct RaisedAlarm
{
    Kind kind;
    double value = 0;
    QDateTime since;

    bool operator==(const RaisedAlarm&) const = default;
};

// "11.62 V", "125 s", "62 km/h": the value as number text and its unit.
QString valueText(Kind kind, double value, const QString& wsUnits,
                  const QLocale& locale = QLocale());

// The main window's warning line while alarms are raised, empty when none is:
// "Alarm: Battery low 11.62 V since 14:05:07; No data 125 s since 14:07:00". A day other than
// today's is named: "since 6 Mar 23:59:10".
QString alarmLine(const std::vector<RaisedAlarm>& raised, const QString& wsUnits,
                  const QDate& today, const QLocale& locale = QLocale());

// The main window's button: "Alarms", or "Alarms (2)" while two are raised.
QString alarmsCaption(std::size_t raisedCount);

// A desktop notification's texts and urgency.
struct Notification
{
    QString summary; // "Battery low: 11.62 V", "Battery low cleared: 12.2 V"
    QString body;    // "since 14:05:07" and what the level is
    bool critical = false;

    bool operator==(const Notification&) const = default;
};
Notification notificationFor(Kind kind, bool raised, double value, const AlarmSettings& s,
                             const QString& wsUnits, const QDateTime& at,
                             const QLocale& locale = QLocale());

// The notification "Test notification" sends.
Notification testNotification();

} // namespace alarms
