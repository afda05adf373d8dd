#include "calibration/conversion.h"

#include "core/numbers.h"

namespace calibration {
namespace {

std::optional<double> divider(const QString& text, const char* key, const char* quantity,
                              QStringList* warnings)
{
    const auto value = core::numericValue(text);
    if (value && *value != 0.0)
        return value;
    if (warnings) {
        *warnings << QStringLiteral("settings.cfg: %1 \"%2\" is not a number other than 0; "
                                    "%3 read 0 until it is calibrated")
                         .arg(QLatin1String(key), text, QLatin1String(quantity));
    }
    return std::nullopt;
}

} // namespace

Conversion makeConversion(const config::CalibrationSettings& s, QStringList* warnings)
{
    Conversion c;
    c.voltDivider = divider(s.VoltDivider, "VoltDivider", "volts", warnings);
    if (const auto offset = core::numericValue(s.VoltOffset)) {
        c.voltOffset = *offset;
    } else if (warnings) {
        *warnings << QStringLiteral("settings.cfg: VoltOffset \"%1\" is not a number; using 0")
                         .arg(s.VoltOffset);
    }
    c.ampDivider = divider(s.AmpDivider, "AmpDivider", "amps", warnings);
    c.rpmDivider = divider(s.RPMDivider, "RPMDivider", "RPM", warnings);
    c.wsDivider = divider(s.WSDivider, "WSDivider", "wind speeds", warnings);
    return c;
}

double voltsFrom(double rawV, const Conversion& c)
{
    return c.voltDivider ? core::finiteOrZero(core::roundTo(rawV / *c.voltDivider, 2)) : 0.0;
}

double ampsFrom(double rawI, const Conversion& c)
{
    return c.ampDivider
               ? core::finiteOrZero(core::roundTo((rawI - c.voltOffset) / *c.ampDivider, 2))
               : 0.0;
}

double rpmFrom(double rawR, const Conversion& c)
{
    return c.rpmDivider ? core::finiteOrZero(core::roundTo(rawR / *c.rpmDivider * 60.0, 1)) : 0.0;
}

double windFrom(double rawS, const Conversion& c)
{
    return c.wsDivider ? core::finiteOrZero(core::roundTo(rawS / *c.wsDivider, 1)) : 0.0;
}

} // namespace calibration
