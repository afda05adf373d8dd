#include "season/daysummary.h"

#include "history/dayreader.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace season {
namespace {

constexpr char kMark[8] = {'T', 'S', 'S', 'U', 'M', 'P', '0', '2'};

struct Header
{
    char mark[8];
    std::uint32_t days;
    std::uint32_t daySize;
    std::uint64_t checksum;
};

// One day of a pack as it lies in the file: this head, then the buckets.
struct DiskHead
{
    std::int64_t julianDay;
    std::int64_t size;
    std::int64_t modifiedMs;
    std::uint32_t records;
    std::uint32_t spare;
};
constexpr std::size_t kBucketBytes = sizeof(Bucket) * kBuckets;
constexpr std::size_t kDiskDay = sizeof(DiskHead) + kBucketBytes;
static_assert(kDiskDay % 8 == 0 && std::is_trivially_copyable_v<DiskHead> &&
              std::is_trivially_copyable_v<Bucket>);

// A multiply-and-shift hash of our own over 64-bit words in four lanes, folded into one at the
// end; it borrows FNV's prime and offset basis but is not FNV-1a, which takes a byte a step and
// would spend eight times as long on a year of packs. A torn or scribbled cache file never
// passes for a summary, and a year of them is checked in well under a millisecond.
std::uint64_t checksumOf(const char* data, std::size_t size)
{
    // Four words at a time in four lanes, so the multiplications do not wait on each other.
    std::array<std::uint64_t, 4> lanes = {1469598103934665603ull, 1, 2, 3};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        std::array<std::uint64_t, 4> words;
        std::memcpy(words.data(), data + i, 32);
        for (std::size_t k = 0; k < 4; ++k) {
            lanes[k] = (lanes[k] ^ words[k]) * 1099511628211ull;
            lanes[k] ^= lanes[k] >> 29;
        }
    }
    std::uint64_t h = lanes[0];
    for (std::size_t k = 1; k < 4; ++k)
        h = ((h ^ lanes[k]) * 1099511628211ull) ^ (h >> 31);
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + i, 8);
        h = ((h ^ word) * 1099511628211ull) ^ (h >> 29);
    }
    return h;
}

void addValues(Bucket& b, const std::array<double, kSeries>& values, int minute)
{
    for (std::size_t s = 0; s < kSeries; ++s) {
        const float v = float(values[s]);
        if (b.count == 0 || v < b.min[s]) {
            b.min[s] = v;
            b.minMinute[s] = std::uint16_t(minute);
        }
        if (b.count == 0 || v > b.max[s]) {
            b.max[s] = v;
            b.maxMinute[s] = std::uint16_t(minute);
        }
        b.sum[s] += v;
    }
    ++b.count;
}

// What a tag's key letter names in the quick read: a series, the time, the mode, or nothing.
constexpr int kTimeKey = int(kSeries);
constexpr int kModeKey = kTimeKey + 1;
constexpr std::array<signed char, 128> kKeyOf = [] {
    std::array<signed char, 128> out{};
    out.fill(-1);
    out[std::size_t('T')] = kTimeKey;
    out[std::size_t('M')] = kModeKey;
    for (std::size_t k = 0; k < kSeries; ++k)
        out[std::size_t(core::facts(core::kLogged[k]).logTag)] = char(k);
    return out;
}();

constexpr std::array<double, 16> kTens = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// "-12.34" with up to 15 digits, as the logger writes most numbers: the same value the history
// reader gives (digits over an exact power of ten). false for every other form.
bool plainNumber(const char* p, const char* end, double& out)
{
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction = 0;
    bool point = false;
    for (; p != end; ++p) {
        if (*p >= '0' && *p <= '9') {
            mantissa = mantissa * 10 + std::uint64_t(*p - '0');
            ++digits;
            fraction += point ? 1 : 0;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 15)
        return false;
    out = double(mantissa) / kTens[std::size_t(fraction)];
    out = negative ? -out : out;
    return true;
}

bool plainTime(const char* p, const char* end, int& minute)
{
    auto digit = [](char c) {
        return c >= '0' && c <= '9';
    };
    if (end - p != 5 || p[2] != ':' || !digit(p[0]) || !digit(p[1]) || !digit(p[3]) || !digit(p[4]))
        return false;
    const int hours = (p[0] - '0') * 10 + (p[1] - '0');
    const int minutes = (p[3] - '0') * 10 + (p[4] - '0');
    minute = hours * 60 + minutes;
    return hours < 24 && minutes < 60;
}

// A line exactly as the logger writes it (each tag once, one after the other, plain numbers and
// time) read straight into its values; false for any other line, which the history reader takes.
bool quickLine(const char* s, const char* end, std::array<double, kSeries>& values, int& minute)
{
    values = {};
    unsigned seen = 0;
    while (s != end) {
        const int key = end - s >= 3 && s[0] == '<' && s[2] == '>' && s[1] > 0 ? kKeyOf[s[1]] : -1;
        if (key < 0 || (seen & (1u << key)))
            return false;
        seen |= 1u << key;
        const char* text = s + 3;
        const char* close =
            static_cast<const char*>(std::memchr(text, '<', std::size_t(end - text)));
        if (!close || end - close < 4 || close[1] != '/' || close[2] != s[1] || close[3] != '>')
            return false;
        if (key == kTimeKey && !plainTime(text, close, minute))
            return false;
        if (key < kTimeKey && !plainNumber(text, close, values[std::size_t(key)]))
            return false;
        s = close + 4;
    }
    return (seen & (1u << kTimeKey)) != 0;
}

void addLine(DaySummary& out, const char* line, const char* end)
{
    std::array<double, kSeries> values;
    int minute = 0;
    if (quickLine(line, end, values, minute)) {
        addValues(out.buckets[std::size_t(minute / kBucketMinutes)], values, minute);
        ++out.records;
        return;
    }
    const auto day = history::parseDayLog(QByteArrayView(line, end - line), -1.0, 2.0);
    for (const history::LoadedRecord& r : day.records) {
        for (std::size_t s = 0; s < kSeries; ++s)
            values[s] = r.values[core::kLogged[s]];
        minute = std::clamp(int(r.time * 1440.0 + 0.5), 0, 1439);
        addValues(out.buckets[std::size_t(minute / kBucketMinutes)], values, minute);
        ++out.records;
    }
}

} // namespace

// One pass over the bytes, line by line at CR LF, with no record kept.
DaySummary summarizeDay(QByteArrayView content)
{
    DaySummary out;
    const char* p = content.data();
    const char* const end = p + content.size();
    while (p != end) {
        const char* lineEnd = p;
        for (;;) {
            lineEnd =
                static_cast<const char*>(std::memchr(lineEnd, '\r', std::size_t(end - lineEnd)));
            if (!lineEnd || (end - lineEnd >= 2 && lineEnd[1] == '\n'))
                break;
            ++lineEnd;
        }
        addLine(out, p, lineEnd ? lineEnd : end);
        p = lineEnd ? lineEnd + 2 : end;
    }
    return out;
}

QByteArray encodePack(const std::vector<PackedDay>& days)
{
    Header h{};
    std::memcpy(h.mark, kMark, sizeof kMark);
    h.days = std::uint32_t(days.size());
    h.daySize = kDiskDay;
    QByteArray out(qsizetype(sizeof h + days.size() * kDiskDay), '\0');
    char* at = out.data() + sizeof h;
    for (const PackedDay& d : days) {
        DiskHead head{};
        head.julianDay = d.date.toJulianDay();
        head.size = d.stamp.size;
        head.modifiedMs = d.stamp.modifiedMs;
        head.records = d.summary.records;
        std::memcpy(at, &head, sizeof head);
        std::memcpy(at + sizeof head, d.summary.buckets.data(), kBucketBytes);
        at += kDiskDay;
    }
    h.checksum = checksumOf(out.data() + sizeof h, std::size_t(out.size()) - sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    return out;
}

std::optional<std::vector<PackedDay>> decodePack(QByteArrayView bytes)
{
    Header h{};
    if (std::size_t(bytes.size()) < sizeof h)
        return std::nullopt;
    std::memcpy(&h, bytes.data(), sizeof h);
    if (std::memcmp(h.mark, kMark, sizeof kMark) != 0 || h.daySize != kDiskDay ||
        h.days > kMaxPackDays || std::size_t(bytes.size()) != sizeof h + h.days * kDiskDay)
        return std::nullopt;
    const char* at = bytes.data() + sizeof h;
    if (checksumOf(at, h.days * kDiskDay) != h.checksum)
        return std::nullopt;
    std::vector<PackedDay> out(h.days);
    for (PackedDay& d : out) {
        DiskHead head;
        std::memcpy(&head, at, sizeof head);
        std::memcpy(d.summary.buckets.data(), at + sizeof head, kBucketBytes);
        at += kDiskDay;
        d.date = QDate::fromJulianDay(head.julianDay);
        d.stamp = {head.size, head.modifiedMs};
        d.summary.records = head.records;
    }
    return out;
}

} // namespace season
