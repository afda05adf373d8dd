#include "web/healthapi.h"

#include "curve/curvesettings.h"
#include "season/batterydays.h"
#include "season/summarycache.h"
#include "web/apijson.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

namespace web {
namespace {

QJsonObject shortfallJson(const curve::Shortfall& s, int days)
{
    return {{QStringLiteral("days"), days},
            {QStringLiteral("minutes"), s.minutes},
            {QStringLiteral("promisedKWh"), round6(s.promisedWh / 1000.0)},
            {QStringLiteral("measuredKWh"), round6(s.measuredWh / 1000.0)},
            {QStringLiteral("shortKWh"), round6(s.shortKWh())},
            {QStringLiteral("percent"), round6(s.percent())},
            {QStringLiteral("text"), curve::shortfallText(s, days)}};
}

QJsonValue timeOrNull(bool known, const QTime& at)
{
    return known ? QJsonValue(at.toString(QStringLiteral("HH:mm"))) : QJsonValue();
}

} // namespace

ApiAnswer healthAnswer(const ApiContext& context)
{
    const CurveFacts& curve = context.curve;
    const auto& reference = curve.reference;
    QJsonArray bins;
    for (std::size_t b = 0; b < curve.bins.size(); ++b) {
        const curve::Bin& bin = curve.bins[b];
        const double promised = reference ? reference->wattsAt(bin.centre) : 0;
        bins << QJsonObject{
            {QStringLiteral("wind"), round6(bin.centre)},
            {QStringLiteral("minutes"), bin.minutes},
            {QStringLiteral("meanWatts"), round6(bin.meanWatts)},
            {QStringLiteral("referenceWatts"), numberOrNull(bool(reference), promised)},
            {QStringLiteral("ratioPercent"),
             numberOrNull(promised > 0, bin.meanWatts / promised * 100.0)},
            {QStringLiteral("heldBack"), b < curve.heldBack.size() ? curve.heldBack[b] : 0}};
    }
    QJsonObject out{{QStringLiteral("unit"), curve.scale.unitName},
                    {QStringLiteral("binWidth"), curve.scale.binWidth},
                    {QStringLiteral("bins"), bins},
                    {QStringLiteral("heldBackMinutes"), curve.heldBackMinutes},
                    {QStringLiteral("heldBackText"), curve::heldBackText(curve.heldBackMinutes)},
                    {QStringLiteral("fullVolts"), round6(curve.fullVolts)},
                    {QStringLiteral("fullVoltsText"), curve.fullVoltsText},
                    {QStringLiteral("normalised"), curve.altitude != 0},
                    {QStringLiteral("altitude"), curve.altitude},
                    {QStringLiteral("densityText"), curve::densityText(curve.altitude)},
                    {QStringLiteral("curveLow"),
                     QJsonObject{{QStringLiteral("on"), curve.curveLowOn},
                                 {QStringLiteral("raised"), curve.curveLowRaised}}}};
    if (reference) {
        QJsonArray points;
        for (const curve::RefPoint& p : reference->points)
            points << QJsonObject{{QStringLiteral("wind"), round6(p.wind)},
                                  {QStringLiteral("watts"), round6(p.watts)}};
        out[QStringLiteral("reference")] = QJsonObject{
            {QStringLiteral("points"), points},
            {QStringLiteral("cutIn"), round6(reference->cutIn())},
            {QStringLiteral("frozenOn"), reference->frozenOn.isValid()
                                             ? QJsonValue(reference->frozenOn.toString(Qt::ISODate))
                                             : QJsonValue()}};
        out[QStringLiteral("shortfall")] =
            QJsonArray{shortfallJson(curve.week, 7), shortfallJson(curve.month, 30)};
    } else {
        out[QStringLiteral("reference")] = QJsonValue();
        out[QStringLiteral("shortfall")] = QJsonArray();
    }
    return json(out);
}

ApiAnswer batteryAnswer(const QUrlQuery& query, const ApiContext& context)
{
    const auto year = whole(query, QStringLiteral("year"), context.today.year(), 1900, 9999);
    const auto month = whole(query, QStringLiteral("month"), context.today.month(), 1, 12);
    if (!year || !month)
        return bad(QStringLiteral("year must be 1900 to 9999, month 1 to 12"));
    const QDate first(*year, *month, 1);
    const QDate last = std::min(first.addMonths(1).addDays(-1), context.today);
    const double full = context.curve.fullVolts;
    const season::SummarySource source{context.app, context.summaryDir, context.today};
    const std::atomic<bool>* cancel = context.control ? &context.control->cancelled : nullptr;
    if (context.beforeDayRead && context.step())
        context.beforeDayRead();
    const std::vector<season::BatteryDay> days =
        first <= last ? season::readBatteryDays(source, first, last, full, cancel)
                      : std::vector<season::BatteryDay>();
    if (!context.step())
        return busyAnswer();
    // "Last full" as the desktop's view counts it: over its days up to today.
    const std::vector<season::BatteryDay> recent = season::readBatteryDays(
        source, context.today.addDays(1 - season::kRecentBatteryDays), context.today, full, cancel);
    if (!context.step())
        return busyAnswer();
    QJsonArray list;
    for (const season::BatteryDay& d : days) {
        list << QJsonObject{
            {QStringLiteral("date"), d.date.toString(Qt::ISODate)},
            {QStringLiteral("logged"), d.logged},
            {QStringLiteral("lowVolts"), numberOrNull(d.logged, d.lowVolts)},
            {QStringLiteral("lowAt"), timeOrNull(d.logged, d.lowAt)},
            {QStringLiteral("highVolts"), numberOrNull(d.logged, d.highVolts)},
            {QStringLiteral("highAt"), timeOrNull(d.logged, d.highAt)},
            {QStringLiteral("chargeAh"), numberOrNull(d.chargeAh)},
            {QStringLiteral("chargeWh"), round6(d.chargeWh)},
            {QStringLiteral("loadHours"), numberOrNull(d.loadHours)},
            {QStringLiteral("full"), d.logged ? QJsonValue(d.reachedFull) : QJsonValue()}};
    }
    const std::optional<int> since = season::daysSinceFull(recent, context.today);
    return json({{QStringLiteral("year"), *year},
                 {QStringLiteral("month"), *month},
                 {QStringLiteral("today"), context.today.toString(Qt::ISODate)},
                 {QStringLiteral("fullVolts"), round6(full)},
                 {QStringLiteral("daysSinceFull"), since ? QJsonValue(*since) : QJsonValue()},
                 {QStringLiteral("summary"), season::batterySummary(recent, context.today, full)},
                 {QStringLiteral("recentDays"), season::kRecentBatteryDays},
                 {QStringLiteral("days"), list}});
}

} // namespace web
