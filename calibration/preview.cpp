#include "calibration/preview.h"

#include "core/conversion.h"
#include "core/numbers.h"

namespace calibration {

std::optional<double> positiveDivider(const QString& text, const QLocale& locale)
{
    const auto value = core::numericValue(text, locale);
    return value && *value > 0.0 ? value : std::nullopt;
}

std::optional<double> nonZeroDivider(const QString& text, const QLocale& locale)
{
    const auto value = core::numericValue(text, locale);
    return value && *value != 0.0 ? value : std::nullopt;
}

PreviewLabels ComputePreview(CalibrationState& state, const DividerBoxes& boxes,
                             const QString& wsUnits, const QLocale& locale)
{
    // The same conversion the main window applies to live frames, with the boxes as dividers.
    core::Conversion c;
    c.voltOffset = state.VoltOffset;
    c.voltDivider = positiveDivider(boxes.BatteryVolts, locale);
    c.ampDivider = nonZeroDivider(boxes.BatteryCurrent, locale);
    c.rpmDivider = positiveDivider(boxes.PulseDivider, locale);
    c.wsDivider = positiveDivider(boxes.Pulse2Divider, locale);

    // 1, not 0, while the pulses box cannot divide, and afresh for every frame: the window has
    // always shown "1 RPM" then, and users take it as the sign to fix that box.
    state.RpmPreview = 1;
    if (c.rpmDivider)
        state.RpmPreview = rpmFrom(pulseNumber(state.raw.R), c);
    if (c.wsDivider)
        state.WindSpeedPreview = windFrom(pulseNumber(state.raw.S), c);

    const auto text = [&locale](double value, int decimals) {
        return core::numberText(core::roundTo(value, decimals), locale);
    };
    PreviewLabels out;
    out.txtBattV = text(state.raw.RawVolts, 2);
    out.txtShuntV = text(state.raw.RawShunt, 2);
    out.txtPulsess = state.raw.R;
    out.txtWindmillRPM = text(state.RpmPreview, 1) + QStringLiteral(" RPM");
    out.txtPulsess2 = state.raw.S;
    out.txtWindSpeed = text(state.WindSpeedPreview, 1) + QLatin1Char(' ') + wsUnits;
    if (c.voltDivider)
        out.txtBattVadjusted = text(voltsFrom(state.raw.RawVolts, c), 2) + QStringLiteral(" Volts");
    if (c.ampDivider)
        out.txtBattAadjusted = text(ampsFrom(state.raw.RawShunt, c), 2) + QStringLiteral(" Amps");
    return out;
}

double zeroOffset(const RawReadings& raw)
{
    return core::roundTo(raw.RawShunt, 2);
}

std::optional<SaveRefusal> saveRefusal(const DividerBoxes& boxes, const QLocale& locale)
{
    const auto greater = [](const char* quantity) {
        return QStringLiteral("Cannot save: %1 divider must be a number greater than 0")
            .arg(QLatin1String(quantity));
    };
    if (!positiveDivider(boxes.BatteryVolts, locale))
        return SaveRefusal{0, greater("voltage")};
    if (!nonZeroDivider(boxes.BatteryCurrent, locale))
        return SaveRefusal{1, QStringLiteral("Cannot save: current divider must be a number "
                                             "other than 0")};
    if (!positiveDivider(boxes.PulseDivider, locale))
        return SaveRefusal{2, greater("RPM")};
    if (!positiveDivider(boxes.Pulse2Divider, locale))
        return SaveRefusal{3, greater("wind speed")};
    return std::nullopt;
}

config::CalibrationSettings savedSettings(const DividerBoxes& boxes, double voltOffset)
{
    return {.VoltDivider = boxes.BatteryVolts,
            .VoltOffset = core::numberText(voltOffset),
            .AmpDivider = boxes.BatteryCurrent,
            .RPMDivider = boxes.PulseDivider,
            .WSDivider = boxes.Pulse2Divider};
}

} // namespace calibration
