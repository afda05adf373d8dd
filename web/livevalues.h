#pragma once

#include "core/quantities.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace web {

// The plant's state as the web view shows it: a value copied on the plant's thread whenever
// the station announces a change, and read on the server's.
struct LiveValues
{
    core::QuantityValues values{}; // the reading; its watt-hour place is ignored
    std::int16_t mode = 0;
    double wattHours = 0; // the station's total since it started
    QDateTime time;       // when the last frame was decoded; invalid before the first
    qint64 frameMs = -1;  // the same moment on the monotonic clock; -1 before the first
    QString wsUnits;
    QStringList alarms; // the keys of the alarms raised now: "BattLow"
    QStringList notify; // the ways of sending alarms that keep failing, one line each
    QString line = QStringLiteral("closed"); // "open", "lost", "retrying", "closed", "elsewhere"
    bool stale = false;
    bool logging = false;
    std::size_t writesWaiting = 0;
    quint64 frames = 0;  // frames decoded since the start
    quint64 records = 0; // records written since the start
};

// The age of the values in seconds at monotonic time nowMs; negative when there are none.
double ageSeconds(const LiveValues& live, qint64 nowMs);

// /api/now: volts, amps, watts, rpm, wind, windUnits, mode, load, wattHours, time (ISO 8601 with
// its offset; null before the first frame), ageSeconds, alarms, line, stale, logging,
// writesWaiting and notify (the ways of sending alarms that keep failing). Numbers as JSON numbers.
QByteArray nowJson(const LiveValues& live, qint64 nowMs);

// One Server-Sent Event carrying nowJson: "event: now", "data: {...}", an empty line.
QByteArray nowEvent(const LiveValues& live, qint64 nowMs);

// /metrics in Prometheus's text format 0.0.4: the prefix tessaly_, base units (volts, amperes,
// watts, joules, seconds, metres per second, revolutions per second), _total on counters and
// the version as tessaly_build_info.
QByteArray metricsText(const LiveValues& live, qint64 nowMs, const char* version);

} // namespace web
