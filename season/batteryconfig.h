#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace season {

// A 12 V lead-acid bank is full at 14.4 V; a 24 or 48 V bank at two or four times that.
inline constexpr double kFullVolts12 = 14.4;

// battery.cfg beside prog.cfg: the bank's nominal volts (12, 24 or 48; 0 or missing: taken from
// the first readings) and the volts at which it counts as full (missing: kFullVolts12 scaled to
// the bank).
struct BatteryConfig
{
    int nominalVolts = 0;
    std::optional<double> fullVolts;

    bool operator==(const BatteryConfig&) const = default;
};

QString batteryCfgPath(const core::AppDir& app);

// "Battery Settings", an empty line, <NominalVolts>, <FullVolts> (left out when not set), an
// empty line, CR LF line ends.
QByteArray batteryConfigText(const BatteryConfig& config);

// The values of a file's text. Another title, a nominal other than 0, 12, 24 or 48, or full volts
// outside 5 to 80 are not used (the defaults stand) and said in problems.
BatteryConfig parseBatteryConfig(QStringView text, QStringList* problems = nullptr);

// The file; missing: the defaults, silently. warning: the line saying what was not used.
BatteryConfig readBatteryConfig(const core::AppDir& app, QString* warning = nullptr);

// The bank a reading of its volts says: below 18 V a 12 V bank, below 36 V a 24 V one, else 48.
int nominalFromVolts(double volts);

// The full volts for a bank of the nominal volts, as the config sets them or by default.
double fullVoltsFor(const BatteryConfig& config, int nominalVolts);

// "Full at 28.8 V (a 24 V bank, as battery.cfg sets it)", "... found from the readings)"; with
// no bank known yet (nominalVolts 0) and the volts set, "Full at 14.2 V (as battery.cfg sets it)".
QString fullVoltsText(const BatteryConfig& config, int nominalVolts);

} // namespace season
