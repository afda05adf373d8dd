#include "web/apidata.h"

#include "core/files.h"
#include "core/quantities.h"
#include "curve/aep.h"
#include "history/dayreader.h"
#include "season/columns.h"
#include "season/completeness.h"
#include "season/energybars.h"
#include "season/energyledger.h"
#include "season/summarycache.h"
#include "web/apijson.h"
#include "web/summarymemo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <charconv>
#include <cmath>
#include <cstring>

namespace web {
namespace {

// The marks a series' axis has at most on the Season page.
constexpr int kAxisMarks = 6;

// The logged series under the names /api/now gives them.
constexpr const char* kSeriesNames[] = {"volts", "amps", "watts", "rpm", "wind"};
static_assert(std::size(kSeriesNames) == season::kSeries);

QDate isoDate(const QString& text)
{
    return QDate::fromString(text, Qt::ISODate);
}

QString isoTime(const QDateTime& at)
{
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate);
}

QString offsetText(int seconds)
{
    if (seconds == 0)
        return QStringLiteral("Z");
    const int minutes = std::abs(seconds) / 60;
    return QString::asprintf("%c%02d:%02d", seconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

// Writes the ISO times of a run's buckets, each day's offset from UTC looked up once: a local
// time conversion for every column would cost more than the rest of the answer.
class BucketTimes
{
public:
    explicit BucketTimes(QDate from)
        : m_run{from, {}}
    {}

    void append(QByteArray& out, double bucket)
    {
        const int whole = std::max(0, int(std::floor(bucket)));
        const QDate day = m_run.from.addDays(whole / season::kBuckets);
        if (day != m_day) {
            m_day = day;
            const int offset = QDateTime(day, QTime(0, 0)).offsetFromUtc();
            m_offset = offsetText(offset).toLatin1();
            // A day the clocks change on is converted column by column.
            m_changes = QDateTime(day, QTime(23, 59)).offsetFromUtc() != offset;
            char* at = m_date;
            digits(at, day.year(), 4);
            *at++ = '-';
            digits(at, day.month(), 2);
            *at++ = '-';
            digits(at, day.day(), 2);
        }
        if (m_changes) {
            out += isoTime(m_run.bucketTime(bucket)).toLatin1();
            return;
        }
        const int minutes = (whole % season::kBuckets) * season::kBucketMinutes;
        char text[sizeof m_date + 9];
        std::memcpy(text, m_date, sizeof m_date);
        char* at = text + sizeof m_date;
        *at++ = 'T';
        digits(at, minutes / 60, 2);
        *at++ = ':';
        digits(at, minutes % 60, 2);
        std::memcpy(at, ":00", 3);
        out.append(text, sizeof text);
        out += m_offset;
    }

private:
    // A whole number of at least the given width, zero-padded, as %0*d writes it.
    static void digits(char*& at, int value, int width)
    {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            at[i] = char('0' + value % 10);
        at += width;
    }

    const season::DayRun m_run; // its first day only: for the local times
    QDate m_day;
    char m_date[10]{}; // YYYY-MM-DD
    QByteArray m_offset;
    bool m_changes = false;
};

// A JSON number, the shortest text that reads back as the value rounded to 6 decimals.
void appendNumber(QByteArray& out, double value, bool comma)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, round6(value)).ptr;
    if (comma)
        out += ',';
    out.append(text, end - text);
}

QJsonArray units(const QString& wsUnits)
{
    QJsonArray out;
    for (const core::Quantity q : core::kLogged)
        out << core::unitText(core::facts(q).shortUnit, wsUnits);
    return out;
}

} // namespace

ApiAnswer busyAnswer()
{
    return {503, "The folder of the logs is slow to answer; try again shortly.\n"};
}

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
    const season::LedgerContent ledger = season::readLedger(context.app);
    if (!context.step())
        return busyAnswer();
    season::EnergyBars bars = season::energyBars(ledger, span, *year, *month);
    season::markCompleteness(bars, season::readCompleteness(context.app),
                             season::programIntervalSeconds(context.app), context.now);
    if (!context.step())
        return busyAnswer();
    QJsonArray list;
    for (const season::EnergyBar& bar : bars.bars) {
        QJsonObject item{{QStringLiteral("period"), bar.isoPeriod},
                         {QStringLiteral("kWh"), round6(bar.kWh)},
                         {QStringLiteral("noData"), bar.noData()}};
        const season::Completeness& c = bar.seen;
        item[QStringLiteral("freshShare")] =
            c.minutes > 0 ? QJsonValue(std::round(c.freshShare * 1000) / 1000) : QJsonValue();
        item[QStringLiteral("recordShare")] =
            c.minutes > 0 ? QJsonValue(std::round(c.recordShare * 1000) / 1000) : QJsonValue();
        item[QStringLiteral("lessThanComplete")] = season::lessThanComplete(c);
        list << item;
    }
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
    if (context.beforeDayRead && context.step())
        context.beforeDayRead();
    const season::SummarySource source{context.app, context.summaryDir, context.today};
    // The kept summaries are pointed at, never copied; without them, the run's own.
    SummaryMemo::Summaries kept;
    std::vector<std::optional<season::DaySummary>> read;
    std::vector<const season::DaySummary*> days;
    if (context.memo) {
        kept = context.memo->summaries(source, from, to, context.control);
        for (const auto& day : kept)
            days.push_back(day.get());
    } else {
        read = season::runSummaries(source, from, to);
        for (const auto& day : read)
            days.push_back(day ? &*day : nullptr);
    }
    if (!context.step())
        return busyAnswer();
    const auto reduced = season::reduceColumns(
        days, season::BucketView{0, double(days.size()) * season::kBuckets}, *columns);
    // Written by hand: a year at 1200 columns through QJsonDocument costs several times more.
    QByteArray out;
    out.reserve(160 * qsizetype(reduced.size()) + 256);
    out += "{\"from\":\"" + from.toString(Qt::ISODate).toLatin1() + "\",\"to\":\"" +
           to.toString(Qt::ISODate).toLatin1() + "\",\"columns\":" + QByteArray::number(*columns) +
           ",\"series\":[";
    for (std::size_t s = 0; s < season::kSeries; ++s)
        out += (s ? ",\"" : "\"") + QByteArray(kSeriesNames[s]) + '"';
    out += "],\"units\":" + QJsonDocument(units(context.wsUnits)).toJson(QJsonDocument::Compact) +
           ",\"scales\":[";
    // Each series' axis as the Days view scales its panel: robust, so a glitch does not set it.
    const auto ranges = season::seriesRanges(
        days, season::BucketView{0, double(days.size()) * season::kBuckets}, true);
    for (std::size_t s = 0; s < season::kSeries; ++s) {
        const season::Ticks ticks = season::insideTicks(ranges[s].low, ranges[s].high, kAxisMarks);
        out += s ? ",{\"low\":" : "{\"low\":";
        appendNumber(out, ticks.low, false);
        out += ",\"high\":";
        appendNumber(out, ticks.high, false);
        out += ",\"step\":";
        appendNumber(out, ticks.step, false);
        out += '}';
    }
    out += "],\"data\":[";
    BucketTimes times(from);
    bool first = true;
    for (const season::Column& c : reduced) {
        out += first ? "" : ",";
        first = false;
        if (c.empty) {
            out += "null";
            continue;
        }
        out += "{\"start\":\"";
        times.append(out, c.firstBucket);
        out += "\",\"end\":\"";
        times.append(out, c.endBucket);
        out += "\",\"min\":[";
        for (std::size_t s = 0; s < season::kSeries; ++s)
            appendNumber(out, c.min[s], s > 0);
        out += "],\"max\":[";
        for (std::size_t s = 0; s < season::kSeries; ++s)
            appendNumber(out, c.max[s], s > 0);
        out += "]}";
    }
    out += "]}";
    return {200, out};
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
    if (context.beforeDayRead && context.step())
        context.beforeDayRead();
    const auto bytes = core::readWholeFile(context.app.dailyLog(date));
    if (!context.step())
        return busyAnswer();
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
