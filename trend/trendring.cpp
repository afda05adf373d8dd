#include "trend/trendring.h"

#include "core/files.h"
#include "core/keyedsettings.h"
#include "core/tags.h"

#include <algorithm>

namespace trend {

TrendRing::TrendRing()
    : m_seconds(kSecondSlots)
    , m_minutes(kMinuteSlots)
{}

void TrendRing::fold(Slot& slot, qint64 index, const core::QuantityValues& values,
                     const QDateTime& wall)
{
    const bool fresh = slot.index != index;
    if (fresh) {
        slot.index = index;
        slot.wall = wall;
    }
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        const float v = float(values[std::size_t(kSeries[k])]);
        slot.low[k] = fresh ? v : std::min(slot.low[k], v);
        slot.high[k] = fresh ? v : std::max(slot.high[k], v);
    }
}

void TrendRing::add(const core::QuantityValues& values, qint64 monotonicMs, const QDateTime& wall)
{
    const qint64 second = monotonicMs / 1000;
    const qint64 minute = second / 60;
    fold(m_seconds[std::size_t(second % kSecondSlots)], second, values, wall);
    fold(m_minutes[std::size_t(minute % kMinuteSlots)], minute, values, wall);
    m_newest = std::max(m_newest, second);
}

std::vector<Slot> TrendRing::recent(qint64 spanSeconds) const
{
    std::vector<Slot> out;
    if (m_newest < 0)
        return out;
    const bool bySecond = spanSeconds <= kSecondSlots;
    const std::vector<Slot>& ring = bySecond ? m_seconds : m_minutes;
    const qint64 last = bySecond ? m_newest : m_newest / 60;
    const qint64 count =
        std::min<qint64>(bySecond ? spanSeconds : spanSeconds / 60, qint64(ring.size()));
    out.reserve(std::size_t(count));
    for (qint64 i = last - count + 1; i <= last; ++i) {
        if (i < 0)
            continue;
        const Slot& slot = ring[std::size_t(i % qint64(ring.size()))];
        if (slot.index == i)
            out.push_back(slot);
    }
    return out;
}

void TrendRing::clear()
{
    std::fill(m_seconds.begin(), m_seconds.end(), Slot());
    std::fill(m_minutes.begin(), m_minutes.end(), Slot());
    m_newest = -1;
}

QString viewCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("view.cfg"));
}

QByteArray viewCfgBytes(bool showTrend)
{
    return QByteArray("View Settings\r\n\r\n<ShowTrend>") + (showTrend ? "1" : "0") +
           "</ShowTrend>\r\n";
}

bool showTrendFrom(const QByteArray& bytes)
{
    const std::optional<QString> value =
        core::tagValue(QString::fromLatin1(bytes), QStringLiteral("ShowTrend"));
    // Read as the digit it must be, not as a number: 1e-400 would read as 0.
    return !(value && value->trimmed() == QLatin1String("0"));
}

bool readShowTrend(const core::AppDir& app)
{
    const std::optional<QByteArray> bytes = core::readWholeFile(viewCfgPath(app));
    return bytes ? showTrendFrom(*bytes) : true;
}

bool writeShowTrend(const core::AppDir& app, bool showTrend)
{
    // Only its own key: the Season window keeps its view in the same file.
    return core::writeKeys(viewCfgPath(app), QStringLiteral("View Settings"),
                           {{QStringLiteral("ShowTrend"), QLatin1String(showTrend ? "1" : "0")}});
}

} // namespace trend
