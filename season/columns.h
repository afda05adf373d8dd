#pragma once

#include "season/daysummary.h"
#include "season/ticks.h"

#include <QDate>
#include <QDateTime>
#include <array>
#include <optional>
#include <vector>

namespace season {

// A run of days and their summaries (nullopt: no day file that day).
struct DayRun
{
    QDate from;
    std::vector<std::optional<DaySummary>> days;

    int bucketCount() const { return int(days.size()) * kBuckets; }
    // The local time a bucket of the run begins.
    QDateTime bucketTime(double bucket) const;
    // The local time of a minute after the run's first midnight.
    QDateTime minuteTime(int minute) const;
};

// What part of the run is in view, in buckets from the run's first: [start, end).
struct BucketView
{
    double start = 0;
    double end = 0;
};

// One pixel column: the lowest and highest record of each series over the buckets it covers,
// so a spike of one interval is never lost however long the view. Empty where no bucket of the
// column holds a record (no day file, or no record then): drawn as a gap.
struct Column
{
    bool empty = true;
    std::array<float, kSeries> min{};
    std::array<float, kSeries> max{};
    std::array<int, kSeries> minAt{}; // when the lowest and highest were logged: minutes after
    std::array<int, kSeries> maxAt{}; // the run's first midnight
    double firstBucket = 0; // the view's buckets the column covers: [firstBucket, endBucket)
    double endBucket = 0;
};

// The view across the given number of columns.
std::vector<Column> reduceColumns(const DayRun& run, const BucketView& view, int columns);
// The same over a run's summaries held elsewhere, a day each from the run's first (null: no day
// file), so a caller that keeps them need not copy a year of them.
std::vector<Column> reduceColumns(const std::vector<const DaySummary*>& days,
                                  const BucketView& view, int columns);

// Each series' lowest and highest over the columns that hold records.
struct ColumnExtremes
{
    std::array<float, kSeries> min{};
    std::array<float, kSeries> max{};
    bool any = false;
};
ColumnExtremes columnExtremes(const std::vector<Column>& columns);

// Each series' range over the buckets in view that hold records, as a panel of the Days view
// scales itself: robust, from the percentiles PanelRange keeps, so one glitch never sets it.
std::array<ValueRange, kSeries> seriesRanges(const std::vector<const DaySummary*>& days,
                                             const BucketView& view, bool robust);

// The day of a column (its first bucket's), for opening it in the history window.
QDate columnDay(const DayRun& run, const Column& column);

} // namespace season
