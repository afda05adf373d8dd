#include "season/energybars.h"

#include <numeric>

namespace season {
namespace {

constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The bars' periods, empty, for the span.
std::vector<EnergyBar> emptyBars(const LedgerContent& ledger, EnergySpan span, int year, int month)
{
    std::vector<EnergyBar> bars;
    auto bar = [&](QString label, QDate first, QString iso) {
        const int days = span == EnergySpan::Month  ? 1
                         : span == EnergySpan::Year ? first.daysInMonth()
                                                    : first.daysInYear();
        bars.push_back({std::move(label), first, std::move(iso), 0, 0, days, {}});
    };
    switch (span) {
    case EnergySpan::Month: {
        const QDate first(year, month, 1);
        for (int d = 1; d <= first.daysInMonth(); ++d) {
            const QDate day(year, month, d);
            bar(QString::number(d), day, day.toString(Qt::ISODate));
        }
        break;
    }
    case EnergySpan::Year:
        for (int m = 1; m <= 12; ++m) {
            bar(QString::fromLatin1(kMonthNames[m - 1]), QDate(year, m, 1),
                QStringLiteral("%1-%2")
                    .arg(year, 4, 10, QLatin1Char('0'))
                    .arg(m, 2, 10, QLatin1Char('0')));
        }
        break;
    case EnergySpan::AllYears:
        if (ledger.days.empty())
            break;
        for (int y = ledger.days.begin()->first.year(); y <= ledger.days.rbegin()->first.year();
             ++y)
            bar(QString::number(y), QDate(y, 1, 1), QString::number(y));
        break;
    }
    return bars;
}

// Which bar a day falls in, or -1.
int barOf(const std::vector<EnergyBar>& bars, EnergySpan span, QDate day)
{
    if (bars.empty())
        return -1;
    const QDate first = bars.front().first;
    switch (span) {
    case EnergySpan::Month:
        return day.year() == first.year() && day.month() == first.month() ? day.day() - 1 : -1;
    case EnergySpan::Year:
        return day.year() == first.year() ? day.month() - 1 : -1;
    case EnergySpan::AllYears:
        return day.year() - first.year();
    }
    return -1;
}

// The ledger's days from the first a bar covers to the last.
auto daysInView(const LedgerContent& ledger, const std::vector<EnergyBar>& bars, EnergySpan span)
{
    if (bars.empty() || span == EnergySpan::AllYears)
        return std::pair(ledger.days.begin(), ledger.days.end());
    const QDate from = bars.front().first;
    const QDate to = span == EnergySpan::Month ? from.addMonths(1) : from.addYears(1);
    return std::pair(ledger.days.lower_bound(from), ledger.days.lower_bound(to));
}

} // namespace

void markCompleteness(EnergyBars& bars, const CompletenessContent& content, int intervalSeconds,
                      const QDateTime& now)
{
    for (EnergyBar& bar : bars.bars)
        bar.seen = rangeCompleteness(content, bar.first, bar.calendarDays, intervalSeconds, now);
}

double dayWattHours(const DayEnergy& day)
{
    return std::accumulate(day.begin(), day.end(), 0.0);
}

EnergyBars energyBars(const LedgerContent& ledger, EnergySpan span, int year, int month)
{
    EnergyBars out;
    if (span != EnergySpan::AllYears &&
        !QDate::isValid(year, span == EnergySpan::Month ? month : 1, 1))
        return out;
    out.bars = emptyBars(ledger, span, year, month);
    const auto [from, to] = daysInView(ledger, out.bars, span);
    for (auto it = from; it != to; ++it) {
        const int bar = barOf(out.bars, span, it->first);
        if (bar < 0)
            continue;
        const double kWh = dayWattHours(it->second) / 1000.0;
        out.bars[std::size_t(bar)].kWh += kWh;
        ++out.bars[std::size_t(bar)].dataDays;
        out.totalKWh += kWh;
        if (!out.bestDay.isValid() || kWh > out.bestDayKWh) {
            out.bestDay = it->first;
            out.bestDayKWh = kWh;
        }
    }
    return out;
}

} // namespace season
