#include "monitor/telemetry.h"

#include "core/numbers.h"
#include "core/tags.h"

#include <cmath>

namespace monitor {

RawValues decodeFrame(QStringView frame)
{
    RawValues raw;
    raw.v = core::tagNumber(frame, u"V");
    raw.i = core::tagNumber(frame, u"I");
    raw.r = core::tagNumber(frame, u"R");
    if (const auto m = core::tagValue(frame, u"M")) {
        if (const auto value = core::numericValue(*m))
            raw.mode = core::toInt16(*value);
    }
    raw.s = core::tagNumber(frame, u"S");
    return raw;
}

Reading computeReading(const RawValues& raw, const calibration::Conversion& c)
{
    Reading r;
    r.value[core::kVolts] = calibration::voltsFrom(raw.v, c);
    r.value[core::kAmps] = calibration::ampsFrom(raw.i, c);
    r.value[core::kRpm] = calibration::rpmFrom(raw.r, c);
    r.value[core::kWind] = calibration::windFrom(raw.s, c);
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

double wattHourTick(double total, double watts, const QDateTime& now, QDate lastTick)
{
    const bool firstSeconds = now.time().msecsSinceStartOfDay() < 10000;
    const bool newDay = lastTick.isValid() && now.date() != lastTick;
    if (firstSeconds || newDay)
        total = 0.0;
    // The total stays finite whatever came in, so it goes on counting from the next frame.
    const double next = total + core::finiteOrZero(watts) / 720.0;
    return std::isfinite(next) ? next : total;
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

} // namespace monitor
