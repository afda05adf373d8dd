#include "curve/binsfile.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <utility>

namespace curve {

QByteArray binsFileBytes(const PowerCurve& bins, const BinsFormat& format, const QString& unitName,
                         double altitudeMetres)
{
    const QLocale c = QLocale::c();
    const QByteArray mean = format.meanTag;
    const QByteArray spread = format.spreadTag ? format.spreadTag : "";
    QByteArray out = powerCurveHeader(unitName, bins.binWidth(), altitudeMetres);
    for (const Bin& b : bins.bins()) {
        out += "<B>" + core::numberText(b.centre, c).toLatin1() + "</B><N>" +
               QByteArray::number(b.minutes) + "</N><" + mean + ">" +
               core::numberText(core::roundTo(b.meanWatts, format.decimals), c).toLatin1() + "</" +
               mean + ">";
        // Bins merged from lines at the limits may spread a little wider than one line may say:
        // written at the limit, so the file always reads back.
        const double sd = std::min(b.sdWatts, format.highest - format.lowest);
        if (format.spreadTag)
            out += "<" + spread + ">" +
                   core::numberText(core::roundTo(sd, format.decimals), c).toLatin1() + "</" +
                   spread + ">";
        out += "\r\n";
    }
    return out;
}

namespace {

// The numbers of one line, each within its limit, or nullopt: checked while still a double.
std::optional<Bin> binOfLine(const QByteArray& raw, const BinsFormat& format)
{
    if (!raw.endsWith('\r'))
        return std::nullopt;
    const QString line = QString::fromLatin1(raw.chopped(1));
    const QLocale c = QLocale::c();
    const int count = format.spreadTag ? 4 : 3;
    const QString keys[] = {QStringLiteral("B"), QStringLiteral("N"),
                            QString::fromLatin1(format.meanTag),
                            QString::fromLatin1(format.spreadTag ? format.spreadTag : "")};
    double v[4] = {0, 0, 0, 0};
    for (int k = 0; k < count; ++k) {
        const std::optional<QString> text = core::tagValue(line, keys[k]);
        const std::optional<double> n =
            text ? core::numericValue(*text, c) : std::optional<double>();
        if (!n || !std::isfinite(*n))
            return std::nullopt;
        v[k] = *n;
    }
    const bool inRange = std::fabs(v[0]) <= kMaxBinCentre && v[1] >= 1 && v[1] <= kMaxBinMinutes &&
                         v[1] == std::floor(v[1]) && v[2] >= format.lowest &&
                         v[2] <= format.highest && v[3] >= 0 &&
                         v[3] <= format.highest - format.lowest;
    if (!inRange)
        return std::nullopt;
    return Bin{v[0], int(v[1]), v[2], v[3]};
}

} // namespace

PowerCurveContent parseBinsFile(const QByteArray& bytes, const BinsFormat& format)
{
    PowerCurveContent out;
    bool first = true;
    for (const QByteArray& raw : bytes.split('\n')) {
        if (raw.isEmpty())
            continue;
        if (std::exchange(first, false) && raw.startsWith("<Units>")) {
            // The header is powercurve.txt's, read by its reader.
            const PowerCurveContent header = parsePowerCurve(raw + '\n');
            if (header.units) {
                out.units = header.units;
                out.width = header.width;
                out.altitude = header.altitude;
            } else {
                ++out.skippedLines;
            }
            continue;
        }
        if (const std::optional<Bin> bin = binOfLine(raw, format))
            out.bins.push_back(*bin);
        else
            ++out.skippedLines;
    }
    return out;
}

CurveFileLoad loadBinsFile(const QString& path, const BinsFormat& format, const WindScale& scale,
                           double altitudeMetres, const std::optional<QByteArray>& waiting)
{
    return loadBinsWith(path, scale, altitudeMetres, waiting, [&format](const QByteArray& bytes) {
        return parseBinsFile(bytes, format);
    });
}

QString keptAsPath(const core::AppDir& app, const QString& stem, const QDate& day)
{
    const QString date = day.toString(Qt::ISODate);
    QString path = app.logsDir() + QStringLiteral("%1-%2.txt").arg(stem, date);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = app.logsDir() + QStringLiteral("%1-%2-%3.txt").arg(stem, date).arg(n);
    return path;
}

} // namespace curve
