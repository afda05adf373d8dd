#include "web/windapi.h"

#include "curve/aep.h"
#include "curve/curvesettings.h"
#include "curve/windstats.h"
#include "web/apijson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace web {
namespace {

QJsonArray monthList(const std::vector<int>& months)
{
    QJsonArray out;
    for (const int month : months)
        out << QString::fromLatin1(curve::monthText(month));
    return out;
}

// Why a histogram has no fit, in the owner's words.
QString noFitText(int minutes)
{
    if (minutes < curve::kWeibullMinutes)
        return QStringLiteral("%1 minutes of wind counted; a Weibull fit needs a day's %2 at "
                              "least.")
            .arg(minutes)
            .arg(curve::kWeibullMinutes);
    return QStringLiteral("The winds counted have no Weibull fit: nearly all of them fall in one "
                          "or two bins.");
}

// The months a query asks for: the last 12 up to today, or one month.
std::optional<curve::MonthSpan> spanOf(const QUrlQuery& query, const QDate& today)
{
    const QString text = query.queryItemValue(QStringLiteral("months"));
    if (!query.hasQueryItem(QStringLiteral("months")) || text == QLatin1String("12"))
        return curve::lastTwelveMonths(today);
    static const QRegularExpression month(QStringLiteral("^(\\d{4})-(\\d{2})$"));
    const QRegularExpressionMatch m = month.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int year = m.captured(1).toInt();
    const int number = m.captured(2).toInt();
    if (year < curve::kFirstWindYear || year > curve::kLastWindYear || number < 1 || number > 12)
        return std::nullopt;
    const int key = curve::monthKey(QDate(year, number, 1));
    return curve::MonthSpan{key, key};
}

} // namespace

ApiAnswer windAnswer(const QUrlQuery& query, const ApiContext& context)
{
    const CurveFacts& facts = context.curve;
    const auto span = spanOf(query, context.today);
    if (!span)
        return {400, "months must be 12 or a month (YYYY-MM) of the years 2000 to 2100\n"};
    const double width = facts.wind.binWidth();
    const std::vector<curve::WindBin> histogram = facts.wind.histogram(span->first, span->last);
    int minutes = 0;
    for (const curve::WindBin& bin : histogram)
        minutes += bin.minutes;
    const std::optional<curve::WeibullFit> fit = curve::fitWeibull(histogram, width);
    QJsonArray bins;
    for (const curve::WindBin& bin : histogram) {
        QJsonObject item{{QStringLiteral("wind"), round6(bin.centre)},
                         {QStringLiteral("minutes"), bin.minutes},
                         {QStringLiteral("share"), round6(double(bin.minutes) / minutes)}};
        std::optional<double> fitted;
        if (fit) {
            const double lower = std::max(0.0, bin.centre - width / 2);
            const double upper = std::max(0.0, bin.centre + width / 2);
            fitted = minutes * (curve::weibullBelow(upper, fit->k, fit->c) -
                                curve::weibullBelow(lower, fit->k, fit->c));
        }
        item[QStringLiteral("fitted")] = numberOrNull(fitted);
        bins << item;
    }

    QJsonObject out{{QStringLiteral("unit"), facts.scale.unitName},
                    {QStringLiteral("binWidth"), width},
                    {QStringLiteral("months"),
                     span->first == span->last ? QString::fromLatin1(curve::monthText(span->first))
                                               : QStringLiteral("12")},
                    {QStringLiteral("first"), QString::fromLatin1(curve::monthText(span->first))},
                    {QStringLiteral("last"), QString::fromLatin1(curve::monthText(span->last))},
                    {QStringLiteral("minutes"), minutes},
                    {QStringLiteral("histogram"), bins}};
    if (fit) {
        out[QStringLiteral("fit")] = QJsonObject{{QStringLiteral("k"), round6(fit->k)},
                                                 {QStringLiteral("c"), round6(fit->c)},
                                                 {QStringLiteral("mean"), round6(fit->mean)},
                                                 {QStringLiteral("minutes"), fit->minutes}};
        out[QStringLiteral("fitNotice")] = QString();
    } else {
        out[QStringLiteral("fit")] = QJsonValue();
        out[QStringLiteral("fitNotice")] = noFitText(minutes);
    }

    // The yearly figure rests on the last 12 months, whichever month is shown.
    const double density = curve::densityFactor(facts.altitude);
    const curve::SiteEnergy energy =
        curve::siteEnergy(facts.wind, context.today, facts.bins, density, facts.reference);
    if (energy.fit && energy.measured) {
        std::optional<double> rayleigh;
        // The yearly table's figure at the site's mean, as the table weighs it: in m/s only.
        if (facts.scale.known)
            rayleigh =
                curve::aepAt(facts.bins, facts.scale.binWidth, energy.fit->mean * density).kWh;
        out[QStringLiteral("energy")] =
            QJsonObject{{QStringLiteral("months"), monthList(energy.months)},
                        {QStringLiteral("meanWind"), round6(energy.fit->mean)},
                        {QStringLiteral("measuredKWh"), round6(energy.measured->kWh)},
                        {QStringLiteral("incomplete"), energy.measured->incomplete},
                        {QStringLiteral("referenceKWh"), numberOrNull(energy.referenceKWh)},
                        {QStringLiteral("rayleighKWh"), numberOrNull(rayleigh)}};
        out[QStringLiteral("energyNotice")] = QString();
    } else {
        int yearMinutes = 0;
        const curve::MonthSpan year = curve::lastTwelveMonths(context.today);
        for (const curve::WindBin& bin : facts.wind.histogram(year.first, year.last))
            yearMinutes += bin.minutes;
        out[QStringLiteral("energy")] = QJsonValue();
        out[QStringLiteral("energyNotice")] = noFitText(yearMinutes);
    }

    QJsonArray turbulence;
    for (const curve::Bin& bin : facts.turbulence)
        turbulence << QJsonObject{{QStringLiteral("wind"), round6(bin.centre)},
                                  {QStringLiteral("count"), bin.minutes},
                                  {QStringLiteral("intensity"), round6(bin.meanWatts)},
                                  {QStringLiteral("spread"), round6(bin.sdWatts)}};
    out[QStringLiteral("turbulence")] = turbulence;

    QJsonArray rotor;
    for (const curve::RotorBin& bin : facts.rotor)
        rotor << QJsonObject{{QStringLiteral("wind"), round6(bin.centre)},
                             {QStringLiteral("minutes"), bin.minutes},
                             {QStringLiteral("rpm"), round6(bin.rpm)},
                             {QStringLiteral("watts"), round6(bin.watts)},
                             {QStringLiteral("tsr"), numberOrNull(bin.tsr)},
                             {QStringLiteral("cp"), numberOrNull(bin.cp)}};
    out[QStringLiteral("rotor")] =
        QJsonObject{{QStringLiteral("diameter"), numberOrNull(facts.rotorDiameter)},
                    {QStringLiteral("notice"), facts.rotorNotice},
                    {QStringLiteral("betzLimit"), curve::kBetzLimit},
                    {QStringLiteral("bins"), rotor}};

    out[QStringLiteral("units")] = QJsonObject{{QStringLiteral("wind"), facts.scale.unitName},
                                               {QStringLiteral("minutes"), QStringLiteral("min")},
                                               {QStringLiteral("energy"), QStringLiteral("kWh/a")},
                                               {QStringLiteral("rpm"), QStringLiteral("rpm")},
                                               {QStringLiteral("watts"), QStringLiteral("W")},
                                               {QStringLiteral("diameter"), QStringLiteral("m")}};
    return json(out);
}

namespace {

// A gauge's HELP and TYPE lines; its samples follow.
void gauge(QByteArray& out, const char* name, const char* help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + '\n';
    out += QByteArray("# TYPE ") + name + " gauge\n";
}

void sample(QByteArray& out, const char* name, double value, const QByteArray& labels = {})
{
    out += name + labels + ' ' + QByteArray::number(value, 'g', 15) + '\n';
}

} // namespace

QByteArray windMetricsText(const CurveFacts& curve, const QDate& today)
{
    const curve::SiteEnergy energy = curve::siteEnergy(
        curve.wind, today, curve.bins, curve::densityFactor(curve.altitude), curve.reference);
    if (!energy.fit)
        return {};
    QByteArray out;
    gauge(out, "tessaly_wind_weibull_shape",
          "Shape k of the Weibull distribution fitted to the last 12 months' one-minute winds.");
    sample(out, "tessaly_wind_weibull_shape", energy.fit->k);
    // The bins are in m/s whenever the unit is a known one; a unit of the user's own is left out.
    if (curve.scale.known) {
        gauge(out, "tessaly_wind_weibull_scale_meters_per_second",
              "Scale c of the Weibull distribution fitted to the last 12 months' winds.");
        sample(out, "tessaly_wind_weibull_scale_meters_per_second", energy.fit->c);
        gauge(out, "tessaly_wind_mean_meters_per_second",
              "Mean wind of the Weibull distribution fitted to the last 12 months' winds.");
        sample(out, "tessaly_wind_mean_meters_per_second", energy.fit->mean);
    }
    if (energy.measured) {
        gauge(out, "tessaly_site_energy_kwh_per_year",
              "Yearly energy under the site's fitted wind, from the measured or the reference "
              "power curve.");
        sample(out, "tessaly_site_energy_kwh_per_year", energy.measured->kWh,
               "{curve=\"measured\"}");
        if (energy.referenceKWh)
            sample(out, "tessaly_site_energy_kwh_per_year", *energy.referenceKWh,
                   "{curve=\"reference\"}");
    }
    return out;
}

} // namespace web
