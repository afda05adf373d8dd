#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

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

// The rotor diameters curve.cfg may give, in metres: a toy turbine to a large farm's.
inline constexpr double kSmallestRotor = 0.3;
inline constexpr double kLargestRotor = 30;

// curve.cfg beside prog.cfg: the site's altitude in metres; 0 (or missing) leaves the winds as
// measured. The rotor's diameter in metres, when given, lets the bins show the tip-speed ratio
// and the power coefficient.
struct CurveSettings
{
    double altitudeMetres = 0;
    std::optional<double> rotorDiameter;

    bool normalised() const { return altitudeMetres != 0; }
    bool operator==(const CurveSettings&) const = default;
};

QString curveCfgPath(const core::AppDir& app);

// "Power Curve Settings", an empty line, <Altitude>, an empty line, CR LF line ends; with a
// diameter, "<RotorDiameter>1.2</RotorDiameter>" and an empty line follow <Altitude>'s (without
// one the file is as it always was).
QByteArray curveSettingsText(const CurveSettings& settings);

// The values of a file's text, the altitude to the centimetre. Another title, or an altitude
// that is not a number from -500 to 5000, is not used (the winds stay as measured) and said in
// problems; so is a diameter that is not a number from 0.3 to 30 (to the millimetre), alone.
CurveSettings parseCurveSettings(QStringView text, QStringList* problems = nullptr);

// The file; missing: the defaults, silently. warning: the line saying what was not used.
CurveSettings readCurveSettings(const core::AppDir& app, QString* warning = nullptr);

// "Winds normalised to sea-level air density for 850 m (ρ = 1.13 kg/m³)"; empty when off.
QString densityText(double altitudeMetres);

} // namespace curve
