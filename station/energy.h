#pragma once

#include "core/clock.h"

#include <QDate>
#include <QDateTime>
#include <optional>

namespace station {

// The watt-hour total, counted from measured time and fresh data only: watts x elapsed seconds
// / 3600 for the time a reading younger than the stale limit existed. A line that is lost,
// closed or handed over adds nothing, however late the timer that asks. Times are the
// monotonic clock's milliseconds.
class EnergyMeter
{
public:
    static constexpr qint64 kStaleAfterMs = core::kStaleAfterMs;

    explicit EnergyMeter(qint64 startMs)
        : m_countedTo(startMs)
    {}

    // A decoded frame at atMs. After a gap longer than the stale limit the gap counts nothing.
    void frame(qint64 atMs);
    // The line stopped giving data at atMs: the power counts up to then, and no further until
    // the next frame. Returns the watt-hours added.
    double lineDown(double watts, qint64 atMs);
    // The energy tick: restarts in the first 10 seconds of a day, then adds the watts held since
    // the last count. Returns the watt-hours added.
    double tick(double watts, const QDateTime& now, qint64 atMs);
    // Any tick (energy or logging) on a new date restarts the total first, so yesterday's never
    // reaches the new day's records. True when it restarted.
    bool newDate(const QDateTime& now);

    double total() const { return m_total; }
    void reset() { m_total = 0; }

private:
    double count(double watts, qint64 atMs);

    double m_total = 0;
    QDate m_day;
    qint64 m_countedTo;
    std::optional<qint64> m_freshSince; // the first frame of the data on hand
    qint64 m_lastFrame = 0;
};

} // namespace station
