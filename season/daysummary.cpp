#include "season/daysummary.h"

#include "history/dayreader.h"

#include <algorithm>
#include <cstring>

namespace season {
namespace {

constexpr char kMark[8] = {'T', 'S', 'S', 'U', 'M', '0', '0', '1'};

struct Header
{
    char mark[8];
    qint64 size;
    qint64 modifiedMs;
    std::uint32_t records;
    std::uint32_t buckets;
    std::uint64_t checksum;
};

constexpr std::size_t kPayload = sizeof(Bucket) * kBuckets;
static_assert(kPayload % 8 == 0);
constexpr std::size_t kFileSize = sizeof(Header) + kPayload;

// FNV-1a over the buckets' words: a torn or scribbled cache file never passes for a summary,
// and a year of them is checked in well under a millisecond.
std::uint64_t checksumOf(const char* data, std::size_t size)
{
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + i, 8);
        h = (h ^ word) * 1099511628211ull;
        h ^= h >> 29;
    }
    return h;
}

void addRecord(Bucket& b, const history::LoadedRecord& r)
{
    for (std::size_t s = 0; s < kSeries; ++s) {
        const float v = float(r.values[core::kLogged[s]]);
        if (b.count == 0 || v < b.min[s])
            b.min[s] = v;
        if (b.count == 0 || v > b.max[s])
            b.max[s] = v;
        b.sum[s] += v;
    }
    ++b.count;
}

// The history reader takes at most kMaxRecords a call, so a long file goes in pieces that end at
// a line end; even lines of a bare time hold fewer records than that in a piece.
constexpr qsizetype kPiece = 128 * 1024;

} // namespace

DaySummary summarizeDay(QByteArrayView content)
{
    DaySummary out;
    while (!content.isEmpty()) {
        qsizetype cut = content.size();
        if (cut > kPiece) {
            const QByteArrayView head = content.first(kPiece);
            const qsizetype lf = head.lastIndexOf('\n');
            cut = lf > 0 ? lf + 1 : kPiece;
        }
        const history::DayRecords day = history::parseDayLog(content.first(cut), -1.0, 2.0);
        for (const history::LoadedRecord& r : day.records) {
            const int minute = std::clamp(int(r.time * 1440.0 + 0.5), 0, 1439);
            addRecord(out.buckets[std::size_t(minute / kBucketMinutes)], r);
        }
        out.records += std::uint32_t(day.records.size());
        content = content.sliced(cut);
    }
    return out;
}

QByteArray encodeSummary(const DaySummary& summary, const SourceStamp& source)
{
    Header h{};
    std::memcpy(h.mark, kMark, sizeof kMark);
    h.size = source.size;
    h.modifiedMs = source.modifiedMs;
    h.records = summary.records;
    h.buckets = kBuckets;
    h.checksum = checksumOf(reinterpret_cast<const char*>(summary.buckets.data()), kPayload);
    QByteArray out(qsizetype(kFileSize), Qt::Uninitialized);
    std::memcpy(out.data(), &h, sizeof h);
    std::memcpy(out.data() + sizeof h, summary.buckets.data(), kPayload);
    return out;
}

std::optional<DaySummary> decodeSummary(QByteArrayView bytes, const SourceStamp& source)
{
    if (std::size_t(bytes.size()) != kFileSize)
        return std::nullopt;
    Header h{};
    std::memcpy(&h, bytes.data(), sizeof h);
    if (std::memcmp(h.mark, kMark, sizeof kMark) != 0 || h.buckets != kBuckets ||
        h.size != source.size || h.modifiedMs != source.modifiedMs)
        return std::nullopt;
    const char* payload = bytes.data() + sizeof h;
    if (checksumOf(payload, kPayload) != h.checksum)
        return std::nullopt;
    DaySummary out;
    std::memcpy(out.buckets.data(), payload, kPayload);
    out.records = h.records;
    return out;
}

} // namespace season
