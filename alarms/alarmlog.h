#pragma once

#include "alarms/alarmconfig.h"
#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

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

// Appends the line now, all or nothing, synced; makes the "logs" folder when it is missing.
// False with the reason in error.
bool appendAlarmLog(const core::AppDir& app, Kind kind, bool raised, double value,
                    const QDateTime& at, QString* error = nullptr);

} // namespace alarms
