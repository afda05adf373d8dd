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

namespace {

// The ring's place of an index, also for indices before the count's zero.
std::size_t place(qint64 index, std::size_t size)
{
    const qint64 n = qint64(size);
    return std::size_t(index - floorDiv(index, n) * n);
}

} // namespace

bool TrendRing::fold(Slot& slot, qint64 index, const core::QuantityValues& values,
                     const QDateTime& wall)
{
    // Readings from a day file may come after live ones: an older one never replaces a newer.
    if (slot.index != Slot::kNever && slot.index > index)
        return false;
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
    return true;
}

void TrendRing::add(const core::QuantityValues& values, qint64 monotonicMs, const QDateTime& wall)
{
    addPast(values, monotonicMs, wall);
}

bool TrendRing::addPast(const core::QuantityValues& values, qint64 monotonicMs,
                        const QDateTime& wall)
{
    const qint64 second = floorDiv(monotonicMs, 1000);
    const qint64 minute = floorDiv(second, 60);
    const bool bySecond = fold(m_seconds[place(second, m_seconds.size())], second, values, wall);
    const bool byMinute = fold(m_minutes[place(minute, m_minutes.size())], minute, values, wall);
    if (m_newest == Slot::kNever || second > m_newest)
        m_newest = second;
    return bySecond || byMinute;
}

std::vector<Slot> TrendRing::recent(qint64 spanSeconds) const
{
    std::vector<Slot> out;
    if (m_newest == Slot::kNever)
        return out;
    const bool bySecond = spanSeconds <= kSecondSlots;
    const std::vector<Slot>& ring = bySecond ? m_seconds : m_minutes;
    const qint64 last = bySecond ? m_newest : floorDiv(m_newest, 60);
    const qint64 count =
        std::min<qint64>(bySecond ? spanSeconds : spanSeconds / 60, qint64(ring.size()));
    out.reserve(std::size_t(count));
    for (qint64 i = last - count + 1; i <= last; ++i) {
        const Slot& slot = ring[place(i, ring.size())];
        if (slot.index == i)
            out.push_back(slot);
    }
    return out;
}

void TrendRing::clear()
{
    std::fill(m_seconds.begin(), m_seconds.end(), Slot());
    std::fill(m_minutes.begin(), m_minutes.end(), Slot());
    m_newest = Slot::kNever;
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
