#pragma once

#include "season/columns.h"
#include "season/energybars.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace season {

// The shown bars as CSV: "period,kwh", then one row per bar with its ISO period (2024-03-07,
// 2024-03 or 2024) and its kilowatt-hours. CR LF after every row; a point as the decimal
// separator whatever the locale.
QByteArray barsCsv(const EnergyBars& bars);

// The shown columns as CSV: "from,to" and the lowest and highest of each series
// ("volts_min,volts_max,...,wind_speed_max"), then one row per column that holds records, its
// times in ISO form to the minute (2024-03-07T14:00).
QByteArray columnsCsv(const DayRun& run, const std::vector<Column>& columns);

} // namespace season
