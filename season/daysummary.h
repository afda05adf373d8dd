#pragma once

#include "core/quantities.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace season {

// A day is summed up in ten-minute buckets: enough for a year across a wide screen (52,560
// buckets), small enough to keep a year of them in a few megabytes.
inline constexpr int kBucketMinutes = 10;
inline constexpr int kBuckets = 24 * 60 / kBucketMinutes;
inline constexpr std::size_t kSeries = core::kLogged.size();

// The records of one bucket: how many, and each logged quantity's lowest, highest (and when)
// and sum.
struct Bucket
{
    std::uint32_t count = 0;
    std::array<float, kSeries> min{};
    std::array<float, kSeries> max{};
    std::array<float, kSeries> sum{};
    std::array<std::uint16_t, kSeries> minMinute{}; // the minute of the day of the first lowest
    std::array<std::uint16_t, kSeries> maxMinute{}; // and of the first highest
};

struct DaySummary
{
    std::array<Bucket, kBuckets> buckets{};
    std::uint32_t records = 0;
};

// The summary of a day file's content: every record with a readable time, as the history
// window reads them, in the bucket of its time.
DaySummary summarizeDay(QByteArrayView content);

// Which day file a summary was made from: its size and modification time.
struct SourceStamp
{
    qint64 size = -1;
    qint64 modifiedMs = 0;

    bool operator==(const SourceStamp&) const = default;
};

// A day's summary in a month's pack, with the stamp of the file it was made from.
struct PackedDay
{
    QDate date;
    SourceStamp stamp;
    DaySummary summary;
};
inline constexpr std::uint32_t kMaxPackDays = 31;

// A month's summaries as their cache file holds them: a mark, the count, a checksum over the
// days, then each day's date, stamp and buckets. One file a month is one read for 31 days.
QByteArray encodePack(const std::vector<PackedDay>& days);

// The days of a pack, when the bytes are a whole, undamaged pack.
std::optional<std::vector<PackedDay>> decodePack(QByteArrayView bytes);

} // namespace season
