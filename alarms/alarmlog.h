#pragma once

#include "alarms/alarmconfig.h"
#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <vector>

namespace alarms {

// "logs/alarms.txt".
QString alarmLogPath(const core::AppDir& app);

// One change as its line: "<A>BattLow</A><S>on</S><D>2024_3_7</D><T>14:05:07</T>
// <VAL>11.62</VAL>" and CR LF (all on one line): the kind, on or off, the date as the daily
// log's file name, the time with seconds and the value as number text (NoData: the seconds
// without data).
QByteArray alarmLogLine(Kind kind, bool raised, double value, const QDateTime& at,
                        const QLocale& locale = QLocale());

// The same line as a write for whoever appends the program's records (whole, synced).
logging::FileWrite alarmLogWrite(const core::AppDir& app, Kind kind, bool raised, double value,
                                 const QDateTime& at, const QLocale& locale = QLocale());

// One alarm's latest line in the log.
struct LoggedState
{
    Kind kind = Kind::BattLow;
    bool raised = false;
    double value = 0;
    QDateTime at; // local time, as written

    bool operator==(const LoggedState&) const = default;
};

// The latest line of each kind in a log's text, in the order of kKinds. A line that does not
// read whole (a kind not known here, a state other than on or off, no date, time or value) is
// passed over. Values read with a point, or as the locale writes them.
std::vector<LoggedState> lastLoggedStates(QByteArrayView text, const QLocale& locale = QLocale());

// Every line of a log's text that reads whole, in order (the daily report's alarms of a day).
std::vector<LoggedState> loggedStates(QByteArrayView text, const QLocale& locale = QLocale());

// How much of the log's end is read for them: thousands of lines, so only an alarm that has not
// changed in a long time is missed, and a log of years is not read whole at each start.
inline constexpr qint64 kLogTailBytes = 256 * 1024;

// The same from the last kLogTailBytes of logs/alarms.txt and then waiting, the lines still to be
// appended to it; from waiting alone when the file is missing or unreadable.
std::vector<LoggedState> readLastLoggedStates(const core::AppDir& app,
                                              const QByteArray& waiting = {});

// Appends the line now, all or nothing, synced; makes the "logs" folder when it is missing.
// False with the reason in error.
bool appendAlarmLog(const core::AppDir& app, Kind kind, bool raised, double value,
                    const QDateTime& at, QString* error = nullptr);

} // namespace alarms
