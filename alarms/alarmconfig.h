#pragma once

#include "core/appdir.h"
#include "core/quantities.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>

namespace alarms {

// The six alarms, in the order of alarms.cfg and the Alarms window.
enum class Kind
{
    BattLow,
    BattHigh,
    AmpsHigh,
    RpmHigh,
    WindHigh,
    NoData
};
inline constexpr std::size_t kKindCount = 6;
inline constexpr std::array<Kind, kKindCount> kKinds{Kind::BattLow, Kind::BattHigh, Kind::AmpsHigh,
                                                     Kind::RpmHigh, Kind::WindHigh, Kind::NoData};

// One alarm's settings: Level in the quantity's unit (NoData: seconds without a fresh frame),
// Hysteresis in the same unit (not used by NoData), Delay in seconds of fresh readings.
struct AlarmSettings
{
    bool on = false;
    double level = 0;
    double hysteresis = 0;
    double delayS = 0;

    bool operator==(const AlarmSettings&) const = default;
};

// What the program knows of each kind: its key in alarms.cfg and its topic, what it watches and
// how its texts read. A unit of nullptr stands for the user's WSUnits.
struct KindFacts
{
    const char* key;   // "BattLow"
    const char* title; // "Battery low", as notifications and the main window say it
    core::Quantity quantity;
    bool below;    // raised below Level (BattLow); the others above it
    bool critical; // the notification's urgency
    const char* unit;
    const char* deviceClass; // Home Assistant's binary sensor class
    AlarmSettings defaults;  // the sample file's values for a 12 V bank, all off
};
const KindFacts& facts(Kind kind);

// The unit of a kind's value: "V", "A", "RPM", WSUnits, or "s" for NoData.
QString unitOf(Kind kind, const QString& wsUnits);

struct AlarmsConfig
{
    std::array<AlarmSettings, kKindCount> alarms;
    bool notify = true;         // desktop notifications
    double silenceMinutes = 60; // how long a silence lasts

    AlarmSettings& operator[](Kind k) { return alarms[std::size_t(k)]; }
    const AlarmSettings& operator[](Kind k) const { return alarms[std::size_t(k)]; }
    bool anyOn() const;
    bool operator==(const AlarmsConfig&) const = default;
};

// The sample's values: every alarm off.
AlarmsConfig defaultAlarmsConfig();

// "alarms.cfg" beside prog.cfg.
QString alarmsCfgPath(const core::AppDir& app);

// The exact bytes: "Alarm Settings", an empty line, the four keys of each alarm (<BattLowOn>,
// <BattLowLevel>, <BattLowHysteresis>, <BattLowDelay>, ...), <Notify>, <Silence> and an empty
// line, CR LF line ends, numbers with a point whatever the locale.
QByteArray alarmsConfigText(const AlarmsConfig& config);

// The keys in the order they are written, and the file for their texts given in that order.
QStringList alarmsConfigKeys();
QByteArray alarmsConfigText(const QStringList& values);

// The values of a file's text. A text that is not an alarm file (another title), or any key
// missing or holding something it cannot mean (not a number, a flag other than 0 or 1, a
// negative delay or hysteresis, a silence or NoData level that is not above 0), gives the
// defaults with every alarm off, and problem says which key and why.
AlarmsConfig parseAlarmsConfig(QStringView text, QString* problem = nullptr);

// Reads the file. Missing, unreadable or damaged: every alarm off, and warning (when given)
// holds the main window's line saying why. Never fails otherwise.
AlarmsConfig readAlarmsConfig(const core::AppDir& app, QString* warning = nullptr);

// Writes through a temporary file and a rename. False with the reason in error.
bool saveAlarmsConfig(const core::AppDir& app, const AlarmsConfig& config,
                      QString* error = nullptr);

} // namespace alarms
