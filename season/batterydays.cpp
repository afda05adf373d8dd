#include "season/batterydays.h"

#include "core/numbers.h"
#include "season/energybars.h"

#include <QLocale>
#include <QStringList>
#include <limits>

namespace season {
namespace {

constexpr std::size_t seriesOf(core::Quantity q)
{
    for (std::size_t s = 0; s < kSeries; ++s) {
        if (core::kLogged[s] == q)
            return s;
    }
    return kSeries;
}
constexpr std::size_t kVoltsSeries = seriesOf(core::kVolts);
static_assert(kVoltsSeries < kSeries);

QTime timeOfMinute(int minute)
{
    return QTime(minute / 60 % 24, minute % 60);
}

QString number(double v, int decimals)
{
    return core::numberText(core::roundTo(v, decimals), QLocale::c());
}

} // namespace

std::vector<BatteryDay> batteryDays(const std::vector<std::optional<DaySummary>>& run, QDate first,
                                    const LedgerContent& ledger, double fullVolts)
{
    std::vector<BatteryDay> out;
    out.reserve(run.size());
    for (std::size_t k = 0; k < run.size(); ++k) {
        BatteryDay day;
        day.date = first.addDays(qint64(k));
        if (run[k] && run[k]->records > 0) {
            double low = std::numeric_limits<double>::max();
            double high = std::numeric_limits<double>::lowest();
            for (const Bucket& b : run[k]->buckets) {
                if (b.count == 0)
                    continue;
                // The first lowest and highest of the day: later buckets win only when beyond.
                if (b.min[kVoltsSeries] < low) {
                    low = b.min[kVoltsSeries];
                    day.lowAt = timeOfMinute(b.minMinute[kVoltsSeries]);
                }
                if (b.max[kVoltsSeries] > high) {
                    high = b.max[kVoltsSeries];
                    day.highAt = timeOfMinute(b.maxMinute[kVoltsSeries]);
                }
            }
            day.logged = true;
            // The summary keeps floats: back to the hundredths the log writes.
            day.lowVolts = core::roundTo(low, 2);
            day.highVolts = core::roundTo(high, 2);
            day.reachedFull = day.highVolts >= fullVolts;
        }
        if (const auto energy = ledger.days.find(day.date); energy != ledger.days.end())
            day.chargeWh = dayWattHours(energy->second);
        if (const auto charge = ledger.charge.find(day.date); charge != ledger.charge.end()) {
            if (charge->second.hasAmpHours)
                day.chargeAh = charge->second.ampHours;
            if (charge->second.hasLoad)
                day.loadHours = charge->second.loadMinutes / 60.0;
        }
        out.push_back(day);
    }
    return out;
}

std::vector<BatteryDay> readBatteryDays(const SummarySource& source, QDate first, QDate last,
                                        double fullVolts, const std::atomic<bool>* cancel)
{
    const auto run = runSummaries(source, first, last, cancel);
    if (cancel && *cancel)
        return {};
    return batteryDays(run, first, readLedger(source.app), fullVolts);
}

std::optional<int> daysSinceFull(const std::vector<BatteryDay>& days, QDate today)
{
    for (auto d = days.rbegin(); d != days.rend(); ++d) {
        if (d->reachedFull && d->date <= today)
            return int(d->date.daysTo(today));
    }
    return std::nullopt;
}

QString batterySummary(const std::vector<BatteryDay>& days, QDate today, double fullVolts)
{
    const BatteryDay* lowest = nullptr;
    for (const BatteryDay& d : days) {
        if (d.logged && (!lowest || d.lowVolts < lowest->lowVolts))
            lowest = &d;
    }
    const QString full = QStringLiteral("full at %1 V").arg(number(fullVolts, 2));
    if (!lowest)
        return QStringLiteral("Battery: no records in these days (%1).").arg(full);
    const std::optional<int> since = daysSinceFull(days, today);
    const QString last = !since        ? QStringLiteral("not full in these days")
                         : *since == 0 ? QStringLiteral("full today")
                         : *since == 1 ? QStringLiteral("last full 1 day ago")
                                       : QStringLiteral("last full %1 days ago").arg(*since);
    return QStringLiteral("Battery: lowest %1 V on %2 at %3; %4 (%5).")
        .arg(number(lowest->lowVolts, 2), lowest->date.toString(Qt::ISODate),
             lowest->lowAt.toString(QStringLiteral("HH:mm")), last, full);
}

QByteArray batteryDaysCsv(const std::vector<BatteryDay>& days)
{
    QByteArray out = "date,low_volts,low_time,high_volts,high_time,charge_ah,charge_wh,load_hours,"
                     "full\r\n";
    for (const BatteryDay& d : days) {
        QStringList row{d.date.toString(Qt::ISODate)};
        if (d.logged)
            row << number(d.lowVolts, 2) << d.lowAt.toString(QStringLiteral("HH:mm"))
                << number(d.highVolts, 2) << d.highAt.toString(QStringLiteral("HH:mm"));
        else
            row << QString() << QString() << QString() << QString();
        row << (d.chargeAh ? number(*d.chargeAh, 2) : QString()) << number(d.chargeWh, 2)
            << (d.loadHours ? number(*d.loadHours, 2) : QString())
            << (d.logged ? (d.reachedFull ? QStringLiteral("yes") : QStringLiteral("no"))
                         : QString());
        out += row.join(QLatin1Char(',')).toLatin1() + "\r\n";
    }
    return out;
}

} // namespace season
