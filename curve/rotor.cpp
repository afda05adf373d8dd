#include "curve/rotor.h"

#include "core/numbers.h"

#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <cmath>
#include <numbers>

namespace curve {

QString rotorPath(const core::AppDir& app)
{
    return app.logsDir() + QStringLiteral("rotor.txt");
}

double tipSpeedRatio(double rpm, double diameterMetres, double windMs)
{
    return rpm * 2 * std::numbers::pi / 60 * diameterMetres / 2 / windMs;
}

double powerCoefficient(double watts, double diameterMetres, double windMs, double density)
{
    const double radius = diameterMetres / 2;
    return watts / (0.5 * density * std::numbers::pi * radius * radius * windMs * windMs * windMs);
}

std::vector<RotorBin> rotorBins(const PowerCurve& curve, const PowerCurve& rpm,
                                const WindScale& scale, std::optional<double> diameterMetres,
                                double altitudeMetres)
{
    std::vector<RotorBin> out;
    const std::vector<Bin> rpmBins = rpm.bins();
    auto next = rpmBins.begin();
    for (const Bin& b : curve.bins()) {
        // Both are in the order of their centres, on the same width.
        while (next != rpmBins.end() && curve.binIndex(next->centre) < curve.binIndex(b.centre))
            ++next;
        if (next == rpmBins.end() || curve.binIndex(next->centre) != curve.binIndex(b.centre))
            continue;
        RotorBin r{b.centre, next->minutes, next->meanWatts, b.meanWatts, {}, {}};
        if (diameterMetres && scale.known && b.centre > 0) {
            r.tsr = tipSpeedRatio(r.rpm, *diameterMetres, b.centre / densityFactor(altitudeMetres));
            r.cp = powerCoefficient(r.watts, *diameterMetres, b.centre);
        }
        out.push_back(r);
    }
    return out;
}

QString rotorNotice(const WindScale& scale, std::optional<double> diameterMetres)
{
    if (!scale.known)
        return QStringLiteral("The tip-speed ratio and power coefficient need the wind in m/s; "
                              "WSUnits is \"%1\", a unit of your own.")
            .arg(scale.unitName);
    if (!diameterMetres)
        return QStringLiteral("Give the rotor's diameter in metres as <RotorDiameter> in curve.cfg "
                              "to see the tip-speed ratio and power coefficient.");
    return {};
}

RotorData::RotorData(const core::AppDir& app, const WindScale& scale, double altitudeMetres)
    : m_app(app)
    , m_scale(scale)
    , m_altitude(altitudeMetres)
    , m_folder(scale.binWidth)
    , m_turbulence(scale.binWidth)
    , m_rpm(scale.binWidth)
{}

void RotorData::addWind(double wind, qint64 monotonicMs, bool fresh)
{
    const std::optional<TurbulenceBlock> block = m_folder.add(wind, monotonicMs, fresh);
    if (!block)
        return;
    m_turbulence.addMinute(block->meanWind, block->intensity);
    if (!m_fileRead)
        m_turbulenceBefore.emplace_back(block->meanWind, block->intensity);
}

void RotorData::addMinute(const MinuteMean& minute)
{
    if (!(std::fabs(minute.rpm) <= kMaxRotorRpm))
        return;
    m_rpm.addMinute(minute.wind, minute.rpm);
    if (!m_fileRead)
        m_rpmBefore.emplace_back(minute.wind, minute.rpm);
}

RotorData::Files RotorData::readFiles(const core::AppDir& app, const WindScale& scale,
                                      double altitudeMetres, const QDate& today,
                                      const std::optional<QByteArray>& turbulenceWaiting,
                                      const std::optional<QByteArray>& rpmWaiting)
{
    Files files;
    const QString turbulence = turbulencePath(app);
    const QString rpm = rotorPath(app);
    files.turbulenceThere = turbulenceWaiting || QFileInfo::exists(turbulence);
    files.rpmThere = rpmWaiting || QFileInfo::exists(rpm);
    // The turbulence's winds are as measured: never normalised, whatever the altitude.
    files.turbulence = loadBinsFile(turbulence, kTurbulenceFormat, scale, 0, turbulenceWaiting);
    files.rpm = loadBinsFile(rpm, kRotorFormat, scale, altitudeMetres, rpmWaiting);
    if (files.turbulence.setAside)
        files.turbulenceKeptAs = keptAsPath(app, QStringLiteral("turbulence"), today);
    if (files.rpm.setAside)
        files.rpmKeptAs = keptAsPath(app, QStringLiteral("rotor"), today);
    return files;
}

std::vector<FileBytes> RotorData::takeFiles(Files files)
{
    if (std::exchange(m_fileRead, true))
        return {};
    m_turbulence = std::move(files.turbulence.curve);
    m_rpm = std::move(files.rpm.curve);
    m_turbulenceThere = files.turbulenceThere;
    m_rpmThere = files.rpmThere;
    m_damaged = files.turbulence.damaged || files.rpm.damaged;
    for (const auto& [wind, ti] : m_turbulenceBefore)
        m_turbulence.addMinute(wind, ti);
    for (const auto& [wind, rpm] : m_rpmBefore)
        m_rpm.addMinute(wind, rpm);
    m_turbulenceBefore = {};
    m_rpmBefore = {};
    std::vector<FileBytes> out;
    QStringList kept;
    for (const auto& [load, keptAs] : {std::pair{&files.turbulence, files.turbulenceKeptAs},
                                       std::pair{&files.rpm, files.rpmKeptAs}}) {
        if (!load->setAside || keptAs.isEmpty())
            continue;
        out.push_back({keptAs, *load->setAside});
        kept << QFileInfo(keptAs).fileName();
    }
    if (!kept.isEmpty())
        m_notice = QStringLiteral("The turbulence or rotor bins were kept in another unit, width "
                                  "or altitude than the power curve's now: they are begun again, "
                                  "the old kept as %1.")
                       .arg(kept.join(QStringLiteral(" and ")));
    // The new files replace the ones set aside at once.
    if (files.turbulence.setAside)
        m_turbulenceThere = true;
    if (files.rpm.setAside)
        m_rpmThere = true;
    if (!kept.isEmpty())
        for (FileBytes& save : saves())
            out.push_back(std::move(save));
    return out;
}

std::vector<FileBytes> RotorData::saves()
{
    std::vector<FileBytes> out;
    if (!m_fileRead)
        return out;
    if (!m_turbulence.empty() || m_turbulenceThere) {
        out.push_back({turbulencePath(m_app), turbulenceBytes()});
        m_turbulenceThere = true;
    }
    if (!m_rpm.empty() || m_rpmThere) {
        out.push_back({rotorPath(m_app), rpmBytes()});
        m_rpmThere = true;
    }
    return out;
}

void RotorData::startNew()
{
    m_turbulence.clear();
    m_rpm.clear();
    m_folder = TurbulenceFolder(m_scale.binWidth);
    // The old files' bins are not wanted any more, whenever they come: the next saves replace
    // them.
    m_fileRead = true;
    m_turbulenceThere = true;
    m_rpmThere = true;
    m_turbulenceBefore = {};
    m_rpmBefore = {};
}

QByteArray RotorData::turbulenceBytes() const
{
    return binsFileBytes(m_turbulence, kTurbulenceFormat, m_scale.unitName);
}

QByteArray RotorData::rpmBytes() const
{
    return binsFileBytes(m_rpm, kRotorFormat, m_scale.unitName, m_altitude);
}

} // namespace curve
