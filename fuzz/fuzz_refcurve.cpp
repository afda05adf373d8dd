// refcurve.cfg, battery.cfg and curve.cfg of any content: a reference read is one the checks take
// and reads back the same when written; a battery read has a bank and full volts within their
// limits; an altitude and a rotor diameter read lie within their ranges and read back the same.
#include "curve/curvesettings.h"
#include "curve/refcurve.h"
#include "season/batteryconfig.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto read = curve::parseRefCurve(bytes)) {
        if (curve::pointsProblem(read->points) ||
            curve::parseRefCurve(curve::refCurveBytes(*read)) != read)
            std::abort();
        for (double v = -1; v < 60; v += 0.5) {
            const double w = read->wattsAt(v);
            if (!std::isfinite(w) || w < 0)
                std::abort();
        }
    }
    const season::BatteryConfig b = season::parseBatteryConfig(QString::fromLatin1(bytes));
    if (b.nominalVolts != 0 && b.nominalVolts != 12 && b.nominalVolts != 24 && b.nominalVolts != 48)
        std::abort();
    if (b.fullVolts && !(*b.fullVolts >= 5 && *b.fullVolts <= 80))
        std::abort();
    const curve::CurveSettings c = curve::parseCurveSettings(QString::fromLatin1(bytes));
    if (!(c.altitudeMetres >= curve::kLowestAltitude &&
          c.altitudeMetres <= curve::kHighestAltitude) ||
        curve::parseCurveSettings(QString::fromLatin1(curve::curveSettingsText(c))) != c)
        std::abort();
    if (c.rotorDiameter &&
        !(*c.rotorDiameter >= curve::kSmallestRotor && *c.rotorDiameter <= curve::kLargestRotor))
        std::abort();
    return 0;
}
