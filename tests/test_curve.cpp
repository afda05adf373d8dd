// The power curve by bins from one-minute means, its file, and the yearly energy it promises.

#include "curve/aep.h"
#include "curve/curvedata.h"
#include "curve/powercurve.h"
#include "curve/powercurveview.h"
#include "tests/curvebins.h"
#include "tests/fixture.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLegend>
#include <QTableWidget>
#include <QValueAxis>
#include <algorithm>

namespace {

using curve::Bin;

// Feeds one minute of readings, a reading every 2 s, through the folder into the curve.
struct Feeder
{
    explicit Feeder(const curve::WindScale& s)
        : scale(s)
    {}
    curve::WindScale scale;
    curve::PowerCurve curve{scale.binWidth};
    curve::MinuteFolder folder;
    qint64 ms = 0;

    void reading(double wind, double watts, bool fresh = true)
    {
        if (const auto done = folder.add(wind * scale.toBinUnit, watts, ms, fresh))
            curve.addMinute(done->wind, done->watts);
        ms += 2000;
    }
    void minute(double wind, double watts, bool fresh = true)
    {
        for (int k = 0; k < 30; ++k)
            reading(wind, watts, fresh);
    }
    void finish() { reading(0, 0, true); } // the first reading of the next minute ends it
};

TEST(PowerCurveBins, WorkedExampleInMetresPerSecond)
{
    Feeder f(curve::windScale(QStringLiteral("m/s")));
    f.minute(0.25, 2);  // an edge belongs to the bin above it: 0.5
    f.minute(0.74, 4);  // 0.5
    f.minute(0.75, 6);  // 1.0
    f.minute(5.1, 100); // three minutes in the 5.0 bin: mean 110, SD 10
    f.minute(4.9, 110);
    f.minute(5.2, 120);
    f.finish();
    const std::vector<Bin> bins = f.curve.bins();
    ASSERT_EQ(bins.size(), 3u);
    EXPECT_DOUBLE_EQ(bins[0].centre, 0.5);
    EXPECT_EQ(bins[0].minutes, 2);
    EXPECT_DOUBLE_EQ(bins[0].meanWatts, 3);
    EXPECT_NEAR(bins[0].sdWatts, std::sqrt(2.0), 1e-9);
    EXPECT_DOUBLE_EQ(bins[1].centre, 1.0);
    EXPECT_EQ(bins[1].minutes, 1);
    EXPECT_DOUBLE_EQ(bins[1].sdWatts, 0);
    EXPECT_DOUBLE_EQ(bins[2].centre, 5.0);
    EXPECT_EQ(bins[2].minutes, 3);
    EXPECT_NEAR(bins[2].meanWatts, 110, 1e-9);
    EXPECT_NEAR(bins[2].sdWatts, 10, 1e-9);
}

TEST(PowerCurveBins, KilometresPerHourConvertToMetresPerSecond)
{
    Feeder f(curve::windScale(QStringLiteral(" KM/H ")));
    ASSERT_TRUE(f.scale.known);
    f.minute(0.9, 10);  // 0.25 m/s: bin 0.5
    f.minute(2.7, 20);  // 0.75 m/s: bin 1.0
    f.minute(18.0, 30); // 5 m/s
    f.finish();
    const std::vector<Bin> bins = f.curve.bins();
    ASSERT_EQ(bins.size(), 3u);
    EXPECT_DOUBLE_EQ(bins[0].centre, 0.5);
    EXPECT_DOUBLE_EQ(bins[1].centre, 1.0);
    EXPECT_DOUBLE_EQ(bins[2].centre, 5.0);
    EXPECT_DOUBLE_EQ(bins[2].meanWatts, 30);
}

TEST(PowerCurveBins, EverySpellingOfTheKnownUnits)
{
    const std::pair<const char*, double> cases[] = {
        {"km/h", 1 / 3.6}, {"kph", 1 / 3.6}, {"m/s", 1},          {"mps", 1},
        {"mph", 0.44704},  {"kn", 0.514444}, {"knots", 0.514444}, {"ft/s", 0.3048}};
    for (const auto& [unit, factor] : cases) {
        const curve::WindScale s = curve::windScale(QString::fromLatin1(unit));
        EXPECT_TRUE(s.known) << unit;
        EXPECT_NEAR(s.toBinUnit, factor, 1e-6) << unit;
        EXPECT_DOUBLE_EQ(s.binWidth, 0.5) << unit;
    }
}

TEST(PowerCurveBins, AnUnknownUnitBinsOneOfItsOwnWide)
{
    Feeder f(curve::windScale(QStringLiteral("furlongs")));
    EXPECT_FALSE(f.scale.known);
    EXPECT_EQ(f.scale.unitName, QStringLiteral("furlongs"));
    f.minute(2.5, 10); // edge: bin 3
    f.minute(2.4, 20); // bin 2
    f.finish();
    const std::vector<Bin> bins = f.curve.bins();
    ASSERT_EQ(bins.size(), 2u);
    EXPECT_DOUBLE_EQ(bins[0].centre, 2);
    EXPECT_DOUBLE_EQ(bins[1].centre, 3);
}

TEST(PowerCurveBins, StaleReadingsTakeNoPart)
{
    Feeder f(curve::windScale(QStringLiteral("m/s")));
    f.minute(5, 100);
    f.minute(5, 900, false); // a stale minute: no mean at all
    for (int k = 0; k < 15; ++k) {
        f.reading(5, 200);         // half a minute fresh
        f.reading(9, 5000, false); // interleaved stale readings
    }
    f.finish();
    const std::vector<Bin> bins = f.curve.bins();
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].minutes, 2);
    EXPECT_DOUBLE_EQ(bins[0].meanWatts, 150);
}

// Annual energy by hand for two bins (3.0 m/s: 10 W, 3.5 m/s: 20 W), joined to 0 W at 2.5 m/s:
// 8760 x ([F(3) - F(2.5)] x 5 + [F(3.5) - F(3)] x 15) / 1000.
TEST(AnnualEnergy, MatchesAHandComputedTable)
{
    const std::vector<Bin> bins{{3.0, 12, 10, 1}, {3.5, 20, 20, 2}};
    EXPECT_NEAR(curve::rayleighBelow(3.0, 4.0), 0.357113, 1e-6);
    EXPECT_NEAR(curve::aepAt(bins, 0.5, 4).kWh, 16.52627, 1e-4);
    EXPECT_NEAR(curve::aepAt(bins, 0.5, 8).kWh, 5.946513, 1e-5);
    const std::vector<curve::AepRow> table = curve::aepTable(bins, 0.5);
    ASSERT_EQ(table.size(), 8u);
    EXPECT_DOUBLE_EQ(table.front().meanWind, 4);
    EXPECT_DOUBLE_EQ(table.back().meanWind, 11);
    // Two bins reach 85 % of the top at 3.35 m/s: the range runs to 5.03 m/s, beyond them.
    EXPECT_TRUE(table.front().incomplete);
}

class PowerCurveFile : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        QDir().mkpath(m_app.logsDir());
    }
    QString path() const { return curve::powerCurvePath(m_app); }
    // The view's table and note come from off its thread; this waits until they are shown.
    static bool figuresOf(curve::PowerCurveView& view)
    {
        bool shown = false;
        const auto connection = QObject::connect(&view, &curve::PowerCurveView::figuresShown,
                                                 [&shown] { shown = true; });
        const bool ok = waitFor([&shown] { return shown; }, 60000);
        QObject::disconnect(connection);
        return ok;
    }
};

TEST_F(PowerCurveFile, IsTaggedOneLineABinAndSurvivesARestart)
{
    curve::PowerCurve before(0.5);
    for (double w : {100.0, 110.0, 120.0})
        before.addMinute(5.5, w);
    before.addMinute(0.5, 0.25);
    const QByteArray bytes = curve::powerCurveBytes(before);
    EXPECT_EQ(bytes, QByteArray("<B>0.5</B><N>1</N><P>0.25</P><SD>0</SD>\r\n"
                                "<B>5.5</B><N>3</N><P>110</P><SD>10</SD>\r\n"));
    ASSERT_TRUE(core::replaceFile(path(), bytes));
    bool damaged = true;
    curve::PowerCurve after = curve::loadPowerCurve(path(), 0.5, &damaged);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(curve::powerCurveBytes(after), bytes);
    // Minutes after the restart join the bins read back.
    after.addMinute(5.6, 130);
    const std::vector<Bin> bins = after.bins();
    EXPECT_EQ(bins[1].minutes, 4);
    EXPECT_NEAR(bins[1].meanWatts, 115, 1e-9);
    EXPECT_NEAR(bins[1].sdWatts, std::sqrt(500.0 / 3), 1e-9);
}

TEST_F(PowerCurveFile, ADamagedLineIsSkippedAndCountedAndTheFileSetAside)
{
    const QByteArray good = "<B>5.5</B><N>12</N><P>230.4</P><SD>1</SD>\r\n";
    const QByteArray cases[] = {"<B>5.5</B><N>12</N><P>230.4</P>\r\n",            // no SD
                                "<B>5.5</B><N>x</N><P>230.4</P><SD>1</SD>\r\n",   // not a number
                                "<B>5.5</B><N>1.5</N><P>230.4</P><SD>1</SD>\r\n", // not a count
                                "<B>5.5</B><N>3</N><P>230.4</P><SD>1</SD>",       // cut short
                                QByteArray("\x00\x01\x02\r\n", 5)};
    for (const QByteArray& bad : cases) {
        const QByteArray bytes = bad.endsWith('\n') ? good + bad : bad;
        ASSERT_TRUE(core::replaceFile(path(), bytes));
        bool damaged = false;
        const curve::PowerCurve c = curve::loadPowerCurve(path(), 0.5, &damaged);
        EXPECT_TRUE(damaged) << bytes.toStdString();
        EXPECT_EQ(c.bins().size(), bad.endsWith('\n') ? 1u : 0u) << bytes.toStdString();
        EXPECT_FALSE(QFile::exists(path()));
        EXPECT_EQ(fileBytes(path() + QStringLiteral(".damaged")), bytes);
    }
    bool damaged = true;
    EXPECT_TRUE(curve::loadPowerCurve(path(), 0.5, &damaged).empty()); // missing: a new curve
    EXPECT_FALSE(damaged);
}

// Numbers no turbine gives, and numbers no int holds: each line is skipped, never converted,
// and the good bin beside it is kept.
TEST_F(PowerCurveFile, AnAbsurdNumberSkipsItsLineBeforeAnyConversion)
{
    const QByteArray good = "<B>5.5</B><N>12</N><P>230.4</P><SD>1</SD>\r\n";
    const char* const absurd[] = {
        "<B>1e308</B><N>3</N><P>1</P><SD>1</SD>",     "<B>-1e308</B><N>3</N><P>1</P><SD>1</SD>",
        "<B>1e999</B><N>3</N><P>1</P><SD>1</SD>",     "<B>1001</B><N>3</N><P>1</P><SD>1</SD>",
        "<B>5</B><N>1e308</N><P>1</P><SD>1</SD>",     "<B>5</B><N>-1e308</N><P>1</P><SD>1</SD>",
        "<B>5</B><N>nan</N><P>1</P><SD>1</SD>",       "<B>5</B><N>2147483648</N><P>1</P><SD>1</SD>",
        "<B>5</B><N>100000001</N><P>1</P><SD>1</SD>", "<B>5</B><N>0</N><P>1</P><SD>1</SD>",
        "<B>5</B><N>3</N><P>1e308</P><SD>1</SD>",     "<B>5</B><N>3</N><P>-1e308</P><SD>1</SD>",
        "<B>5</B><N>3</N><P>inf</P><SD>1</SD>",       "<B>5</B><N>3</N><P>1</P><SD>-1</SD>",
        "<B>5</B><N>3</N><P>1</P><SD>1e308</SD>",     "<B>5</B><N>3</N><P>1</P><SD>nan</SD>",
    };
    QByteArray bytes = good;
    for (const char* line : absurd)
        bytes += QByteArray(line) + "\r\n";
    const curve::PowerCurveContent content = curve::parsePowerCurve(bytes);
    EXPECT_EQ(content.skippedLines, int(std::size(absurd)));
    ASSERT_EQ(content.bins.size(), 1u);
    EXPECT_EQ(content.bins[0].minutes, 12);

    ASSERT_TRUE(core::replaceFile(path(), bytes));
    bool damaged = false;
    const curve::PowerCurve c = curve::loadPowerCurve(path(), 0.5, &damaged);
    EXPECT_TRUE(damaged);
    ASSERT_EQ(c.bins().size(), 1u);
    EXPECT_DOUBLE_EQ(c.bins()[0].centre, 5.5);
    EXPECT_EQ(fileBytes(path() + QStringLiteral(".damaged")), bytes);

    // Lines of one bin that together pass the limit of minutes: the one that would is skipped.
    const QByteArray twice = "<B>5</B><N>60000000</N><P>1</P><SD>0</SD>\r\n"
                             "<B>5</B><N>60000000</N><P>1</P><SD>0</SD>\r\n";
    ASSERT_TRUE(core::replaceFile(path(), twice));
    const curve::PowerCurve d = curve::loadPowerCurve(path(), 0.5, &damaged);
    EXPECT_TRUE(damaged);
    ASSERT_EQ(d.bins().size(), 1u);
    EXPECT_EQ(d.bins()[0].minutes, 60000000);
}

// A wind speed from a divider of 1e-300 in settings.cfg takes no bin.
TEST(PowerCurve, AnAbsurdMinuteIsNotCounted)
{
    curve::PowerCurve c(0.5);
    c.addMinute(3e304, 100);
    c.addMinute(5, 1e300);
    c.addMinute(-3e304, 100);
    EXPECT_TRUE(c.empty());
    c.addMinute(5, 100);
    EXPECT_EQ(c.bins().size(), 1u);
}

TEST_F(PowerCurveFile, TheViewSavesCsvAndStartsANewCurveOnlyWhenAsked)
{
    curve::CurveData data(m_app, QStringLiteral("km/h"));
    core::QuantityValues v{};
    for (qint64 s = 0; s <= 11 * 60; ++s) { // eleven minutes at 18 km/h and 100 W
        v[core::kWind] = 18;
        v[core::kWatts] = 100;
        data.add(v, s * 1000);
    }
    ASSERT_EQ(data.scatter().size(), 11u);
    curve::PowerCurveView view(m_app, data);
    ASSERT_TRUE(figuresOf(view));
    EXPECT_EQ(view.binsCsv(), QByteArray("wind,minutes,mean_watts,sd_watts,complete\r\n"
                                         "5,11,100,0,yes\r\n"));
    EXPECT_TRUE(view.tableCsv().startsWith(
        "mean_wind_m_s,kwh_per_year,incomplete,kwh_per_year_filled\r\n4,"));
    // One bin at 5 m/s: the bins up to 7.5 m/s that the yearly energy needs are missing.
    EXPECT_TRUE(view.note().startsWith(u"incomplete: a bin from 4.5 to 7.5 m/s"))
        << view.note().toStdString();

    QStringList asked;
    bool answer = false;
    ui::setQuestionHandler([&](const QString& text) {
        asked << text;
        return answer;
    });
    QPushButton* button = nullptr;
    for (QPushButton* b : view.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Start a new curve"))
            button = b;
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(data.curve().bins().size(), 1u);
    answer = true;
    button->click();
    ui::setQuestionHandler({});
    EXPECT_EQ(asked.size(), 2);
    EXPECT_TRUE(data.curve().empty());
    // A curve with no plant behind it writes at once; its unit and width stay.
    EXPECT_EQ(fileBytes(path()), QByteArray("<Units>m/s</Units><Width>0.5</Width>\r\n"));
}

TEST_F(PowerCurveFile, AnUnknownUnitIsSaidInTheView)
{
    curve::CurveData data(m_app, QStringLiteral("furlongs"));
    curve::PowerCurveView view(m_app, data);
    ASSERT_TRUE(figuresOf(view));
    EXPECT_TRUE(view.note().contains(QStringLiteral("furlongs")));
    EXPECT_EQ(view.tableCsv(),
              QByteArray("mean_wind_m_s,kwh_per_year,incomplete,kwh_per_year_filled\r\n"));
}

// The wind axis ends after the last bin with ten minutes, not at a storm's few minutes, unless
// all winds are asked for; the series are named in the legend and the table shows whole.
TEST_F(PowerCurveFile, TheWindAxisEndsAtTheLastCompleteBin)
{
    QByteArray bytes;
    for (const Bin& b : measured())
        bytes += "<B>" + QByteArray::number(b.centre) + "</B><N>" + QByteArray::number(b.minutes) +
                 "</N><P>" + QByteArray::number(b.meanWatts) + "</P><SD>1</SD>\r\n";
    bytes += "<B>33.5</B><N>3</N><P>200</P><SD>0</SD>\r\n";
    ASSERT_TRUE(core::replaceFile(path(), bytes));
    curve::CurveData data(m_app, QStringLiteral("m/s"));
    ASSERT_EQ(data.curve().bins().size(), 14u);
    curve::PowerCurveView view(m_app, data);
    view.resize(900, 700);
    view.show();
    ASSERT_TRUE(figuresOf(view));
    auto windEnd = [&] {
        auto* chart = view.findChild<QChartView*>()->chart();
        return static_cast<QValueAxis*>(chart->axes(Qt::Horizontal).front())->max();
    };
    EXPECT_GE(windEnd(), 7.75);
    EXPECT_LE(windEnd(), 10.0);
    // The watts follow the bins shown: the top mean and its spread, not the storm's 400 W.
    const auto* watts = static_cast<QValueAxis*>(
        view.findChild<QChartView*>()->chart()->axes(Qt::Vertical).front());
    EXPECT_GE(watts->max(), 171.0);
    EXPECT_LT(watts->max(), 400.0);
    QStringList names;
    for (QAbstractSeries* series : view.findChild<QChartView*>()->chart()->series())
        names << series->name();
    for (const char* name : {"Mean power", "Minutes in bin", "Minute means"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(name))) << name;
    EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                            [](const QString& n) { return n.startsWith(u"Spread"); }));
    EXPECT_TRUE(view.findChild<QChartView*>()->chart()->legend()->isVisible());
    // The table: its header and all eight rows, with no scrolling.
    auto* table = view.findChild<QTableWidget*>(QStringLiteral("AepTable"));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 8);
    EXPECT_TRUE(table->horizontalHeader()->isVisible());
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(),
              QStringLiteral("kWh/year,\nmissing bins filled"));
    EXPECT_GE(table->viewport()->height(), table->rowViewportPosition(7) + table->rowHeight(7));
    EXPECT_EQ(table->rowViewportPosition(0), 0);
    EXPECT_FALSE(table->item(0, 1)->text().contains(u"incomplete"))
        << "the thin storm bins lie above the range that matters";

    bool done = false;
    QObject::connect(&view, &curve::PowerCurveView::figuresShown, [&] { done = true; });
    view.findChild<QCheckBox*>(QStringLiteral("ShowAllWinds"))->setChecked(true);
    ASSERT_TRUE(waitFor([&] { return done; }, 60000));
    EXPECT_GE(windEnd(), 33.75);
}

} // namespace
