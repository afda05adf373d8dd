// The site's altitude: the standard atmosphere's density, the winds put back to sea level,
// curve.cfg read or refused, a curve kept at another altitude set aside; the reference drawn on the
// power curve's chart; the full volts worded when no bank is known.

#include "curve/curvedata.h"
#include "curve/curvesettings.h"
#include "curve/powercurveview.h"
#include "curve/referencepanel.h"
#include "season/batteryconfig.h"
#include "tests/fixture.h"

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <cmath>

namespace {

class Density : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    void setAltitude(const QByteArray& metres)
    {
        ASSERT_TRUE(
            core::replaceFile(curve::curveCfgPath(m_app), "Power Curve Settings\r\n\r\n<Altitude>" +
                                                              metres + "</Altitude>\r\n\r\n"));
    }
};

TEST(AirDensity, TheStandardAtmosphere)
{
    const struct
    {
        double metres, density, factor;
    } table[] = {
        {0, 1.225, 1},        {1000, 1.112, 0.9683}, {2000, 1.007, 0.9366},
        {850, 1.128, 0.9729}, {-500, 1.285, 1.0160}, {5000, 0.736, 0.8437},
    };
    for (const auto& t : table) {
        EXPECT_NEAR(curve::airDensity(t.metres), t.density, 0.0006) << t.metres;
        EXPECT_NEAR(curve::densityFactor(t.metres), t.factor, 0.0005) << t.metres;
    }
    EXPECT_EQ(curve::densityText(0), QString());
    EXPECT_EQ(
        curve::densityText(850),
        QStringLiteral("Winds normalised to sea-level air density for 850 m (ρ = 1.13 kg/m³)"));
}

// One minute's wind through the data, each altitude and unit: V·(ρ/1.225)^(1/3) in the bin unit.
TEST_F(Density, EachMinutesWindIsPutBackToSeaLevel)
{
    const struct
    {
        const char* metres;
        const char* wsUnits;
        double wind;     // as read, in WSUnits
        double expected; // the minute's wind in the bin unit
    } table[] = {
        {"0", "m/s", 5, 5},          {"1000", "m/s", 5, 4.8408},  {"2000", "m/s", 5, 4.6830},
        {"2000", "km/h", 18, 4.683}, {"-500", "m/s", 10, 10.160}, {"1000", "WIND", 10, 9.6815},
    };
    for (const auto& t : table) {
        setAltitude(t.metres);
        curve::CurveData data(m_app, QString::fromLatin1(t.wsUnits));
        EXPECT_TRUE(data.settingsWarning().isEmpty()) << data.settingsWarning().toStdString();
        core::QuantityValues v{};
        v[core::kWind] = t.wind;
        v[core::kWatts] = 100;
        v[core::kVolts] = 12.6;
        data.add(v, 0);
        const auto minute = data.add(v, 60000);
        ASSERT_TRUE(minute);
        EXPECT_NEAR(minute->wind, t.expected, 0.002) << t.metres << " " << t.wsUnits;
        ASSERT_EQ(data.curve().bins().size(), 1u);
    }
}

struct DamagedSettings
{
    const char* what;
    QByteArray bytes;
    const char* said;
};

const DamagedSettings kDamaged[] = {
    {"another title", "Battery Settings\r\n\r\n<Altitude>850</Altitude>\r\n", "first line"},
    {"no title", "<Altitude>850</Altitude>\r\n", "first line"},
    {"empty", "", "first line"},
    {"a word", "Power Curve Settings\r\n\r\n<Altitude>high</Altitude>\r\n", "\"high\""},
    {"nothing between the tags", "Power Curve Settings\r\n\r\n<Altitude></Altitude>\r\n", "\"\""},
    {"too high", "Power Curve Settings\r\n\r\n<Altitude>5001</Altitude>\r\n", "\"5001\""},
    {"too low", "Power Curve Settings\r\n\r\n<Altitude>-501</Altitude>\r\n", "\"-501\""},
    {"not a number", "Power Curve Settings\r\n\r\n<Altitude>nan</Altitude>\r\n", "\"nan\""},
    {"an absurd number", "Power Curve Settings\r\n\r\n<Altitude>1e308</Altitude>\r\n", "1e308"},
    {"metres said", "Power Curve Settings\r\n\r\n<Altitude>850 m</Altitude>\r\n", "\"850 m\""},
};

class CurveSettingsDamaged : public Density, public ::testing::WithParamInterface<DamagedSettings>
{};

TEST_P(CurveSettingsDamaged, LeavesTheWindsAsMeasuredWithAWarning)
{
    ASSERT_TRUE(core::replaceFile(curve::curveCfgPath(m_app), GetParam().bytes));
    QString warning;
    EXPECT_EQ(curve::readCurveSettings(m_app, &warning), curve::CurveSettings{});
    EXPECT_TRUE(warning.contains(QLatin1String(GetParam().said))) << warning.toStdString();
    EXPECT_TRUE(warning.endsWith(u"the power curve's winds are used as measured."));
    const curve::CurveData data(m_app, QStringLiteral("m/s"));
    EXPECT_EQ(data.altitude(), 0);
    EXPECT_EQ(data.settingsWarning(), warning);
}

INSTANTIATE_TEST_SUITE_P(NineWays, CurveSettingsDamaged, ::testing::ValuesIn(kDamaged),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(info.param.what);
                             name.remove(QLatin1Char(' '));
                             return name.toStdString();
                         });

TEST_F(Density, WithoutTheFileTheWindsAreAsMeasuredSilentlyAndAWrittenFileReadsBack)
{
    QString warning = QStringLiteral("not cleared");
    EXPECT_EQ(curve::readCurveSettings(m_app, &warning), curve::CurveSettings{});
    EXPECT_TRUE(warning.isEmpty());
    const curve::CurveSettings written{850.5, std::nullopt};
    EXPECT_EQ(curve::curveSettingsText(written),
              QByteArray("Power Curve Settings\r\n\r\n<Altitude>850.5</Altitude>\r\n\r\n"));
    EXPECT_EQ(curve::parseCurveSettings(QString::fromLatin1(curve::curveSettingsText(written))),
              written);
}

// The curve file says the altitude its winds were put back from; a curve of another altitude
// (an older file: none) cannot be turned bin by bin, so it is set aside and a new one begun.
TEST_F(Density, ACurveOfAnotherAltitudeIsKeptAside)
{
    const QByteArray seaLevel =
        "<Units>m/s</Units><Width>0.5</Width>\r\n<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n";
    const QByteArray high = "<Units>m/s</Units><Width>0.5</Width><Altitude>850</Altitude>\r\n"
                            "<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n";
    const struct
    {
        const char* metres; // in curve.cfg, nullptr for none
        QByteArray file;
        bool setAside;
        QByteArray after;
    } table[] = {
        {nullptr, seaLevel, false, seaLevel},
        {"850", high, false, high},
        {"850", seaLevel, true, "<Units>m/s</Units><Width>0.5</Width><Altitude>850</Altitude>\r\n"},
        {"850", "<B>5</B><N>2</N><P>100</P><SD>0</SD>\r\n", true,
         "<Units>m/s</Units><Width>0.5</Width><Altitude>850</Altitude>\r\n"},
        {nullptr, high, true, "<Units>m/s</Units><Width>0.5</Width>\r\n"},
        {"1000", high, true, "<Units>m/s</Units><Width>0.5</Width><Altitude>1000</Altitude>\r\n"},
        {"850",
         "<Units>km/h</Units><Width>1.8</Width><Altitude>850</Altitude>\r\n"
         "<B>18</B><N>2</N><P>100</P><SD>0</SD>\r\n",
         false, high},
    };
    for (const auto& t : table) {
        QFile::remove(curve::curveCfgPath(m_app));
        if (t.metres) {
            setAltitude(t.metres);
        }
        ASSERT_TRUE(core::replaceFile(curve::powerCurvePath(m_app), t.file));
        const curve::CurveData data(m_app, QStringLiteral("m/s"));
        EXPECT_FALSE(data.loadedDamaged());
        EXPECT_EQ(data.setAside().has_value(), t.setAside) << t.file.toStdString();
        EXPECT_EQ(data.bytes(), t.after) << t.file.toStdString();
        if (t.setAside) {
            EXPECT_EQ(*data.setAside(), t.file);
            EXPECT_TRUE(data.fileNotice(QStringLiteral("powercurve-2024-03-07.txt"))
                            .contains(u"curve.cfg now asks"))
                << data.fileNotice().toStdString();
        }
    }
    // An altitude beyond reason in the header: the line is damaged, never read as a number.
    const auto content = curve::parsePowerCurve(
        "<Units>m/s</Units><Width>0.5</Width><Altitude>1e308</Altitude>\r\n");
    EXPECT_EQ(content.skippedLines, 1);
}

TEST_F(Density, TheViewsSayTheWindsAreNormalised)
{
    setAltitude("850");
    curve::CurveData data(m_app, QStringLiteral("m/s"));
    curve::PowerCurveView view(m_app, data);
    bool shown = false;
    QObject::connect(&view, &curve::PowerCurveView::figuresShown, [&shown] { shown = true; });
    ASSERT_TRUE(waitFor([&shown] { return shown; }, 60000));
    EXPECT_TRUE(view.note().startsWith(curve::densityText(850) + QLatin1Char('.')))
        << view.note().toStdString();
    const core::Clock fake{[] { return QDateTime(QDate(2024, 3, 7), QTime(12, 0)); },
                           [] {
                               return qint64(0);
                           }};
    curve::ReferencePanel panel(m_app, data, fake);
    panel.refresh();
    EXPECT_TRUE(panel.note().contains(curve::densityText(850))) << panel.note().toStdString();
}

const QByteArray kReference = "Reference Power Curve\r\n<Units>km/h</Units>\r\n"
                              "<V>10.8</V><W>0</W>\r\n<V>18</V><W>200</W>\r\n<V>25.2</V><W>600</W>"
                              "\r\n";

QLineSeries* referenceSeries(curve::PowerCurveView& view)
{
    const QList<QAbstractSeries*> all = view.findChild<QChartView*>()->chart()->series();
    QLineSeries* found = nullptr;
    for (QAbstractSeries* s : all) {
        if (s->name() == u"Reference")
            found = qobject_cast<QLineSeries*>(s);
    }
    return found;
}

// The reference in the bins' unit beside them, named in the legend; none without refcurve.cfg.
TEST_F(Density, TheChartDrawsTheReferenceWhenOneIsSet)
{
    for (const bool withFile : {false, true}) {
        if (withFile) {
            ASSERT_TRUE(core::replaceFile(curve::refCurvePath(m_app), kReference));
        }
        curve::CurveData data(m_app, QStringLiteral("km/h"));
        data.setReference(curve::readRefCurve(m_app, data.scale()).curve);
        curve::PowerCurveView view(m_app, data);
        bool shown = false;
        QObject::connect(&view, &curve::PowerCurveView::figuresShown, [&shown] { shown = true; });
        ASSERT_TRUE(waitFor([&shown] { return shown; }, 60000));
        QLineSeries* reference = referenceSeries(view);
        ASSERT_EQ(reference != nullptr, withFile);
        if (!withFile)
            continue;
        const QList<QPointF> expected{{3, 0}, {5, 200}, {7, 600}};
        ASSERT_EQ(reference->count(), expected.size());
        for (int k = 0; k < expected.size(); ++k) {
            EXPECT_NEAR(reference->at(k).x(), expected[k].x(), 1e-9);
            EXPECT_EQ(reference->at(k).y(), expected[k].y());
        }
        bool named = false;
        for (QLegendMarker* marker : reference->chart()->legend()->markers(reference))
            named = named || (marker->label() == u"Reference" && marker->isVisible());
        EXPECT_TRUE(named);
    }
}

TEST(FullVolts, WordedWithoutABankWhenNoneIsKnown)
{
    const struct
    {
        season::BatteryConfig config;
        int nominal;
        const char* text;
    } table[] = {
        {{0, 14.2}, 0, "Full at 14.2 V (as battery.cfg sets it)"},
        {{0, 14.2}, 12, "Full at 14.2 V (a 12 V bank, as battery.cfg sets it)"},
        {{24, std::nullopt}, 24, "Full at 28.8 V (a 24 V bank, battery.cfg's bank)"},
        {{0, std::nullopt}, 48, "Full at 57.6 V (a 48 V bank, found from the readings)"},
    };
    for (const auto& t : table)
        EXPECT_EQ(season::fullVoltsText(t.config, t.nominal), QString::fromLatin1(t.text));
}

} // namespace
