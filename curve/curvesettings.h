#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace curve {

// Air at sea level in the standard atmosphere, kg/m³: the density every curve is put back to.
inline constexpr double kSeaLevelDensity = 1.225;
// The altitudes a site may have, in metres: the Dead Sea's shore to well above any turbine.
inline constexpr double kLowestAltitude = -500;
inline constexpr double kHighestAltitude = 5000;

// The standard atmosphere's density at an altitude in metres (its temperature, as ours is
// unknown): 1.225·(1 − 2.25577e-5·h)^4.25588 kg/m³.
double airDensity(double altitudeMetres);
// What multiplies a wind measured at the altitude to give the wind of the same power at sea
// level: (ρ/1.225)^(1/3); 1 at 0 m.
double densityFactor(double altitudeMetres);

// curve.cfg beside prog.cfg: the site's altitude in metres; 0 (or missing) leaves the winds as
// measured.
struct CurveSettings
{
    double altitudeMetres = 0;

    bool normalised() const { return altitudeMetres != 0; }
    bool operator==(const CurveSettings&) const = default;
};

QString curveCfgPath(const core::AppDir& app);

// "Power Curve Settings", an empty line, <Altitude>, an empty line, CR LF line ends.
QByteArray curveSettingsText(const CurveSettings& settings);

// The values of a file's text, the altitude to the centimetre. Another title, or an altitude
// that is not a number from -500 to 5000, is not used (the winds stay as measured) and said in
// problems.
CurveSettings parseCurveSettings(QStringView text, QStringList* problems = nullptr);

// The file; missing: the defaults, silently. warning: the line saying what was not used.
CurveSettings readCurveSettings(const core::AppDir& app, QString* warning = nullptr);

// "Winds normalised to sea-level air density for 850 m (ρ = 1.13 kg/m³)"; empty when off.
QString densityText(double altitudeMetres);

} // namespace curve
