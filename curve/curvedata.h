#pragma once

#include "core/appdir.h"
#include "core/quantities.h"
#include "curve/curvesettings.h"
#include "curve/powercurve.h"
#include "curve/refcurve.h"
#include "curve/rotor.h"
#include "season/batteryconfig.h"

#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace curve {

// The scatter keeps the one-minute means of the last 30 days, in memory only.
inline constexpr std::size_t kScatterMinutes = 30 * 24 * 60;

// Everything the power curve keeps while the program runs: the bins (read from and written to
// logs/powercurve.txt), the minute being folded, the recent minutes for the scatter and the
// shortfall, the reference curve and the battery's full volts. The site's altitude (curve.cfg)
// is read once, at the start, as WSUnits is.
class CurveData
{
public:
    // readFile false: logs/powercurve.txt is read elsewhere and handed in with takeFile() (the
    // plant reads it on its disk thread, behind the last run's spool); curve.cfg is read here.
    CurveData(const core::AppDir& app, const QString& wsUnits, bool readFile = true);

    // The file as read elsewhere, for the scale() and altitude() of this curve. The minutes
    // added before it go on top of its bins in their order, so the curve is what it would be had
    // the file been read first. Ignored once the file is in, or a new curve was begun.
    void takeFile(CurveFileLoad load);
    // Whether the bins hold the file's (read, handed in, or begun anew): until then they are this
    // run's minutes alone, and a save would replace the file's with them.
    bool fileRead() const { return m_fileRead; }

    // A decoded reading; only fresh ones count. Returns the minute it closed, if any: its wind
    // normalised to sea-level density when curve.cfg sets an altitude, so the bins, the shortfall
    // and Power curve low all weigh the same wind; a minute whose mean volts reach the full volts
    // is held back, kept out of the bins and counted.
    std::optional<MinuteMean> add(const core::QuantityValues& values, qint64 monotonicMs,
                                  bool fresh = true);

    const WindScale& scale() const { return m_scale; }
    // The site's altitude in metres the winds are normalised for; 0 while they are not.
    double altitude() const { return m_settings.altitudeMetres; }
    // The rotor's diameter in metres, when curve.cfg gives it.
    std::optional<double> rotorDiameter() const { return m_settings.rotorDiameter; }
    // The turbulence and the RPM per bin, fed by add(); its files are read and saved beside the
    // curve's (written with it by startNew()).
    RotorData& rotor() { return m_rotor; }
    const RotorData& rotor() const { return m_rotor; }
    std::vector<RotorBin> rotorBins() const
    {
        return curve::rotorBins(m_curve, m_rotor.rpm(), m_scale, rotorDiameter(), altitude());
    }
    // Why curve.cfg is not used as written, empty when it is (or is missing).
    const QString& settingsWarning() const { return m_settingsWarning; }
    const PowerCurve& curve() const { return m_curve; }
    const std::deque<MinuteMean>& scatter() const { return m_scatter; }
    bool loadedDamaged() const { return m_damaged; }
    // What to write and where, hourly and at close (through core::replaceFile).
    QString path() const { return powerCurvePath(m_app); }
    QByteArray bytes() const
    {
        return powerCurveFileBytes(m_curve, m_scale.unitName, m_settings.altitudeMetres);
    }
    // Whole-file writes go through this when set (the plant's disk thread); else at once.
    using Writer = std::function<void(const QString& path, const QByteArray& bytes)>;
    void setWriter(Writer writer) { m_writer = std::move(writer); }
    // A new turbine or a new site: bins, held-back counts and scatter start again, and the file
    // is written so.
    void startNew();

    // What reading the file found: its bins converted from another unit or width, or kept aside
    // (the bytes, to be kept as powercurve-<date>.txt) because they could not be, or because
    // their winds were normalised for another altitude.
    bool loadedConverted() const { return m_converted; }
    const std::optional<QByteArray>& setAside() const { return m_setAside; }
    // The status line's words for either, empty when the file was read as it was.
    QString fileNotice(const QString& keptAs = {}) const;

    // The battery: its settings, and the full volts once known (from the settings, or from the
    // first minute's volts when the bank is not set).
    void setBattery(const season::BatteryConfig& config);
    std::optional<double> fullVolts() const;
    QString fullVoltsText() const;
    // Minutes left out while the battery was full, by bin index, since the curve began this run.
    const std::map<int, int>& heldBack() const { return m_heldBack; }
    int heldBackMinutes() const;

    // The reference, in the scale's unit; nullopt while off.
    void setReference(std::optional<RefCurve> reference) { m_reference = std::move(reference); }
    const std::optional<RefCurve>& reference() const { return m_reference; }

private:
    core::AppDir m_app;
    WindScale m_scale;
    QString m_settingsWarning; // before m_settings, whose reading fills it
    CurveSettings m_settings;
    double m_densityFactor = 1;
    PowerCurve m_curve;
    MinuteFolder m_folder;
    RotorData m_rotor;
    std::deque<MinuteMean> m_scatter;
    bool m_damaged = false;
    bool m_converted = false;
    std::optional<QByteArray> m_setAside;
    QString m_fileUnits;
    double m_fileWidth = 0;
    double m_fileAltitude = 0;
    bool m_otherAltitude = false;
    Writer m_writer;
    season::BatteryConfig m_battery;
    int m_nominal = 0;
    std::map<int, int> m_heldBack;
    std::optional<RefCurve> m_reference;
    bool m_fileRead = false;
    // The minutes added to the bins before the file was read, wind and watts in their order.
    std::vector<std::pair<double, double>> m_beforeFile;
};

} // namespace curve
