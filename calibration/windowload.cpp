#include "windowload.h"

#include "configfiles.h"
#include "files.h"
#include "numbers.h"
#include "tags.h"

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

} // namespace

WindowLoad loadCalibrationWindow(const core::AppDir& app)
{
    WindowLoad w;

    // Only Port and WSUnits matter here, so only they are looked for.
    QString reason;
    if (const auto bytes = core::readWholeFile(app.progCfg(), &reason)) {
        const QString text = QString::fromLatin1(*bytes);
        if (const auto port = core::tagValue(text, u"Port")) {
            w.PortText = *port;
            if (const auto n = core::numericValue(*port))
                w.Port = core::toInt16(*n);
            else
                w.warnings << QStringLiteral("prog.cfg: Port \"%1\" is not a number; using port 1")
                                  .arg(*port);
        } else {
            w.warnings << QStringLiteral("prog.cfg has no <Port> value; using port 1");
        }
        if (const auto units = core::tagValue(text, u"WSUnits"))
            w.WSUnits = *units;
        else
            w.warnings << QStringLiteral("prog.cfg has no <WSUnits> value; no wind speed unit");
    } else {
        w.warnings << QStringLiteral("Cannot read prog.cfg (%1): %2; using port 1 and no wind "
                                     "speed unit")
                          .arg(app.progCfg(), reason);
    }

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
