#pragma once

#include "season/energyledger.h"
#include "season/summarycache.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>
#include <atomic>
#include <optional>
#include <vector>

namespace season {

// The days the Battery view shows, ending today; its summary's "last full" looks no further back.
inline constexpr int kRecentBatteryDays = 31;

// One day of the battery, from its day file's summary and the energy ledger.
struct BatteryDay
{
    QDate date;
    bool logged = false; // the day file had records: the volts below are known
    double lowVolts = 0;
    QTime lowAt;
    double highVolts = 0;
    QTime highAt;
    bool reachedFull = false;        // the highest volts at or above the full volts
    double chargeWh = 0;             // from the ledger
    std::optional<double> chargeAh;  // from the ledger's <AH>, when its lines have it
    std::optional<double> loadHours; // from the ledger's <LOAD>, when its lines have it
};

// The days from first to last (each day one entry, in order): run holds their summaries, as
// runSummaries gives them.
std::vector<BatteryDay> batteryDays(const std::vector<std::optional<DaySummary>>& run, QDate first,
                                    const LedgerContent& ledger, double fullVolts);

// The same from the day files and the ledger of source's folder; empty when *cancel is set.
// Reads a day file for each day not yet summed up: call it off the window's thread.
std::vector<BatteryDay> readBatteryDays(const SummarySource& source, QDate first, QDate last,
                                        double fullVolts,
                                        const std::atomic<bool>* cancel = nullptr);

// The whole days from the latest full one to today, or nullopt when none of them was full.
std::optional<int> daysSinceFull(const std::vector<BatteryDay>& days, QDate today);

// "Battery: lowest 11.62 V on 2024-03-05 at 03:20; last full 2 days ago (full at 14.4 V)."
QString batterySummary(const std::vector<BatteryDay>& days, QDate today, double fullVolts);

// One row a day: "date,low_volts,low_time,high_volts,high_time,charge_ah,charge_wh,load_hours,
// full" with ISO dates, a point as separator; a day without records or a figure not counted is
// left empty.
QByteArray batteryDaysCsv(const std::vector<BatteryDay>& days);

} // namespace season
