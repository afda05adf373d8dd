#include "config/options.h"

#include "core/numbers.h"

#include <optional>

namespace config {
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

ProgramOptions programOptions(const ProgramConfig& t)
{
    const auto port = core::numericValue(t.Port);
    return ProgramOptions{port ? core::toInt16(*port) : 0,
                          t.Port,
                          flagOn(t.Savehtml),
                          flagOn(t.SaveExcel),
                          flagOn(t.LogOn),
                          flagOn(t.DisplayRPM),
                          flagOn(t.DisplayWS),
                          t.LogDelay,
                          t.WSUnits};
}

core::Conversion makeConversion(const CalibrationSettings& s, QStringList* warnings)
{
    core::Conversion c;
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

} // namespace config
