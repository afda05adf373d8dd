#pragma once

#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <map>
#include <optional>

namespace season {

// "logs/completeness.txt": how much of each clock hour the plant saw. One line per hour in
// which a fresh frame came or a record was written, appended when the hour ends and at close.
QString completenessFile(const core::AppDir& app);

// One hour (or the part of it one run of the program saw), named as the ledger names its
// hours: local date, hour and offset from UTC.
struct CompletenessLine
{
    QDate date;
    int hour = 0;
    int utcOffsetSeconds = 0;
    int freshMinutes = 0;    // minutes of the clock in which a fresh frame came
    int records = 0;         // records written
    int intervalSeconds = 0; // the logging interval in force at the hour's end
    bool operator==(const CompletenessLine&) const = default;
};

// "<D>2026_12_9</D><H>14</H><Z>+0100</Z><FM>58</FM><REC>6</REC><IV>600</IV>" CR LF.
QByteArray completenessLineFor(const CompletenessLine& line);
// The append of one line, made as the records' writes are.
logging::FileWrite completenessWrite(const core::AppDir& app, const CompletenessLine& line);

// Counts the fresh minutes and the records of the open clock hour. A frame or a record in
// another hour (a later one, or an earlier one after the clock was set back) ends the open hour,
// whose line comes back to be appended.
class CompletenessCounter
{
public:
    std::optional<CompletenessLine> freshFrame(const QDateTime& localTime);
    std::optional<CompletenessLine> record(const QDateTime& localTime);
    // The interval the records are meant to come at, in seconds (0: logging is stopped).
    void setInterval(int seconds) { m_interval = seconds; }
    // The open hour's line when now lies in another hour (a clock tick without frames).
    std::optional<CompletenessLine> flush(const QDateTime& now);
    // The hour so far, at close.
    std::optional<CompletenessLine> closeHour();

private:
    std::optional<CompletenessLine> openAt(const QDateTime& localTime);
    std::optional<CompletenessLine> m_open;
    qint64 m_lastMinute = -1; // the last minute counted, in minutes since the epoch
    int m_interval = 0;
};

// A day's or a month's share of what could have been seen: the minutes of the clock with a
// fresh frame, and the records against the intervals of the time (at the interval in force
// then, or for hours the plant did not run, the interval given). Both from 0 to 1.
struct Completeness
{
    double freshShare = 0;
    double recordShare = 0;
    int freshMinutes = 0;
    int minutes = 0; // the minutes the share is of
    int records = 0;
    double intervals = 0;
};
// Below this share a day is marked as not fully seen.
inline constexpr double kCompleteShare = 0.9;

struct CompletenessContent
{
    std::map<QDate, std::map<std::pair<int, int>, CompletenessLine>> days; // by hour and offset
    int badLines = 0;
};
// Lines split at LF (a CR before it dropped), empty lines ignored; a line without a date of the
// ledger's years, an hour 0 to 23, an offset, fresh minutes 0 to 60, records 0 to 3600 and an
// interval 0 to 86400 is skipped and counted. Lines of one hour (a restart within it) add up.
CompletenessContent parseCompleteness(QByteArrayView content);
// The file, or an empty content when there is none (badLines -1 when it cannot be read).
CompletenessContent readCompleteness(const core::AppDir& app);

// The share of a day, in the local time zone; a day still running counts up to the start of
// now's hour (the open hour is not in the file yet). A day to come, or before the file's first
// (the hours were not counted then), is nothing: no minutes, and so no share to judge.
Completeness dayCompleteness(const CompletenessContent& content, QDate day, int intervalSeconds,
                             const QDateTime& now);
// Days added together, each as dayCompleteness counts it.
Completeness rangeCompleteness(const CompletenessContent& content, QDate first, int days,
                               int intervalSeconds, const QDateTime& now);
// A share of a day or days with time in it below kCompleteShare, fresh minutes or records.
// The interval records are meant to come at when the plant does not run: prog.cfg's delay, as
// logging would correct it, or 60 s.
int programIntervalSeconds(const core::AppDir& app);
bool lessThanComplete(const Completeness& c);
// The days of a month added together, each as dayCompleteness counts it.
Completeness monthCompleteness(const CompletenessContent& content, int year, int month,
                               int intervalSeconds, const QDateTime& now);

} // namespace season
