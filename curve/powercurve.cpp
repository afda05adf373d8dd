#include "curve/powercurve.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"
#include "core/windunits.h"
#include "curve/curvesettings.h"

#include <QFile>
#include <QLocale>
#include <cmath>
#include <utility>

namespace curve {

WindScale windScale(const QString& wsUnits)
{
    if (const std::optional<core::WindUnit> unit = core::windUnit(wsUnits))
        return {true, unit->metresPerSecond, 0.5, QStringLiteral("m/s")};
    return {false, 1, 1, wsUnits.trimmed()};
}

std::optional<MinuteMean> MinuteFolder::add(double wind, double watts, qint64 monotonicMs,
                                            bool fresh, double volts, double rpm)
{
    if (!fresh)
        return std::nullopt;
    const qint64 minute = monotonicMs / 60000;
    std::optional<MinuteMean> done;
    if (minute != m_minute) {
        if (m_count > 0) {
            done = MinuteMean{m_minute, m_wind / m_count, m_watts / m_count, m_volts / m_count};
            done->rpm = m_rpm / m_count;
        }
        m_minute = minute;
        m_count = 0;
        m_wind = 0;
        m_watts = 0;
        m_volts = 0;
        m_rpm = 0;
    }
    ++m_count;
    m_wind += wind;
    m_watts += watts;
    m_volts += volts;
    m_rpm += rpm;
    return done;
}

int PowerCurve::binIndex(double wind) const
{
    // The tolerance keeps an edge that a unit conversion left a hair below in its bin.
    return int(std::floor(wind / m_width + 0.5 + 1e-9));
}

void PowerCurve::addMinute(double wind, double watts)
{
    if (!(std::fabs(wind) <= kMaxBinCentre) || !(std::fabs(watts) <= kMaxBinWatts))
        return;
    Sums& s = m_sums[binIndex(wind)];
    ++s.n;
    s.sum += watts;
    s.sumSquares += watts * watts;
}

bool PowerCurve::addBin(const Bin& bin)
{
    if (!(std::fabs(bin.centre) <= kMaxBinCentre) || bin.minutes <= 0 ||
        bin.minutes > kMaxBinMinutes || !(std::fabs(bin.meanWatts) <= kMaxBinWatts) ||
        !(bin.sdWatts >= 0 && bin.sdWatts <= kMaxBinWatts))
        return false;
    const int index = binIndex(bin.centre);
    const auto found = m_sums.find(index);
    if (found != m_sums.end() && found->second.n > kMaxBinMinutes - bin.minutes)
        return false;
    Sums& s = m_sums[index];
    const double n = bin.minutes;
    s.n += bin.minutes;
    s.sum += n * bin.meanWatts;
    s.sumSquares += bin.sdWatts * bin.sdWatts * (n - 1) + n * bin.meanWatts * bin.meanWatts;
    return true;
}

std::vector<Bin> PowerCurve::bins() const
{
    std::vector<Bin> out;
    for (const auto& [index, s] : m_sums) {
        const double mean = s.sum / s.n;
        const double var = s.n > 1 ? (s.sumSquares - s.n * mean * mean) / (s.n - 1) : 0.0;
        out.push_back({index * m_width, s.n, mean, std::sqrt(std::max(var, 0.0))});
    }
    return out;
}

QString powerCurvePath(const core::AppDir& app)
{
    return app.logsDir() + QStringLiteral("powercurve.txt");
}

QByteArray powerCurveBytes(const PowerCurve& curve)
{
    const QLocale c = QLocale::c();
    QByteArray out;
    for (const Bin& b : curve.bins()) {
        out += "<B>" + core::numberText(b.centre, c).toLatin1() + "</B><N>" +
               QByteArray::number(b.minutes) + "</N><P>" +
               core::numberText(core::roundTo(b.meanWatts, 2), c).toLatin1() + "</P><SD>" +
               core::numberText(core::roundTo(b.sdWatts, 2), c).toLatin1() + "</SD>\r\n";
    }
    return out;
}

QByteArray powerCurveHeader(const QString& unitName, double binWidth, double altitudeMetres)
{
    QByteArray out = "<Units>" + unitName.toLatin1() + "</Units><Width>" +
                     core::numberText(binWidth, QLocale::c()).toLatin1() + "</Width>";
    if (altitudeMetres != 0)
        out += "<Altitude>" + core::numberText(altitudeMetres, QLocale::c()).toLatin1() +
               "</Altitude>";
    return out + "\r\n";
}

QByteArray powerCurveFileBytes(const PowerCurve& curve, const QString& unitName,
                               double altitudeMetres)
{
    return powerCurveHeader(unitName, curve.binWidth(), altitudeMetres) + powerCurveBytes(curve);
}

namespace {

struct Header
{
    QString units;
    double width = 0;
    double altitude = 0;
};

// The header's unit, width and altitude, or nullopt when the line is not a whole header.
std::optional<Header> headerOfLine(const QByteArray& raw)
{
    if (!raw.endsWith('\r'))
        return std::nullopt;
    const QString line = QString::fromLatin1(raw.chopped(1));
    const auto units = core::tagValue(line, QStringLiteral("Units"));
    const auto widthText = core::tagValue(line, QStringLiteral("Width"));
    const std::optional<double> width =
        widthText ? core::numericValue(*widthText, QLocale::c()) : std::optional<double>();
    const double w = width.value_or(0);
    if (!units || units->trimmed().isEmpty() || !(w >= 0.01 && w <= 100))
        return std::nullopt;
    double altitude = 0;
    if (const auto altitudeText = core::tagValue(line, QStringLiteral("Altitude"))) {
        const std::optional<double> h = core::numericValue(*altitudeText, QLocale::c());
        if (!h || !(*h >= kLowestAltitude && *h <= kHighestAltitude))
            return std::nullopt;
        altitude = *h;
    }
    return Header{units->trimmed(), w, altitude};
}

// The four numbers of one line, each within its limit, or nullopt: a value is checked while it
// is still a double, so no absurd one is ever converted.
std::optional<Bin> binOfLine(const QByteArray& raw)
{
    if (!raw.endsWith('\r'))
        return std::nullopt;
    const QString line = QString::fromLatin1(raw.chopped(1));
    const QLocale c = QLocale::c();
    double v[4];
    const QString keys[] = {QStringLiteral("B"), QStringLiteral("N"), QStringLiteral("P"),
                            QStringLiteral("SD")};
    for (int k = 0; k < 4; ++k) {
        const std::optional<QString> text = core::tagValue(line, keys[k]);
        const std::optional<double> n =
            text ? core::numericValue(*text, c) : std::optional<double>();
        if (!n || !std::isfinite(*n))
            return std::nullopt;
        v[k] = *n;
    }
    const bool inRange = std::fabs(v[0]) <= kMaxBinCentre && v[1] >= 1 && v[1] <= kMaxBinMinutes &&
                         v[1] == std::floor(v[1]) && std::fabs(v[2]) <= kMaxBinWatts && v[3] >= 0 &&
                         v[3] <= kMaxBinWatts;
    if (!inRange)
        return std::nullopt;
    return Bin{v[0], int(v[1]), v[2], v[3]};
}

} // namespace

PowerCurveContent parsePowerCurve(const QByteArray& bytes)
{
    PowerCurveContent out;
    bool first = true;
    for (const QByteArray& raw : bytes.split('\n')) {
        if (raw.isEmpty())
            continue;
        if (std::exchange(first, false) && raw.startsWith("<Units>")) {
            if (const auto header = headerOfLine(raw)) {
                out.units = header->units;
                out.width = header->width;
                out.altitude = header->altitude;
            } else {
                ++out.skippedLines;
            }
            continue;
        }
        if (const std::optional<Bin> bin = binOfLine(raw))
            out.bins.push_back(*bin);
        else
            ++out.skippedLines;
    }
    return out;
}

namespace {

PowerCurveContent readContent(const QString& path, std::optional<QByteArray>& bytes,
                              const std::function<PowerCurveContent(const QByteArray&)>& parse)
{
    bytes = core::readWholeFile(path);
    PowerCurveContent content;
    if (bytes)
        content = parse(*bytes);
    else
        content.skippedLines = 1; // there, but not readable
    return content;
}

// Adds the bins, their centres multiplied by factor; a file with a skipped line is set aside
// (when path names one: bytes still waiting for the disk are no file yet).
bool addBins(const QString& path, PowerCurveContent& content, double factor, PowerCurve& curve)
{
    for (Bin b : content.bins) {
        b.centre *= factor;
        if (!curve.addBin(b)) // two lines of one bin past its limit
            ++content.skippedLines;
    }
    if (content.skippedLines == 0)
        return false;
    if (!path.isEmpty())
        keepDamaged(path);
    return true;
}

} // namespace

PowerCurve loadPowerCurve(const QString& path, double binWidth, bool* damaged)
{
    PowerCurve curve(binWidth);
    if (damaged)
        *damaged = false;
    if (!QFile::exists(path))
        return curve;
    std::optional<QByteArray> bytes;
    PowerCurveContent content = readContent(path, bytes, parsePowerCurve);
    const bool wasDamaged = addBins(path, content, 1, curve);
    if (damaged)
        *damaged = wasDamaged;
    return curve;
}

std::optional<double> exactFactor(const QString& fromUnits, double fromWidth,
                                  const WindScale& scale)
{
    double factor = 1;
    if (scale.known) {
        const std::optional<core::WindUnit> from = core::windUnit(fromUnits);
        if (!from)
            return std::nullopt;
        factor = from->metresPerSecond;
    } else if (fromUnits.trimmed().compare(scale.unitName, Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    // Bins centred on multiples of their width nest whole in bins an odd number of times as
    // wide: the wider bins' edges are then edges of the narrower ones.
    const double ratio = scale.binWidth / (fromWidth * factor);
    const double whole = std::round(ratio);
    if (std::fabs(ratio - whole) > 1e-6 || std::fmod(whole, 2.0) != 1.0)
        return std::nullopt;
    return factor;
}

void keepDamaged(const QString& path)
{
    QFile::remove(path + QStringLiteral(".damaged"));
    QFile::rename(path, path + QStringLiteral(".damaged"));
}

CurveFileLoad loadCurveFile(const QString& path, const WindScale& scale, double altitudeMetres,
                            const std::optional<QByteArray>& waiting)
{
    return loadBinsWith(path, scale, altitudeMetres, waiting, parsePowerCurve);
}

CurveFileLoad loadBinsWith(const QString& path, const WindScale& scale, double altitudeMetres,
                           const std::optional<QByteArray>& waiting,
                           const std::function<PowerCurveContent(const QByteArray&)>& parse)
{
    CurveFileLoad out;
    out.curve = PowerCurve(scale.binWidth);
    if (!waiting && !QFile::exists(path))
        return out;
    std::optional<QByteArray> bytes = waiting;
    PowerCurveContent content = waiting ? parse(*waiting) : readContent(path, bytes, parse);
    out.fileAltitude = content.altitude;
    double factor = 1;
    if (content.units) {
        out.fileUnits = *content.units;
        out.fileWidth = content.width;
        const std::optional<double> exact = exactFactor(*content.units, content.width, scale);
        if (!exact) {
            out.setAside = bytes;
            return out;
        }
        factor = *exact;
        out.converted = content.units->compare(scale.unitName, Qt::CaseInsensitive) != 0 ||
                        content.width != scale.binWidth;
    }
    if (bytes && content.altitude != altitudeMetres) {
        out.otherAltitude = true;
        out.converted = false;
        out.setAside = bytes;
        return out;
    }
    out.damaged = addBins(waiting ? QString() : path, content, factor, out.curve);
    return out;
}

} // namespace curve
