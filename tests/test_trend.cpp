// The live trend's bounded ring and its settings file.

#include "tests/fixture.h"
#include "trend/livetrend.h"
#include "trend/trendring.h"

#include <QCheckBox>

namespace {

core::QuantityValues valuesAt(qint64 second)
{
    core::QuantityValues v{};
    v[core::kVolts] = 12 + double(second % 100) / 100;
    v[core::kWatts] = double(second % 60);
    v[core::kWind] = double(second / 3600);
    return v;
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
    bool blue = false;
    for (int x = 0; x < picture.width() && !blue; ++x)
        for (int y = 0; y < picture.height() && !blue; ++y)
            blue = picture.pixel(x, y) == qRgb(0, 0, 255);
    EXPECT_TRUE(blue) << "the watts in the history window's colour";
    EXPECT_TRUE(t.readoutAt(picture.width() - 1).startsWith(QStringLiteral("12:01:39")));
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
