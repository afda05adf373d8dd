#pragma once

#include "core/appdir.h"
#include "core/quantities.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

namespace publish {

// One MQTT message as it goes out.
struct Message
{
    QByteArray topic;
    QByteArray payload;
    int qos = 0;
    bool retain = false;

    bool operator==(const Message&) const = default;
};

// "<base>/<name>/status" ("online", "offline", retained; the broker's last will), ".../state"
// (the current reading) and ".../record" (one per log record).
struct Topics
{
    QByteArray status;
    QByteArray state;
    QByteArray record;
};
Topics topicsFor(const QString& baseTopic, const QString& name);

inline const QByteArray kOnline = "online";
inline const QByteArray kOffline = "offline";

// What each quantity is called in the messages, and what Home Assistant is told of it.
struct PublishFacts
{
    const char* key = "";              // JSON key and discovery object id: "volts"
    const char* entityName = "";       // the sensor's name under its device
    const char* unit = nullptr;        // status.json's unit; nullptr: the table's short unit
    const char* haUnit = nullptr;      // unit_of_measurement; nullptr: from WSUnits
    const char* deviceClass = nullptr; // nullptr: none (RPM has no class)
    const char* stateClass = "measurement";
};
const PublishFacts& publishFacts(core::Quantity q);

// The unit a quantity's value is given in: "V", ..., "Wh", "RPM", or WSUnits for the wind.
QString unitOf(core::Quantity q, const QString& wsUnits);

// ISO 8601 with the offset from UTC, to the second: "2024-03-07T14:05:07+01:00".
QString isoTime(const QDateTime& at);

// The JSON texts below are compact, numbers with a point whatever the locale, each value to 15
// significant digits (as the page writes them); a value that is not finite is 0.

// The current reading: volts, amps, watts, watt_hours, rpm, wind_speed, wind_unit, load (mode
// 1), time. values holds the reading (its watt-hour place is ignored: wattHours is the total).
QByteArray stateMessage(const core::QuantityValues& values, double wattHours, std::int16_t mode,
                        const QString& wsUnits, const QDateTime& at);

// One log record: the five peaks, mode, load, date (2024-03-07), time (14:05:07) and the full
// timestamp.
QByteArray recordMessage(const core::QuantityValues& peaks, std::int16_t mode,
                         const QString& wsUnits, const QDateTime& at);

// "html/status.json" in the application directory, beside the page.
QString statusJsonPath(const core::AppDir& app);

// The content of "html/status.json", written beside the page: the page's values (the peaks of the
// record and the watt-hour total), their units, mode, load and the time.
QByteArray statusJson(const core::QuantityValues& peaks, double wattHourTotal, std::int16_t mode,
                      const QString& wsUnits, const QDateTime& at);

// Home Assistant discovery: one retained config per sensor (each quantity) and a binary sensor
// for the load, all of one device per plant. Ids are stable: made from the base topic and the
// name only, so a restart or a new address never makes new entities. Availability comes from
// the status topic.
struct DiscoveryInputs
{
    QString baseTopic;
    QString name;
    QString wsUnits;
    QString program; // the device's model: "Tessaly" or "Corvenna"
};
std::vector<Message> discoveryMessages(const DiscoveryInputs& in);
// The same topics with empty retained payloads, which make Home Assistant forget the entities.
std::vector<Message> discoveryRemovals(const DiscoveryInputs& in);

// The device identifier, and the prefix of every unique id; lower-case letters, digits and "_"
// only. "tessaly_plant_1" for base "tessaly" and name "plant_1"; a base or name that is not
// already such a text gets a short hash of its exact bytes: "tessaly_plant_1_<8 hex digits>"
// for "Plant 1", another for "plant-1".
QString uniqueIdBase(const QString& baseTopic, const QString& name);

} // namespace publish
