#pragma once

#include "core/conversion.h"
#include "core/frame.h"
#include "core/quantities.h"
#include "logging/logrecord.h"

#include <QLocale>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace station {

// The current decoded sample: volts, amps and watts to 2 decimals, RPM and wind speed to 1. The
// watt-hour total is the station's own, so its place here stays 0.
struct Reading
{
    core::QuantityValues value{};
    std::int16_t mode = 0;

    double operator[](core::Quantity q) const { return value[q]; }
};

using logging::IntervalPeaks;

using core::decodeFrame;
using core::RawValues;
Reading computeReading(const RawValues& raw, const core::Conversion& c);

// Raises each logged quantity's peak that the reading strictly exceeds.
void raisePeaks(IntervalPeaks& peaks, const Reading& r);

} // namespace station
