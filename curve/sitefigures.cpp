#include "curve/sitefigures.h"

#include "core/files.h"
#include "core/tags.h"
#include "history/dayreader.h"

#include <QDate>
#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <set>

namespace curve {

namespace {

// The date a day file or an energy line names, "2024_3_7"; invalid when it names none.
QDate dateOf(const QString& text)
{
    static const QRegularExpression kDate(QStringLiteral("^(\\d{4})_(\\d{1,2})_(\\d{1,2})$"));
    const QRegularExpressionMatch m = kDate.match(text);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

// The logging interval of a day, in hours: the median gap between its records.
double intervalHours(const std::vector<history::LoadedRecord>& records)
{
    std::vector<double> gaps;
    for (std::size_t k = 1; k < records.size(); ++k)
        gaps.push_back(records[k].time - records[k - 1].time);
    if (gaps.empty())
        return 0;
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    return std::max(0.0, gaps[gaps.size() / 2]) * 24.0;
}

struct LogSums
{
    std::set<QDate> days;
    double windSum = 0;
    long long windCount = 0;
    double loggedWh = 0;
};

LogSums readDays(const QString& logsDir)
{
    LogSums sums;
    const QDir dir(logsDir);
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        const QDate date = dateOf(name.chopped(4));
        if (!date.isValid())
            continue;
        const std::optional<QByteArray> bytes = core::readWholeFile(dir.filePath(name));
        if (!bytes)
            continue;
        const history::DayRecords day = history::parseDayLog(*bytes, -1.0, 2.0);
        if (day.records.empty())
            continue;
        sums.days.insert(date);
        const double hours = intervalHours(day.records);
        for (const history::LoadedRecord& r : day.records) {
            sums.windSum += r.values[core::kWind];
            sums.loggedWh += r.values[core::kWatts] * hours;
        }
        sums.windCount += qint64(day.records.size());
    }
    return sums;
}

// The watt-hours "energy.txt" gives those days, or nullopt without the file.
std::optional<double> energyFileWh(const QString& logsDir, const std::set<QDate>& days)
{
    const std::optional<QByteArray> bytes =
        core::readWholeFile(QDir(logsDir).filePath(QStringLiteral("energy.txt")));
    if (!bytes)
        return std::nullopt;
    double wh = 0;
    for (const QByteArray& line : bytes->split('\n')) {
        const QString text = QString::fromLatin1(line);
        const std::optional<QString> day = core::tagValue(text, u"D");
        if (day && days.contains(dateOf(day->trimmed())))
            wh += core::tagNumber(text, u"WH");
    }
    return wh;
}

double ratedWatts(const std::vector<Bin>& bins)
{
    const auto complete = std::find_if(bins.rbegin(), bins.rend(),
                                       [](const Bin& b) { return b.minutes >= kCompleteMinutes; });
    if (complete != bins.rend())
        return complete->meanWatts;
    return bins.empty() ? 0.0 : bins.back().meanWatts;
}

} // namespace

std::optional<SiteFigures> siteFigures(const QString& logsDir, const WindScale& scale,
                                       const std::vector<Bin>& bins)
{
    const LogSums sums = readDays(logsDir);
    if (int(sums.days.size()) < kSiteDays || sums.windCount == 0)
        return std::nullopt;
    SiteFigures out;
    out.days = int(sums.days.size());
    out.meanWind = sums.windSum / double(sums.windCount) * scale.toBinUnit;
    const std::optional<double> fileWh = energyFileWh(logsDir, sums.days);
    out.fromEnergyFile = fileWh.has_value();
    out.energyWh = fileWh.value_or(sums.loggedWh);
    out.ratedWatts = ratedWatts(bins);
    if (out.ratedWatts > 0)
        out.capacityFactor = out.energyWh / (out.ratedWatts * out.days * 24.0);
    return out;
}

QString siteFiguresText(const SiteFigures& figures, const WindScale& scale)
{
    QString text = QStringLiteral("Site over %1 days: mean wind %2 %3 (from the logged interval "
                                  "peaks, so it reads high)")
                       .arg(figures.days)
                       .arg(figures.meanWind, 0, 'f', 1)
                       .arg(scale.unitName);
    if (figures.ratedWatts > 0)
        text +=
            QStringLiteral(", capacity factor %1 %").arg(figures.capacityFactor * 100, 0, 'f', 1);
    return text + QLatin1Char('.');
}

} // namespace curve
