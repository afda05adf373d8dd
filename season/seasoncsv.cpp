#include "season/seasoncsv.h"

#include "core/numbers.h"

#include <QLocale>

namespace season {
namespace {

// The file's column names of the logged quantities, as the history window's CSV has them.
constexpr const char* kSeriesNames[] = {"volts", "amps", "watts", "rpm", "wind_speed"};
static_assert(std::size(kSeriesNames) == kSeries);

QByteArray number(double value)
{
    return core::plainNumberText(value, QLocale::c()).toLatin1();
}

QByteArray isoMinute(const QDateTime& at)
{
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm")).toLatin1();
}

} // namespace

QByteArray barsCsv(const EnergyBars& bars)
{
    QByteArray out = "period,kwh\r\n";
    for (const EnergyBar& b : bars.bars)
        out += b.isoPeriod.toLatin1() + ',' + number(b.kWh) + "\r\n";
    return out;
}

QByteArray columnsCsv(const DayRun& run, const std::vector<Column>& columns)
{
    QByteArray out = "from,to";
    for (const char* name : kSeriesNames)
        out += QByteArray(",") + name + "_min," + name + "_max";
    for (const char* name : kSeriesNames)
        out += QByteArray(",") + name + "_min_at," + name + "_max_at";
    out += "\r\n";
    for (const Column& c : columns) {
        if (c.empty)
            continue;
        out +=
            isoMinute(run.bucketTime(c.firstBucket)) + ',' + isoMinute(run.bucketTime(c.endBucket));
        for (std::size_t s = 0; s < kSeries; ++s)
            out += ',' + number(c.min[s]) + ',' + number(c.max[s]);
        for (std::size_t s = 0; s < kSeries; ++s)
            out += ',' + isoMinute(run.minuteTime(c.minAt[s])) + ',' +
                   isoMinute(run.minuteTime(c.maxAt[s]));
        out += "\r\n";
    }
    return out;
}

} // namespace season
