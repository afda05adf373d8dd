#pragma once

#include "season/completeness.h"
#include "season/energyledger.h"

#include <QDate>
#include <QString>
#include <vector>

namespace season {

// What one set of energy bars covers.
enum class EnergySpan
{
    Month,   // a bar per day of the chosen month
    Year,    // a bar per month of the chosen year
    AllYears // a bar per year of the ledger
};

struct EnergyBar
{
    QString label;     // "7", "Mar", "2024"
    QDate first;       // the first day the bar covers
    QString isoPeriod; // "2024-03-07", "2024-03", "2024"
    double kWh = 0;
    int dataDays = 0;     // the days of the bar with ledger lines
    int calendarDays = 1; // the days the bar covers
    // How much of its days the plant saw, once markCompleteness has read it.
    Completeness seen = {};

    bool noData() const { return dataDays == 0; }
    // Some of its days have ledger lines, not all: a month or year under way or with gaps.
    bool partial() const { return dataDays > 0 && dataDays < calendarDays; }
};

struct EnergyBars
{
    std::vector<EnergyBar> bars;
    double totalKWh = 0;
    QDate bestDay; // invalid when no day of the view counted energy
    double bestDayKWh = 0;
};

// The bars of a view from the ledger. year and month choose the view (month ignored for a year,
// both for all years). All years run from the ledger's first year to its last.
EnergyBars energyBars(const LedgerContent& ledger, EnergySpan span, int year, int month);

// Each bar's share of fresh minutes and records, from the completeness file.
void markCompleteness(EnergyBars& bars, const CompletenessContent& content, int intervalSeconds,
                      const QDateTime& now);

// The watt-hours of one day, all its hours added.
double dayWattHours(const DayEnergy& day);

} // namespace season
