// The wind's turbulence and the rotor's figures: ten-minute blocks of known spread, blocks too
// short or too calm left out, the tip-speed ratio and power coefficient against bins worked by
// hand, curve.cfg with and without a rotor diameter, and turbulence.txt and rotor.txt written,
// read back, damaged and kept aside.

#include "curve/binsfile.h"
#include "curve/curvedata.h"
#include "curve/curvesettings.h"
#include "curve/rotor.h"
#include "curve/turbulence.h"
#include "tests/fixture.h"

#include <QDir>
#include <cmath>
#include <numbers>

namespace {

constexpr qint64 kMinute = 60000;
constexpr qint64 kBlock = curve::kTurbulenceBlockMs;

// A ten-minute block of frames every 2 s, alternating mean + spread and mean - spread, in the
// minutes of the block listed (all ten when empty); then one frame of the next block, which
// closes it. Returns what the folder gave for the block.
std::optional<curve::TurbulenceBlock> blockOf(curve::TurbulenceFolder& folder, qint64 block,
                                              double mean, double spread,
                                              std::vector<int> minutes = {})
{
    if (minutes.empty())
        minutes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    int k = 0;
    for (const int minute : minutes) {
        for (qint64 ms = 0; ms < kMinute; ms += 2000, ++k) {
            const double wind = k % 2 ? mean - spread : mean + spread;
            EXPECT_FALSE(folder.add(wind, block * kBlock + minute * kMinute + ms));
        }
    }
    return folder.add(mean, (block + 1) * kBlock);
}

// An even count of frames alternating about the mean: the deviation (n - 1) is the spread
// times √(n / (n - 1)).
TEST(Turbulence, ABlockOfKnownDeviationGivesItsIntensity)
{
    const struct
    {
        double mean, spread;
        int minutes;
    } table[] = {{8, 1.2, 10}, {5, 0.5, 10}, {12, 3, 10}, {2.5, 0.25, 10}, {6, 0, 10}, {7, 0.7, 8}};
    for (const auto& t : table) {
        curve::TurbulenceFolder folder(0.5);
        std::vector<int> minutes;
        for (int m = 0; m < t.minutes; ++m)
            minutes.push_back(m);
        const auto block = blockOf(folder, 3, t.mean, t.spread, minutes);
        ASSERT_TRUE(block) << t.mean;
        const double n = 30.0 * t.minutes;
        EXPECT_EQ(block->block, 3);
        EXPECT_NEAR(block->meanWind, t.mean, 1e-9);
        EXPECT_NEAR(block->sdWind, t.spread * std::sqrt(n / (n - 1)), 1e-9);
        EXPECT_NEAR(block->intensity, t.spread * std::sqrt(n / (n - 1)) / t.mean, 1e-9);
    }
}

TEST(Turbulence, BlocksTooShortTooCalmOrStaleAreLeftOut)
{
    const struct
    {
        const char* what;
        double mean, spread;
        std::vector<int> minutes;
        double binWidth;
    } table[] = {
        {"7 minutes of 10", 8, 0.1, {0, 1, 2, 3, 4, 5, 6}, 0.5},
        {"the line away for the first 3", 8, 0.1, {3, 4, 5, 6, 7, 8, 9}, 0.5},
        {"calm", 1.5, 0.1, {}, 0.5},
        {"at the floor, not above", 2, 0, {}, 0.5},
        {"calm in bins of the user's own unit", 3.9, 0.1, {}, 1},
        {"a ratio no wind has", 8, 80, {}, 0.5},
    };
    for (const auto& t : table) {
        curve::TurbulenceFolder folder(t.binWidth);
        EXPECT_FALSE(blockOf(folder, 5, t.mean, t.spread, t.minutes)) << t.what;
    }
    // Stale frames take no part: a block of them gives nothing, and the next one counts alone.
    curve::TurbulenceFolder folder(0.5);
    for (qint64 ms = 0; ms < kBlock; ms += 2000)
        EXPECT_FALSE(folder.add(9, ms, false));
    EXPECT_FALSE(folder.add(9, kBlock, false));
    EXPECT_TRUE(blockOf(folder, 1, 9, 1));
}

// By hand: 300 RPM is 10π rad/s; on a 2 m rotor (R = 1 m) in 5 m/s the tip runs 2π times the
// wind's speed. 100 W of ½·1.225·π·5³ = 240.528 W through the disc is 0.41575. 900 RPM on
// 1.2 m in 8 m/s: 30π·0.6/8 = 7.06858; 150 W of ½·1.225·π·0.36·512 = 354.673 W is 0.42292.
// At 2000 m the bin of 5 m/s at sea level's density holds a wind measured at 5 / 0.936608.
TEST(Rotor, TipSpeedRatioAndPowerCoefficientAgainstBinsWorkedByHand)
{
    EXPECT_NEAR(curve::tipSpeedRatio(300, 2, 5), 2 * std::numbers::pi, 1e-12);
    EXPECT_NEAR(curve::powerCoefficient(100, 2, 5), 0.4157517, 1e-7);
    EXPECT_NEAR(curve::tipSpeedRatio(900, 1.2, 8), 7.0685835, 1e-7);
    EXPECT_NEAR(curve::powerCoefficient(150, 1.2, 8), 0.4229245, 1e-7);

    curve::PowerCurve watts(0.5);
    curve::PowerCurve rpm(0.5);
    for (int k = 0; k < 3; ++k) {
        watts.addMinute(5, 90 + 10 * k); // 100 W
        rpm.addMinute(5, 290 + 10 * k);  // 300 RPM
        watts.addMinute(8, 150);
        rpm.addMinute(8, 900);
    }
    watts.addMinute(3, 10);  // no RPM counted in this bin: left out
    rpm.addMinute(11, 1000); // no power: left out
    const struct
    {
        const char* units;
        double altitude;
        std::optional<double> diameter;
        double tsr5, cp5;
    } table[] = {
        {"m/s", 0, 2, 2 * std::numbers::pi, 0.4157517},
        {"km/h", 0, 2, 2 * std::numbers::pi,
         0.4157517}, // the bins are in m/s whatever the reading's unit
        {"m/s", 2000, 2, 2 * std::numbers::pi * 0.9366079, 0.4157517},
        {"m/s", 0, std::nullopt, 0, 0},
        {"WIND", 0, 2, 0, 0}, // the user's own unit: no m/s to work with
    };
    for (const auto& t : table) {
        const curve::WindScale scale = curve::windScale(QString::fromLatin1(t.units));
        const std::vector<curve::RotorBin> bins =
            curve::rotorBins(watts, rpm, scale, t.diameter, t.altitude);
        ASSERT_EQ(bins.size(), 2u) << t.units;
        EXPECT_EQ(bins[0].centre, 5);
        EXPECT_EQ(bins[0].minutes, 3);
        EXPECT_NEAR(bins[0].rpm, 300, 1e-9);
        EXPECT_NEAR(bins[0].watts, 100, 1e-9);
        const bool figures = t.diameter && scale.known;
        EXPECT_EQ(curve::rotorNotice(scale, t.diameter).isEmpty(), figures) << t.units;
        ASSERT_EQ(bins[0].tsr.has_value(), figures) << t.units;
        ASSERT_EQ(bins[1].cp.has_value(), figures) << t.units;
        if (!figures)
            continue;
        EXPECT_NEAR(*bins[0].tsr, t.tsr5, 1e-6) << t.units << " " << t.altitude;
        EXPECT_NEAR(*bins[0].cp, t.cp5, 1e-7);
        EXPECT_NEAR(*bins[1].cp, 150 / (0.5 * 1.225 * std::numbers::pi * 512), 1e-12); // R = 1 m
        EXPECT_LT(*bins[1].cp, curve::kBetzLimit);
    }
    EXPECT_TRUE(curve::rotorNotice(curve::windScale("WIND"), 2).contains(u"\"WIND\""));
}

class RotorFiles : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    void setCurveCfg(const QByteArray& body)
    {
        ASSERT_TRUE(
            core::replaceFile(curve::curveCfgPath(m_app), "Power Curve Settings\r\n\r\n" + body));
    }
    // A minute of frames every 20 s at this wind (m/s), watts and RPM.
    static void minuteOf(curve::CurveData& data, qint64 minute, double wind, double watts,
                         double rpm)
    {
        for (int k = 0; k < 3; ++k) {
            core::QuantityValues v{};
            v[core::kVolts] = 12.8;
            v[core::kWind] = wind;
            v[core::kWatts] = watts;
            v[core::kRpm] = rpm;
            data.add(v, minute * kMinute + k * 20000);
        }
    }
    const QDate m_day{2024, 3, 7};
};

// Blocks binned by their mean wind: each bin keeps the count, mean and spread of its ratios.
TEST_F(RotorFiles, TurbulenceBlocksAreBinnedByTheirMeanWind)
{
    curve::RotorData data(m_app, curve::windScale("m/s"), 0);
    const double n = 300;
    const double stretch = std::sqrt(n / (n - 1));
    // 8 m/s at ratios of 0.1, 0.2 and 0.3 (before the stretch of n - 1), 5.1 m/s at 0.1.
    qint64 block = 0;
    for (const auto& [mean, spread] :
         {std::pair{8.0, 0.8}, std::pair{8.0, 1.6}, std::pair{8.0, 2.4}, std::pair{5.1, 0.51}}) {
        for (int k = 0; k < 300; ++k)
            data.addWind(k % 2 ? mean - spread : mean + spread, block * kBlock + k * 2000);
        ++block;
    }
    data.addWind(1, block * kBlock);
    const std::vector<curve::Bin> bins = data.turbulence().bins();
    ASSERT_EQ(bins.size(), 2u);
    EXPECT_EQ(bins[0].centre, 5);
    EXPECT_EQ(bins[0].minutes, 1);
    EXPECT_NEAR(bins[0].meanWatts, 0.1 * stretch, 1e-9);
    EXPECT_EQ(bins[1].centre, 8);
    EXPECT_EQ(bins[1].minutes, 3);
    EXPECT_NEAR(bins[1].meanWatts, 0.2 * stretch, 1e-9);
    EXPECT_NEAR(bins[1].sdWatts, 0.1 * stretch, 1e-9);
}

// Without a diameter the file keeps the bytes it always had; with one it follows the altitude,
// reads back, and the curve's data hands it on.
TEST_F(RotorFiles, CurveCfgWithAndWithoutARotorDiameter)
{
    EXPECT_EQ(curve::curveSettingsText({850.5, std::nullopt}),
              QByteArray("Power Curve Settings\r\n\r\n<Altitude>850.5</Altitude>\r\n\r\n"));
    const curve::CurveSettings withRotor{850.5, 1.25};
    const QByteArray text = curve::curveSettingsText(withRotor);
    EXPECT_EQ(text, QByteArray("Power Curve Settings\r\n\r\n<Altitude>850.5</Altitude>\r\n\r\n"
                               "<RotorDiameter>1.25</RotorDiameter>\r\n\r\n"));
    EXPECT_EQ(curve::parseCurveSettings(QString::fromLatin1(text)), withRotor);

    setCurveCfg("<Altitude>0</Altitude>\r\n\r\n<RotorDiameter>2.4567</RotorDiameter>\r\n");
    QString warning = QStringLiteral("not cleared");
    EXPECT_EQ(curve::readCurveSettings(m_app, &warning).rotorDiameter, 2.457);
    EXPECT_TRUE(warning.isEmpty());
    const curve::CurveData data(m_app, QStringLiteral("m/s"));
    EXPECT_EQ(data.rotorDiameter(), 2.457);
    EXPECT_TRUE(data.settingsWarning().isEmpty());
}

// A diameter that is no rotor's is left out with a warning saying so; the altitude beside it is
// still used.
TEST_F(RotorFiles, AnAbsurdDiameterIsLeftOutWithAWarning)
{
    const struct
    {
        const char* what;
        QByteArray value;
    } table[] = {
        {"too small", "0.29"}, {"too large", "30.5"},    {"negative", "-2"},
        {"zero", "0"},         {"not a number", "nan"},  {"infinite", "inf"},
        {"absurd", "1e308"},   {"metres said", "1.2 m"}, {"a comma", "1,2"},
        {"empty", ""},
    };
    for (const auto& t : table) {
        setCurveCfg("<Altitude>850</Altitude>\r\n\r\n<RotorDiameter>" + t.value +
                    "</RotorDiameter>\r\n\r\n");
        QString warning;
        const curve::CurveSettings read = curve::readCurveSettings(m_app, &warning);
        EXPECT_FALSE(read.rotorDiameter) << t.what;
        EXPECT_EQ(read.altitudeMetres, 850) << t.what;
        EXPECT_TRUE(warning.contains("<RotorDiameter> is \"" + QString::fromLatin1(t.value) + "\""))
            << warning.toStdString();
        EXPECT_TRUE(warning.endsWith(u"no tip-speed ratio or power coefficient is worked out."))
            << warning.toStdString();
    }
    // With a bad altitude too, both are said, and the winds are as measured.
    setCurveCfg("<Altitude>9000</Altitude>\r\n\r\n<RotorDiameter>99</RotorDiameter>\r\n\r\n");
    QString warning;
    EXPECT_EQ(curve::readCurveSettings(m_app, &warning), curve::CurveSettings{});
    EXPECT_TRUE(warning.contains(u"\"9000\"") && warning.contains(u"\"99\""));
    EXPECT_TRUE(warning.endsWith(u"the power curve's winds are used as measured."));
}

// The running data: each minute's mean RPM to the bin of its wind, the ten-minute blocks to the
// turbulence; both files written, read again by a later run, and what that run counted before
// its read kept on top.
TEST_F(RotorFiles, BothFilesSurviveARestartMidHour)
{
    setCurveCfg("<Altitude>0</Altitude>\r\n\r\n<RotorDiameter>2</RotorDiameter>\r\n\r\n");
    const core::AppDir& app = m_app;
    QByteArray turbulenceBytes;
    QByteArray rpmBytes;
    {
        curve::CurveData data(app, QStringLiteral("m/s"));
        for (qint64 minute = 0; minute < 11; ++minute)
            minuteOf(data, minute, 5, 100, 290 + 20 * (minute % 2));
        const std::vector<curve::RotorBin> bins = data.rotorBins();
        ASSERT_EQ(bins.size(), 1u);
        EXPECT_EQ(bins[0].minutes, 10);
        EXPECT_NEAR(bins[0].rpm, 300, 1e-9);
        EXPECT_NEAR(*bins[0].tsr, 2 * std::numbers::pi, 1e-9);
        ASSERT_EQ(data.rotor().turbulence().bins().size(), 1u);
        EXPECT_EQ(data.rotor().turbulence().bins()[0].meanWatts, 0); // a steady wind
        turbulenceBytes = data.rotor().turbulenceBytes();
        rpmBytes = data.rotor().rpmBytes();
        EXPECT_EQ(turbulenceBytes, QByteArray("<Units>m/s</Units><Width>0.5</Width>\r\n"
                                              "<B>5</B><N>1</N><TI>0</TI><SD>0</SD>\r\n"));
        EXPECT_EQ(rpmBytes, QByteArray("<Units>m/s</Units><Width>0.5</Width>\r\n"
                                       "<B>5</B><N>10</N><RPM>300</RPM>\r\n"));
        for (const curve::FileBytes& w : data.rotor().saves())
            ASSERT_TRUE(core::replaceFile(w.path, w.bytes));
    }
    // The next run counts a block and minutes before its files come from the disk.
    curve::CurveData again(app, QStringLiteral("m/s"), false);
    for (qint64 minute = 100; minute < 111; ++minute)
        minuteOf(again, minute, 8, 150, 900);
    EXPECT_TRUE(again.rotor().saves().empty()); // nothing written before the read
    EXPECT_TRUE(
        again.rotor().takeFiles(curve::RotorData::readFiles(app, again.scale(), 0, m_day)).empty());
    const std::vector<curve::Bin> turbulence = again.rotor().turbulence().bins();
    ASSERT_EQ(turbulence.size(), 2u);
    EXPECT_EQ(turbulence[0].centre, 5);
    EXPECT_EQ(turbulence[1].centre, 8);
    const std::vector<curve::Bin> rpm = again.rotor().rpm().bins();
    ASSERT_EQ(rpm.size(), 2u);
    EXPECT_EQ(rpm[0].minutes, 10);
    EXPECT_EQ(rpm[1].minutes, 10);
    EXPECT_NEAR(rpm[1].meanWatts, 900, 1e-9);
    // A second hand-in changes nothing.
    EXPECT_TRUE(
        again.rotor().takeFiles(curve::RotorData::readFiles(app, again.scale(), 0, m_day)).empty());
    EXPECT_EQ(again.rotor().rpm().bins().size(), 2u);
    const std::vector<curve::FileBytes> saves = again.rotor().saves();
    ASSERT_EQ(saves.size(), 2u);
    EXPECT_EQ(saves[1].bytes, rpmBytes + "<B>8</B><N>10</N><RPM>900</RPM>\r\n");

    // Minutes held back while the battery is full take no RPM, as they take no bin.
    curve::CurveData full(app, QStringLiteral("m/s"));
    const int before = full.rotor().rpm().bins()[0].minutes;
    for (qint64 minute = 200; minute < 204; ++minute) {
        for (int k = 0; k < 3; ++k) {
            core::QuantityValues v{};
            v[core::kVolts] = 14.6;
            v[core::kWind] = 5;
            v[core::kRpm] = 500;
            full.add(v, minute * kMinute + k * 20000);
        }
    }
    EXPECT_EQ(full.rotor().rpm().bins()[0].minutes, before);
}

// A new curve begun starts both again, and writes them so.
TEST_F(RotorFiles, ANewCurveStartsBothAgain)
{
    curve::CurveData data(m_app, QStringLiteral("m/s"));
    for (qint64 minute = 0; minute < 11; ++minute)
        minuteOf(data, minute, 5, 100, 300);
    data.startNew();
    EXPECT_TRUE(data.rotor().rpm().empty());
    EXPECT_TRUE(data.rotor().turbulence().empty());
    const QByteArray header = "<Units>m/s</Units><Width>0.5</Width>\r\n";
    EXPECT_EQ(fileBytes(curve::turbulencePath(m_app)), header);
    EXPECT_EQ(fileBytes(curve::rotorPath(m_app)), header);
}

// Nine ways a line is damaged: each is skipped whole, the good bin kept, the file renamed.
TEST_F(RotorFiles, ADamagedLineIsSkippedAndTheFileSetAside)
{
    const QByteArray header = "<Units>m/s</Units><Width>0.5</Width>\r\n";
    const QByteArray good = "<B>5.5</B><N>12</N><TI>0.182</TI><SD>0.031</SD>\r\n";
    const struct
    {
        const char* what;
        QByteArray line;
    } table[] = {
        {"cut short", "<B>6</B><N>3</N><TI>0.2</TI><SD>0.01</SD>"},
        {"no spread", "<B>6</B><N>3</N><TI>0.2</TI>\r\n"},
        {"a power curve's line", "<B>6</B><N>3</N><P>230</P><SD>1</SD>\r\n"},
        {"no count", "<B>6</B><N>0</N><TI>0.2</TI><SD>0.01</SD>\r\n"},
        {"not a whole count", "<B>6</B><N>2.5</N><TI>0.2</TI><SD>0.01</SD>\r\n"},
        {"a negative ratio", "<B>6</B><N>3</N><TI>-0.2</TI><SD>0.01</SD>\r\n"},
        {"an absurd ratio", "<B>6</B><N>3</N><TI>1e308</TI><SD>0.01</SD>\r\n"},
        {"a negative spread", "<B>6</B><N>3</N><TI>0.2</TI><SD>-1</SD>\r\n"},
        {"binary", QByteArray("\x00\x01<B>\x02\r\n", 8)},
    };
    const QString path = curve::turbulencePath(m_app);
    for (const auto& t : table) {
        const QByteArray bytes = header + good + t.line;
        ASSERT_TRUE(core::replaceFile(path, bytes));
        const curve::CurveFileLoad load =
            curve::loadBinsFile(path, curve::kTurbulenceFormat, curve::windScale("m/s"));
        EXPECT_TRUE(load.damaged) << t.what;
        ASSERT_EQ(load.curve.bins().size(), 1u) << t.what;
        EXPECT_EQ(load.curve.bins()[0].minutes, 12);
        EXPECT_NEAR(load.curve.bins()[0].meanWatts, 0.182, 1e-12);
        EXPECT_FALSE(QFile::exists(path)) << t.what;
        EXPECT_EQ(fileBytes(path + QStringLiteral(".damaged")), bytes) << t.what;
    }
    // rotor.txt's lines have no spread; a turbulence line there is no RPM.
    const curve::PowerCurveContent rpm = curve::parseBinsFile(
        header + "<B>5</B><N>4</N><RPM>310.5</RPM>\r\n<B>5</B><N>4</N><TI>0.2</TI><SD>0</SD>\r\n"
                 "<B>5</B><N>4</N><RPM>2e6</RPM>\r\n",
        curve::kRotorFormat);
    ASSERT_EQ(rpm.bins.size(), 1u);
    EXPECT_EQ(rpm.bins[0].meanWatts, 310.5);
    EXPECT_EQ(rpm.skippedLines, 2);
}

// Bins of a unit or width that do not nest, or (rotor.txt) of another altitude, are never
// re-binned: kept whole as <name>-<date>.txt, a new file begun; bins that nest are converted.
TEST_F(RotorFiles, AnotherUnitIsSetAsideNeverReBinned)
{
    const QByteArray wind = "<Units>WIND</Units><Width>1</Width>\r\n<B>5</B><N>2</N><TI>0.2</TI>"
                            "<SD>0</SD>\r\n";
    const QByteArray high = "<Units>m/s</Units><Width>0.5</Width><Altitude>850</Altitude>\r\n"
                            "<B>5</B><N>2</N><RPM>300</RPM>\r\n";
    ASSERT_TRUE(core::replaceFile(curve::turbulencePath(m_app), wind));
    ASSERT_TRUE(core::replaceFile(curve::rotorPath(m_app), high));
    ASSERT_TRUE(core::replaceFile(m_app.logsDir() + QStringLiteral("rotor-2024-03-07.txt"), "x"));
    curve::CurveData data(m_app, QStringLiteral("m/s"), false);
    const curve::RotorData::Files files =
        curve::RotorData::readFiles(m_app, data.scale(), 0, m_day);
    EXPECT_EQ(files.turbulenceKeptAs,
              m_app.logsDir() + QStringLiteral("turbulence-2024-03-07.txt"));
    EXPECT_EQ(files.rpmKeptAs, m_app.logsDir() + QStringLiteral("rotor-2024-03-07-2.txt"));
    const std::vector<curve::FileBytes> writes = data.rotor().takeFiles(files);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].path, files.turbulenceKeptAs);
    EXPECT_EQ(writes[0].bytes, wind);
    EXPECT_EQ(writes[1].bytes, high);
    EXPECT_EQ(writes[2].bytes, QByteArray("<Units>m/s</Units><Width>0.5</Width>\r\n"));
    EXPECT_TRUE(data.rotor().rpm().empty());
    EXPECT_TRUE(data.rotor().fileNotice().contains(u"turbulence-2024-03-07.txt and "
                                                   u"rotor-2024-03-07-2.txt"));

    // km/h bins 1.8 wide are m/s bins 0.5 wide exactly: converted, nothing set aside.
    const QByteArray kmh = "<Units>km/h</Units><Width>1.8</Width>\r\n<B>18</B><N>2</N><TI>0.2</TI>"
                           "<SD>0</SD>\r\n";
    ASSERT_TRUE(core::replaceFile(curve::turbulencePath(m_app), kmh));
    const curve::CurveFileLoad load = curve::loadBinsFile(
        curve::turbulencePath(m_app), curve::kTurbulenceFormat, curve::windScale("m/s"));
    EXPECT_TRUE(load.converted);
    EXPECT_FALSE(load.setAside);
    ASSERT_EQ(load.curve.bins().size(), 1u);
    EXPECT_DOUBLE_EQ(load.curve.bins()[0].centre, 5);
}

} // namespace
