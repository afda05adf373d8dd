#include "curve/curvesettings.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QFile>
#include <QLocale>
#include <cmath>

namespace curve {
namespace {

const QString kTitle = QStringLiteral("Power Curve Settings");
const QString kDiameterProblem = QStringLiteral("<RotorDiameter> is");

} // namespace

double airDensity(double altitudeMetres)
{
    return kSeaLevelDensity * std::pow(1.0 - 2.25577e-5 * altitudeMetres, 4.25588);
}

double densityFactor(double altitudeMetres)
{
    return std::cbrt(airDensity(altitudeMetres) / kSeaLevelDensity);
}

QString curveCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("curve.cfg"));
}

QByteArray curveSettingsText(const CurveSettings& settings)
{
    return kTitle.toLatin1() + "\r\n\r\n<Altitude>" +
           core::numberText(settings.altitudeMetres, QLocale::c()).toLatin1() +
           "</Altitude>\r\n\r\n" +
           (settings.rotorDiameter
                ? "<RotorDiameter>" +
                      core::numberText(*settings.rotorDiameter, QLocale::c()).toLatin1() +
                      "</RotorDiameter>\r\n\r\n"
                : QByteArray());
}

CurveSettings parseCurveSettings(QStringView text, QStringList* problems)
{
    CurveSettings out;
    QStringList found;
    if (core::firstLine(text) != kTitle) {
        found << QStringLiteral("its first line is not \"Power Curve Settings\"");
        if (problems)
            *problems = found;
        return out;
    }
    if (const auto value = core::tagValue(text, QStringLiteral("Altitude"))) {
        const auto h = core::numericValue(*value, QLocale::c());
        // To the centimetre, so the file and the curve file's header write it back exactly.
        if (h && *h >= kLowestAltitude && *h <= kHighestAltitude)
            out.altitudeMetres = core::roundTo(*h, 2) + 0.0;
        else
            found
                << QStringLiteral("<Altitude> is \"%1\", not from -500 to 5000 metres").arg(*value);
    }
    if (const auto value = core::tagValue(text, QStringLiteral("RotorDiameter"))) {
        const auto d = core::numericValue(*value, QLocale::c());
        if (d && *d >= kSmallestRotor && *d <= kLargestRotor)
            out.rotorDiameter = core::roundTo(*d, 3) + 0.0;
        else
            found << kDiameterProblem +
                         QStringLiteral(" \"%1\", not from 0.3 to 30 metres, so no tip-speed "
                                        "ratio or power coefficient is worked out")
                             .arg(*value);
    }
    if (problems)
        *problems = found;
    return out;
}

CurveSettings readCurveSettings(const core::AppDir& app, QString* warning)
{
    const QString path = curveCfgPath(app);
    if (warning)
        warning->clear();
    if (!QFile::exists(path))
        return {};
    QString reason;
    const auto bytes = core::readWholeFile(path, &reason);
    if (!bytes) {
        if (warning)
            *warning = QStringLiteral("%1 cannot be read (%2); the power curve's winds are "
                                      "used as measured.")
                           .arg(path, reason);
        return {};
    }
    QStringList problems;
    const CurveSettings settings = parseCurveSettings(QString::fromLatin1(*bytes), &problems);
    if (warning && !problems.isEmpty()) {
        // A diameter's problem says its own consequence; the winds stay as set.
        const bool diameterAlone = problems.size() == 1 && problems[0].startsWith(kDiameterProblem);
        *warning = diameterAlone
                       ? QStringLiteral("%1 is not used as written: %2.").arg(path, problems[0])
                       : QStringLiteral("%1 is not used as written: %2; the power curve's winds "
                                        "are used as measured.")
                             .arg(path, problems.join(QStringLiteral("; ")));
    }
    return settings;
}

QString densityText(double altitudeMetres)
{
    if (altitudeMetres == 0)
        return {};
    const QLocale c = QLocale::c();
    return QStringLiteral("Winds normalised to sea-level air density for %1 m (ρ = %2 kg/m³)")
        .arg(core::numberText(altitudeMetres, c),
             core::numberText(core::roundTo(airDensity(altitudeMetres), 2), c));
}

} // namespace curve
