// The site's own mean wind and capacity factor from the summaries of a month of day files and
// the energy file.

#include "curve/curvedata.h"
#include "curve/powercurveview.h"
#include "curve/sitefigures.h"
#include "history/dayreader.h"
#include "season/daysummary.h"
#include "tests/fixture.h"
#include "tools/daylog.h"

#include <QDir>
#include <set>

namespace {

using curve::Bin;

// 600 W is the highest bin with 10 minutes or more; the 650 W bin above it has only 3.
const std::vector<Bin> kBins{{5.0, 20, 100, 5}, {10.0, 12, 600, 20}, {10.5, 3, 650, 30}};
constexpr double kHours = 31 * 24;

// The figures as every day file read whole gives them: the history window's reader, the median
// gap between records' times as the logging interval, the rated watts of kBins.
curve::SiteFigures fromEveryDayFile(const QString& logsDir, const curve::WindScale& scale)
{
    std::set<QDate> days;
    double wind = 0;
    double wh = 0;
    long long count = 0;
    const QDir dir(logsDir);
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        const QStringList parts = name.chopped(4).split(QLatin1Char('_'));
        const QDate date = parts.size() == 3
                               ? QDate(parts[0].toInt(), parts[1].toInt(), parts[2].toInt())
                               : QDate();
        const auto bytes = core::readWholeFile(dir.filePath(name));
        if (!date.isValid() || !bytes)
            continue;
        const auto records = history::parseDayLog(*bytes, -1.0, 2.0).records;
        if (records.empty())
            continue;
        days.insert(date);
        std::vector<double> gaps;
        for (std::size_t k = 1; k < records.size(); ++k)
            gaps.push_back(records[k].time - records[k - 1].time);
        std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
        const double hours = gaps.empty() ? 0 : gaps[gaps.size() / 2] * 24;
        for (const history::LoadedRecord& r : records) {
            wind += r.values[core::kWind];
            wh += r.values[core::kWatts] * hours;
        }
        count += qint64(records.size());
    }
    curve::SiteFigures out;
    out.days = int(days.size());
    out.meanWind = count > 0 ? wind / double(count) * scale.toBinUnit : 0;
    out.energyWh = wh;
    out.ratedWatts = 600;
    out.capacityFactor = wh / (600 * out.days * 24.0);
    return out;
}

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
    void writeDay(QDate date, const sim::DayLogShape& shape)
    {
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(date),
                                      QByteArray::fromStdString(sim::dayLogText(shape))));
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
        return curve::siteFigures(source(), curve::windScale(unit), kBins);
    }
    season::SummarySource source() const
    {
        return {m_app, m_tmp.filePath(QStringLiteral("cache")), QDate(2030, 1, 1)};
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

// The energy file's first line is older than the logs, so it covers every logged day.
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

// An energy file begun on the 7th says nothing of the six logged days before it: the capacity
// factor weighs its energy against the 25 days it covers, and the note says so.
TEST_F(SiteFigures, AnEnergyFileYoungerThanTheLogsCountsOnlyItsDays)
{
    writeMarch();
    write(QStringLiteral("energy.txt"), "<D>2024_3_7</D><H>14</H><WH>133.45</WH>\r\n"
                                        "<D>2024_3_31</D><H>9</H><WH>66.55</WH>\r\n");
    const auto site = figures();
    ASSERT_TRUE(site);
    EXPECT_EQ(site->days, 31);
    EXPECT_EQ(site->energyDays, 25);
    EXPECT_EQ(site->ledgerSince, QDate(2024, 3, 7));
    EXPECT_NEAR(site->energyWh, 200, 1e-9);
    EXPECT_NEAR(site->capacityFactor, 200 / (600 * 25 * 24.0), 1e-12);
    EXPECT_TRUE(curve::siteFiguresText(*site, curve::windScale(QStringLiteral("km/h")))
                    .endsWith(u"capacity factor 0.1 % over the 25 days since the energy file "
                              u"began on 2024-03-07."));
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
    bool shown = false;
    QObject::connect(&view, &curve::PowerCurveView::figuresShown, [&shown] { shown = true; });
    ASSERT_TRUE(waitFor([&shown] { return shown; }, 60000));
    EXPECT_TRUE(view.note().contains(QStringLiteral(
        "Site over 31 days: mean wind 7.6 m/s (from the logged interval peaks, so it reads high)")))
        << view.note().toStdString();
}

// Days of one, five and ten minutes between records, whole and from 06:00, and a day missing:
// the summaries give what every day file read whole gave, to the float sums' six digits.
TEST_F(SiteFigures, FromTheSummariesAsFromEveryDayFileReadWhole)
{
    const QDate first(2024, 5, 1);
    for (int d = 0; d < 33; ++d) {
        const int step = d % 3 == 0 ? 60 : d % 3 == 1 ? 300 : 600;
        const int start = d % 4 == 0 ? 6 * 3600 : 0;
        if (d != 17)
            writeDay(first.addDays(d), {std::uint32_t(d + 1), (86400 - start) / step, start, step});
    }
    const curve::WindScale scale = curve::windScale(QStringLiteral("km/h"));
    const curve::SiteFigures whole = fromEveryDayFile(m_app.logsDir(), scale);
    ASSERT_EQ(whole.days, 32);
    ASSERT_GT(whole.energyWh, 0);
    for (const char* pass : {"made", "kept"}) {
        SCOPED_TRACE(pass);
        const auto site = curve::siteFigures(source(), scale, kBins);
        ASSERT_TRUE(site);
        EXPECT_EQ(site->days, whole.days);
        EXPECT_NEAR(site->meanWind, whole.meanWind, whole.meanWind * 1e-6);
        EXPECT_FALSE(site->fromEnergyFile);
        EXPECT_NEAR(site->energyWh, whole.energyWh, whole.energyWh * 1e-5);
        EXPECT_DOUBLE_EQ(site->ratedWatts, whole.ratedWatts);
        EXPECT_NEAR(site->capacityFactor, whole.capacityFactor, whole.capacityFactor * 1e-5);
    }
}

// A day file's times are whole minutes, so below a minute its gaps were mostly 0 and the
// logged energy with them; the buckets' counts give the interval.
TEST_F(SiteFigures, TenSecondRecordsEachCountTenSeconds)
{
    const QByteArray day = QByteArray::fromStdString(sim::dayLogText({5, 8640, 0, 10}));
    for (int d = 1; d <= 30; ++d)
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(QDate(2024, 6, d)), day));
    double watts = 0;
    for (const auto& r : history::parseDayLog(day, -1.0, 2.0).records)
        watts += r.values[core::kWatts];
    const auto site = figures();
    ASSERT_TRUE(site);
    EXPECT_EQ(site->days, 30);
    EXPECT_NEAR(site->energyWh, 30 * watts * 10 / 3600, 30 * watts * 10 / 3600 * 1e-5);
}

// Closed while it reads the logs cold, the view goes at once; what it kept serves the next.
TEST_F(SiteFigures, AViewClosedWhileReadingGoesAtOnce)
{
    const QByteArray day = QByteArray::fromStdString(sim::dayLogText({9, 8640, 0, 10}));
    for (int d = 1; d <= 31; ++d)
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(QDate(2024, 7, d)), day));
    curve::CurveData data(m_app, QStringLiteral("km/h"));
    auto view = std::make_unique<curve::PowerCurveView>(m_app, data);
    ASSERT_TRUE(waitFor([&] { return view->note().contains(QStringLiteral("Reading the logs")); }));
    view.reset();
    const auto site = figures();
    ASSERT_TRUE(site);
    EXPECT_EQ(site->days, 31);
}

TEST(SiteInterval, FromTheBucketsAtTheUsualIntervals)
{
    for (const int step : {10, 30, 60, 120, 300, 600, 1800, 3600}) {
        SCOPED_TRACE(step);
        const auto text = sim::dayLogText({7, 86400 / step, 0, step});
        const auto day = season::summarizeDay(QByteArray::fromStdString(text));
        EXPECT_NEAR(curve::intervalHours(day), step / 3600.0, 1e-12);
    }
    EXPECT_EQ(curve::intervalHours(season::summarizeDay("<W>5</W><T>10:00</T>\r\n")), 0.0);
}

} // namespace
