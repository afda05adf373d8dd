#pragma once

#include "curve/powercurve.h"

#include <vector>

namespace curve {

// The wind range a yearly energy figure depends on, as the small-turbine power-curve standards
// take it: from one bin below cut-in up to 1.5 times the wind at which the curve first reaches
// 85 % of its highest bin's power. Winds are in the bins' unit (m/s).
struct AepRange
{
    bool known = false; // false: no bin gives power, so there is no cut-in
    double low = 0;     // a bin centre
    double high = 0;    // a wind, not necessarily a bin centre
};

// Cut-in is the lowest bin whose mean power is above 1 % of the highest (so a few watts of
// noise in calm bins do not count). Cut-in, the highest power and the 85 % wind are taken over
// the bins with at least kCompleteMinutes when there are any, so a thin storm bin sets none.
AepRange aepRange(const std::vector<Bin>& bins, double binWidth);

// The bin centres inside the range, in order, from its low end in steps of binWidth.
std::vector<double> rangeCentres(const AepRange& range, double binWidth);

// True when a bin inside the range is missing or holds fewer than kCompleteMinutes, or when no
// range is known (nothing measured gives power).
bool incompleteInRange(const std::vector<Bin>& bins, double binWidth);

// The bins with each missing or thin bin inside the range put in from its complete neighbours:
// a straight line between the nearest complete bins below and above, 0 W below the lowest
// complete one, and the highest complete bin's power held above it. Bins put in have 0 minutes;
// bins outside the range stay as they are. In order of wind.
std::vector<Bin> filledBins(const std::vector<Bin>& bins, double binWidth);

} // namespace curve
