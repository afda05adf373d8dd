// Is the turbine still what it was: the reference curve and its file, the shortfall against it,
// the minutes a full battery holds the turbine back, and the curve file's unit and width.

#include "curve/curvedata.h"
#include "curve/refcurve.h"
#include "curve/shortfall.h"
#include "season/batteryconfig.h"
#include "tests/fixture.h"

#include <QDir>

namespace {

using curve::RefPoint;

class HealthFiles : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    QString curvePath() const { return curve::powerCurvePath(m_app); }
};

const QByteArray kGoodRef =
    "Reference Power Curve\r\n<Units>km/h</Units>\r\n"
    "<V>10.8</V><W>0</W>\r\n<V>18</V><W>200</W>\r\n<V>25.2</V><W>600</W>\r\n";

TEST_F(HealthFiles, AReferenceCurveIsLinearBetweenItsPointsAndNothingOutside)
{
    ASSERT_TRUE(core::replaceFile(curve::refCurvePath(m_app), kGoodRef));
    const curve::RefCurveLoad load = curve::readRefCurve(m_app, curve::windScale("m/s"));
    ASSERT_TRUE(load.curve) << load.warning.toStdString();
    EXPECT_TRUE(load.warning.isEmpty());
    const curve::RefCurve& ref = *load.curve;
    // 10.8, 18 and 25.2 km/h are 3, 5 and 7 m/s.
    EXPECT_NEAR(ref.cutIn(), 5, 1e-12);
    EXPECT_NEAR(ref.wattsAt(4), 100, 1e-9);
    EXPECT_NEAR(ref.wattsAt(6.5), 500, 1e-9);
    EXPECT_EQ(ref.wattsAt(2.9), 0);
    EXPECT_EQ(ref.wattsAt(7.1), 0);
    // Read back as written.
    EXPECT_EQ(curve::refCurveBytes(*curve::parseRefCurve(kGoodRef)), kGoodRef);
}

struct DamagedRef
{
    const char* what;
    QByteArray bytes;
    const char* said; // a part of the warning
};

// Nine ways a hand-written refcurve.cfg goes wrong: each turns the reference off and says why.
const DamagedRef kDamaged[] = {
    {"another title",
     "Power Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>0</W>\r\n<V>5</V><W>2</W>\r\n"
     "<V>7</V><W>6</W>\r\n",
     "first line"},
    {"no units",
     "Reference Power Curve\r\n<V>3</V><W>0</W>\r\n<V>5</V><W>2</W>\r\n<V>7</V><W>6</W>\r\n",
     "<Units>"},
    {"a unit it cannot convert",
     "Reference Power Curve\r\n<Units>furlongs</Units>\r\n<V>3</V><W>0</W>\r\n<V>5</V><W>2</W>\r\n"
     "<V>7</V><W>6</W>\r\n",
     "furlongs"},
    {"a point without watts",
     "Reference Power "
     "Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>0</W>\r\n<V>5</V>\r\n<V>7</V><W>6</W>\r\n",
     "line 4"},
    {"a word for a number",
     "Reference Power Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>0</W>\r\n<V>five</V><W>2</W>\r\n"
     "<V>7</V><W>6</W>\r\n",
     "line 4"},
    {"winds that fall",
     "Reference Power Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>0</W>\r\n<V>7</V><W>2</W>\r\n"
     "<V>5</V><W>6</W>\r\n",
     "do not rise"},
    {"negative watts",
     "Reference Power Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>-5</W>\r\n<V>5</V><W>2</W>\r\n"
     "<V>7</V><W>6</W>\r\n",
     "below 0"},
    {"two points",
     "Reference Power Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>0</W>\r\n<V>5</V><W>2</W>\r\n",
     "fewer than 3"},
    {"an absurd wind",
     "Reference Power Curve\r\n<Units>m/s</Units>\r\n<V>3</V><W>0</W>\r\n<V>5</V><W>2</W>\r\n"
     "<V>1e308</V><W>6</W>\r\n",
     "beyond"},
};

class RefCurveDamaged : public HealthFiles, public ::testing::WithParamInterface<DamagedRef>
{};

TEST_P(RefCurveDamaged, IsOffWithAWarning)
{
    ASSERT_TRUE(core::replaceFile(curve::refCurvePath(m_app), GetParam().bytes));
    const curve::RefCurveLoad load = curve::readRefCurve(m_app, curve::windScale("km/h"));
    EXPECT_FALSE(load.curve);
    EXPECT_TRUE(load.warning.contains(QLatin1String(GetParam().said)))
        << load.warning.toStdString();
    EXPECT_TRUE(load.warning.startsWith(u"The reference power curve is off"));
}

INSTANTIATE_TEST_SUITE_P(NineWays, RefCurveDamaged, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(info.param.what);
                             name.remove(QLatin1Char(' '));
                             return name.toStdString();
                         });

TEST_F(HealthFiles, WithoutTheFileTheReferenceIsOffSilently)
{
    const curve::RefCurveLoad load = curve::readRefCurve(m_app, curve::windScale("m/s"));
    EXPECT_FALSE(load.curve);
    EXPECT_TRUE(load.warning.isEmpty());
}

// One reading a minute on the fake monotonic clock: each minute closes when the next begins.
void minutes(curve::CurveData& data, qint64& minute, int count, double wind, double watts,
             double volts = 12.6)
{
    core::QuantityValues v{};
    for (int k = 0; k < count; ++k, ++minute) {
        v[core::kWind] = wind;
        v[core::kWatts] = watts;
        v[core::kVolts] = volts;
        data.add(v, minute * 60000);
    }
}

// Reference 3 m/s 0 W, 5 m/s 200 W, 7 m/s 600 W. Eight days ago an hour at 6 m/s and 0 W; then
// an hour at 4 m/s and 100 W (promised 100), two hours at 6 m/s and 200 W (promised 400) and
// half an hour at 6 m/s with the battery full. By hand: the week promises 100 + 800 = 900 Wh
// and gave 100 + 400 = 500 Wh, 0.4 kWh (44.4 %) short; the month adds 400 Wh promised, none made:
// 1300 against 500, 0.8 kWh (61.5 %) short. The 30 full minutes are left out of both.
TEST_F(HealthFiles, TheShortfallOverAWeekAndAMonthAsComputedByHand)
{
    curve::CurveData data(m_app, QStringLiteral("m/s"));
    data.setReference(curve::RefCurve{QStringLiteral("m/s"), {}, {{3, 0}, {5, 200}, {7, 600}}});
    qint64 minute = 100000;
    minutes(data, minute, 60, 6, 0);
    minute += 8 * 24 * 60 - 60;
    minutes(data, minute, 60, 4, 100);
    minutes(data, minute, 120, 6, 200);
    minutes(data, minute, 30, 6, 200, 14.5);
    minutes(data, minute, 1, 0, 0); // closes the last full minute; this one stays open
    const qint64 now = minute;
    const curve::Shortfall week = curve::shortfallOver(data.scatter(), *data.reference(), now, 7);
    EXPECT_EQ(week.minutes, 60 + 120 + 0);
    EXPECT_EQ(week.heldBack, 30);
    EXPECT_NEAR(week.promisedWh, 900, 1e-9);
    EXPECT_NEAR(week.measuredWh, 500, 1e-9);
    EXPECT_NEAR(week.shortKWh(), 0.4, 1e-12);
    EXPECT_NEAR(week.percent(), 400.0 / 9, 1e-9);
    const curve::Shortfall month = curve::shortfallOver(data.scatter(), *data.reference(), now, 30);
    EXPECT_NEAR(month.promisedWh, 1300, 1e-9);
    EXPECT_NEAR(month.measuredWh, 500, 1e-9);
    EXPECT_EQ(curve::shortfallText(week, 7),
              QStringLiteral("Last 7 days: the reference promises 0.90 kWh for the winds measured, "
                             "the turbine made 0.50 kWh: 0.40 kWh (44.4 %) short."));
    EXPECT_EQ(curve::shortfallText(month, 30).right(24),
              QStringLiteral("0.80 kWh (61.5 %) short."));
    // A window of its own (a day's, as the daily report takes it): from its first minute up to
    // before its end.
    const struct
    {
        qint64 from, to;
        int minutes;
        double promisedWh;
    } windows[] = {{100000, 100060, 60, 400},
                   {100000, 100030, 30, 200},
                   {100030, 100060, 30, 200},
                   {100060, now - 211, 0, 0}};
    for (const auto& w : windows) {
        const curve::Shortfall s =
            curve::shortfallBetween(data.scatter(), *data.reference(), w.from, w.to);
        EXPECT_EQ(s.minutes, w.minutes) << w.from << " " << w.to;
        EXPECT_NEAR(s.promisedWh, w.promisedWh, 1e-9) << w.from << " " << w.to;
    }
    EXPECT_EQ(curve::shortfallText(
                  curve::shortfallBetween(data.scatter(), *data.reference(), 100000, 100060),
                  QStringLiteral("On 2024-03-06")),
              QStringLiteral("On 2024-03-06: the reference promises 0.40 kWh for the winds "
                             "measured, the turbine made 0.00 kWh: 0.40 kWh (100.0 %) short."));
    // The full minutes are counted in their bin, not measured into it.
    EXPECT_EQ(data.heldBackMinutes(), 30);
    EXPECT_EQ(data.heldBack().at(data.curve().binIndex(6)), 30);
    EXPECT_EQ(data.curve().bins().back().minutes, 60 + 120);
    EXPECT_EQ(curve::heldBackText(data.heldBackMinutes()),
              QStringLiteral("30 minutes left out while the battery was full."));
}

// A 24 V bank found from its readings is full at 28.8 V; battery.cfg may set another bank or
// the volts themselves.
TEST_F(HealthFiles, TheBatteryIsFullAtItsBanksVolts)
{
    curve::CurveData data(m_app, QStringLiteral("m/s"));
    qint64 minute = 0;
    minutes(data, minute, 3, 6, 200, 27.0);
    minutes(data, minute, 2, 6, 50, 28.9);
    minutes(data, minute, 1, 6, 200, 27.0);
    ASSERT_TRUE(data.fullVolts());
    EXPECT_NEAR(*data.fullVolts(), 28.8, 1e-9);
    EXPECT_EQ(data.heldBackMinutes(), 2);
    EXPECT_TRUE(data.fullVoltsText().contains(u"found from the readings"));

    const struct
    {
        QByteArray file;
        int nominal;
        double full;
        bool warned;
    } cases[] = {
        {"Battery Settings\r\n\r\n<NominalVolts>48</NominalVolts>\r\n\r\n", 48, 57.6, false},
        {"Battery "
         "Settings\r\n\r\n<NominalVolts>12</NominalVolts>\r\n<FullVolts>14.1</FullVolts>\r\n",
         12, 14.1, false},
        {"Battery Settings\r\n\r\n<NominalVolts>36</NominalVolts>\r\n", 0, 14.4, true},
        {"Battery Settings\r\n\r\n<FullVolts>99</FullVolts>\r\n", 0, 14.4, true},
        {"Batteries\r\n\r\n<NominalVolts>24</NominalVolts>\r\n", 0, 14.4, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(core::replaceFile(season::batteryCfgPath(m_app), c.file));
        QString warning;
        const season::BatteryConfig config = season::readBatteryConfig(m_app, &warning);
        EXPECT_EQ(config.nominalVolts, c.nominal) << c.file.toStdString();
        EXPECT_NEAR(season::fullVoltsFor(config, config.nominalVolts), c.full, 1e-9);
        EXPECT_EQ(!warning.isEmpty(), c.warned) << warning.toStdString();
    }
    const season::BatteryConfig written{24, 28.2};
    EXPECT_EQ(season::parseBatteryConfig(QString::fromLatin1(season::batteryConfigText(written))),
              written);
}

TEST_F(HealthFiles, TheCurveFileCarriesItsUnitAndWidth)
{
    curve::CurveData data(m_app, QStringLiteral("km/h"));
    qint64 minute = 0;
    minutes(data, minute, 3, 18, 100);
    EXPECT_EQ(data.bytes(), QByteArray("<Units>m/s</Units><Width>0.5</Width>\r\n"
                                       "<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n"));
    ASSERT_TRUE(core::replaceFile(curvePath(), data.bytes()));
    const curve::CurveData again(m_app, QStringLiteral("mph"));
    EXPECT_FALSE(again.loadedConverted());
    EXPECT_FALSE(again.loadedDamaged());
    EXPECT_EQ(again.bytes(), data.bytes());
}

struct UnitChange
{
    const char* what;
    QByteArray file;
    const char* wsUnits;
    bool converted;
    bool setAside;
    QByteArray after; // the file as written next
};

const UnitChange kUnitChanges[] = {
    {"an older file reads as the unit set now", "<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n", "WIND",
     false, false,
     "<Units>WIND</Units><Width>1</Width>\r\n<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n"},
    {"km/h bins of 1.8 are m/s bins of 0.5",
     "<Units>km/h</Units><Width>1.8</Width>\r\n<B>18</B><N>2</N><P>100</P><SD>0</SD>\r\n", "m/s",
     true, false,
     "<Units>m/s</Units><Width>0.5</Width>\r\n<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n"},
    {"three narrow bins make one wide one",
     "<Units>m/s</Units><Width>0.1666666666666667</Width>\r\n<B>4.8333333333333333</B><N>1</"
     "N><P>90</P>"
     "<SD>0</SD>\r\n<B>5</B><N>1</N><P>100</P><SD>0</SD>\r\n<B>5.1666666666666667</B><N>1</N>"
     "<P>110</P><SD>0</SD>\r\n",
     "km/h", true, false,
     "<Units>m/s</Units><Width>0.5</Width>\r\n<B>5</B><N>3</N><P>100</P><SD>10</SD>\r\n"},
    {"bins of half the width straddle the new edges",
     "<Units>m/s</Units><Width>0.25</Width>\r\n<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n", "m/s",
     false, true, "<Units>m/s</Units><Width>0.5</Width>\r\n"},
    {"a unit of the user's own cannot become m/s",
     "<Units>WIND</Units><Width>1</Width>\r\n<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n", "km/h",
     false, true, "<Units>m/s</Units><Width>0.5</Width>\r\n"},
    {"nor m/s a unit of the user's own",
     "<Units>m/s</Units><Width>0.5</Width>\r\n<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n", "furlongs",
     false, true, "<Units>furlongs</Units><Width>1</Width>\r\n"},
};

class CurveUnitChange : public HealthFiles, public ::testing::WithParamInterface<UnitChange>
{};

TEST_P(CurveUnitChange, ConvertsExactlyOrKeepsTheOldCurveAside)
{
    const UnitChange& c = GetParam();
    ASSERT_TRUE(core::replaceFile(curvePath(), c.file));
    const curve::CurveData data(m_app, QString::fromLatin1(c.wsUnits));
    EXPECT_EQ(data.loadedConverted(), c.converted);
    EXPECT_EQ(data.setAside().has_value(), c.setAside);
    if (data.setAside()) {
        EXPECT_EQ(*data.setAside(), c.file);
    }
    EXPECT_EQ(data.bytes(), c.after);
    EXPECT_EQ(data.fileNotice(QStringLiteral("powercurve-2024-03-07.txt")).isEmpty(),
              !c.converted && !c.setAside);
}

INSTANTIATE_TEST_SUITE_P(Units, CurveUnitChange, ::testing::ValuesIn(kUnitChanges),
                         [](const auto& info) { return std::to_string(info.index); });

} // namespace
