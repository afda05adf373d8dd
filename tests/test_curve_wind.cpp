// The site's wind: the Weibull fit to binned minutes, the site's yearly energy under it, the
// counts' file (written, read back, damaged, of another unit) and the counts kept by the running
// plant across the month's end and a restart.

#include "curve/aep.h"
#include "curve/curvesettings.h"
#include "curve/windbins.h"
#include "curve/windstats.h"
#include "storage/storageconfig.h"
#include "tests/envguard.h"
#include "tests/logger_window.h"
#include "tests/watchersprobe.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr int kMonth = 2026 * 12 + 10; // 2026-11

// n draws of a Weibull binned as the file bins them.
std::vector<curve::WindBin> drawn(double k, double c, int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::weibull_distribution<double> weibull(k, c);
    curve::WindBins bins(0.5);
    for (int i = 0; i < n; ++i)
        bins.add(kMonth, weibull(rng));
    return bins.histogram(kMonth, kMonth);
}

// 50,000 minutes recover k and c within 2 %; a month of them (43,200) within 5 %.
TEST(WeibullFit, RecoversTheShapeAndScaleOfDrawnWinds)
{
    const struct
    {
        double k, c;
    } table[] = {{1.5, 5}, {2, 6}, {2.5, 7}, {3, 8}};
    unsigned seed = 1;
    for (const auto& t : table) {
        for (const auto& [minutes, tolerance] : {std::pair{50000, 0.02}, std::pair{43200, 0.05}}) {
            const auto fit = curve::fitWeibull(drawn(t.k, t.c, minutes, seed++), 0.5);
            ASSERT_TRUE(fit) << t.k;
            EXPECT_NEAR(fit->k, t.k, tolerance * t.k) << t.k << " " << minutes;
            EXPECT_NEAR(fit->c, t.c, tolerance * t.c) << t.k << " " << minutes;
            const double mean = t.c * std::tgamma(1 + 1 / t.k);
            EXPECT_NEAR(fit->mean, mean, tolerance * mean) << t.k << " " << minutes;
            EXPECT_EQ(fit->minutes, minutes);
        }
    }
}

TEST(WeibullFit, TooFewMinutesOrBinsGiveNoFit)
{
    using curve::WindBin;
    const struct
    {
        const char* what;
        std::vector<WindBin> bins;
    } table[] = {
        {"a minute short of a day", {{3, 400}, {5, 600}, {7, 439}}},
        {"one bin", {{5, 5000}}},
        {"two bins", {{5, 3000}, {5.5, 3000}}},
        {"nothing", {}},
    };
    for (const auto& t : table)
        EXPECT_FALSE(curve::fitWeibull(t.bins, 0.5)) << t.what;
    EXPECT_TRUE(curve::fitWeibull({{3, 400}, {5, 600}, {7, 440}}, 0.5));
}

// Three bins of 0.5 m/s, the first joined to 0 W at 2.5 m/s, under k = 2 and c = 6 m/s:
// F(v) = 1 − exp(−(v/6)²) is 0.15938, 0.22120, 0.28843 and 0.35882 at 2.5, 3, 3.5 and 4 m/s, so
// 8.76 × [(0.22120 − 0.15938)·25 + (0.28843 − 0.22120)·75 + (0.35882 − 0.28843)·125]
// = 8.76 × (1.54557 + 5.04211 + 8.79903) = 134.79 kWh. At c = 5.4 m/s: 153.61 kWh.
const std::vector<curve::Bin> kCurve = {{3, 20, 50, 0}, {3.5, 20, 100, 0}, {4, 20, 150, 0}};

TEST(SiteEnergy, TheWeibullSumMatchesAHandComputation)
{
    const curve::AepRow row = curve::aepWeibull(kCurve, 0.5, 2, 6);
    EXPECT_NEAR(row.kWh, 134.788, 0.001);
    EXPECT_NEAR(row.meanWind, 6 * std::tgamma(1.5), 1e-9);
    EXPECT_NEAR(curve::aepWeibull(kCurve, 0.5, 2, 5.4).kWh, 153.611, 0.001);
    // Rayleigh is the Weibull of k = 2 and c = 2·mean/√π.
    for (const double mean : {4.0, 6.0, 9.0})
        EXPECT_NEAR(curve::aepWeibull(kCurve, 0.5, 2, 2 * mean / std::sqrt(std::numbers::pi)).kWh,
                    curve::aepAt(kCurve, 0.5, mean).kWh, 1e-9);
}

// A year of months of 43,200 minutes each, binned as k = 2 and c = 6 m/s would have them; a
// month before the year and the curve's normalisation to sea level (factor 0.9) as given.
TEST(SiteEnergy, RestsOnTheLastTwelveMonthsAndWeighsTheBinsAtTheirOwnWind)
{
    curve::WindBins wind(0.5);
    const int first = 2025 * 12; // 2025-01
    for (int month = first - 1; month < first + 12; ++month) {
        for (int bin = 0; bin * 0.5 < 30; ++bin) {
            const double lower = std::max(bin * 0.5 - 0.25, 0.0);
            const double upper = bin * 0.5 + 0.25;
            const double share =
                std::exp(-std::pow(lower / 6, 2)) - std::exp(-std::pow(upper / 6, 2));
            // The month before the year blows far harder: it must take no part.
            const int minutes = int(std::lround(43200 * share));
            if (minutes > 0)
                wind.add(month, month < first ? bin * 0.5 + 10 : bin * 0.5, minutes);
        }
    }
    const curve::RefCurve reference{QStringLiteral("m/s"), {}, {{2.5, 0}, {4, 150}, {6, 300}}};
    const curve::SiteEnergy year =
        curve::siteEnergy(wind, QDate(2025, 12, 15), kCurve, 1, reference);
    ASSERT_TRUE(year.fit);
    EXPECT_NEAR(year.fit->k, 2, 0.01);
    EXPECT_NEAR(year.fit->c, 6, 0.03);
    ASSERT_EQ(year.months.size(), 12u);
    EXPECT_EQ(year.months.front(), first);
    EXPECT_EQ(year.months.back(), first + 11);
    ASSERT_TRUE(year.measured);
    EXPECT_NEAR(year.measured->kWh, 134.788, 1.35);
    // The reference sampled every 0.5 m/s up to 6 m/s, by the same sum: 669.24 kWh.
    ASSERT_TRUE(year.referenceKWh);
    EXPECT_NEAR(*year.referenceKWh, 669.238, 6.7);

    const curve::SiteEnergy normalised = curve::siteEnergy(wind, QDate(2025, 12, 15), kCurve, 0.9);
    ASSERT_TRUE(normalised.measured);
    EXPECT_NEAR(normalised.measured->kWh, 153.611, 1.54);
    EXPECT_FALSE(normalised.referenceKWh);

    // In January 2026 the year holds 11 of those months: February 2025 to December 2025.
    EXPECT_EQ(curve::siteEnergy(wind, QDate(2026, 1, 1), kCurve, 1).months.size(), 11u);
    EXPECT_FALSE(curve::siteEnergy(wind, QDate(2030, 1, 1), kCurve, 1).fit);
}

class WindFile : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    QString path() const { return curve::windBinsPath(m_app); }
    const curve::WindScale m_scale = curve::windScale(QStringLiteral("m/s"));
};

TEST_F(WindFile, IsTaggedOneLineABinOfAMonthAndReadsBack)
{
    curve::WindBins bins(0.5);
    bins.add(kMonth + 1, 5.6);
    bins.add(kMonth, 5.4, 1234);
    bins.add(kMonth, 0.1);
    bins.add(kMonth, 12.74);
    const QByteArray bytes = curve::windBinsFileBytes(bins, QStringLiteral("m/s"));
    EXPECT_EQ(bytes, "<Units>m/s</Units><Width>0.5</Width>\r\n"
                     "<M>2026-11</M><B>0</B><N>1</N>\r\n"
                     "<M>2026-11</M><B>5.5</B><N>1234</N>\r\n"
                     "<M>2026-11</M><B>12.5</B><N>1</N>\r\n"
                     "<M>2026-12</M><B>5.5</B><N>1</N>\r\n");
    ASSERT_TRUE(core::replaceFile(path(), bytes));
    const curve::WindFileLoad load = curve::loadWindFile(path(), m_scale);
    EXPECT_FALSE(load.damaged);
    EXPECT_FALSE(load.setAside);
    EXPECT_EQ(load.bins.counts(), bins.counts());
    EXPECT_EQ(curve::windBinsFileBytes(load.bins, QStringLiteral("m/s")), bytes);
    EXPECT_EQ(load.bins.histogram(kMonth, kMonth + 1),
              (std::vector<curve::WindBin>{{0, 1}, {5.5, 1235}, {12.5, 1}}));
    EXPECT_FALSE(QFile::exists(path() + QStringLiteral(".damaged")));
    // What still waits for the disk is read in the file's place.
    EXPECT_TRUE(curve::loadWindFile(path(), m_scale, QByteArray()).bins.empty());
}

// Minutes counted before the file came stay on top of its counts.
TEST_F(WindFile, MinutesBeforeTheReadStayOnTop)
{
    curve::WindBins before(0.5);
    before.add(kMonth, 5, 10);
    curve::SiteWind wind(m_scale);
    wind.add(QDate(2026, 11, 30), 5.1);
    wind.add(QDate(2026, 12, 1), 5.1);
    EXPECT_FALSE(wind.fileRead());
    wind.takeFile({before, false, false, {}});
    EXPECT_TRUE(wind.fileRead());
    EXPECT_EQ(wind.bins().counts(),
              (std::vector<curve::WindCount>{{kMonth, 5, 11}, {kMonth + 1, 5, 1}}));
    wind.takeFile({});
    EXPECT_EQ(wind.bins().counts().size(), 2u); // one file only
}

struct Damaged
{
    const char* name;
    QByteArray line;
};

const Damaged kDamaged[] = {
    {"WithoutItsCarriageReturn", "<M>2026-11</M><B>6</B><N>3</N>\n"},
    {"WithoutItsCount", "<M>2026-11</M><B>6</B>\r\n"},
    {"AYearBefore2000", "<M>1999-12</M><B>6</B><N>3</N>\r\n"},
    {"AYearAfter2100", "<M>2101-01</M><B>6</B><N>3</N>\r\n"},
    {"AThirteenthMonth", "<M>2026-13</M><B>6</B><N>3</N>\r\n"},
    {"AWindOf1e308", "<M>2026-11</M><B>1e308</B><N>3</N>\r\n"},
    {"MoreMinutesThanAMonthHolds", "<M>2026-11</M><B>6</B><N>44701</N>\r\n"},
    {"APartOfAMinute", "<M>2026-11</M><B>6</B><N>2.5</N>\r\n"},
    {"TwoLinesOfABinPastItsLimit", "<M>2026-11</M><B>5</B><N>44001</N>\r\n"},
};

class WindFileDamaged : public WindFile, public ::testing::WithParamInterface<Damaged>
{};

// Each damaged line is skipped whole, the good ones read, the file renamed "*.damaged".
TEST_P(WindFileDamaged, SkipsTheLineAndSetsTheFileAside)
{
    const QByteArray bytes = "<Units>m/s</Units><Width>0.5</Width>\r\n"
                             "<M>2026-11</M><B>5</B><N>700</N>\r\n" +
                             GetParam().line;
    ASSERT_TRUE(core::replaceFile(path(), bytes));
    const curve::WindFileLoad load = curve::loadWindFile(path(), m_scale);
    EXPECT_TRUE(load.damaged);
    EXPECT_EQ(load.bins.counts(), (std::vector<curve::WindCount>{{kMonth, 5, 700}}));
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_EQ(fileBytes(path() + QStringLiteral(".damaged")), bytes);
}

INSTANTIATE_TEST_SUITE_P(NineWays, WindFileDamaged, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) { return std::string(info.param.name); });

// Counts in the user's own unit cannot become m/s bins: they are set aside whole, never
// re-binned; counts whose bins nest whole in the scale's are turned into them.
TEST_F(WindFile, AnotherUnitIsSetAsideUnlessItsBinsNest)
{
    const QByteArray own =
        "<Units>WIND</Units><Width>1</Width>\r\n<M>2026-11</M><B>5</B><N>3</N>\r\n";
    ASSERT_TRUE(core::replaceFile(path(), own));
    const curve::WindFileLoad aside = curve::loadWindFile(path(), m_scale);
    EXPECT_EQ(aside.setAside, own);
    EXPECT_TRUE(aside.bins.empty());
    EXPECT_FALSE(aside.damaged);
    EXPECT_EQ(fileBytes(path()), own) << "the plant keeps it under another name";

    // km/h bins 0.6 wide are m/s bins a sixth of 0.5 wide: three of them make one.
    ASSERT_TRUE(core::replaceFile(path(), "<Units>km/h</Units><Width>0.6</Width>\r\n"
                                          "<M>2026-11</M><B>17.4</B><N>1</N>\r\n"
                                          "<M>2026-11</M><B>18</B><N>2</N>\r\n"
                                          "<M>2026-11</M><B>18.6</B><N>4</N>\r\n"));
    const curve::WindFileLoad converted = curve::loadWindFile(path(), m_scale);
    EXPECT_TRUE(converted.converted);
    EXPECT_FALSE(converted.setAside);
    EXPECT_EQ(converted.bins.counts(), (std::vector<curve::WindCount>{{kMonth, 5, 7}}));
}

// The running plant: frames of 5 m/s, three a minute of the fake clock.
class WindPlant : public LoggerWindow
{
protected:
    void SetUp() override
    {
        LoggerWindow::SetUp();
        writeProg(ProgFile{.WSUnits = "m/s"});
    }
    void minutesOf(monitor::Logger& w, sim::PseudoTerminal& pty, const std::string& frame,
                   int minutes)
    {
        int frames = 0;
        const QMetaObject::Connection counting = QObject::connect(
            &w.station(), &station::Station::freshReading, [&frames] { ++frames; });
        for (int k = 0; k < minutes * 3; ++k) {
            ASSERT_TRUE(pty.write(frame));
            ASSERT_TRUE(waitFor([&] { return frames > k; }));
            m_now = m_now.addSecs(20);
        }
        QObject::disconnect(counting);
    }
};

// 12.8 V at 9 A in 5 m/s; 14.4 V, the bank full, at 9 A in 5 m/s.
const std::string kCharging = "[<V>512</V><I>530</I><R>10</R><M>0</M><S>25</S>]\r\n";
const std::string kFull = "[<V>576</V><I>530</I><R>10</R><M>0</M><S>25</S>]\r\n";

// A minute counts in the local month of the clock when it closes: the minute from 23:59 on the
// month's last day closes at midnight, in the new month.
TEST_F(WindPlant, AMinuteCountsInTheMonthItClosesIn)
{
    m_now = QDateTime(QDate(2026, 11, 30), QTime(23, 58, 7));
    auto pty = line(1);
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
    minutesOf(*w, *pty, kCharging, 4);
    EXPECT_EQ(w->watchers().wind().bins().counts(),
              (std::vector<curve::WindCount>{{kMonth, 5, 1}, {kMonth + 1, 5, 2}}));
    w->plant().close();
    EXPECT_EQ(fileBytes(curve::windBinsPath(m_app)), "<Units>m/s</Units><Width>0.5</Width>\r\n"
                                                     "<M>2026-11</M><B>5</B><N>1</N>\r\n"
                                                     "<M>2026-12</M><B>5</B><N>2</N>\r\n");
}

// Stopped in the middle of an hour, before its save, the counts are written at close, read at
// the restart and written back with the new run's: minutes held back while the battery is full
// count too, and a site at 2000 m counts its wind as measured while the curve's bin is that of
// the wind at sea level.
TEST_F(WindPlant, ARestartInTheMiddleOfAnHourKeepsTheCounts)
{
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    ASSERT_TRUE(core::replaceFile(curve::curveCfgPath(m_app),
                                  "Power Curve Settings\r\n\r\n<Altitude>2000</Altitude>\r\n\r\n"));
    auto pty = line(1);
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
    minutesOf(*w, *pty, kCharging, 3);
    w->plant().close();
    w.reset();
    const QByteArray header = "<Units>m/s</Units><Width>0.5</Width>\r\n";
    EXPECT_EQ(fileBytes(curve::windBinsPath(m_app)), header + "<M>2024-03</M><B>5</B><N>2</N>\r\n");

    auto again = start();
    ASSERT_TRUE(waitFor([&] { return again->watchers().filesRead(); }));
    minutesOf(*again, *pty, kFull, 3);
    const std::vector<curve::Bin> bins = again->watchers().curve().curve().bins();
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].centre, 4.5);
    EXPECT_EQ(bins[0].minutes, 2) << "the full bank's minutes are kept out of the curve";
    again->plant().close();
    EXPECT_EQ(fileBytes(curve::windBinsPath(m_app)), header + "<M>2024-03</M><B>5</B><N>4</N>\r\n");
}

// The counts are saved at each clock hour; while records are held (an SD card's storage mode)
// every sixth one, or at once when the volts fall to the level records are written at.
TEST_F(WindPlant, WhileRecordsAreHeldTheCountsAreSavedEverySixHours)
{
    const struct
    {
        const char* name;
        const char* syncSeconds;
        int savedAt; // the clock hour the file is first there at
        bool lowVolts;
    } rows[] = {
        {"every record synced", "0", 11, false},
        {"records held", "300", 16, false},
        {"records held, the volts falling", "300", 12, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(curve::windBinsPath(m_app));
        ASSERT_TRUE(core::replaceFile(storage::storageCfgPath(m_app),
                                      QByteArray("Storage Settings\r\n\r\n<SyncSeconds>") +
                                          row.syncSeconds + "</SyncSeconds>\r\n\r\n"));
        m_now = QDateTime(QDate(2024, 3, 7), QTime(10, 58, 7));
        auto pty = line(1);
        auto w = start();
        ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
        plant::WatchersProbe::secondTick(w->watchers()); // the hour it began in
        minutesOf(*w, *pty, kCharging, 3);
        for (int hour = 11; hour <= 16; ++hour) {
            m_now = QDateTime(m_now.date(), QTime(hour, 1, 7));
            if (row.lowVolts && hour == 12) {
                ASSERT_TRUE(pty->write("[<V>470</V><I>530</I><R>10</R><M>0</M><S>25</S>]\r\n"));
                ASSERT_TRUE(waitFor([&] { return !w->station().holdingRecords(); }));
            }
            plant::WatchersProbe::secondTick(w->watchers());
            station::StationProbe::waitForDisk(w->station());
            EXPECT_EQ(QFile::exists(curve::windBinsPath(m_app)), hour >= row.savedAt)
                << "at " << hour << ":01";
        }
        w->plant().close();
    }
}

// The autumn's 02:xx comes twice, and each time it is a clock hour of its own with its save.
TEST_F(WindPlant, TheAutumnHourThatComesTwiceIsSavedEachTime)
{
    const LocalZone berlin("Europe/Berlin");
    if (QDateTime(QDate(2024, 7, 1), QTime(12, 0)).offsetFromUtc() != 7200) {
        SKIP_OR_FAIL_IN_CI("the time zone Europe/Berlin is not installed (Debian: tzdata)");
    }
    m_now = QDateTime(QDate(2026, 10, 24), QTime(23, 58, 7), Qt::UTC).toLocalTime(); // 01:58:07
    auto pty = line(1);
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
    plant::WatchersProbe::secondTick(w->watchers()); // the hour it began in
    minutesOf(*w, *pty, kCharging, 2);
    // 02:01:07 summer time, then 02:01:07 winter time
    for (const QTime utc : {QTime(0, 1, 7), QTime(1, 1, 7)}) {
        m_now = QDateTime(QDate(2026, 10, 25), utc, Qt::UTC).toLocalTime();
        SCOPED_TRACE(m_now.toString(Qt::ISODate).toStdString());
        QFile::remove(curve::windBinsPath(m_app));
        plant::WatchersProbe::secondTick(w->watchers());
        station::StationProbe::waitForDisk(w->station());
        EXPECT_TRUE(QFile::exists(curve::windBinsPath(m_app)));
    }
    w->plant().close();
}

// The plant keeps counts of another unit whole as windbins-<date>.txt, begins again and says so.
TEST_F(WindPlant, CountsOfAnotherUnitAreKeptAside)
{
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    const QByteArray old =
        "<Units>WIND</Units><Width>1</Width>\r\n<M>2024-02</M><B>5</B><N>3</N>\r\n";
    ASSERT_TRUE(core::replaceFile(curve::windBinsPath(m_app), old));
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(fileBytes(m_app.logsDir() + QStringLiteral("windbins-2024-03-07.txt")), old);
    EXPECT_EQ(fileBytes(curve::windBinsPath(m_app)), "<Units>m/s</Units><Width>0.5</Width>\r\n");
    EXPECT_TRUE(w->watchers().alarmsWarning().contains(u"kept as windbins-2024-03-07.txt"))
        << w->watchers().alarmsWarning().toStdString();
}

} // namespace
