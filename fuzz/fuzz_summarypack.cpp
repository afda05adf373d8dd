// A day's month pack of any content, read through the cache as the Season window reads it. The
// first byte chooses: the rest as the pack's bytes, or as the days of a whole pack (so the fuzzer
// gets past the checksum). The day's summary is then the pack's, when the pack is whole and made
// from the day file as it is, or the one made from the file; the pack is whole afterwards.
#include "core/files.h"
#include "season/summarycache.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const QDate kDay(2024, 3, 7);
const QByteArray kDayText = "<V>12.5</V><I>3</I><W>37.5</W><R>300</R><S>5</S><M>1</M>"
                            "<T>10:00</T>\r\n<V>13</V><I>4</I><W>52</W><T>10:05</T>\r\n";

struct Place
{
    QTemporaryDir dir;
    core::AppDir app{dir.filePath(QStringLiteral("app"))};
    season::SummarySource source{app, dir.filePath(QStringLiteral("cache")), QDate(2025, 1, 1)};
    season::SourceStamp stamp;
    season::DaySummary fromFile = season::summarizeDay(kDayText);

    Place()
    {
        QDir().mkpath(app.logsDir());
        QDir().mkpath(source.cacheDir);
        if (!core::replaceFile(app.dailyLog(kDay), kDayText))
            std::abort();
        const QFileInfo info(app.dailyLog(kDay));
        stamp = {info.size(), info.lastModified().toMSecsSinceEpoch()};
    }
};

// Days of a whole pack from the bytes: each a flag byte (of the day file or not), then the bytes
// of its buckets as far as they go.
QByteArray wholePack(const std::uint8_t* data, std::size_t size, const Place& place)
{
    std::vector<season::PackedDay> days;
    const std::size_t each = 1 + sizeof(season::DaySummary::buckets);
    for (std::size_t at = 0; at < size && days.size() < season::kMaxPackDays; at += each) {
        season::PackedDay d;
        const bool ofFile = data[at] & 1;
        d.date = ofFile ? kDay : QDate::fromJulianDay(qint64(data[at]) * 100003);
        d.stamp = ofFile ? place.stamp : season::SourceStamp{data[at], 0};
        std::memcpy(d.summary.buckets.data(), data + at + 1,
                    std::min(size - at - 1, sizeof d.summary.buckets));
        days.push_back(d);
    }
    return season::encodePack(days);
}

bool same(const season::DaySummary& a, const season::DaySummary& b)
{
    return a.records == b.records &&
           std::memcmp(a.buckets.data(), b.buckets.data(), sizeof a.buckets) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Place place;
    if (size == 0)
        return 0;
    const QByteArray bytes =
        data[0] & 1 ? wholePack(data + 1, size - 1, place)
                    : QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const auto decoded = season::decodePack(bytes);
    if (decoded && decoded->size() > season::kMaxPackDays)
        std::abort();
    const QString pack = season::summaryFile(place.source, kDay);
    if (!core::replaceFile(pack, bytes))
        std::abort();
    const season::DaySummary* kept = nullptr;
    for (std::size_t d = 0; decoded && d < decoded->size() && !kept; ++d) {
        if ((*decoded)[d].date == kDay && (*decoded)[d].stamp == place.stamp)
            kept = &(*decoded)[d].summary;
    }
    const std::optional<season::DaySummary> got = season::daySummary(place.source, kDay);
    if (!got || !same(*got, kept ? *kept : place.fromFile))
        std::abort();
    const std::optional<QByteArray> after = core::readWholeFile(pack);
    if (!after || !season::decodePack(*after))
        std::abort();
    return 0;
}
