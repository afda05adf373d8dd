#include "web/apidata.h"

#include "core/files.h"
#include "core/quantities.h"
#include "curve/aep.h"
#include "history/dayreader.h"
#include "season/columns.h"
#include "season/energybars.h"
#include "season/energyledger.h"
#include "season/summarycache.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace web {
namespace {

// The logged series under the names /api/now gives them.
constexpr const char* kSeriesNames[] = {"volts", "amps", "watts", "rpm", "wind"};
static_assert(std::size(kSeriesNames) == season::kSeries);

ApiAnswer bad(const QString& why)
{
    return {400, why.toUtf8() + '\n'};
}

ApiAnswer json(const QJsonObject& object)
{
    return {200, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

QDate isoDate(const QString& text)
{
    return QDate::fromString(text, Qt::ISODate);
}

QString isoTime(const QDateTime& at)
{
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate);
}

std::optional<int> whole(const QUrlQuery& query, const QString& key, int fallback, int low,
                         int high)
{
    if (!query.hasQueryItem(key))
        return fallback;
    bool ok = false;
    const int value = query.queryItemValue(key).toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

double round6(double v)
{
    return std::isfinite(v) ? std::round(v * 1e6) / 1e6 : 0.0;
}

QJsonArray units(const QString& wsUnits)
{
    QJsonArray out;
    for (const core::Quantity q : core::kLogged)
        out << core::unitText(core::facts(q).shortUnit, wsUnits);
    return out;
}

} // namespace

ApiAnswer energyAnswer(const QUrlQuery& query, const ApiContext& context)
{
    const QString by = query.queryItemValue(QStringLiteral("by"));
    season::EnergySpan span;
    if (by == QLatin1String("day") || by.isEmpty())
        span = season::EnergySpan::Month;
    else if (by == QLatin1String("month"))
        span = season::EnergySpan::Year;
    else if (by == QLatin1String("year"))
        span = season::EnergySpan::AllYears;
    else
        return bad(QStringLiteral("by must be day, month or year"));
    const auto year = whole(query, QStringLiteral("year"), context.today.year(), 1900, 9999);
    const auto month = whole(query, QStringLiteral("month"), context.today.month(), 1, 12);
    if (!year || !month)
        return bad(QStringLiteral("year must be 1900 to 9999, month 1 to 12"));
    const season::EnergyBars bars =
        season::energyBars(season::readLedger(context.app), span, *year, *month);
    QJsonArray list;
    for (const season::EnergyBar& bar : bars.bars)
        list << QJsonObject{{QStringLiteral("period"), bar.isoPeriod},
                            {QStringLiteral("kWh"), round6(bar.kWh)}};
    QJsonObject out{{QStringLiteral("by"), by.isEmpty() ? QStringLiteral("day") : by},
                    {QStringLiteral("year"), *year},
                    {QStringLiteral("month"), *month},
                    {QStringLiteral("totalKWh"), round6(bars.totalKWh)},
                    {QStringLiteral("bestDayKWh"), round6(bars.bestDayKWh)},
                    {QStringLiteral("bars"), list}};
    out[QStringLiteral("bestDay")] =
        bars.bestDay.isValid() ? QJsonValue(bars.bestDay.toString(Qt::ISODate)) : QJsonValue();
    return json(out);
}

ApiAnswer daysAnswer(const QUrlQuery& query, const ApiContext& context)
{
    const QDate from = isoDate(query.queryItemValue(QStringLiteral("from")));
    const QDate to = isoDate(query.queryItemValue(QStringLiteral("to")));
    if (!from.isValid() || !to.isValid() || to < from)
        return bad(QStringLiteral("from and to must be dates (YYYY-MM-DD), from first"));
    if (from.daysTo(to) + 1 > kMaxRunDays)
        return bad(QStringLiteral("at most %1 days at once").arg(kMaxRunDays));
    const auto columns = whole(query, QStringLiteral("columns"), 1200, 1, kMaxColumns);
    if (!columns)
        return bad(QStringLiteral("columns must be 1 to %1").arg(kMaxColumns));
    const season::SummarySource source{context.app, context.summaryDir, context.today};
    season::DayRun run{from, season::runSummaries(source, from, to)};
    const auto reduced =
        season::reduceColumns(run, season::BucketView{0, double(run.bucketCount())}, *columns);
    QJsonArray data;
    for (const season::Column& c : reduced) {
        if (c.empty) {
            data << QJsonValue();
            continue;
        }
        QJsonArray min;
        QJsonArray max;
        for (std::size_t s = 0; s < season::kSeries; ++s) {
            min << round6(c.min[s]);
            max << round6(c.max[s]);
        }
        data << QJsonObject{{QStringLiteral("start"), isoTime(run.bucketTime(c.firstBucket))},
                            {QStringLiteral("end"), isoTime(run.bucketTime(c.endBucket))},
                            {QStringLiteral("min"), min},
                            {QStringLiteral("max"), max}};
    }
    QJsonArray series;
    for (const char* name : kSeriesNames)
        series << QString::fromLatin1(name);
    return json({{QStringLiteral("from"), from.toString(Qt::ISODate)},
                 {QStringLiteral("to"), to.toString(Qt::ISODate)},
                 {QStringLiteral("columns"), *columns},
                 {QStringLiteral("series"), series},
                 {QStringLiteral("units"), units(context.wsUnits)},
                 {QStringLiteral("data"), data}});
}

ApiAnswer curveAnswer(const ApiContext& context)
{
    const CurveFacts& curve = context.curve;
    QJsonArray bins;
    for (const curve::Bin& bin : curve.bins)
        bins << QJsonObject{{QStringLiteral("wind"), round6(bin.centre)},
                            {QStringLiteral("minutes"), bin.minutes},
                            {QStringLiteral("meanWatts"), round6(bin.meanWatts)},
                            {QStringLiteral("sdWatts"), round6(bin.sdWatts)}};
    QJsonArray aep;
    // The yearly table assumes bins in m/s; a unit of the user's own cannot give one.
    if (curve.scale.known) {
        for (const curve::AepRow& row : curve::aepTable(curve.bins, curve.scale.binWidth))
            aep << QJsonObject{{QStringLiteral("meanWind"), row.meanWind},
                               {QStringLiteral("kWh"), round6(row.kWh)},
                               {QStringLiteral("incomplete"), row.incomplete}};
    }
    return json({{QStringLiteral("unit"), curve.scale.unitName},
                 {QStringLiteral("binWidth"), curve.scale.binWidth},
                 {QStringLiteral("completeMinutes"), curve::kCompleteMinutes},
                 {QStringLiteral("bins"), bins},
                 {QStringLiteral("aep"), aep}});
}

ApiAnswer dayAnswer(const QUrlQuery& query, const ApiContext& context)
{
    const QDate date = isoDate(query.queryItemValue(QStringLiteral("date")));
    if (!date.isValid())
        return bad(QStringLiteral("date must be a date (YYYY-MM-DD)"));
    const auto bytes = core::readWholeFile(context.app.dailyLog(date));
    if (!bytes)
        return {404, "No data for that date\n"};
    const history::DayRecords day = history::parseDayLog(*bytes, -1, 2);
    const QDateTime midnight = date.startOfDay();
    QJsonArray records;
    for (const history::LoadedRecord& r : day.records) {
        QJsonObject o{{QStringLiteral("time"),
                       isoTime(midnight.addMSecs(qint64(std::llround(r.time * 86400000.0))))},
                      {QStringLiteral("mode"), r.mode}};
        for (std::size_t s = 0; s < season::kSeries; ++s)
            o[QLatin1String(kSeriesNames[s])] = round6(r.values[core::kLogged[s]]);
        records << o;
    }
    return json({{QStringLiteral("date"), date.toString(Qt::ISODate)},
                 {QStringLiteral("units"), units(context.wsUnits)},
                 {QStringLiteral("overLimit"), day.overLimit},
                 {QStringLiteral("records"), records}});
}

} // namespace web
