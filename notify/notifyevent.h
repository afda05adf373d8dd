#pragma once

#include "alarms/alarmconfig.h"
#include "notify/notifyconfig.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <map>
#include <vector>

namespace notify {

// One thing to tell the owner: an alarm raised or cleared (as logs/alarms.txt has it), a test or
// the daily report. Its time keeps the offset from UTC it happened at.
struct Event
{
    qint64 seq = 0;        // its number in the queue, from 1; 0 for a test, which is not queued
    QString kind;          // "BattLow" and the other alarms' keys, "Test", "Report"
    QString state;         // "on", "off", "test", "report"
    double value = 0;      // the value that raised or cleared it (NoData: the seconds without data)
    QString unit;          // "V", "A", "RPM", the wind's unit, "s", "%"; empty for a test or report
    double level = 0;      // the alarm's level
    QDateTime time;        // when it happened
    QString plant;         // the plant's name, as publish.cfg gives it
    QString title;         // "Battery low: 11.62 V", one line that reads on a lock screen
    QString text;          // what more there is to say, lines joined by LF
    std::vector<Way> ways; // the ways that were on when it was queued

    bool operator==(const Event&) const = default;
};

// An alarm's change as an event: the title and text of the desktop's notification, the value,
// its unit and the level, the time it happened.
Event alarmEvent(alarms::Kind kind, bool raised, double value, const alarms::AlarmSettings& s,
                 const QString& wsUnits, const QDateTime& at, const QString& plant);

// What "Send a test" sends.
Event testEvent(const QDateTime& at, const QString& plant);

// "2024-03-07T14:05:07+01:00": the time with its offset from UTC.
QString isoTime(const QDateTime& at);

// More events than one message may carry at once folded into one: the first one's title and
// " and N more", and a line for each, in order ("14:05:07 Battery low: 11.62 V").
Event foldedEvent(const std::vector<Event>& events);

// The webhook's body: one JSON object with kind, state, value, unit, level, time, plant, text
// and title; a folded one adds "more" (how many beside the first) and "events" (each one).
QByteArray hookBody(const Event& event, const std::vector<Event>& folded = {});

// The queue file: "notify-queue.txt" in the application folder, readable by its owner alone.
// Each event is one line, appended whole and synced as the records are; a way that has taken
// the events up to a number appends a line saying so. A restart reads both and goes on where
// each way stood.
QString queuePath(const core::AppDir& app);

// An event's line, CR LF ended: "<N>3</N><W>push mail</W><K>BattLow</K><S>on</S>
// <VAL>11.62</VAL><U>V</U><L>11.8</L><T>2024-03-07T14:05:07+01:00</T><P>shed</P>
// <TI>Battery low: 11.62 V</TI><X>Raised at 14:05:07...</X>" on one line, the texts with & < >
// and line breaks written as entities.
QByteArray queueLine(const Event& event);
// A way's progress: "<D>push</D><N>3</N>" and CR LF: it has taken every event up to 3.
QByteArray doneLine(Way way, qint64 seq);

// The daily report of a day is queued: "<R>2024-03-07</R>" and CR LF.
QByteArray reportLine(const QDate& day);

// What a queue file holds: its events in order, and each way's last number taken.
struct QueueState
{
    std::vector<Event> events;
    std::map<Way, qint64> done;
    qint64 lastSeq = 0;
    QDate lastReport; // the day the last daily report was about
};
// Lines that do not read whole (a number missing, a time that is none, a line cut short without
// its line end, an event whose number does not follow the last) are passed over.
QueueState readQueue(QByteArrayView text);

} // namespace notify
