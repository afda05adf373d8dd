#pragma once

#include "core/quantities.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>
#include <optional>

namespace season {

// A day is summed up in ten-minute buckets: enough for a year across a wide screen (52,560
// buckets), small enough to keep a year of them in a few megabytes.
inline constexpr int kBucketMinutes = 10;
inline constexpr int kBuckets = 24 * 60 / kBucketMinutes;
inline constexpr std::size_t kSeries = core::kLogged.size();

// The records of one bucket: how many, and each logged quantity's lowest, highest and sum.
struct Bucket
{
    std::uint32_t count = 0;
    std::array<float, kSeries> min{};
    std::array<float, kSeries> max{};
    std::array<float, kSeries> sum{};
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

// A summary as its cache file holds it: a mark, the source's stamp, the buckets and a checksum.
QByteArray encodeSummary(const DaySummary& summary, const SourceStamp& source);

// The summary, when the bytes are a whole, undamaged summary made from a file with this stamp.
std::optional<DaySummary> decodeSummary(QByteArrayView bytes, const SourceStamp& source);

} // namespace season
