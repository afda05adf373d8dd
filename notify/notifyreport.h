#pragma once

#include "alarms/alarmlog.h"
#include "core/appdir.h"
#include "notify/notifyevent.h"
#include "season/batterydays.h"

#include <QStringList>
#include <optional>
#include <vector>

namespace notify {

// What the plant holds in memory for the daily report, taken on its thread.
struct PlantFacts
{
    QStringList lines;    // the turbine's shortfall against the reference
    double fullVolts = 0; // the battery's full volts as the plant knows them
    QString wsUnits;      // the wind's unit, for the alarms' values
};

// The daily report of a day as an event: "Daily report of 2024-03-06: 1.23 kWh", and lines for
// the energy, the lowest and highest volts, the load's hours, whether the battery was full, what
// the plant adds (the turbine's shortfall against the reference) and each alarm of the day. Its
// value is the day's watt-hours.
Event reportEvent(const QDate& day, const QDateTime& at, const QString& plant,
                  const std::optional<season::BatteryDay>& battery, const QStringList& plantLines,
                  const std::vector<alarms::LoggedState>& alarmsOfDay, const QString& wsUnits);

// The same from the folder's day file, energy ledger and alarm log (the battery's days and the
// alarm log's lines as the season window and the alarms read them); reads files: call it off the
// plant's thread.
Event readReport(const core::AppDir& app, const QDate& day, const QDateTime& at,
                 const QString& plant, const PlantFacts& facts);

} // namespace notify
