// The web view's wind answer and its metrics from counts of a known distribution: the histogram
// with the fit over it, the site's yearly energy beside the yearly table's figure, turbulence and
// the rotor's bins, the answer with nothing counted, and a clear 400 for a query it cannot take.
#include "curve/aep.h"
#include "curve/windstats.h"
#include "tests/fixture.h"
#include "web/windapi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>

namespace {

const QDate kToday(2024, 3, 8);
constexpr double kShape = 2.2;
constexpr double kScale = 6.5;

// A month of minutes in 0.5 m/s bins, each bin holding its share of a Weibull of known k and c.
curve::WindBins weibullMonth(int month, int minutes)
{
    curve::WindBins bins(0.5);
    for (double centre = 0; centre <= 30; centre += 0.5) {
        const double share = curve::weibullBelow(centre + 0.25, kShape, kScale) -
                             curve::weibullBelow(std::max(0.0, centre - 0.25), kShape, kScale);
        const int n = int(std::lround(share * minutes));
        if (n > 0)
            bins.add(month, centre, n);
    }
    return bins;
}

class WebWind : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_context.today = kToday;
        web::CurveFacts& facts = m_context.curve;
        facts.scale = curve::windScale(QStringLiteral("m/s"));
        facts.wind = weibullMonth(curve::monthKey(QDate(2024, 2, 1)), 29 * 1440);
        // A curve whole over the range the yearly figure depends on: 2·v³ W up to 2 kW.
        for (double v = 1; v <= 20; v += 0.5)
            facts.bins.push_back({v, 30, std::min(2000.0, 2.0 * v * v * v), 5});
        facts.turbulence = {{5, 12, 0.18, 0.03}, {5.5, 4, 0.16, 0.02}};
        facts.rotorNotice = curve::rotorNotice(facts.scale, std::nullopt);
        facts.rotor = {{6, 40, 320, 430, std::nullopt, std::nullopt}};
    }
    QJsonObject answer(const char* query = "")
    {
        const web::ApiAnswer a = web::windAnswer(QUrlQuery(QString::fromLatin1(query)), m_context);
        EXPECT_EQ(a.status, 200) << a.body.toStdString();
        return QJsonDocument::fromJson(a.body).object();
    }
    web::ApiContext m_context;
};

TEST_F(WebWind, TheHistogramCarriesItsFitAndTheSitesYearlyEnergy)
{
    const QJsonObject w = answer();
    EXPECT_EQ(w[QStringLiteral("months")].toString(), QStringLiteral("12"));
    EXPECT_EQ(w[QStringLiteral("first")].toString(), QStringLiteral("2023-04"));
    EXPECT_EQ(w[QStringLiteral("last")].toString(), QStringLiteral("2024-03"));
    const QJsonObject fit = w[QStringLiteral("fit")].toObject();
    EXPECT_NEAR(fit[QStringLiteral("k")].toDouble(), kShape, kShape * 0.02);
    EXPECT_NEAR(fit[QStringLiteral("c")].toDouble(), kScale, kScale * 0.02);
    EXPECT_NEAR(fit[QStringLiteral("mean")].toDouble(), kScale * std::tgamma(1 + 1 / kShape), 0.1);
    EXPECT_EQ(fit[QStringLiteral("minutes")].toInt(), w[QStringLiteral("minutes")].toInt());
    EXPECT_TRUE(w[QStringLiteral("fitNotice")].toString().isEmpty());
    // The shares add up to the whole, and so do the fit's minutes, bin by bin near the counts.
    double shares = 0;
    double fitted = 0;
    for (const QJsonValue b : w[QStringLiteral("histogram")].toArray()) {
        shares += b[QStringLiteral("share")].toDouble();
        fitted += b[QStringLiteral("fitted")].toDouble();
        EXPECT_NEAR(b[QStringLiteral("fitted")].toDouble(), b[QStringLiteral("minutes")].toInt(),
                    std::max(3.0, 0.03 * b[QStringLiteral("minutes")].toInt()))
            << b[QStringLiteral("wind")].toDouble();
    }
    EXPECT_NEAR(shares, 1, 1e-4);
    EXPECT_NEAR(fitted, w[QStringLiteral("minutes")].toInt(), 2);

    // The yearly energy by hand: 8760 h times the trapezoids of the bins under the fit's shares.
    const web::CurveFacts& facts = m_context.curve;
    const double k = fit[QStringLiteral("k")].toDouble();
    const double c = fit[QStringLiteral("c")].toDouble();
    double wattHours = 0;
    double below = curve::weibullBelow(facts.bins[0].centre - 0.5, k, c);
    for (std::size_t b = 0; b < facts.bins.size(); ++b) {
        const double v = facts.bins[b].centre;
        const double next = curve::weibullBelow(v, k, c);
        wattHours += 8760 * (next - below) *
                     ((b ? facts.bins[b - 1].meanWatts : 0) + facts.bins[b].meanWatts) / 2;
        below = next;
    }
    const QJsonObject energy = w[QStringLiteral("energy")].toObject();
    EXPECT_NEAR(energy[QStringLiteral("measuredKWh")].toDouble(), wattHours / 1000, 0.01);
    EXPECT_EQ(energy[QStringLiteral("months")].toArray(), QJsonArray{QStringLiteral("2024-02")});
    EXPECT_TRUE(energy[QStringLiteral("referenceKWh")].isNull());
    EXPECT_NEAR(energy[QStringLiteral("rayleighKWh")].toDouble(),
                curve::aepAt(facts.bins, 0.5, fit[QStringLiteral("mean")].toDouble()).kWh, 1e-3);
    EXPECT_FALSE(energy[QStringLiteral("incomplete")].toBool());

    // A bin gone from the middle of the curve is said.
    m_context.curve.bins.erase(m_context.curve.bins.begin() + 10);
    EXPECT_TRUE(answer()[QStringLiteral("energy")][QStringLiteral("incomplete")].toBool());
}

TEST_F(WebWind, TheReferenceAndTheAltitudeWeighTheSameFit)
{
    curve::RefCurve reference;
    reference.units = QStringLiteral("m/s");
    reference.points = {{2, 0}, {10, 2000}, {20, 2400}};
    m_context.curve.reference = reference;
    m_context.curve.altitude = 1500;
    const QJsonObject energy = answer()[QStringLiteral("energy")].toObject();
    const curve::SiteEnergy expected = curve::siteEnergy(
        m_context.curve.wind, kToday, m_context.curve.bins, curve::densityFactor(1500), reference);
    ASSERT_TRUE(expected.referenceKWh);
    EXPECT_NEAR(energy[QStringLiteral("measuredKWh")].toDouble(), expected.measured->kWh, 1e-5);
    EXPECT_NEAR(energy[QStringLiteral("referenceKWh")].toDouble(), *expected.referenceKWh, 1e-5);
    EXPECT_GT(energy[QStringLiteral("referenceKWh")].toDouble(),
              energy[QStringLiteral("measuredKWh")].toDouble());
}

TEST_F(WebWind, OneMonthAtATime)
{
    const struct
    {
        const char* query;
        const char* months;
        bool fit;
    } rows[] = {{"months=2024-02", "2024-02", true},
                {"months=2024-01", "2024-01", false},
                {"months=12", "12", true}};
    for (const auto& row : rows) {
        const QJsonObject w = answer(row.query);
        EXPECT_EQ(w[QStringLiteral("months")].toString(), QLatin1String(row.months)) << row.query;
        EXPECT_EQ(w[QStringLiteral("fit")].isObject(), row.fit) << row.query;
        // The yearly figure rests on the last 12 months whichever month is shown.
        EXPECT_TRUE(w[QStringLiteral("energy")].isObject()) << row.query;
    }
    const QJsonObject january = answer("months=2024-01");
    EXPECT_TRUE(january[QStringLiteral("histogram")].toArray().isEmpty());
    EXPECT_EQ(january[QStringLiteral("fitNotice")].toString(),
              QStringLiteral("0 minutes of wind counted; a Weibull fit needs a day's 1440 at "
                             "least."));
}

TEST_F(WebWind, NothingCountedIsSaidNotDrawn)
{
    m_context.curve = {};
    const QJsonObject w = answer();
    EXPECT_EQ(w[QStringLiteral("minutes")].toInt(), 0);
    EXPECT_TRUE(w[QStringLiteral("fit")].isNull());
    EXPECT_TRUE(w[QStringLiteral("energy")].isNull());
    EXPECT_FALSE(w[QStringLiteral("energyNotice")].toString().isEmpty());
    EXPECT_TRUE(w[QStringLiteral("turbulence")].toArray().isEmpty());
    EXPECT_TRUE(w[QStringLiteral("rotor")][QStringLiteral("bins")].toArray().isEmpty());
    EXPECT_EQ(w[QStringLiteral("rotor")][QStringLiteral("betzLimit")].toDouble(), 0.593);
    EXPECT_TRUE(web::windMetricsText(m_context.curve, kToday).isEmpty());

    // A day and a half in one bin has minutes enough but no fit.
    m_context.curve.wind.add(curve::monthKey(kToday), 5, 2000);
    const QJsonObject one = answer();
    EXPECT_TRUE(one[QStringLiteral("fit")].isNull());
    EXPECT_EQ(one[QStringLiteral("fitNotice")].toString(),
              QStringLiteral("The winds counted have no Weibull fit: nearly all of them fall in "
                             "one or two bins."));
}

TEST_F(WebWind, TurbulenceAndTheRotorPerBin)
{
    QJsonObject w = answer();
    const QJsonArray turbulence = w[QStringLiteral("turbulence")].toArray();
    ASSERT_EQ(turbulence.size(), 2);
    const struct
    {
        const char* key;
        double value;
    } fields[] = {{"wind", 5}, {"count", 12}, {"intensity", 0.18}, {"spread", 0.03}};
    for (const auto& f : fields)
        EXPECT_EQ(turbulence[0][QLatin1String(f.key)].toDouble(), f.value) << f.key;
    QJsonObject rotor = w[QStringLiteral("rotor")].toObject();
    EXPECT_TRUE(rotor[QStringLiteral("diameter")].isNull());
    EXPECT_EQ(rotor[QStringLiteral("notice")].toString(), m_context.curve.rotorNotice);
    EXPECT_TRUE(rotor[QStringLiteral("bins")][0][QStringLiteral("tsr")].isNull());
    EXPECT_EQ(rotor[QStringLiteral("bins")][0][QStringLiteral("rpm")].toDouble(), 320);

    // With a diameter of 2 m: TSR = 320·2π/60·1 / 6 and Cp = 430 / (½·1.225·π·6³).
    m_context.curve.rotorDiameter = 2;
    m_context.curve.rotorNotice.clear();
    m_context.curve.rotor = curve::rotorBins(
        [] {
            curve::PowerCurve c(0.5);
            c.addBin({6, 40, 430, 0});
            return c;
        }(),
        [] {
            curve::PowerCurve c(0.5);
            c.addBin({6, 40, 320, 0});
            return c;
        }(),
        m_context.curve.scale, 2.0);
    rotor = answer()[QStringLiteral("rotor")].toObject();
    EXPECT_EQ(rotor[QStringLiteral("diameter")].toDouble(), 2);
    EXPECT_TRUE(rotor[QStringLiteral("notice")].toString().isEmpty());
    const QJsonObject bin = rotor[QStringLiteral("bins")][0].toObject();
    EXPECT_NEAR(bin[QStringLiteral("tsr")].toDouble(), 320 * 2 * M_PI / 60 / 6, 1e-5);
    EXPECT_NEAR(bin[QStringLiteral("cp")].toDouble(), 430 / (0.5 * 1.225 * M_PI * 216), 1e-5);
    EXPECT_EQ(w[QStringLiteral("units")][QStringLiteral("wind")].toString(), QStringLiteral("m/s"));
}

TEST_F(WebWind, AQueryItCannotTakeIsAClear400)
{
    for (const char* query :
         {"months=13", "months=2024-13", "months=2024-00", "months=1999-12", "months=2101-01",
          "months=2024-3", "months=abc", "months=", "months=2024-03x", "months=%00", "months=11"}) {
        const web::ApiAnswer a = web::windAnswer(QUrlQuery(QString::fromLatin1(query)), m_context);
        EXPECT_EQ(a.status, 400) << query;
        EXPECT_EQ(a.body, "months must be 12 or a month (YYYY-MM) of the years 2000 to 2100\n")
            << query;
    }
}

TEST_F(WebWind, MetricsCarryTheFitInBaseUnits)
{
    curve::RefCurve reference;
    reference.units = QStringLiteral("m/s");
    reference.points = {{3, 0}, {14, 6000}};
    m_context.curve.reference = reference;
    const curve::SiteEnergy energy =
        curve::siteEnergy(m_context.curve.wind, kToday, m_context.curve.bins, 1, reference);
    ASSERT_TRUE(energy.fit && energy.measured && energy.referenceKWh);
    const auto number = [](double v) {
        return QByteArray::number(v, 'g', 15);
    };
    const QByteArray text = web::windMetricsText(m_context.curve, kToday);
    for (const QByteArray& line :
         {QByteArray("# TYPE tessaly_wind_weibull_shape gauge\n"),
          "tessaly_wind_weibull_shape " + number(energy.fit->k) + '\n',
          "tessaly_wind_weibull_scale_meters_per_second " + number(energy.fit->c) + '\n',
          "tessaly_wind_mean_meters_per_second " + number(energy.fit->mean) + '\n',
          QByteArray("# HELP tessaly_site_energy_kwh_per_year "),
          "tessaly_site_energy_kwh_per_year{curve=\"measured\"} " + number(energy.measured->kWh) +
              '\n',
          "tessaly_site_energy_kwh_per_year{curve=\"reference\"} " + number(*energy.referenceKWh) +
              '\n'})
        EXPECT_TRUE(text.contains(line)) << line.toStdString() << "\n" << text.toStdString();
    EXPECT_EQ(text.count("# TYPE tessaly_site_energy_kwh_per_year"), 1);

    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        SKIP_OR_FAIL_IN_CI("promtool is missing (Debian: prometheus)");
    QProcess check;
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    ASSERT_TRUE(check.waitForStarted());
    check.write(text);
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished());
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString()
                                   << check.readAllStandardError().toStdString();

    // A unit of the user's own has no metres per second: the shape and the energy stay.
    m_context.curve.scale = curve::windScale(QStringLiteral("beaufort"));
    const QByteArray own = web::windMetricsText(m_context.curve, kToday);
    EXPECT_TRUE(own.contains("tessaly_wind_weibull_shape "));
    EXPECT_FALSE(own.contains("meters_per_second"));
    EXPECT_TRUE(own.contains("tessaly_site_energy_kwh_per_year{curve=\"measured\"}"));
}

} // namespace
