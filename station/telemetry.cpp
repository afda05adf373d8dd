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

QString titleText(const Reading& r, const QLocale& locale)
{
    QString title = QStringLiteral("Logger");
    for (const core::Quantity q : core::kAllQuantities) {
        if (const char* unit = core::facts(q).titleUnit)
            title += QStringLiteral("  ") + core::numberText(r[q], locale) + QLatin1String(unit);
    }
    return title + QLatin1Char(' ');
}

QString modeText(std::int16_t mode)
{
    return mode == 1 ? QStringLiteral("On Load") : QString();
}

std::vector<std::pair<int, double>> holderValues(const Reading& r, double wattHours,
                                                 bool compactPanel)
{
    core::QuantityValues values = r.value;
    values[core::kWattHours] = wattHours;
    std::vector<std::pair<int, double>> out;
    for (const core::Quantity q : core::kAllQuantities)
        out.emplace_back(int(q), values[q]);
    if (compactPanel) {
        for (const core::Quantity q : core::kAllQuantities)
            out.emplace_back(core::facts(q).panelHolder, values[q]);
    }
    return out;
}

} // namespace station
