#include "station/telemetry.h"

#include "core/numbers.h"

namespace station {

Reading computeReading(const RawValues& raw, const core::Conversion& c)
{
    Reading r;
    r.value[core::kVolts] = core::voltsFrom(raw.v, c);
    r.value[core::kAmps] = core::ampsFrom(raw.i, c);
    r.value[core::kRpm] = core::rpmFrom(raw.r, c);
    r.value[core::kWind] = core::windFrom(raw.s, c);
    // Two huge but finite values can multiply past the double's range.
    r.value[core::kWatts] = core::finiteOrZero(core::roundTo(r[core::kAmps] * r[core::kVolts], 2));
    r.mode = raw.mode;
    return r;
}

void raisePeaks(IntervalPeaks& peaks, const Reading& r)
{
    for (const core::Quantity q : core::kLogged) {
        if (r[q] > peaks[q])
            peaks.peak[q] = r[q];
    }
}

} // namespace station
