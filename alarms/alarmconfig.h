#pragma once

#include "core/appdir.h"
#include "core/quantities.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <optional>

namespace alarms {

// The nine alarms, in the order of alarms.cfg and the Alarms window.
enum class Kind
{
    BattLow,
    BattHigh,
    AmpsHigh,
    RpmHigh,
    WindHigh,
    NoData,
    CurveLow,
    Stopped,
    Runaway
};
inline constexpr std::size_t kKindCount = 9;
inline constexpr std::array<Kind, kKindCount> kKinds{Kind::BattLow,  Kind::BattHigh, Kind::AmpsHigh,
                                                     Kind::RpmHigh,  Kind::WindHigh, Kind::NoData,
                                                     Kind::CurveLow, Kind::Stopped,  Kind::Runaway};

// The most minutes of turbine data CurveLow may weigh: the 30 days the plant keeps.
inline constexpr double kMaxCurveMinutes = 30 * 24 * 60;

// A rotor that is still, for Stopped: below 5 RPM and below 5 W. Neither reads exactly 0 on every
// plant (a shunt's offset, a last pulse), and a turbine that makes less than this in a good wind
// is not working either.
inline constexpr double kStillRpm = 5;
inline constexpr double kStillWatts = 5;

// One alarm's settings: Level in the quantity's unit (NoData: seconds without a fresh frame;
// CurveLow: per cent of the reference's energy; Stopped: the wind; Runaway: RPM), Hysteresis in
// the same unit (not used by NoData), Delay in seconds of fresh readings (CurveLow: minutes of
// turbine data; Stopped: minutes of fresh readings). Runaway alone has a second level: the charge
// in amps below which its RPM is a runaway (<RunawayAmps>).
struct AlarmSettings
{
    bool on = false;
    double level = 0;
    double hysteresis = 0;
    double delayS = 0;
    double amps = 0;

    bool operator==(const AlarmSettings&) const = default;
};

// The values a kind's Level can take, in its unit: the readings this plant can give (NoData: the
// seconds a line may stay quiet). A Level outside is refused, and so is a Hysteresis that would put
// the clearing value outside: such an alarm could never clear.
struct LevelRange
{
    double least;
    double most;
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
    LevelRange range;
};
const KindFacts& facts(Kind kind);

// The unit of a kind's value: "V", "A", "RPM", WSUnits, or "s" for NoData.
QString unitOf(Kind kind, const QString& wsUnits);

// Whether the kind's Delay is minutes (CurveLow, Stopped) rather than seconds.
bool delayInMinutes(Kind kind);

// The keys of one kind in alarms.cfg, in the order they are written: On, Level, Hysteresis and
// Delay after its key ("BattLowOn", ...), and RunawayAmps after Runaway's.
QStringList keysOf(Kind kind);

// The longest silence and the longest delay, in minutes and seconds: a day.
inline constexpr double kMaxSilenceMinutes = 1440;
inline constexpr double kMaxDelayS = 86400;

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

// Stopped's Level and Hysteresis for a new user, in the user's wind unit: 3 m/s above the
// reference curve's cut-in (given in the user's unit; 3 m/s without one), and 1 m/s. A unit the
// program does not know is taken as m/s. The values are rounded to a tenth.
AlarmSettings stoppedDefaults(std::optional<double> cutIn, const QString& wsUnits);

// "alarms.cfg" beside prog.cfg.
QString alarmsCfgPath(const core::AppDir& app);

// The exact bytes: "Alarm Settings", an empty line, the keys of each alarm (<BattLowOn>,
// <BattLowLevel>, <BattLowHysteresis>, <BattLowDelay>, ..., <RunawayAmps>), <Notify>, <Silence>
// and an empty line, CR LF line ends, numbers with a point whatever the locale.
QByteArray alarmsConfigText(const AlarmsConfig& config);

// The keys in the order they are written, and the file for their texts given in that order.
QStringList alarmsConfigKeys();
QByteArray alarmsConfigText(const QStringList& values);

// Why one alarm's values cannot be used, or nullopt when they can: Level inside the kind's range,
// Hysteresis from 0 to what still lets the alarm clear inside it, Delay from 0 to kMaxDelayS (a
// day of minutes for Stopped), Runaway's amps within the current's range. The texts name the keys
// ("<BattLowHysteresis> is 90: ...").
std::optional<QString> settingsProblem(Kind kind, const AlarmSettings& s);

// The values of a file's text, each number checked against its range before it is used. Another
// title (the first line, "Alarm Settings", may end in CR LF or LF alone) gives the defaults with
// every alarm off. A kind with none of its keys takes its defaults (off), as a file of an
// older version or one written by hand for one alarm has it; a kind with some of its keys missing,
// or a value it cannot mean, is off with its defaults. A missing Notify or Silence takes its
// default; a Silence beyond kMaxSilenceMinutes is taken as that. Keys the program does not know
// are ignored. problems (when given) gets one text per key or kind that was not taken as written.
AlarmsConfig parseAlarmsConfig(QStringView text, QStringList* problems = nullptr);

// Reads the file. Missing or unreadable: every alarm off; damaged in part: what parseAlarmsConfig
// makes of it. warning (when given) holds the main window's line saying what is off and why, empty
// when the file was used as written. Never fails otherwise.
AlarmsConfig readAlarmsConfig(const core::AppDir& app, QString* warning = nullptr);

// Writes through a temporary file and a rename. False with the reason in error.
bool saveAlarmsConfig(const core::AppDir& app, const AlarmsConfig& config,
                      QString* error = nullptr);

} // namespace alarms
