#pragma once

#include "curve/aep.h"
#include "curve/refcurve.h"
#include "curve/windbins.h"

#include <QDate>
#include <optional>
#include <vector>

namespace curve {

// A Weibull fit needs a day's minutes at least: fewer say more about the weather of the day
// than about the site, and the fit of a few bins may have no maximum at all.
inline constexpr int kWeibullMinutes = 1440;

// The Weibull distribution of the wind: shape k, scale c and the mean wind c·Γ(1 + 1/k), in the
// histogram's unit; minutes: the minutes the fit rests on.
struct WeibullFit
{
    double k = 0;
    double c = 0;
    double mean = 0;
    int minutes = 0;
};

// The maximum likelihood fit to a histogram: each bin the interval [centre − width/2,
// centre + width/2), the likelihood Σ n·log(F(upper) − F(lower)), found by Newton's method in
// log k and log c from the moments' estimate. Bins wholly below 0 take no part. nullopt with
// fewer than kWeibullMinutes, fewer than 3 bins holding minutes, or when the likelihood has no
// maximum with k from 0.3 to 20 (nearly every minute in one bin).
std::optional<WeibullFit> fitWeibull(const std::vector<WindBin>& histogram, double binWidth);

// The months a yearly figure rests on: the one of the day and the 11 before it.
struct MonthSpan
{
    int first = 0;
    int last = 0;
};
MonthSpan lastTwelveMonths(const QDate& day);

// The reference sampled at bin centres as complete bins, as the reference's yearly table
// weighs it.
std::vector<Bin> sampledReference(const RefCurve& reference, double width);

// The site's yearly energy under its own wind: the fit to the last 12 months' histogram, the
// months among them that hold minutes, and the yearly energy the measured bins give under it
// (as the yearly table sums it, aepWeibull), with the reference's beside it when one is set.
// The winds counted are as measured while the bins' may be normalised to sea level: a wind of
// the site is the bins' wind times densityFactor, so the bins are weighed under the Weibull of
// scale c·densityFactor.
struct SiteEnergy
{
    std::optional<WeibullFit> fit;
    std::vector<int> months;
    std::optional<AepRow> measured;     // with a fit
    std::optional<double> referenceKWh; // with a fit and a reference
};
SiteEnergy siteEnergy(const WindBins& wind, const QDate& day, const std::vector<Bin>& curveBins,
                      double densityFactor,
                      const std::optional<RefCurve>& reference = std::nullopt);

} // namespace curve
