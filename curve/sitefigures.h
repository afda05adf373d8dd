#pragma once

#include "curve/powercurve.h"
#include "season/summarycache.h"

#include <QDate>
#include <QString>
#include <atomic>
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
    double capacityFactor = 0;   // energy / (rated x the hours of energyDays); 0 without a curve
    // The logged days the energy counts: with the energy file, those from its first day on
    // (a ledger younger than the logs says nothing of the days before it); else every one.
    int energyDays = 0;
    QDate ledgerSince; // the energy file's first day, when it is younger than the logs
};

// The logging interval of a day in hours, from its summary: the median, over the buckets that
// hold records, of the time to the next such bucket shared among the bucket's records. Exact
// when the interval divides ten minutes or is a whole number of them; 0 for a lone record.
double intervalHours(const season::DaySummary& day);

// From the summaries of the day files "Y_M_D.txt" of source's logs folder (made and kept as the
// Season window makes them) and, when present, its energy ledger (the hours of those days);
// nullopt with fewer than kSiteDays days with records, or when *cancel is set before the end.
// Reading every day ever logged takes a while: call it off the window's thread.
std::optional<SiteFigures> siteFigures(const season::SummarySource& source, const WindScale& scale,
                                       const std::vector<Bin>& bins,
                                       const std::atomic<bool>* cancel = nullptr);

// The view's line: "Site over 31 days: mean wind 6.2 m/s (from the logged interval peaks, so
// it reads high), capacity factor 18.4 %.", and with a younger energy file "capacity factor
// 18.4 % over the 25 days since the energy file began on 2024-03-07."
QString siteFiguresText(const SiteFigures& figures, const WindScale& scale);

} // namespace curve
