// The live trend's bounded ring and its settings file.

#include "tests/fixture.h"
#include "trend/dayfill.h"
#include "trend/livetrend.h"
#include "trend/trendring.h"
#include "trend/trendscale.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMouseEvent>

namespace {

core::QuantityValues valuesAt(qint64 second)
{
    core::QuantityValues v{};
    v[core::kVolts] = 12 + double(second % 100) / 100;
    v[core::kWatts] = double(second % 60);
    v[core::kWind] = double(second / 3600);
    return v;
}

// The picture's panel of series k (volts, amps, watts, RPM, wind), in device pixels.
QRect panelOf(const QImage& picture, int k)
{
    const int h = picture.height() / int(trend::kSeriesCount);
    return QRect(int(trend::kAxisWidth * picture.devicePixelRatio()), k * h,
                 picture.width() - int(trend::kAxisWidth * picture.devicePixelRatio()), h);
}

// A pixel of nearly the colour inside the rectangle: lines are drawn smooth, so their edges
// blend into the ground, but their middles keep the colour.
bool hasColour(const QImage& picture, const QRect& r, const QColor& c)
{
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p = picture.pixelColor(x, y);
            if (std::abs(p.red() - c.red()) < 40 && std::abs(p.green() - c.green()) < 40 &&
                std::abs(p.blue() - c.blue()) < 40)
                return true;
        }
    }
    return false;
}

// A simulated day and a half, a reading a second, on a fake clock.
TEST(TrendRing, StaysBoundedOverADay)
{
    trend::TrendRing ring;
    const QDateTime start(QDate(2024, 3, 7), QTime(0, 0));
    constexpr qint64 kSeconds = 36 * 3600;
    for (qint64 s = 0; s < kSeconds; ++s)
        ring.add(valuesAt(s), s * 1000 + 250, start.addSecs(s));
    EXPECT_EQ(ring.newestSecond(), kSeconds - 1);

    const std::vector<trend::Slot> tenMinutes = ring.recent(600);
    ASSERT_EQ(tenMinutes.size(), 600u);
    EXPECT_EQ(tenMinutes.front().index, kSeconds - 600);
    EXPECT_EQ(tenMinutes.back().wall, start.addSecs(kSeconds - 1));
    EXPECT_EQ(ring.recent(3600).size(), 3600u);

    const std::vector<trend::Slot> day = ring.recent(24 * 3600);
    ASSERT_EQ(day.size(), std::size_t(trend::kMinuteSlots));
    EXPECT_EQ(day.front().index, kSeconds / 60 - trend::kMinuteSlots);
    // A minute holds the lowest and highest of its seconds (watts run 0 to 59 each minute).
    const std::size_t watts = 2; // volts, amps, watts, RPM, wind
    EXPECT_EQ(day[5].low[watts], 0.f);
    EXPECT_EQ(day[5].high[watts], 59.f);
}

TEST(TrendRing, AGapLeavesNoStaleSlots)
{
    trend::TrendRing ring;
    const QDateTime at(QDate(2024, 3, 7), QTime(12, 0));
    for (qint64 s = 0; s < 100; ++s)
        ring.add(valuesAt(s), s * 1000, at);
    for (qint64 s = 3600; s < 3610; ++s) // an hour without frames, then ten seconds
        ring.add(valuesAt(s), s * 1000, at);
    EXPECT_EQ(ring.recent(600).size(), 10u);
    EXPECT_EQ(ring.recent(3600).size(), 100u);    // seconds 10 to 99 are still within the hour
    EXPECT_EQ(ring.recent(24 * 3600).size(), 3u); // minutes 0, 1 and 60
}

// Readings from a day file may land before the monotonic count's zero (a computer started less
// than a day ago) and after live readings; none takes the place of a newer one.
TEST(TrendRing, PastReadingsBeforeZeroAndAfterLiveOnes)
{
    trend::TrendRing ring;
    const QDateTime now(QDate(2024, 3, 7), QTime(14, 0));
    core::QuantityValues live{};
    live[core::kVolts] = 13;
    ring.add(live, 600 * 1000, now);
    std::vector<trend::PastReading> past;
    for (int m = 0; m < 120; ++m) { // 12:00 to 13:59, a record a minute
        core::QuantityValues v{};
        v[core::kVolts] = 12;
        past.push_back({now.addSecs(-7200 + m * 60), v});
    }
    past.push_back({now.addSecs(60), live}); // later than now: left out
    past.push_back({now.addDays(-2), live}); // older than a day: left out
    EXPECT_EQ(trend::foldPast(ring, past, now, 600 * 1000), 120);
    const std::vector<trend::Slot> day = ring.recent(24 * 3600);
    ASSERT_EQ(day.size(), 121u);
    EXPECT_EQ(day.front().index, (600 - 7200) / 60);
    EXPECT_EQ(day.front().wall, now.addSecs(-7200));
    EXPECT_EQ(day.back().high[0], 13.f) << "the live reading keeps its minute";
    EXPECT_EQ(ring.newestSecond(), 600);
}

// Round ticks in steps of 1, 2 or 5 times a power of ten, the range widened to whole steps.
TEST(TrendScale, RoundAxes)
{
    struct Case
    {
        double low, high;
        int maxTicks;
        double axisLow, axisHigh, step;
    };
    const Case cases[] = {
        {11.62, 13.91, 6, 11.5, 14, 0.5},
        {0, 2.05, 4, 0, 3, 1},
        {-23, 1180, 5, -500, 1500, 500},
        {0, 56050, 6, 0, 60000, 20000},
        {12, 12, 3, 11, 13, 1},
        {0, 0, 2, -1, 1, 1},
        {0.013, 0.049, 5, 0.01, 0.05, 0.01},
        {-3.2, -1.1, 3, -4, 0, 2},
        {0, 100, 2, 0, 100, 50},
    };
    for (const Case& c : cases) {
        const trend::RoundAxis a = trend::roundAxis(c.low, c.high, c.maxTicks);
        const std::string what = std::to_string(c.low) + ".." + std::to_string(c.high);
        EXPECT_NEAR(a.low, c.axisLow, 1e-9) << what;
        EXPECT_NEAR(a.high, c.axisHigh, 1e-9) << what;
        EXPECT_NEAR(a.step, c.step, 1e-12) << what;
        EXPECT_LE(int(a.ticks.size()), std::max(3, c.maxTicks)) << what;
        EXPECT_LE(a.low, c.low) << what;
        EXPECT_GE(a.high, c.high) << what;
    }
    EXPECT_EQ(trend::tickText(12.5, 0.5), QStringLiteral("12.5"));
    EXPECT_EQ(trend::tickText(60000, 20000), QStringLiteral("60000"));
    EXPECT_EQ(trend::tickText(0.05, 0.01), QStringLiteral("0.05"));
}

TEST(TrendScale, ReadoutsRoundedWithUnits)
{
    const std::tuple<core::Quantity, double, const char*, const char*> cases[] = {
        {core::kVolts, double(12.79f), "V", "12.79 V"},
        {core::kAmps, double(1.99f), "A", "1.99 A"},
        {core::kWatts, 1200.4, "W", "1200 W"},
        {core::kRpm, 119.6, "RPM", "120 RPM"},
        {core::kWind, double(5.24f), "km/h", "5.2 km/h"},
        {core::kAmps, -0.001, "A", "0.00 A"},
        {core::kWatts, -12.6, "W", "-13 W"},
        {core::kWind, 3, "", "3.0"},
    };
    for (const auto& [q, value, unit, text] : cases)
        EXPECT_EQ(trend::readoutText(q, value, QString::fromLatin1(unit)),
                  QString::fromLatin1(text))
            << text;
}

class ViewSettings : public AppDirTest
{};

TEST_F(ViewSettings, MissingOrDamagedMeansShown)
{
    EXPECT_TRUE(trend::readShowTrend(m_app));
    for (const QByteArray& bytes : {QByteArray("View Settings\r\n<ShowTrend>x</ShowTrend>\r\n"),
                                    QByteArray("garbage"), QByteArray()}) {
        ASSERT_TRUE(core::replaceFile(trend::viewCfgPath(m_app), bytes));
        EXPECT_TRUE(trend::readShowTrend(m_app)) << bytes.toStdString();
    }
}

// Its one value is 0 or 1; a number out of that range, or one that only reads as 0 after
// rounding, is damage and the trend stays shown.
TEST(ViewSettingsValue, OnlyZeroHidesTheTrend)
{
    const std::pair<const char*, bool> cases[] = {
        {"0", false},  {" 0\t", false},  {"1", true},  {"2", true},      {"-1", true},
        {"0.5", true}, {"1e-400", true}, {"-0", true}, {"1e308", true},  {"nan", true},
        {"0x0", true}, {"", true},       {"00", true}, {"-1e308", true}, {"0,0", true},
    };
    for (const auto& [value, shown] : cases) {
        const QByteArray bytes =
            QByteArray("View Settings\r\n\r\n<ShowTrend>") + value + "</ShowTrend>\r\n";
        EXPECT_EQ(trend::showTrendFrom(bytes), shown) << value;
    }
    EXPECT_FALSE(trend::showTrendFrom(trend::viewCfgBytes(false)));
    EXPECT_TRUE(trend::showTrendFrom(trend::viewCfgBytes(true)));
}

TEST_F(ViewSettings, WrittenTaggedAndReadBack)
{
    ASSERT_TRUE(trend::writeShowTrend(m_app, false));
    EXPECT_EQ(fileBytes(trend::viewCfgPath(m_app)),
              QByteArray("View Settings\r\n\r\n<ShowTrend>0</ShowTrend>\r\n"));
    EXPECT_FALSE(trend::readShowTrend(m_app));
    ASSERT_TRUE(trend::writeShowTrend(m_app, true));
    EXPECT_TRUE(trend::readShowTrend(m_app));
    // The designed files stay as they were.
    EXPECT_EQ(fileBytes(m_app.progCfg()), ProgFile{}.bytes());
}

TEST(LiveTrendWidget, ManyReadingsMakeOnePictureInColour)
{
    trend::LiveTrend t;
    t.resize(470, 300);
    t.show();
    ASSERT_TRUE(waitFor([&] { return t.isVisible(); }));
    const int before = t.redraws();
    const QDateTime at(QDate(2024, 3, 7), QTime(12, 0));
    for (qint64 s = 0; s < 500; ++s)
        t.add(valuesAt(s), s * 200, at.addMSecs(s * 200));
    ASSERT_TRUE(waitFor([&] { return t.redraws() > before; }));
    EXPECT_EQ(t.redraws(), before + 1); // the readings of a second share one picture
    const QImage& picture = t.redraw();
    EXPECT_TRUE(hasColour(picture, panelOf(picture, 2), QColor(150, 170, 255)))
        << "the watts in their colour, in their own panel";
    EXPECT_TRUE(t.readoutAt(picture.width() - 1).startsWith(QStringLiteral("12:01:39")));
}

// The readout under the pointer: rounded values with their units, never a float's long tail.
TEST(LiveTrendWidget, TheReadoutIsRoundedWithUnits)
{
    trend::LiveTrend t;
    t.resize(640, 400);
    t.setWindUnit(QStringLiteral("km/h"));
    t.show();
    core::QuantityValues v{};
    v[core::kVolts] = 12.789999961853;
    v[core::kAmps] = 1.99000000953674;
    v[core::kWatts] = 25.45;
    v[core::kRpm] = 120;
    v[core::kWind] = 5.24;
    const QDateTime at(QDate(2024, 3, 7), QTime(12, 0, 5));
    t.add(v, 5000, at);
    t.redraw();
    QMouseEvent move(QEvent::MouseMove, QPointF(t.width() - 2, 200), QPointF(), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&t, &move);
    EXPECT_EQ(t.readoutAt(t.width() - 2),
              QStringLiteral("12:00:05  12.79 V  1.99 A  25 W  120 RPM  5.2 km/h"));
    // The span box shows its whole text.
    auto* box = t.findChild<QComboBox*>();
    ASSERT_NE(box, nullptr);
    for (int i = 0; i < box->count(); ++i)
        EXPECT_LE(box->fontMetrics().horizontalAdvance(box->itemText(i)) + 20, box->width())
            << box->itemText(i).toStdString();
}

// After a restart the day so far comes from today's day file, read off the window's thread: the
// 24-hour view is drawn at once, with connected lines.
TEST_F(ViewSettings, TheDayViewIsFilledFromTodaysDayFileAtStart)
{
    const QDateTime now(QDate(2024, 3, 7), QTime(14, 5, 7));
    QByteArray day;
    for (int m = 0; m < 14 * 60; m += 5) { // a record every 5 minutes since midnight
        const QByteArray t = QByteArray::number(m / 60) + ":" + QByteArray::number(m % 60);
        day += "<V>" + QByteArray::number(12 + (m % 120) / 100.0) + "</V><I>3</I><W>" +
               QByteArray::number(m % 600) + "</W><R>100</R><S>10</S><M>0</M><T>" + t + "</T>\r\n";
    }
    day += "damaged line\r\n";
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    ASSERT_TRUE(core::replaceFile(m_app.logsDir() + "2024_3_7.txt", day));
    // Yesterday's file is not today's.
    ASSERT_TRUE(core::replaceFile(m_app.logsDir() + "2024_3_6.txt", day));

    trend::LiveTrend t;
    t.resize(640, 572);
    t.show();
    t.setSpan(24 * 3600);
    int filled = -1;
    QObject::connect(&t, &trend::LiveTrend::dayFilled, [&](int n) { filled = n; });
    const core::Clock clock{[&] { return now; },
                            [] {
                                return qint64(5000);
                            }};
    t.fillFromDayFile(m_app, clock);
    ASSERT_TRUE(waitFor([&] { return filled >= 0; }));
    EXPECT_EQ(filled, 14 * 12);
    const std::vector<trend::Slot> shown = t.ring().recent(24 * 3600);
    ASSERT_EQ(shown.size(), std::size_t(14 * 12));
    EXPECT_EQ(shown.front().wall, QDateTime(QDate(2024, 3, 7), QTime(0, 0)));
    const QImage& picture = t.redraw();
    // Connected: in the watts panel, most columns between the first and last record are drawn.
    const QRect watts = panelOf(picture, 2);
    int drawn = 0, columns = 0;
    const QColor colour(150, 170, 255);
    for (int x = watts.left() + watts.width() * 45 / 100; x < watts.right() - 4; ++x, ++columns)
        drawn += hasColour(picture, QRect(x, watts.top(), 1, watts.height()), colour) ? 1 : 0;
    EXPECT_GT(drawn, columns * 9 / 10) << drawn << " of " << columns;
    // Live readings go on from there.
    t.add(valuesAt(1), 5500, now.addMSecs(500));
    EXPECT_EQ(t.ring().recent(24 * 3600).size(), std::size_t(14 * 12 + 1));
}

TEST_F(ViewSettings, TheTickBoxHidesTheTrendAndIsKept)
{
    QWidget window;
    auto* t = new trend::LiveTrend(&window);
    QCheckBox* box = trend::makeTrendToggle(&window, t, m_app);
    EXPECT_TRUE(box->isChecked());
    box->setChecked(false);
    EXPECT_TRUE(t->isHidden());
    EXPECT_FALSE(trend::readShowTrend(m_app));
    QWidget again;
    auto* t2 = new trend::LiveTrend(&again);
    EXPECT_FALSE(trend::makeTrendToggle(&again, t2, m_app)->isChecked());
    EXPECT_TRUE(t2->isHidden());
}

} // namespace
