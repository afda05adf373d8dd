#pragma once

#include "rawframe.h"

#include "conversion.h"
#include "logrecord.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace monitor {

// The current decoded sample: volts, amps, watts to 2 decimals, RPM and wind to 1.
struct Reading
{
    double volts = 0, amps = 0, watts = 0, rpm = 0, windSpeed = 0;
    std::int16_t mode = 0;
};

using logging::IntervalPeaks;

// The raw values of one frame; a missing, empty or non-numeric tag gives 0.
struct RawValues
{
    double v = 0, i = 0, r = 0, s = 0;
    std::int16_t mode = 0;
};

// Both windows with a serial port take frames from their receive buffers by the same rule.
using calibration::kReceiveBufferLimit;
using calibration::takeFrame;

RawValues decodeFrame(QStringView frame);
Reading computeReading(const RawValues& raw, const calibration::Conversion& c);

// Raises each peak the reading strictly exceeds.
void raisePeaks(IntervalPeaks& peaks, const Reading& r);

// "Logger  12.8 V  9 A  115.2 W  300 RPM  5 WIND "
QString titleText(const Reading& r, const QLocale& locale = QLocale());
// "On Load" for mode 1, otherwise empty.
QString modeText(std::int16_t mode);

// One 5-second watt-hour tick: the total restarts in the first 10 seconds of a day, or at the
// first tick of a new day when no tick fell in those seconds (lastTick is the previous tick's
// date, invalid before the first), then grows by watts / 720.
double wattHourTick(double total, double watts, const QDateTime& now, QDate lastTick);

// The meter holders in the order they are assigned: index and value.
using HolderValues = std::array<std::pair<int, double>, 12>;
HolderValues holderValues(const Reading& r, double wattHours);

} // namespace monitor
