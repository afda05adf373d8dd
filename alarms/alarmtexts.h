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

// How long a clear stays on the desktop: it tells of something over, and needs no answer.
inline constexpr int kClearShownMs = 10000;

// A desktop notification's texts, urgency and how long it stays.
struct Notification
{
    QString summary; // "Battery low: 11.62 V", "Battery low cleared: 12.2 V"
    QString body;    // "since 14:05:07" and what the level is
    bool critical = false;
    int timeoutMs = -1; // -1: as the notification service decides (critical ones stay)

    bool operator==(const Notification&) const = default;
};
// A raise is critical for the kinds that are (facts().critical) and stays as the service decides;
// a clear is of normal urgency and goes after kClearShownMs.
Notification notificationFor(Kind kind, bool raised, double value, const AlarmSettings& s,
                             const QString& wsUnits, const QDateTime& at,
                             const QLocale& locale = QLocale());

// The notification "Test notification" sends.
Notification testNotification();

// What is known of the desktop's notification service.
struct NotifierStatus
{
    enum class State
    {
        Asking,    // not answered yet
        Available, // server says who answered: "dunst 1.9.0"
        NoBus,     // no session bus; detail holds the bus library's words
        NoService, // nothing on the bus owns the service, or it could not be started
        Failed,    // another answer; detail holds the bus's words
    };
    State state = State::Asking;
    QString server;
    QString detail;

    bool operator==(const NotifierStatus&) const = default;
};

// The Alarms window's line for it, as an owner reads it: "Desktop notifications: dunst 1.9.0",
// "No notification service is running on this desktop; alarms still show here and in
// logs/alarms.txt" and the like; empty while Asking.
QString notifierStatusText(const NotifierStatus& status);

} // namespace alarms
