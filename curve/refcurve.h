#pragma once

#include "core/appdir.h"
#include "curve/powercurve.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <optional>
#include <vector>

namespace curve {

// One point of a reference curve: wind in the curve's unit, watts.
struct RefPoint
{
    double wind = 0;
    double watts = 0;

    bool operator==(const RefPoint&) const = default;
};

// What a maker promises (or what the turbine did when it was known to be well): watts at a few
// winds, linear between them and nothing outside.
struct RefCurve
{
    QString units;  // as the file names them: any unit WSUnits allows
    QDate frozenOn; // a measured curve taken as the reference: the day it was taken
    std::vector<RefPoint> points;

    // Watts at the wind (in the curve's unit): linear between points, 0 outside them.
    double wattsAt(double wind) const;
    // The first point's wind with watts above 0 (the cut-in); 0 without one.
    double cutIn() const;
    // Sampled at the centres of bins of width, as bins of complete minutes, so a yearly table
    // weighs the reference as it weighs a measured curve.
    std::vector<Bin> asBins(double width) const;
    bool operator==(const RefCurve&) const = default;
};

// The points a curve may hold: within the limits a bin may, so no absurd one is converted.
inline constexpr std::size_t kMaxRefPoints = 200;

// Why the points cannot be a reference, or nullopt when they can: winds rising, watts not
// negative, at least 3 points, some watts above 0, each number finite and within the bins' limits.
std::optional<QString> pointsProblem(const std::vector<RefPoint>& points);

// "refcurve.cfg" beside prog.cfg.
QString refCurvePath(const core::AppDir& app);

// "Reference Power Curve" CR LF, "<Units>m/s</Units>" CR LF, "<Date>2024_3_7</Date>" CR LF
// (only for a measured curve frozen on that day), then one line a point "<V>8</V><W>230</W>"
// CR LF; numbers with a point whatever the locale.
QByteArray refCurveBytes(const RefCurve& curve);

// The curve of a file's text, or nullopt with the reason in problem: another title, no units,
// a line that is neither units, date nor point, a point without both numbers or with one that
// is not a number, and whatever pointsProblem refuses. Lines may end in CR LF or LF alone;
// empty lines are passed over.
std::optional<RefCurve> parseRefCurve(QByteArrayView bytes, QString* problem = nullptr);

// The curve with its winds in the scale's bin unit, or nullopt with the reason: its units must
// be known when the scale's are (then converted), or be the user's own unit when they are not.
std::optional<RefCurve> inScale(const RefCurve& curve, const WindScale& scale,
                                QString* problem = nullptr);

// The reference in the scale's unit, off (nullopt) without the file; off with a warning for the
// status line when the file is there but cannot be used.
struct RefCurveLoad
{
    std::optional<RefCurve> curve;
    QString warning;
};
RefCurveLoad readRefCurve(const core::AppDir& app, const WindScale& scale);

// The measured bins with at least kRefMinutes, as a reference in the scale's unit, frozen on
// the day; nullopt when fewer than 3 bins qualify or they make no curve.
inline constexpr int kRefMinutes = 30;
std::optional<RefCurve> refCurveFromBins(const std::vector<Bin>& bins, const WindScale& scale,
                                         const QDate& day);

} // namespace curve
