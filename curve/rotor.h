#pragma once

#include "core/appdir.h"
#include "curve/binsfile.h"
#include "curve/curvesettings.h"
#include "curve/powercurve.h"
#include "curve/turbulence.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace curve {

// The most of the wind's power any rotor can take (Betz): 16/27.
inline constexpr double kBetzLimit = 0.593;

// "logs/rotor.txt": per power-curve bin the count of minutes and the mean of their one-minute
// mean RPM, "<B>5.5</B><N>42</N><RPM>312.5</RPM>" CR LF. A minute's RPM beyond a million either
// way is not counted, and a file line beyond it is damaged.
QString rotorPath(const core::AppDir& app);
inline constexpr double kMaxRotorRpm = 1e6;
inline constexpr BinsFormat kRotorFormat{"RPM", nullptr, -kMaxRotorRpm, kMaxRotorRpm, 2};

// ω·R / v: the blade tip's speed over the wind's, ω = RPM·2π/60, R half the diameter, v in m/s.
double tipSpeedRatio(double rpm, double diameterMetres, double windMs);
// P / (½ ρ A v³): the share of the wind's power through the rotor's disc (A = π R²) that the
// turbine delivers, v in m/s.
double powerCoefficient(double watts, double diameterMetres, double windMs,
                        double density = kSeaLevelDensity);

// One power-curve bin with its RPM and, when they can be worked out, its tip-speed ratio and power
// coefficient.
struct RotorBin
{
    double centre = 0; // in the bin unit
    int minutes = 0;   // behind the RPM
    double rpm = 0;
    double watts = 0; // the power curve's mean
    std::optional<double> tsr;
    std::optional<double> cp;
};

// The bins of the power curve that have an RPM. The figures need the diameter and the wind in m/s
// (a known WSUnits), and a wind above 0. The curve's winds are those of sea-level air (normalised
// when curve.cfg gives an altitude), so Cp takes sea-level density with them (the same power in
// the wind as the site's air and its measured wind); the TSR takes the wind as measured, the bin's
// wind turned back by the altitude's density factor.
std::vector<RotorBin> rotorBins(const PowerCurve& curve, const PowerCurve& rpm,
                                const WindScale& scale, std::optional<double> diameterMetres,
                                double altitudeMetres = 0);
// Why no TSR or Cp is shown, empty when they are.
QString rotorNotice(const WindScale& scale, std::optional<double> diameterMetres);

// A whole-file write: where, and the bytes.
struct FileBytes
{
    QString path;
    QByteArray bytes;
};

// The turbulence and the rotor's RPM per bin while the program runs, each with its file: read
// where the power curve's is (handed in with takeFiles), written with it hourly and at close.
class RotorData
{
public:
    // scale and altitude as the power curve's; the turbulence's winds are as measured.
    RotorData(const core::AppDir& app, const WindScale& scale, double altitudeMetres);

    // A fresh reading's wind in the bin unit, as measured (not normalised).
    void addWind(double wind, qint64 monotonicMs, bool fresh = true);
    // A minute the power curve counted (not held back): its RPM goes to its bin.
    void addMinute(const MinuteMean& minute);

    // What the two files hold, read on the disk thread; waiting: what a replace still waiting
    // for the disk makes either file.
    struct Files
    {
        CurveFileLoad turbulence;
        CurveFileLoad rpm;
        QString turbulenceKeptAs; // where a file set aside is kept
        QString rpmKeptAs;
        bool turbulenceThere = false;
        bool rpmThere = false;
    };
    static Files readFiles(const core::AppDir& app, const WindScale& scale, double altitudeMetres,
                           const QDate& today,
                           const std::optional<QByteArray>& turbulenceWaiting = std::nullopt,
                           const std::optional<QByteArray>& rpmWaiting = std::nullopt);
    // The files as read: the blocks and minutes added before them go on top. Returns what to
    // write: a file set aside kept whole at its new name, and the new file. Ignored once in.
    std::vector<FileBytes> takeFiles(Files files);
    bool fileRead() const { return m_fileRead; }

    // What to write hourly and at close: nothing before the files are read, nor for a file
    // that is not there and has nothing to hold.
    std::vector<FileBytes> saves();
    // A new turbine or site: both begin again (written by the caller with saves()).
    void startNew();

    const PowerCurve& turbulence() const { return m_turbulence; }
    const PowerCurve& rpm() const { return m_rpm; }
    QByteArray turbulenceBytes() const;
    QByteArray rpmBytes() const;
    bool loadedDamaged() const { return m_damaged; }
    // What became of a file of another unit, width or altitude; empty when none.
    const QString& fileNotice() const { return m_notice; }

private:
    core::AppDir m_app;
    WindScale m_scale;
    double m_altitude;
    TurbulenceFolder m_folder;
    PowerCurve m_turbulence;
    PowerCurve m_rpm;
    bool m_fileRead = false;
    bool m_turbulenceThere = false;
    bool m_rpmThere = false;
    bool m_damaged = false;
    QString m_notice;
    // What was added before the files were read: (wind, figure) in their order.
    std::vector<std::pair<double, double>> m_turbulenceBefore;
    std::vector<std::pair<double, double>> m_rpmBefore;
};

} // namespace curve
