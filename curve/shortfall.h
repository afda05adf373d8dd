#pragma once

#include "curve/powercurve.h"
#include "curve/refcurve.h"

#include <QString>
#include <deque>

namespace curve {

// What the turbine made against what the reference promises for the same one-minute winds.
struct Shortfall
{
    int minutes = 0;       // minutes compared (the battery not full)
    int heldBack = 0;      // minutes left out while the battery was full
    double promisedWh = 0; // the reference's watts at each minute's wind, for a minute each
    double measuredWh = 0; // the measured watts, for a minute each

    double shortKWh() const { return (promisedWh - measuredWh) / 1000.0; }
    // The shortfall as a share of the promise, in per cent; 0 when nothing was promised.
    double percent() const
    {
        return promisedWh > 0 ? (promisedWh - measuredWh) / promisedWh * 100.0 : 0.0;
    }
};

// Over the minutes after fromMinute (monotonic minutes, as MinuteMean counts them), the winds
// in the reference's unit.
Shortfall shortfallSince(const std::deque<MinuteMean>& minutes, const RefCurve& reference,
                         qint64 fromMinute);

// Over the minutes from fromMinute up to before toMinute (a day's, from its first minute).
Shortfall shortfallBetween(const std::deque<MinuteMean>& minutes, const RefCurve& reference,
                           qint64 fromMinute, qint64 toMinute);

// The shortfall over the last days, up to the minute nowMinute.
Shortfall shortfallOver(const std::deque<MinuteMean>& minutes, const RefCurve& reference,
                        qint64 nowMinute, int days);

// "Last 7 days: the reference promises 12.4 kWh for the winds measured, the turbine made 9.1 kWh:
// 3.3 kWh (26.6 %) short." A surplus says "more"; nothing compared says so.
QString shortfallText(const Shortfall& s, int days);
// The same for another span than the last days ("On 2024-03-06").
QString shortfallText(const Shortfall& s, const QString& span);

// "312 minutes left out while the battery was full."
QString heldBackText(int minutes);

} // namespace curve
