#pragma once

#include <QString>
#include <optional>

namespace core {

// A wind speed unit the program knows by what users type in WSUnits: its usual name ("km/h")
// and how many metres per second one of it is.
struct WindUnit
{
    QString name;
    double metresPerSecond = 1;
};

// The unit WSUnits names (km/h, kmh, kph, m/s, mps, mph, kn, kt, knots, kts, ft/s, any case, blanks
// around ignored); nullopt for anything else.
std::optional<WindUnit> windUnit(const QString& wsUnits);

} // namespace core
