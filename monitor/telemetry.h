#pragma once

#include "calibration/conversion.h"
#include "core/quantities.h"
#include "logging/logrecord.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace monitor {

// The current decoded sample: volts, amps and watts to 2 decimals, RPM and wind speed to 1. The
// watt-hour total is the window's own, so its place here stays 0.
struct Reading
{
    core::QuantityValues value{};
    std::int16_t mode = 0;

    double operator[](core::Quantity q) const { return value[q]; }
};

using logging::IntervalPeaks;

// The raw values of one frame; a missing, empty or non-numeric tag gives 0.
struct RawValues
{
    double v = 0, i = 0, r = 0, s = 0;
    std::int16_t mode = 0;
};

RawValues decodeFrame(QStringView frame);
Reading computeReading(const RawValues& raw, const calibration::Conversion& c);

// Raises each logged quantity's peak that the reading strictly exceeds.
void raisePeaks(IntervalPeaks& peaks, const Reading& r);

// "Logger  12.8 V  9 A  115.2 W  300 RPM  5 WIND "
QString titleText(const Reading& r, const QLocale& locale = QLocale());
// "On Load" for mode 1, otherwise empty.
QString modeText(std::int16_t mode);

// One 5-second watt-hour tick: the total restarts in the first 10 seconds of a day, or at the
// first tick of a new day when no tick fell in those seconds (lastTick is the previous tick's
// date, invalid before the first), then grows by watts / 720.
double wattHourTick(double total, double watts, const QDateTime& now, QDate lastTick);

// The meter holders in the order they are assigned, index and value: each quantity's meter
// (holders 0 to 5), then, with the compact panel, each quantity's panel holder.
std::vector<std::pair<int, double>> holderValues(const Reading& r, double wattHours,
                                                 bool compactPanel);

} // namespace monitor
