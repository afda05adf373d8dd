#include "telemetry.h"

#include <gtest/gtest.h>

namespace {

using monitor::Reading;

const calibration::Conversion kExample = calibration::makeConversion({"40", "512", "2", "2", "5"});

Reading decode(const QString& frame, const calibration::Conversion& c = kExample)
{
    return monitor::computeReading(monitor::decodeFrame(frame), c);
}

TEST(Telemetry, WorkedExample)
{
    const Reading r = decode(QStringLiteral("[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]"));
    EXPECT_EQ(r.volts, 12.8);
    EXPECT_EQ(r.amps, 9);
    EXPECT_EQ(r.rpm, 300);
    EXPECT_EQ(r.windSpeed, 5);
    EXPECT_EQ(r.watts, 115.2);
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
        EXPECT_EQ(r.volts, c.volts) << c.frame;
        EXPECT_EQ(r.amps, c.amps) << c.frame;
        EXPECT_EQ(r.rpm, c.rpm) << c.frame;
        EXPECT_EQ(r.windSpeed, c.wind) << c.frame;
        EXPECT_EQ(r.mode, c.mode) << c.frame;
    }
    for (int mode : {0, 2})
        EXPECT_EQ(monitor::modeText(mode), QString());
}

TEST(Telemetry, FramingSplitMergedAndBounded)
{
    QString buffer;
    EXPECT_FALSE(monitor::takeFrame(buffer, u"[<V>512</V><I>5"));
    EXPECT_FALSE(monitor::takeFrame(buffer, u"30</I><R>10</R>"));
    const auto frame = monitor::takeFrame(buffer, u"<M>1</M><S>25</S>]\r\n");
    ASSERT_TRUE(frame);
    EXPECT_EQ(decode(*frame).amps, 9);
    EXPECT_TRUE(buffer.isEmpty());

    // "]" then "[" and the start of the next frame in one read: one frame, the next one lost.
    const auto merged = monitor::takeFrame(buffer, u"[<V>400</V>]\r\n[<V>48");
    ASSERT_TRUE(merged);
    EXPECT_EQ(decode(*merged).volts, 10);
    EXPECT_TRUE(buffer.isEmpty());

    // A "]" alone waits for a "[" in either order.
    EXPECT_FALSE(monitor::takeFrame(buffer, u"]"));
    EXPECT_TRUE(monitor::takeFrame(buffer, u"["));

    // Text without brackets keeps only the newest characters.
    for (int k = 0; k < 1000; ++k)
        EXPECT_FALSE(monitor::takeFrame(buffer, u"noise "));
    EXPECT_EQ(buffer.size(), monitor::kReceiveBufferLimit);
    EXPECT_TRUE(buffer.endsWith(QStringLiteral("noise ")));
}

TEST(Telemetry, UnusableDividersReadZero)
{
    QStringList warnings;
    const auto c = calibration::makeConversion({"0", "x", "", "abc", "-2"}, &warnings);
    const Reading r = decode(QStringLiteral("[<V>512</V><I>530</I><R>10</R><S>25</S>]"), c);
    EXPECT_EQ(r.volts, 0);
    EXPECT_EQ(r.amps, 0);
    EXPECT_EQ(r.rpm, 0);
    EXPECT_EQ(r.windSpeed, -12.5); // a negative divider is a number: it stands
    EXPECT_EQ(r.watts, 0);
    EXPECT_EQ(warnings.size(), 4);
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("VoltDivider")));
    EXPECT_EQ(monitor::titleText(r, QLocale::c()),
              QStringLiteral("Logger  0 V  0 A  0 W  0 RPM  -12.5 WIND "));
}

TEST(Telemetry, PeaksRiseOnlyOnGreaterValues)
{
    monitor::IntervalPeaks peaks;
    monitor::raisePeaks(peaks, Reading{12.5, -3, -37.5, 0, 4, 0});
    EXPECT_EQ(peaks, (monitor::IntervalPeaks{12.5, 0, 0, 0, 4}));
    monitor::raisePeaks(peaks, Reading{12.4, 2, 24.8, 300, 4, 1});
    EXPECT_EQ(peaks, (monitor::IntervalPeaks{12.5, 2, 24.8, 300, 4}));
}

TEST(Telemetry, WattHours)
{
    const QDate day(2024, 3, 7);
    // 00:00:07 with 360 W: reset, then one increment.
    EXPECT_EQ(monitor::wattHourTick(99, 360, QDateTime(day, QTime(0, 0, 7)), day.addDays(-1)), 0.5);
    // 720 W held for 60 minutes: 720 ticks of 1 Wh.
    double total = 0;
    QDateTime t(day, QTime(12, 0));
    for (int k = 0; k < 720; ++k, t = t.addSecs(5))
        total = monitor::wattHourTick(total, 720, t, day);
    EXPECT_DOUBLE_EQ(total, 720);
    // A day whose first seconds had no tick (machine asleep) still starts from 0.
    EXPECT_EQ(monitor::wattHourTick(500, 72, QDateTime(day, QTime(7, 30)), day.addDays(-1)), 0.1);
    EXPECT_EQ(monitor::wattHourTick(500, 72, QDateTime(day, QTime(0, 0, 12)), day), 500.1);
}

TEST(Telemetry, HolderOrder)
{
    const auto v = monitor::holderValues(Reading{1, 2, 3, 5, 6, 0}, 4);
    const int indices[] = {0, 1, 2, 3, 4, 5, 7, 8, 12, 13, 10, 11};
    const double values[] = {1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(v[k].first, indices[k]);
        EXPECT_EQ(v[k].second, values[k]);
    }
}

} // namespace
