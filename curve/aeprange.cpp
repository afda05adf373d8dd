#include "curve/aeprange.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace curve {
namespace {

bool complete(const Bin& b)
{
    return b.minutes >= kCompleteMinutes;
}

bool sameCentre(double a, double b, double binWidth)
{
    return std::fabs(a - b) < binWidth / 4;
}

} // namespace

AepRange aepRange(const std::vector<Bin>& bins, double binWidth)
{
    AepRange range;
    if (bins.empty() || !(binWidth > 0))
        return range;
    // The bins that set the top and the 85 % wind: the complete ones, when there are any.
    const bool anyComplete = std::any_of(bins.begin(), bins.end(), complete);
    std::vector<Bin> counted;
    std::copy_if(bins.begin(), bins.end(), std::back_inserter(counted),
                 [&](const Bin& b) { return !anyComplete || complete(b); });
    double highest = 0;
    for (const Bin& b : counted)
        highest = std::max(highest, b.meanWatts);
    if (!(highest > 0))
        return range;
    const auto cutIn = std::find_if(counted.begin(), counted.end(),
                                    [&](const Bin& b) { return b.meanWatts > highest / 100; });
    // Where the curve first reaches 85 %: between the bin that does and the one before it.
    const double target = 0.85 * highest;
    double at85 = counted.back().centre;
    for (std::size_t i = 0; i < counted.size(); ++i) {
        if (counted[i].meanWatts < target)
            continue;
        at85 = counted[i].centre;
        if (i > 0) {
            const Bin& a = counted[i - 1];
            const Bin& b = counted[i];
            at85 = a.centre +
                   (target - a.meanWatts) / (b.meanWatts - a.meanWatts) * (b.centre - a.centre);
        }
        break;
    }
    range.known = true;
    range.low = cutIn->centre - binWidth;
    range.high = std::max(range.low, 1.5 * at85);
    return range;
}

std::vector<double> rangeCentres(const AepRange& range, double binWidth)
{
    std::vector<double> out;
    if (!range.known || !(binWidth > 0))
        return out;
    const long count = long(std::floor((range.high - range.low) / binWidth + 1e-9));
    for (long k = 0; k <= count; ++k)
        out.push_back(range.low + double(k) * binWidth);
    return out;
}

bool incompleteInRange(const std::vector<Bin>& bins, double binWidth)
{
    const AepRange range = aepRange(bins, binWidth);
    if (!range.known)
        return true;
    for (const double centre : rangeCentres(range, binWidth)) {
        const auto found = std::find_if(bins.begin(), bins.end(), [&](const Bin& b) {
            return sameCentre(b.centre, centre, binWidth);
        });
        if (found == bins.end() || !complete(*found))
            return true;
    }
    return false;
}

std::vector<Bin> filledBins(const std::vector<Bin>& bins, double binWidth)
{
    const std::vector<double> centres = rangeCentres(aepRange(bins, binWidth), binWidth);
    std::vector<Bin> solid;
    std::copy_if(bins.begin(), bins.end(), std::back_inserter(solid), complete);
    std::vector<Bin> out;
    for (const Bin& b : bins) {
        const bool inside = std::any_of(centres.begin(), centres.end(), [&](double c) {
            return sameCentre(b.centre, c, binWidth);
        });
        if (!inside || complete(b))
            out.push_back(b);
    }
    for (const double c : centres) {
        const bool have = std::any_of(out.begin(), out.end(), [&](const Bin& b) {
            return sameCentre(b.centre, c, binWidth);
        });
        if (have)
            continue;
        const auto above =
            std::find_if(solid.begin(), solid.end(), [&](const Bin& b) { return b.centre > c; });
        double watts = 0;
        if (above == solid.begin()) {
            watts = 0;
        } else if (above == solid.end()) {
            watts = solid.empty() ? 0 : solid.back().meanWatts;
        } else {
            const Bin& a = *(above - 1);
            watts = a.meanWatts +
                    (c - a.centre) / (above->centre - a.centre) * (above->meanWatts - a.meanWatts);
        }
        out.push_back({c, 0, watts, 0});
    }
    std::sort(out.begin(), out.end(),
              [](const Bin& a, const Bin& b) { return a.centre < b.centre; });
    return out;
}

} // namespace curve
