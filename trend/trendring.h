#pragma once

#include "core/appdir.h"
#include "core/quantities.h"

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>
#include <array>
#include <limits>
#include <vector>

namespace trend {

// The live trend's series: the logged quantities (volts, amps, watts, RPM, wind).
inline constexpr auto kSeries = core::kLogged;
inline constexpr std::size_t kSeriesCount = kSeries.size();

// One slot of the ring: the lowest and highest value of each series in its second or minute.
struct Slot
{
    // Monotonic seconds or minutes (before the count's zero too, for readings from a day file);
    // kNever: never filled.
    static constexpr qint64 kNever = std::numeric_limits<qint64>::min();
    qint64 index = kNever;
    QDateTime wall; // the wall time of its first reading, for the pointer readout
    std::array<float, kSeriesCount> low{};
    std::array<float, kSeriesCount> high{};
};

// a / b rounded down, also below zero (-1 / 60 is -1): seconds to minutes before the count's zero.
inline constexpr qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((b - 1 - a) / b);
}

inline constexpr int kSecondSlots = 3600; // the last hour, a second each
inline constexpr int kMinuteSlots = 1440; // 24 hours, a minute each

// A bounded ring of the live readings: fixed storage, whatever the run's length.
class TrendRing
{
public:
    TrendRing();

    void add(const core::QuantityValues& values, qint64 monotonicMs, const QDateTime& wall);
    // A reading from before the program started (a day file's record), at the monotonic time it
    // had, which may lie before the count's zero. It takes no slot that holds a newer reading:
    // false when neither of its slots took it.
    bool addPast(const core::QuantityValues& values, qint64 monotonicMs, const QDateTime& wall);

    // The filled slots within spanSeconds of the newest reading, oldest first: seconds for a
    // span up to an hour, minutes beyond.
    std::vector<Slot> recent(qint64 spanSeconds) const;
    // The newest reading's monotonic second; Slot::kNever before the first.
    qint64 newestSecond() const { return m_newest; }
    void clear();

private:
    static bool fold(Slot& slot, qint64 index, const core::QuantityValues& values,
                     const QDateTime& wall);
    std::vector<Slot> m_seconds;
    std::vector<Slot> m_minutes;
    qint64 m_newest = Slot::kNever;
};

// "view.cfg" beside prog.cfg: whether the main window shows the live trend.
QString viewCfgPath(const core::AppDir& app);
QByteArray viewCfgBytes(bool showTrend);
// Shown unless the file says <ShowTrend>0</ShowTrend> (blanks around the digit allowed). Its one
// value is 0 or 1: any other text (2, -1, 0.5, 1e-400, 1e308) is damage, and a missing or
// damaged file means shown.
bool showTrendFrom(const QByteArray& bytes);
bool readShowTrend(const core::AppDir& app);
bool writeShowTrend(const core::AppDir& app, bool showTrend);

} // namespace trend
