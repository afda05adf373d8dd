#pragma once

#include "curve/powercurve.h"

#include <vector>

namespace curve {

// The yearly energy a measured curve gives at one annual mean wind speed, under a Rayleigh
// distribution of the wind.
struct AepRow
{
    double meanWind = 0;     // m/s
    double kWh = 0;          // from the measured bins
    double kWhFilled = 0;    // with the missing bins of the range put in (curve/aeprange.h)
    bool incomplete = false; // a bin inside the range that matters lacks data (aeprange.h)
};

// Rayleigh: the share of the time the wind is below v at annual mean vMean.
double rayleighBelow(double v, double vMean);
// Weibull of shape k and scale c: the share of the time the wind is below v. Rayleigh is the
// Weibull of k = 2 and c = 2·vMean/√π.
double weibullBelow(double v, double k, double c);

// 8760 h x sum over the bins in order of [F(V_i) - F(V_i-1)] x (P_i-1 + P_i) / 2, the first
// bin joined to a zero power one bin width below its centre (where the bin under it would
// stand). Bins are in m/s.
AepRow aepAt(const std::vector<Bin>& bins, double binWidth, double meanWind);

// The same sum under a Weibull of shape k and scale c (in the bins' unit); meanWind is its mean.
AepRow aepWeibull(const std::vector<Bin>& bins, double binWidth, double k, double c);

// The table for annual means 4 to 11 m/s.
std::vector<AepRow> aepTable(const std::vector<Bin>& bins, double binWidth);

// True when some bin between the lowest and the highest is missing or holds fewer than
// kCompleteMinutes.
bool hasGap(const std::vector<Bin>& bins, double binWidth);

} // namespace curve
