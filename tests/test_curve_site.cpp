// The site's own mean wind and capacity factor from a month of day files and the energy file.

#include "curve/curvedata.h"
#include "curve/powercurveview.h"
#include "curve/sitefigures.h"
#include "tests/fixture.h"

#include <QDir>

namespace {

using curve::Bin;

// 600 W is the highest bin with 10 minutes or more; the 650 W bin above it has only 3.
const std::vector<Bin> kBins{{5.0, 20, 100, 5}, {10.0, 12, 600, 20}, {10.5, 3, 650, 30}};
constexpr double kHours = 31 * 24;

class SiteFigures : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    void write(const QString& name, const QByteArray& bytes)
    {
        ASSERT_TRUE(core::replaceFile(m_app.logsDir() + name, bytes));
    }
    // March 2024: six records 10 minutes apart each day at 120 W, the wind's peak 18 km/h
    // (5 m/s) on the 1st to 15th and 36 km/h (10 m/s) on the 16th to 31st.
    void writeMarch(int lastDay = 31)
    {
        for (int day = 1; day <= lastDay; ++day) {
            QByteArray text;
            for (int k = 0; k < 6; ++k)
                text += QStringLiteral("<V>12.5</V><I>9.6</I><W>120</W><R>300</R><S>%1</S>"
                                       "<M>0</M><T>10:%2</T>\r\n")
                            .arg(day <= 15 ? 18 : 36)
                            .arg(k * 10, 2, 10, QLatin1Char('0'))
                            .toLatin1();
            write(QStringLiteral("2024_3_%1.txt").arg(day), text);
        }
        // Neither is a day file.
        write(QStringLiteral("2024_2_30.txt"), "<W>9999</W><S>99</S><T>10:00</T>\r\n");
        write(QStringLiteral("powercurve.txt"), "<B>5</B><N>20</N><P>100</P><SD>5</SD>\r\n");
    }
    std::optional<curve::SiteFigures> figures(const QString& unit = QStringLiteral("km/h"))
    {
        return curve::siteFigures(m_app.logsDir(), curve::windScale(unit), kBins);
    }
};

TEST_F(SiteFigures, FromTheLoggedWattsWithoutAnEnergyFile)
{
    writeMarch();
    const auto site = figures();
    ASSERT_TRUE(site);
    EXPECT_EQ(site->days, 31);
    EXPECT_NEAR(site->meanWind, (15 * 5.0 + 16 * 10.0) / 31, 1e-9);
    EXPECT_FALSE(site->fromEnergyFile);
    // 6 records x 120 W x 1/6 h a day.
    EXPECT_NEAR(site->energyWh, 31 * 120.0, 1e-9);
    EXPECT_DOUBLE_EQ(site->ratedWatts, 600);
    EXPECT_NEAR(site->capacityFactor, 31 * 120.0 / (600 * kHours), 1e-12);
}

TEST_F(SiteFigures, FromTheEnergyFileAddingLinesOfOneHour)
{
    writeMarch();
    write(QStringLiteral("energy.txt"), "<D>2024_3_7</D><H>14</H><WH>123.45</WH>\r\n"
                                        "<D>2024_3_7</D><H>14</H><WH>10</WH>\r\n"
                                        "<D>2024_3_31</D><H>9</H><WH>66.55</WH>\r\n"
                                        "<D>2024_2_1</D><H>9</H><WH>999</WH>\r\n");
    const auto site = figures();
    ASSERT_TRUE(site);
    EXPECT_TRUE(site->fromEnergyFile);
    EXPECT_NEAR(site->energyWh, 200, 1e-9); // February is not among the logged days
    EXPECT_NEAR(site->capacityFactor, 200 / (600 * kHours), 1e-12);
}

TEST_F(SiteFigures, NeedThirtyDays)
{
    writeMarch(29);
    EXPECT_FALSE(figures());
}

TEST_F(SiteFigures, AnUnknownUnitKeepsTheUsersUnit)
{
    writeMarch();
    const auto site = figures(QStringLiteral("furlongs"));
    ASSERT_TRUE(site);
    EXPECT_NEAR(site->meanWind, (15 * 18.0 + 16 * 36.0) / 31, 1e-9);
}

TEST_F(SiteFigures, ShownInTheViewsNoteLine)
{
    writeMarch();
    curve::CurveData data(m_app, QStringLiteral("km/h"));
    curve::PowerCurveView view(m_app, data);
    EXPECT_TRUE(view.note().contains(QStringLiteral(
        "Site over 31 days: mean wind 7.6 m/s (from the logged interval peaks, so it reads high)")))
        << view.note().toStdString();
}

} // namespace
