#include "curve/aep.h"

#include "curve/aeprange.h"

#include <cmath>
#include <numbers>

namespace curve {

double rayleighBelow(double v, double vMean)
{
    if (v <= 0 || vMean <= 0)
        return 0;
    const double x = v / vMean;
    return 1 - std::exp(-std::numbers::pi / 4 * x * x);
}

double weibullBelow(double v, double k, double c)
{
    if (v <= 0 || c <= 0)
        return 0;
    return 1 - std::exp(-std::pow(v / c, k));
}

bool hasGap(const std::vector<Bin>& bins, double binWidth)
{
    for (std::size_t i = 0; i < bins.size(); ++i) {
        if (i + 1 < bins.size() && bins[i].minutes < kCompleteMinutes)
            return true;
        if (i > 0 && std::lround((bins[i].centre - bins[i - 1].centre) / binWidth) > 1)
            return true;
    }
    return false;
}

namespace {

// below: the share of the time the wind is below a speed.
template <typename Below>
double kWhUnder(const std::vector<Bin>& bins, double binWidth, Below below)
{
    if (bins.empty())
        return 0;
    double previousV = bins.front().centre - binWidth;
    double previousP = 0;
    double sum = 0;
    for (const Bin& b : bins) {
        sum += (below(b.centre) - below(previousV)) * (previousP + b.meanWatts) / 2;
        previousV = b.centre;
        previousP = b.meanWatts;
    }
    return 8760 * sum / 1000;
}

double kWhOf(const std::vector<Bin>& bins, double binWidth, double meanWind)
{
    return kWhUnder(bins, binWidth, [meanWind](double v) { return rayleighBelow(v, meanWind); });
}

} // namespace

AepRow aepAt(const std::vector<Bin>& bins, double binWidth, double meanWind)
{
    return {meanWind, kWhOf(bins, binWidth, meanWind),
            kWhOf(filledBins(bins, binWidth), binWidth, meanWind),
            incompleteInRange(bins, binWidth)};
}

AepRow aepWeibull(const std::vector<Bin>& bins, double binWidth, double k, double c)
{
    const auto below = [k, c](double v) {
        return weibullBelow(v, k, c);
    };
    return {c * std::tgamma(1 + 1 / k), kWhUnder(bins, binWidth, below),
            kWhUnder(filledBins(bins, binWidth), binWidth, below),
            incompleteInRange(bins, binWidth)};
}

std::vector<AepRow> aepTable(const std::vector<Bin>& bins, double binWidth)
{
    // The range and its filling are the same for every mean wind.
    const std::vector<Bin> filled = filledBins(bins, binWidth);
    const bool incomplete = incompleteInRange(bins, binWidth);
    std::vector<AepRow> out;
    for (int v = 4; v <= 11; ++v)
        out.push_back(
            {double(v), kWhOf(bins, binWidth, v), kWhOf(filled, binWidth, v), incomplete});
    return out;
}

} // namespace curve
