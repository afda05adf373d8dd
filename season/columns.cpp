#include "season/columns.h"

#include <algorithm>
#include <cmath>

namespace season {
namespace {

void take(Column& c, const Bucket& b, int dayMinute)
{
    for (std::size_t s = 0; s < kSeries; ++s) {
        if (c.empty || b.min[s] < c.min[s]) {
            c.min[s] = b.min[s];
            c.minAt[s] = dayMinute + b.minMinute[s];
        }
        if (c.empty || b.max[s] > c.max[s]) {
            c.max[s] = b.max[s];
            c.maxAt[s] = dayMinute + b.maxMinute[s];
        }
    }
    c.empty = false;
}

} // namespace

QDateTime DayRun::bucketTime(double bucket) const
{
    const int whole = std::max(0, int(std::floor(bucket)));
    const QDate day = from.addDays(whole / kBuckets);
    const int minutes = (whole % kBuckets) * kBucketMinutes;
    return QDateTime(day, QTime(minutes / 60, minutes % 60));
}

QDateTime DayRun::minuteTime(int minute) const
{
    const int m = std::max(0, minute);
    return QDateTime(from.addDays(m / 1440), QTime(m % 1440 / 60, m % 60));
}

std::vector<Column> reduceColumns(const DayRun& run, const BucketView& view, int columns)
{
    std::vector<const DaySummary*> days;
    days.reserve(run.days.size());
    for (const auto& day : run.days)
        days.push_back(day ? &*day : nullptr);
    return reduceColumns(days, view, columns);
}

std::array<ValueRange, kSeries> seriesRanges(const std::vector<const DaySummary*>& days,
                                             const BucketView& view, bool robust)
{
    const int first = std::max(0, int(std::floor(view.start)));
    const int end = std::min(int(days.size()) * kBuckets, int(std::ceil(view.end)));
    auto eachBucket = [&](auto take) {
        for (int b = first; b < end; ++b) {
            const DaySummary* day = days[std::size_t(b / kBuckets)];
            if (day && day->buckets[std::size_t(b % kBuckets)].count > 0)
                take(day->buckets[std::size_t(b % kBuckets)]);
        }
    };
    std::size_t count = 0;
    eachBucket([&count](const Bucket&) { ++count; });
    std::vector<PanelRange> finders(kSeries, PanelRange(count, robust));
    eachBucket([&finders](const Bucket& bucket) {
        for (std::size_t s = 0; s < kSeries; ++s)
            finders[s].add(bucket.min[s], bucket.max[s]);
    });
    std::array<ValueRange, kSeries> out;
    for (std::size_t s = 0; s < kSeries; ++s)
        out[s] = finders[s].range();
    return out;
}

std::vector<Column> reduceColumns(const std::vector<const DaySummary*>& days,
                                  const BucketView& view, int columns)
{
    std::vector<Column> out(std::size_t(std::max(columns, 0)));
    const double span = view.end - view.start;
    if (columns <= 0 || span <= 0)
        return out;
    const int last = int(days.size()) * kBuckets;
    for (int c = 0; c < columns; ++c) {
        Column& col = out[std::size_t(c)];
        col.firstBucket = view.start + span * c / columns;
        col.endBucket = view.start + span * (c + 1) / columns;
        // Every bucket the column touches, so neighbouring columns may share one but none is
        // skipped.
        const int b0 = std::max(0, int(std::floor(col.firstBucket)));
        const int b1 = std::min(last, std::max(b0 + 1, int(std::ceil(col.endBucket))));
        for (int b = b0; b < b1; ++b) {
            const DaySummary* day = days[std::size_t(b / kBuckets)];
            if (!day)
                continue;
            const Bucket& bucket = day->buckets[std::size_t(b % kBuckets)];
            if (bucket.count > 0)
                take(col, bucket, b / kBuckets * 1440);
        }
    }
    return out;
}

ColumnExtremes columnExtremes(const std::vector<Column>& columns)
{
    ColumnExtremes e;
    for (const Column& c : columns) {
        if (c.empty)
            continue;
        for (std::size_t s = 0; s < kSeries; ++s) {
            e.min[s] = e.any ? std::min(e.min[s], c.min[s]) : c.min[s];
            e.max[s] = e.any ? std::max(e.max[s], c.max[s]) : c.max[s];
        }
        e.any = true;
    }
    return e;
}

QDate columnDay(const DayRun& run, const Column& column)
{
    return run.bucketTime(column.firstBucket).date();
}

} // namespace season
