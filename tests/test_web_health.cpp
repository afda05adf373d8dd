// The web view's health, battery and series answers from real day files and a real ledger: the
// numbers the desktop's Reference and Battery views show, each series' scale as the Days view
// sets it (one glitch does not set it), and a clear 400 for a query it cannot take.
#include "core/files.h"
#include "curve/curvesettings.h"
#include "curve/shortfall.h"
#include "season/batterydays.h"
#include "season/energyledger.h"
#include "tests/fixture.h"
#include "tools/daylog.h"
#include "web/healthapi.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QDate kToday(2024, 3, 8);

class WebHealth : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
        m_context.app = m_app;
        m_context.summaryDir = m_tmp.filePath(QStringLiteral("cache"));
        m_context.today = kToday;
        m_context.wsUnits = QStringLiteral("m/s");
    }
    // A day's records ten minutes apart; values(minute) gives each one's.
    void writeDay(QDate d, const std::function<sim::LogValues(int)>& values)
    {
        std::string text;
        for (int m = 0; m < 1440; m += 10) {
            sim::LogValues v = values(m);
            v.secondOfDay = m * 60;
            text += sim::logRecordText(v);
        }
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(d), QByteArray::fromStdString(text)));
    }
    QJsonObject answer(const web::ApiAnswer& a)
    {
        EXPECT_EQ(a.status, 200) << a.body.toStdString();
        return QJsonDocument::fromJson(a.body).object();
    }
    web::ApiContext m_context;
};

TEST_F(WebHealth, TheReferenceStandsBesideTheBinsWithTheShortfall)
{
    web::CurveFacts& facts = m_context.curve;
    facts.scale.unitName = QStringLiteral("m/s");
    facts.scale.binWidth = 1;
    facts.scale.known = true;
    facts.bins = {{4, 30, 60, 5}, {6, 40, 150, 9}};
    facts.heldBack = {0, 12};
    facts.heldBackMinutes = 12;
    facts.fullVolts = 14.4;
    facts.fullVoltsText = QStringLiteral("Full at 14.4 V (found from the readings)");
    facts.altitude = 800;
    facts.curveLowOn = true;
    facts.curveLowRaised = true;

    // Without refcurve.cfg: no reference, no shortfall, the rest as it is.
    QJsonObject h = answer(web::healthAnswer(m_context));
    EXPECT_TRUE(h[QStringLiteral("reference")].isNull());
    EXPECT_TRUE(h[QStringLiteral("shortfall")].toArray().isEmpty());
    EXPECT_TRUE(h[QStringLiteral("bins")][0][QStringLiteral("referenceWatts")].isNull());
    EXPECT_EQ(h[QStringLiteral("bins")][1][QStringLiteral("heldBack")].toInt(), 12);
    EXPECT_TRUE(h[QStringLiteral("normalised")].toBool());
    EXPECT_EQ(h[QStringLiteral("altitude")].toDouble(), 800);
    EXPECT_EQ(h[QStringLiteral("densityText")].toString(), curve::densityText(800));
    EXPECT_EQ(h[QStringLiteral("heldBackText")].toString(), curve::heldBackText(12));
    EXPECT_TRUE(h[QStringLiteral("curveLow")][QStringLiteral("raised")].toBool());

    curve::RefCurve reference;
    reference.units = QStringLiteral("m/s");
    reference.points = {{3, 0}, {5, 100}, {7, 300}};
    facts.reference = reference;
    facts.week = {600, 12, 2000, 1500};
    facts.month = {2400, 30, 8000, 7000};
    facts.altitude = 0;
    h = answer(web::healthAnswer(m_context));
    const QJsonArray bins = h[QStringLiteral("bins")].toArray();
    EXPECT_EQ(bins[0][QStringLiteral("referenceWatts")].toDouble(), 50);
    EXPECT_EQ(bins[0][QStringLiteral("ratioPercent")].toDouble(), 120);
    EXPECT_EQ(bins[1][QStringLiteral("referenceWatts")].toDouble(), 200);
    EXPECT_EQ(bins[1][QStringLiteral("ratioPercent")].toDouble(), 75);
    EXPECT_EQ(h[QStringLiteral("reference")][QStringLiteral("points")].toArray().size(), 3);
    EXPECT_EQ(h[QStringLiteral("reference")][QStringLiteral("cutIn")].toDouble(), 5);
    const QJsonArray shortfall = h[QStringLiteral("shortfall")].toArray();
    ASSERT_EQ(shortfall.size(), 2);
    EXPECT_EQ(shortfall[0][QStringLiteral("days")].toInt(), 7);
    EXPECT_EQ(shortfall[0][QStringLiteral("shortKWh")].toDouble(), 0.5);
    EXPECT_EQ(shortfall[0][QStringLiteral("percent")].toDouble(), 25);
    EXPECT_EQ(shortfall[0][QStringLiteral("text")].toString(), curve::shortfallText(facts.week, 7));
    EXPECT_EQ(shortfall[1][QStringLiteral("days")].toInt(), 30);
    EXPECT_EQ(shortfall[1][QStringLiteral("shortKWh")].toDouble(), 1);
    EXPECT_EQ(shortfall[1][QStringLiteral("percent")].toDouble(), 12.5);
    EXPECT_FALSE(h[QStringLiteral("normalised")].toBool());
    EXPECT_EQ(h[QStringLiteral("densityText")].toString(), QString());
}

TEST_F(WebHealth, TheBatteryDaysOfAMonthAsTheBatteryViewReadsThem)
{
    // March 1st to 7th logged, the 4th the only full day; the 8th (today) not logged yet.
    for (int d = 1; d <= 7; ++d) {
        const double top = d == 4 ? 14.6 : 13.5;
        writeDay(QDate(2024, 3, d), [top](int m) {
            const double volts = m == 180 ? 11.9 : m == 720 ? top : 12.6;
            return sim::LogValues{volts, 2, 25, 300, 5, m >= 1200 ? 1 : 0, 0};
        });
    }
    QByteArray ledger;
    for (int d = 1; d <= 7; ++d)
        ledger += season::lineFor({QDate(2024, 3, d), 12, 100.0 * d, 3600, 8.0, 60.0});
    ASSERT_TRUE(core::replaceFile(season::energyLedgerFile(m_app), ledger));
    m_context.curve.fullVolts = 14.4;

    const QJsonObject b =
        answer(web::batteryAnswer(QUrlQuery(QStringLiteral("year=2024&month=3")), m_context));
    const QJsonArray days = b[QStringLiteral("days")].toArray();
    ASSERT_EQ(days.size(), 8); // up to today
    const QJsonObject fourth = days[3].toObject();
    EXPECT_EQ(fourth[QStringLiteral("date")].toString(), QStringLiteral("2024-03-04"));
    EXPECT_TRUE(fourth[QStringLiteral("logged")].toBool());
    EXPECT_EQ(fourth[QStringLiteral("lowVolts")].toDouble(), 11.9);
    EXPECT_EQ(fourth[QStringLiteral("lowAt")].toString(), QStringLiteral("03:00"));
    EXPECT_EQ(fourth[QStringLiteral("highVolts")].toDouble(), 14.6);
    EXPECT_EQ(fourth[QStringLiteral("highAt")].toString(), QStringLiteral("12:00"));
    EXPECT_EQ(fourth[QStringLiteral("chargeWh")].toDouble(), 400);
    EXPECT_EQ(fourth[QStringLiteral("chargeAh")].toDouble(), 8);
    EXPECT_EQ(fourth[QStringLiteral("loadHours")].toDouble(), 1);
    EXPECT_TRUE(fourth[QStringLiteral("full")].toBool());
    EXPECT_FALSE(days[2][QStringLiteral("full")].toBool());
    EXPECT_FALSE(days[7][QStringLiteral("logged")].toBool());
    EXPECT_TRUE(days[7][QStringLiteral("lowVolts")].isNull());
    EXPECT_TRUE(days[7][QStringLiteral("full")].isNull());
    EXPECT_EQ(b[QStringLiteral("daysSinceFull")].toInt(), 4);
    const auto recent =
        season::readBatteryDays({m_app, m_context.summaryDir, kToday},
                                kToday.addDays(1 - season::kRecentBatteryDays), kToday, 14.4);
    EXPECT_EQ(b[QStringLiteral("summary")].toString(),
              season::batterySummary(recent, kToday, 14.4));
    // The summary's days, for the page to say which they are.
    EXPECT_EQ(b[QStringLiteral("recentDays")].toInt(), season::kRecentBatteryDays);

    // A month ahead of today has no days yet; February has no records.
    EXPECT_TRUE(answer(web::batteryAnswer(QUrlQuery(QStringLiteral("year=2024&month=4")),
                                          m_context))[QStringLiteral("days")]
                    .toArray()
                    .isEmpty());
    const QJsonArray february = answer(web::batteryAnswer(
        QUrlQuery(QStringLiteral("year=2024&month=2")), m_context))[QStringLiteral("days")]
                                    .toArray();
    EXPECT_EQ(february.size(), 29);
    EXPECT_FALSE(february[0][QStringLiteral("logged")].toBool());
}

TEST_F(WebHealth, AGlitchDoesNotSetTheSeriesScale)
{
    // A month of calm days, and one record of 9,000 W on one of them.
    for (int d = 0; d < 30; ++d) {
        writeDay(kToday.addDays(-d), [d](int m) {
            return sim::LogValues{12.5, 2, d == 9 && m == 600 ? 9000.0 : 100.0 + m % 50, 300, 5,
                                  0,    0};
        });
    }
    const QJsonObject days = answer(web::daysAnswer(
        QUrlQuery(QStringLiteral("from=2024-02-07&to=2024-03-08&columns=310")), m_context));
    const QJsonObject watts = days[QStringLiteral("scales")][2].toObject();
    EXPECT_LE(watts[QStringLiteral("high")].toDouble(), 200);
    EXPECT_GE(watts[QStringLiteral("low")].toDouble(), 50);
    EXPECT_GT(watts[QStringLiteral("step")].toDouble(), 0);
    // The glitch is still in its column: the scale leaves it out, the data does not.
    double highest = 0;
    for (const QJsonValue c : days[QStringLiteral("data")].toArray()) {
        if (!c.isNull())
            highest = std::max(highest, c[QStringLiteral("max")][2].toDouble());
    }
    EXPECT_EQ(highest, 9000);
    // The day before the run's first has no file: its column is a gap.
    EXPECT_TRUE(days[QStringLiteral("data")][0].isNull());
}

TEST_F(WebHealth, AQueryItCannotTakeIsAClear400)
{
    for (const char* query :
         {"year=99999&month=3", "year=2024&month=13", "year=2024&month=0", "year=abc&month=3",
          "year=2024&month=3x", "year=-1", "month=", "year=1e3&month=1", "year=2024&month=%00"}) {
        const web::ApiAnswer a =
            web::batteryAnswer(QUrlQuery(QString::fromLatin1(query)), m_context);
        EXPECT_EQ(a.status, 400) << query;
        EXPECT_EQ(a.body, "year must be 1900 to 9999, month 1 to 12\n") << query;
    }
}

} // namespace
