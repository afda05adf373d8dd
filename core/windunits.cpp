#include "core/windunits.h"

#include <array>

namespace core {

std::optional<WindUnit> windUnit(const QString& wsUnits)
{
    struct Spelling
    {
        const char* typed;
        const char* name;
        double metresPerSecond;
    };
    static constexpr std::array<Spelling, 11> kSpellings{{
        {"km/h", "km/h", 1 / 3.6},
        {"kmh", "km/h", 1 / 3.6},
        {"kph", "km/h", 1 / 3.6},
        {"m/s", "m/s", 1},
        {"mps", "m/s", 1},
        {"mph", "mph", 0.44704},
        {"kn", "kn", 1852.0 / 3600},
        {"kt", "kn", 1852.0 / 3600},
        {"knots", "kn", 1852.0 / 3600},
        {"kts", "kn", 1852.0 / 3600},
        {"ft/s", "ft/s", 0.3048},
    }};
    const QString u = wsUnits.trimmed().toLower();
    for (const Spelling& s : kSpellings) {
        if (u == QLatin1String(s.typed))
            return WindUnit{QString::fromLatin1(s.name), s.metresPerSecond};
    }
    return std::nullopt;
}

} // namespace core
