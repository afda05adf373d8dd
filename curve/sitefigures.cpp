#include "curve/sitefigures.h"

#include "season/energybars.h"
#include "season/energyledger.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <iterator>
#include <map>
#include <set>

namespace curve {

namespace {

constexpr std::size_t seriesOf(core::Quantity q)
{
    for (std::size_t s = 0; s < season::kSeries; ++s) {
        if (core::kLogged[s] == q)
            return s;
    }
    return season::kSeries;
}
constexpr std::size_t kWindSeries = seriesOf(core::kWind);
constexpr std::size_t kWattsSeries = seriesOf(core::kWatts);
static_assert(kWindSeries < season::kSeries && kWattsSeries < season::kSeries);

// The date a day file names, "2024_3_7"; invalid when it names none.
QDate dateOf(const QString& text)
{
    static const QRegularExpression kDate(QStringLiteral("^(\\d{4})_(\\d{1,2})_(\\d{1,2})$"));
    const QRegularExpressionMatch m = kDate.match(text);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

struct LogSums
{
    std::set<QDate> days;
    double windSum = 0;
    long long windCount = 0;
    double loggedWh = 0;

    void add(QDate date, const season::DaySummary& day)
    {
        if (day.records == 0)
            return;
        days.insert(date);
        const double hours = intervalHours(day);
        for (const season::Bucket& b : day.buckets) {
            windSum += double(b.sum[kWindSeries]);
            loggedWh += double(b.sum[kWattsSeries]) * hours;
        }
        windCount += day.records;
    }
};

// The first and last day of each year the logs folder has a file of.
std::map<int, std::pair<QDate, QDate>> loggedYears(const QString& logsDir)
{
    std::map<int, std::pair<QDate, QDate>> years;
    for (const QString& name : QDir(logsDir).entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        const QDate date = dateOf(name.chopped(4));
        if (!date.isValid())
            continue;
        const auto it = years.try_emplace(date.year(), date, date).first;
        it->second.first = std::min(it->second.first, date);
        it->second.second = std::max(it->second.second, date);
    }
    return years;
}

// A year of summaries at a time, so years of logs never sit in memory at once.
std::optional<LogSums> readSummaries(const season::SummarySource& source,
                                     const std::atomic<bool>* cancel)
{
    LogSums sums;
    for (const auto& [year, span] : loggedYears(source.app.logsDir())) {
        const auto run = season::runSummaries(source, span.first, span.second, cancel);
        if (cancel && *cancel)
            return std::nullopt;
        for (std::size_t k = 0; k < run.size(); ++k) {
            if (run[k])
                sums.add(span.first.addDays(qint64(k)), *run[k]);
        }
    }
    return sums;
}

struct LedgerSums
{
    double wh = 0;
    QDate first;
};

// The watt-hours the energy ledger gives those days and its first day, or nullopt without a
// ledger to read.
std::optional<LedgerSums> ledgerWh(const core::AppDir& app, const std::set<QDate>& days)
{
    if (!QFile::exists(season::energyLedgerFile(app)))
        return std::nullopt;
    const season::LedgerContent ledger = season::readLedger(app);
    if (ledger.badLines < 0 || ledger.days.empty())
        return std::nullopt;
    LedgerSums out{0, ledger.days.begin()->first};
    for (const auto& [date, hours] : ledger.days) {
        if (days.contains(date))
            out.wh += season::dayWattHours(hours);
    }
    return out;
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

// The day file's times are whole minutes, so at intervals under a minute its own gaps say less
// than the buckets' counts do.
double intervalHours(const season::DaySummary& day)
{
    std::vector<double> gaps;
    int last = -1;
    for (int b = 0; b < season::kBuckets; ++b) {
        if (day.buckets[std::size_t(b)].count == 0)
            continue;
        if (last >= 0)
            gaps.push_back(double((b - last) * season::kBucketMinutes) /
                           day.buckets[std::size_t(last)].count);
        last = b;
    }
    if (gaps.empty()) {
        const std::uint32_t lone = last < 0 ? 0 : day.buckets[std::size_t(last)].count;
        return lone > 1 ? double(season::kBucketMinutes) / lone / 60.0 : 0.0;
    }
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2] / 60.0;
}

std::optional<SiteFigures> siteFigures(const season::SummarySource& source, const WindScale& scale,
                                       const std::vector<Bin>& bins,
                                       const std::atomic<bool>* cancel)
{
    const std::optional<LogSums> sums = readSummaries(source, cancel);
    if (!sums || int(sums->days.size()) < kSiteDays || sums->windCount == 0)
        return std::nullopt;
    SiteFigures out;
    out.days = int(sums->days.size());
    out.meanWind = sums->windSum / double(sums->windCount) * scale.toBinUnit;
    const std::optional<LedgerSums> ledger = ledgerWh(source.app, sums->days);
    out.fromEnergyFile = ledger.has_value();
    out.energyWh = ledger ? ledger->wh : sums->loggedWh;
    out.energyDays = out.days;
    if (ledger && ledger->first > *sums->days.begin()) {
        out.ledgerSince = ledger->first;
        out.energyDays =
            int(std::distance(sums->days.lower_bound(ledger->first), sums->days.end()));
    }
    out.ratedWatts = ratedWatts(bins);
    if (out.ratedWatts > 0 && out.energyDays > 0)
        out.capacityFactor = out.energyWh / (out.ratedWatts * out.energyDays * 24.0);
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
    if (figures.ratedWatts > 0 && figures.ledgerSince.isValid())
        text += QStringLiteral(" over the %1 days since the energy file began on %2")
                    .arg(figures.energyDays)
                    .arg(figures.ledgerSince.toString(Qt::ISODate));
    return text + QLatin1Char('.');
}

} // namespace curve
