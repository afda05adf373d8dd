#include "curve/curvedata.h"

#include "core/files.h"
#include "core/numbers.h"

#include <QLocale>

namespace curve {

CurveData::CurveData(const core::AppDir& app, const QString& wsUnits, bool readFile)
    : m_app(app)
    , m_scale(windScale(wsUnits))
    , m_settings(readCurveSettings(app, &m_settingsWarning))
    , m_densityFactor(densityFactor(m_settings.altitudeMetres))
    , m_curve(m_scale.binWidth)
    , m_rotor(app, m_scale, m_settings.altitudeMetres)
{
    if (!readFile)
        return;
    takeFile(loadCurveFile(powerCurvePath(app), m_scale, m_settings.altitudeMetres));
    m_rotor.takeFiles(
        RotorData::readFiles(app, m_scale, m_settings.altitudeMetres, QDate::currentDate()));
}

void CurveData::takeFile(CurveFileLoad load)
{
    if (std::exchange(m_fileRead, true))
        return;
    m_curve = std::move(load.curve);
    m_damaged = load.damaged;
    m_converted = load.converted;
    m_setAside = std::move(load.setAside);
    m_fileUnits = load.fileUnits;
    m_fileWidth = load.fileWidth;
    m_fileAltitude = load.fileAltitude;
    m_otherAltitude = load.otherAltitude;
    for (const auto& [wind, watts] : m_beforeFile)
        m_curve.addMinute(wind, watts);
    m_beforeFile = {};
}

std::optional<MinuteMean> CurveData::add(const core::QuantityValues& values, qint64 monotonicMs,
                                         bool fresh)
{
    std::optional<MinuteMean> done = m_folder.add(
        values[core::kWind] * m_scale.toBinUnit * m_densityFactor, values[core::kWatts],
        monotonicMs, fresh, values[core::kVolts], values[core::kRpm]);
    m_rotor.addWind(values[core::kWind] * m_scale.toBinUnit, monotonicMs, fresh);
    if (!done)
        return std::nullopt;
    if (m_nominal == 0)
        m_nominal = season::nominalFromVolts(done->volts);
    done->heldBack = done->volts >= season::fullVoltsFor(m_battery, m_nominal);
    if (done->heldBack) {
        ++m_heldBack[m_curve.binIndex(done->wind)];
    } else {
        m_curve.addMinute(done->wind, done->watts);
        m_rotor.addMinute(*done);
    }
    if (!done->heldBack && !m_fileRead)
        m_beforeFile.emplace_back(done->wind, done->watts);
    m_scatter.push_back(*done);
    while (m_scatter.size() > kScatterMinutes)
        m_scatter.pop_front();
    return done;
}

void CurveData::startNew()
{
    m_curve.clear();
    m_scatter.clear();
    m_heldBack.clear();
    m_folder = MinuteFolder();
    // The file's bins are not wanted any more, whenever they come.
    m_fileRead = true;
    m_beforeFile = {};
    m_rotor.startNew();
    std::vector<FileBytes> writes = m_rotor.saves();
    writes.insert(writes.begin(), {path(), bytes()});
    for (const FileBytes& w : writes) {
        if (m_writer)
            m_writer(w.path, w.bytes);
        else
            core::replaceFile(w.path, w.bytes);
    }
}

QString CurveData::fileNotice(const QString& keptAs) const
{
    const QString was = QStringLiteral("%1 bins %2 wide")
                            .arg(m_fileUnits, core::numberText(m_fileWidth, QLocale::c()));
    const QString now =
        QStringLiteral("%1 bins %2 wide")
            .arg(m_scale.unitName, core::numberText(m_scale.binWidth, QLocale::c()));
    const auto altitudeText = [](double metres) {
        return metres == 0 ? QStringLiteral("as measured")
                           : QStringLiteral("normalised for %1 m")
                                 .arg(core::numberText(metres, QLocale::c()));
    };
    if (m_setAside && m_otherAltitude)
        return QStringLiteral("The power curve's winds were %1 and curve.cfg now asks for them "
                              "%2, which the bins cannot be turned into: a new curve is begun, "
                              "the old one kept as %3.")
            .arg(altitudeText(m_fileAltitude), altitudeText(m_settings.altitudeMetres), keptAs);
    if (m_setAside)
        return QStringLiteral("The power curve was measured in %1 and WSUnits now asks for %2, "
                              "which they cannot be turned into exactly: a new curve is begun, "
                              "the old one kept as %3.")
            .arg(was, now, keptAs);
    if (m_converted)
        return QStringLiteral("The power curve's %1 were turned into %2.").arg(was, now);
    return {};
}

void CurveData::setBattery(const season::BatteryConfig& config)
{
    m_battery = config;
    m_nominal = config.nominalVolts;
}

std::optional<double> CurveData::fullVolts() const
{
    if (m_nominal == 0 && !m_battery.fullVolts)
        return std::nullopt;
    return season::fullVoltsFor(m_battery, m_nominal);
}

QString CurveData::fullVoltsText() const
{
    if (!fullVolts())
        return QStringLiteral("The battery's full volts are found from the first readings.");
    return season::fullVoltsText(m_battery, m_nominal);
}

int CurveData::heldBackMinutes() const
{
    int n = 0;
    for (const auto& [bin, minutes] : m_heldBack)
        n += minutes;
    return n;
}

} // namespace curve
