#include "curve/windbins.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <climits>
#include <cmath>
#include <utility>

namespace curve {

int monthKey(const QDate& date)
{
    return date.year() * 12 + date.month() - 1;
}

QDate monthStart(int month)
{
    return QDate(month / 12, month % 12 + 1, 1);
}

QByteArray monthText(int month)
{
    return QStringLiteral("%1-%2")
        .arg(month / 12, 4, 10, QLatin1Char('0'))
        .arg(month % 12 + 1, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

namespace {

bool monthInRange(int month)
{
    return month >= kFirstWindYear * 12 && month < (kLastWindYear + 1) * 12;
}

} // namespace

bool WindBins::add(int month, double wind, int minutes)
{
    if (!monthInRange(month) || !(std::fabs(wind) <= kMaxBinCentre) || minutes < 1 ||
        minutes > kMaxMonthBinMinutes)
        return false;
    // The power curve's rule, so a wind falls in the same bin in both.
    const int index = PowerCurve(m_width).binIndex(wind);
    int& n = m_counts[{month, index}];
    if (n > kMaxMonthBinMinutes - minutes) {
        if (n == 0)
            m_counts.erase({month, index});
        return false;
    }
    n += minutes;
    return true;
}

std::vector<WindCount> WindBins::counts() const
{
    std::vector<WindCount> out;
    out.reserve(m_counts.size());
    for (const auto& [key, n] : m_counts)
        out.push_back({key.first, key.second * m_width, n});
    return out;
}

std::vector<WindBin> WindBins::histogram(int firstMonth, int lastMonth) const
{
    std::map<int, int> sums;
    for (auto it = m_counts.lower_bound({firstMonth, INT_MIN});
         it != m_counts.end() && it->first.first <= lastMonth; ++it)
        sums[it->first.second] += it->second;
    std::vector<WindBin> out;
    out.reserve(sums.size());
    for (const auto& [index, n] : sums)
        out.push_back({index * m_width, n});
    return out;
}

std::vector<int> WindBins::months() const
{
    std::vector<int> out;
    for (const auto& [key, n] : m_counts) {
        if (out.empty() || out.back() != key.first)
            out.push_back(key.first);
    }
    return out;
}

QString windBinsPath(const core::AppDir& app)
{
    return app.logsDir() + QStringLiteral("windbins.txt");
}

QByteArray windBinsFileBytes(const WindBins& bins, const QString& unitName)
{
    QByteArray out = powerCurveHeader(unitName, bins.binWidth());
    for (const WindCount& c : bins.counts())
        out += "<M>" + monthText(c.month) + "</M><B>" +
               core::numberText(c.centre, QLocale::c()).toLatin1() + "</B><N>" +
               QByteArray::number(c.minutes) + "</N>\r\n";
    return out;
}

namespace {

// The three values of one line, each within its limit, or nullopt.
std::optional<WindCount> countOfLine(const QByteArray& raw)
{
    if (!raw.endsWith('\r'))
        return std::nullopt;
    const QString line = QString::fromLatin1(raw.chopped(1));
    static const QRegularExpression kMonth(QStringLiteral("^(\\d{4})-(\\d{2})$"));
    const std::optional<QString> monthValue = core::tagValue(line, u"M");
    const QRegularExpressionMatch m = kMonth.match(monthValue.value_or(QString()));
    if (!m.hasMatch())
        return std::nullopt;
    const int year = m.captured(1).toInt();
    const int month = m.captured(2).toInt();
    if (year < kFirstWindYear || year > kLastWindYear || month < 1 || month > 12)
        return std::nullopt;
    double v[2];
    const QStringView keys[] = {u"B", u"N"};
    for (int k = 0; k < 2; ++k) {
        const std::optional<QString> text = core::tagValue(line, keys[k]);
        const std::optional<double> n =
            text ? core::numericValue(*text, QLocale::c()) : std::optional<double>();
        if (!n || !std::isfinite(*n))
            return std::nullopt;
        v[k] = *n;
    }
    if (!(std::fabs(v[0]) <= kMaxBinCentre) || !(v[1] >= 1 && v[1] <= kMaxMonthBinMinutes) ||
        v[1] != std::floor(v[1]))
        return std::nullopt;
    return WindCount{year * 12 + month - 1, v[0], int(v[1])};
}

} // namespace

WindBinsContent parseWindBins(const QByteArray& bytes)
{
    WindBinsContent out;
    bool first = true;
    for (const QByteArray& raw : bytes.split('\n')) {
        if (raw.isEmpty())
            continue;
        if (std::exchange(first, false) && raw.startsWith("<Units>")) {
            // The power curve's header, read by its own reader; these winds are never
            // normalised, so a header with an altitude is not this file's.
            const PowerCurveContent header = parsePowerCurve(raw);
            if (header.units && header.altitude == 0) {
                out.units = header.units;
                out.width = header.width;
            } else {
                ++out.skippedLines;
            }
            continue;
        }
        if (const std::optional<WindCount> count = countOfLine(raw))
            out.counts.push_back(*count);
        else
            ++out.skippedLines;
    }
    return out;
}

WindFileLoad loadWindFile(const QString& path, const WindScale& scale,
                          const std::optional<QByteArray>& waiting)
{
    WindFileLoad out;
    out.bins = WindBins(scale.binWidth);
    if (!waiting && !QFile::exists(path))
        return out;
    const std::optional<QByteArray> bytes = waiting ? waiting : core::readWholeFile(path);
    WindBinsContent content;
    if (bytes)
        content = parseWindBins(*bytes);
    else
        content.skippedLines = 1; // there, but not readable
    double factor = 1;
    if (content.units) {
        const std::optional<double> exact = exactFactor(*content.units, content.width, scale);
        if (!exact) {
            out.setAside = bytes;
            return out;
        }
        factor = *exact;
        out.converted = content.units->compare(scale.unitName, Qt::CaseInsensitive) != 0 ||
                        content.width != scale.binWidth;
    }
    for (const WindCount& c : content.counts) {
        if (!out.bins.add(c.month, c.centre * factor, c.minutes)) // two lines past the limit
            ++content.skippedLines;
    }
    out.damaged = content.skippedLines > 0;
    if (out.damaged && !waiting)
        keepDamaged(path);
    return out;
}

void SiteWind::add(const QDate& day, double wind)
{
    const int month = monthKey(day);
    m_bins.add(month, wind);
    if (!m_fileRead)
        m_beforeFile.add(month, wind);
}

void SiteWind::takeFile(WindFileLoad load)
{
    if (std::exchange(m_fileRead, true))
        return;
    m_bins = std::move(load.bins);
    m_damaged = load.damaged;
    m_setAside = std::move(load.setAside);
    for (const WindCount& c : m_beforeFile.counts())
        m_bins.add(c.month, c.centre, c.minutes);
    m_beforeFile = WindBins(m_scale.binWidth);
}

} // namespace curve
