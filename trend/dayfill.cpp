#include "trend/dayfill.h"

#include "core/datetime.h"
#include "core/files.h"
#include "history/dayreader.h"

#include <algorithm>
#include <cmath>

namespace trend {

std::vector<PastReading> readDayForTrend(QByteArrayView content, QDate day)
{
    std::vector<PastReading> out;
    qsizetype begin = 0;
    while (begin < content.size()) {
        qsizetype end = content.indexOf(QByteArrayView("\r\n"), begin);
        if (end < 0)
            end = content.size();
        // One line at a time, so the loader's limit of records per load never applies.
        const history::DayRecords line =
            history::parseDayLog(content.sliced(begin, end - begin), -1.0, 2.0);
        for (const history::LoadedRecord& r : line.records) {
            const int minute = std::clamp(int(std::lround(r.time * 1440.0)), 0, 1439);
            // The day file's times are the local clock's, as read then.
            out.push_back({QDateTime(day, QTime(minute / 60, minute % 60)), r.values});
        }
        begin = end + 2;
    }
    return out;
}

std::vector<PastReading> readTodayForTrend(const core::AppDir& app, QDate today)
{
    const std::optional<QByteArray> bytes =
        core::readWholeFile(app.logsDir() + core::datePart(today) + QStringLiteral(".txt"));
    return bytes ? readDayForTrend(*bytes, today) : std::vector<PastReading>();
}

int foldPast(TrendRing& ring, const std::vector<PastReading>& past, const QDateTime& now,
             qint64 nowMonotonicMs)
{
    int folded = 0;
    for (const PastReading& r : past) {
        const qint64 ageMs = r.wall.msecsTo(now);
        if (ageMs < 0 || ageMs >= 24 * 3600 * 1000LL)
            continue;
        if (ring.addPast(r.values, nowMonotonicMs - ageMs, r.wall))
            ++folded;
    }
    return folded;
}

} // namespace trend
