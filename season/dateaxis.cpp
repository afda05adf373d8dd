#include "season/dateaxis.h"

#include <QLocale>
#include <array>
#include <cmath>

namespace season {
namespace {

// English month names whatever the locale, as every caption of the program.
QString monthLabel(QDate date)
{
    const QString name = QLocale::c().monthName(date.month(), QLocale::ShortFormat);
    return date.month() == 1 ? name + QStringLiteral(" %1").arg(date.year()) : name;
}

QString bucketLabel(const DayRun& run, double bucket)
{
    const QDateTime t = run.bucketTime(bucket);
    if (t.time() != QTime(0, 0))
        return t.toString(QStringLiteral("HH:mm"));
    return QStringLiteral("%1 %2")
        .arg(t.date().day())
        .arg(QLocale::c().monthName(t.date().month(), QLocale::ShortFormat));
}

std::vector<DateTick> monthTicks(const DayRun& run, const BucketView& view, double perColumn)
{
    std::vector<DateTick> out;
    const QDate first = run.bucketTime(view.start).date();
    for (QDate m(first.year(), first.month(), 1);; m = m.addMonths(1)) {
        const double bucket = double(run.from.daysTo(m)) * kBuckets;
        if (bucket >= view.end)
            break;
        if (bucket >= view.start)
            out.push_back({int((bucket - view.start) / perColumn), monthLabel(m)});
    }
    return out;
}

} // namespace

std::vector<DateTick> dateTicks(const DayRun& run, const BucketView& view, int columns, int spacing)
{
    const double span = view.end - view.start;
    if (columns <= 0 || span <= 0)
        return {};
    const double perColumn = span / columns;
    // Steps in buckets: 3, 6 and 12 hours, then 1, 2, 7 and 14 days.
    constexpr std::array<int, 7> kSteps = {kBuckets / 8, kBuckets / 4, kBuckets / 2, kBuckets,
                                           2 * kBuckets, 7 * kBuckets, 14 * kBuckets};
    for (const int step : kSteps) {
        if (step / perColumn < spacing)
            continue;
        std::vector<DateTick> out;
        for (double b = std::ceil(view.start / step) * step; b < view.end; b += step)
            out.push_back({int((b - view.start) / perColumn), bucketLabel(run, b)});
        return out;
    }
    return monthTicks(run, view, perColumn);
}

} // namespace season
