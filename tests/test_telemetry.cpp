#include "config/options.h"
#include "monitor/readingtexts.h"
#include "station/energy.h"
#include "station/telemetry.h"

#include <gtest/gtest.h>

namespace {

using station::Reading;

const core::Conversion kExample = config::makeConversion({"40", "512", "2", "2", "5"});

Reading decode(const QString& frame, const core::Conversion& c = kExample)
{
    return station::computeReading(station::decodeFrame(frame), c);
}

TEST(Telemetry, WorkedExample)
{
    const Reading r = decode(QStringLiteral("[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]"));
    EXPECT_EQ(r[core::kVolts], 12.8);
    EXPECT_EQ(r[core::kAmps], 9);
    EXPECT_EQ(r[core::kRpm], 300);
    EXPECT_EQ(r[core::kWind], 5);
    EXPECT_EQ(r[core::kWatts], 115.2);
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(monitor::titleText(r, QLocale::c()),
              QStringLiteral("Logger  12.8 V  9 A  115.2 W  300 RPM  5 WIND "));
    EXPECT_EQ(monitor::modeText(r.mode), QStringLiteral("On Load"));
}

TEST(Telemetry, BadAndMissingValues)
{
    struct Case
    {
        const char* frame;
        double volts, amps, rpm, wind;
        std::int16_t mode;
    } cases[] = {
        {"[<V>480</V>]", 12, -256, 0, 0, 0},
        {"[<V></V><I>abc</I><R>10</R>]", 0, -256, 300, 0, 0},
        {"[<V> 500 </V><I>-3</I>]", 12.5, -257.5, 0, 0, 0},
        {"[]", 0, -256, 0, 0, 0},
        {"[<M>1.5</M>]", 0, -256, 0, 0, 2},
        {"[<M>2.5</M>]", 0, -256, 0, 0, 2},
        {"[<M>x</M>]", 0, -256, 0, 0, 0},
        // The tail of one frame, then a whole next frame: a complete tag in the tail wins.
        {"<R>4</R><M>1</M><S>25</S>]\r\n[<V>480</V><I>530</I><R>10</R><M>0</M><S>5</S>]", 12, 9,
         120, 5, 1},
        // A tail whose closing V tag stands before the next frame's opening one.
        {"12</V><I>530</I>]\r\n[<V>480</V>", 0, 9, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Reading r = decode(QString::fromLatin1(c.frame));
        EXPECT_EQ(r[core::kVolts], c.volts) << c.frame;
        EXPECT_EQ(r[core::kAmps], c.amps) << c.frame;
        EXPECT_EQ(r[core::kRpm], c.rpm) << c.frame;
        EXPECT_EQ(r[core::kWind], c.wind) << c.frame;
        EXPECT_EQ(r.mode, c.mode) << c.frame;
    }
    for (int mode : {0, 2})
        EXPECT_EQ(monitor::modeText(mode), QString());
}

TEST(Telemetry, UnusableDividersReadZero)
{
    QStringList warnings;
    const auto c = config::makeConversion({"0", "x", "", "abc", "-2"}, &warnings);
    const Reading r = decode(QStringLiteral("[<V>512</V><I>530</I><R>10</R><S>25</S>]"), c);
    EXPECT_EQ(r[core::kVolts], 0);
    EXPECT_EQ(r[core::kAmps], 0);
    EXPECT_EQ(r[core::kRpm], 0);
    EXPECT_EQ(r[core::kWind], -12.5); // a negative divider is a number: it stands
    EXPECT_EQ(r[core::kWatts], 0);
    EXPECT_EQ(warnings.size(), 4);
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("VoltDivider")));
    EXPECT_EQ(monitor::titleText(r, QLocale::c()),
              QStringLiteral("Logger  0 V  0 A  0 W  0 RPM  -12.5 WIND "));
}

TEST(Telemetry, PeaksRiseOnlyOnGreaterValues)
{
    // In the table's order: volts, amps, watts, watt-hours (never a peak), RPM, wind speed.
    station::IntervalPeaks peaks;
    station::raisePeaks(peaks, Reading{{12.5, -3, -37.5, 99, 0, 4}, 0});
    EXPECT_EQ(peaks, (station::IntervalPeaks{{12.5, 0, 0, 0, 0, 4}}));
    station::raisePeaks(peaks, Reading{{12.4, 2, 24.8, 99, 300, 4}, 1});
    EXPECT_EQ(peaks, (station::IntervalPeaks{{12.5, 2, 24.8, 0, 300, 4}}));
}

TEST(Telemetry, WattHours)
{
    using station::EnergyMeter;
    const QDate day(2024, 3, 7);
    // 00:00:07 with 360 W: reset, then one increment.
    EnergyMeter midnight(0);
    midnight.frame(0);
    midnight.tick(720, QDateTime(day.addDays(-1), QTime(23, 59, 57)), 5000);
    EXPECT_EQ(midnight.tick(360, QDateTime(day, QTime(0, 0, 7)), 10000), 0.5);
    EXPECT_EQ(midnight.total(), 0.5);
    // 720 W held for 60 minutes, a frame and a tick every 5 seconds: 720 ticks of 1 Wh.
    EnergyMeter hour(0);
    QDateTime t(day, QTime(12, 0));
    for (int k = 1; k <= 720; ++k, t = t.addSecs(5)) {
        hour.frame((k - 1) * 5000);
        EXPECT_DOUBLE_EQ(hour.tick(720, t, k * 5000), 1);
    }
    EXPECT_DOUBLE_EQ(hour.total(), 720);
    // A day whose first seconds had no tick (machine asleep) still starts from 0.
    EnergyMeter asleep(0);
    asleep.frame(0);
    asleep.tick(72, QDateTime(day.addDays(-1), QTime(22, 0)), 1000);
    asleep.frame(2000);
    EXPECT_EQ(asleep.tick(72, QDateTime(day, QTime(7, 30)), 6000), 0.1);
    EXPECT_EQ(asleep.total(), 0.1);
}

// Energy is counted from measured time while the data is fresh: a late tick counts the time
// that passed, a stale reading or a line that is down counts nothing.
TEST(Telemetry, EnergyOnlyFromFreshData)
{
    using station::EnergyMeter;
    const QDateTime noon(QDate(2024, 3, 7), QTime(12, 0));
    EnergyMeter e(0);
    EXPECT_EQ(e.tick(1200, noon, 5000), 0); // no frame yet
    e.frame(5000);
    EXPECT_EQ(e.tick(1200, noon, 17000), 4); // a tick 12 s late: 12 s of 1200 W
    EXPECT_DOUBLE_EQ(e.tick(1200, noon, 30000), 13 * 1200 / 3600.0);
    // The last frame came at 5 s: only the 30 s after it count, however long the ticks go on.
    EXPECT_DOUBLE_EQ(e.tick(1200, noon, 120000), 5 * 1200 / 3600.0);
    EXPECT_EQ(e.tick(1200, noon, 600000), 0);
    // Data again: the gap counts nothing; a lost line stops the count at once.
    e.frame(700000);
    EXPECT_EQ(e.lineDown(1200, 703000), 1);
    EXPECT_EQ(e.tick(1200, noon, 708000), 0);
    EXPECT_DOUBLE_EQ(e.total(), 11);
    // Any tick on a new date restarts the total first.
    EXPECT_TRUE(e.newDate(noon.addDays(1)));
    EXPECT_EQ(e.total(), 0);
    EXPECT_FALSE(e.newDate(noon.addDays(1)));
}

TEST(Telemetry, HolderOrder)
{
    // The reading's own watt-hour place is never shown: the window's total is.
    const Reading r{{1, 2, 3, 99, 5, 6}, 0};
    const auto v = monitor::holderValues(r, 4, true);
    const int indices[] = {0, 1, 2, 3, 4, 5, 7, 8, 12, 13, 10, 11};
    const double values[] = {1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6};
    ASSERT_EQ(v.size(), std::size(indices));
    for (std::size_t k = 0; k < v.size(); ++k) {
        EXPECT_EQ(v[k].first, indices[k]);
        EXPECT_EQ(v[k].second, values[k]);
    }
    // Without the compact panel, only the meters' holders.
    const auto meters = monitor::holderValues(r, 4, false);
    ASSERT_EQ(meters.size(), 6u);
    EXPECT_EQ(meters.back(), (std::pair<int, double>{5, 6}));
}

} // namespace
