#pragma once

#include "curve/powercurve.h"

#include <QString>
#include <optional>
#include <vector>

namespace curve {

// The site's own figures need at least this many days of logs.
inline constexpr int kSiteDays = 30;

struct SiteFigures
{
    int days = 0;
    // The mean of the logged wind speeds, in m/s (the user's unit when it is not known). The
    // log keeps each interval's peak, so this reads higher than the true mean.
    double meanWind = 0;
    double energyWh = 0;
    bool fromEnergyFile = false; // else the logged watts x the logging interval
    double ratedWatts = 0;       // the mean power of the curve's highest bin
    double capacityFactor = 0;   // energy / (rated x the days' hours); 0 without a curve
};

// From the day files "Y_M_D.txt" in logsDir and, when present, its "energy.txt" (the hours of
// those days); nullopt with fewer than kSiteDays days.
std::optional<SiteFigures> siteFigures(const QString& logsDir, const WindScale& scale,
                                       const std::vector<Bin>& bins);

// The view's line: "Site over 31 days: mean wind 6.2 m/s (from the logged interval peaks, so
// it reads high), capacity factor 18.4 %."
QString siteFiguresText(const SiteFigures& figures, const WindScale& scale);

} // namespace curve
