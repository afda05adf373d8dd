#pragma once

#include "core/quantities.h"

#include <QString>
#include <vector>

namespace trend {

// A y-axis with round ticks: steps of 1, 2 or 5 times a power of ten, the range widened to
// whole steps around the values, so the labels read 11.5 / 12 / 12.5 V and never 0.68 / 1.36.
struct RoundAxis
{
    double low = 0;
    double high = 1;
    double step = 1;
    std::vector<double> ticks; // from low to high, step apart
};

// The axis for values from low to high with at most maxTicks ticks (taken as 3 when fewer). An
// empty or reversed range, or one that is not finite, gets an axis of one step around low (0 if low
// is not finite).
RoundAxis roundAxis(double low, double high, int maxTicks);

// A tick's text with as many decimals as its step needs: "12.5", "1200", "0.05".
QString tickText(double value, double step);

// How many decimals a readout of the quantity shows: volts and amps 2, wind 1, watts and RPM 0.
int readoutDecimals(core::Quantity q);

// "12.79 V", "1.99 A", "1200 W", "5.3 km/h": the value rounded to its decimals, with the unit
// (unit empty: the number alone). A value that is not finite reads "-".
QString readoutText(core::Quantity q, double value, const QString& unit);

} // namespace trend
