#include "calibration/windowload.h"

#include "config/configfiles.h"
#include "core/numbers.h"

namespace calibration {
namespace {

void toNumber(const QString& text, const char* key, double& field, QStringList& warnings)
{
    if (const auto value = core::numericValue(text)) {
        field = *value;
        return;
    }
    warnings << QStringLiteral("settings.cfg: %1 \"%2\" is not a number; using %3")
                    .arg(QLatin1String(key), text, core::numberText(field));
}

// Only Port and WSUnits matter here, so only their problems are told, in this window's words:
// what the window does without them.
void takeProgramConfig(const core::AppDir& app, WindowLoad& w)
{
    config::ReadProblems problems;
    const config::ProgramConfig prog = config::ReadProgramConfig(app, problems);
    if (problems.unreadable) {
        w.warnings << QStringLiteral("Cannot read prog.cfg (%1): %2; using port 1 and no wind "
                                     "speed unit")
                          .arg(app.progCfg(), *problems.unreadable);
        return;
    }
    if (problems.missingKeys.contains(QLatin1String("Port"))) {
        w.warnings << QStringLiteral("prog.cfg has no <Port> value; using port 1");
    } else if (const auto n = core::numericValue(prog.Port)) {
        w.Port = core::toInt16(*n);
    } else {
        // As in the main window: a port text that is no number names no port, so none is
        // opened (port 1 may be another device altogether).
        w.Port = 0;
        w.warnings << QStringLiteral("prog.cfg: Port \"%1\" is not a number; no port is opened")
                          .arg(prog.Port);
    }
    w.PortText = prog.Port;
    if (problems.missingKeys.contains(QLatin1String("WSUnits")))
        w.warnings << QStringLiteral("prog.cfg has no <WSUnits> value; no wind speed unit");
    w.WSUnits = prog.WSUnits;
}

} // namespace

WindowLoad loadCalibrationWindow(const core::AppDir& app)
{
    WindowLoad w;
    takeProgramConfig(app, w);

    const config::CalibrationSettings s = config::ReadCalibrationSettings(app, &w.warnings);
    toNumber(s.VoltDivider, "VoltDivider", w.VoltDivider, w.warnings);
    toNumber(s.VoltOffset, "VoltOffset", w.VoltOffset, w.warnings);
    toNumber(s.AmpDivider, "AmpDivider", w.AmpDivider, w.warnings);
    toNumber(s.RPMDivider, "RPMDivider", w.RPMDivider, w.warnings);
    if (core::isNumeric(s.WSDivider))
        w.WSDivider = s.WSDivider;
    else
        w.warnings << QStringLiteral("settings.cfg: WSDivider \"%1\" is not a number; using %2")
                          .arg(s.WSDivider, w.WSDivider);
    return w;
}

QString pulsesQuestion(const QString& wsUnits)
{
    return QStringLiteral("How many pulses per ") + wsUnits + QLatin1Char('?');
}

} // namespace calibration
