#include "season/completeness.h"

#include "config/configfiles.h"
#include "core/datetime.h"
#include "core/files.h"
#include "logging/logcontrol.h"
#include "season/energyledger.h"
#include "season/ledgertext.h"

#include <QFile>
#include <algorithm>
#include <string_view>
#include <utility>

namespace season {

QString completenessFile(const core::AppDir& app)
{
    return app.path(QStringLiteral("logs/completeness.txt"));
}

QByteArray completenessLineFor(const CompletenessLine& line)
{
    return "<D>" + core::datePart(line.date).toLatin1() + "</D><H>" +
           QByteArray::number(line.hour) + "</H><Z>" + offsetText(line.utcOffsetSeconds) +
           "</Z><FM>" + QByteArray::number(line.freshMinutes) + "</FM><REC>" +
           QByteArray::number(line.records) + "</REC><IV>" +
           QByteArray::number(line.intervalSeconds) + "</IV>\r\n";
}

logging::FileWrite completenessWrite(const core::AppDir& app, const CompletenessLine& line)
{
    logging::FileWrite write;
    write.path = completenessFile(app);
    write.bytes = completenessLineFor(line);
    write.kind = logging::FileWrite::Kind::Append;
    write.records = {write.bytes.size()};
    return write;
}

std::optional<CompletenessLine> CompletenessCounter::openAt(const QDateTime& localTime)
{
    const QDate date = localTime.date();
    const int hour = localTime.time().hour();
    const int offset = localTime.offsetFromUtc();
    if (m_open && m_open->date == date && m_open->hour == hour &&
        m_open->utcOffsetSeconds == offset)
        return std::nullopt;
    std::optional<CompletenessLine> done = closeHour();
    m_open = CompletenessLine{date, hour, offset, 0, 0, 0};
    return done;
}

std::optional<CompletenessLine> CompletenessCounter::freshFrame(const QDateTime& localTime)
{
    std::optional<CompletenessLine> done = openAt(localTime);
    const qint64 minute = localTime.toSecsSinceEpoch() / 60;
    if (minute != m_lastMinute && m_open->freshMinutes < 60)
        ++m_open->freshMinutes;
    m_lastMinute = minute;
    return done;
}

std::optional<CompletenessLine> CompletenessCounter::record(const QDateTime& localTime)
{
    std::optional<CompletenessLine> done = openAt(localTime);
    if (m_open->records < 3600)
        ++m_open->records;
    return done;
}

std::optional<CompletenessLine> CompletenessCounter::flush(const QDateTime& now)
{
    if (!m_open)
        return std::nullopt;
    if (m_open->date == now.date() && m_open->hour == now.time().hour() &&
        m_open->utcOffsetSeconds == now.offsetFromUtc())
        return std::nullopt;
    return closeHour();
}

std::optional<CompletenessLine> CompletenessCounter::closeHour()
{
    std::optional<CompletenessLine> line = std::exchange(m_open, std::nullopt);
    if (!line || (line->freshMinutes == 0 && line->records == 0))
        return std::nullopt;
    line->intervalSeconds = m_interval;
    return line;
}

CompletenessContent parseCompleteness(QByteArrayView content)
{
    CompletenessContent out;
    const std::string_view all(content.data(), std::size_t(content.size()));
    for (std::size_t from = 0; from < all.size();) {
        std::size_t to = all.find('\n', from);
        if (to == std::string_view::npos)
            to = all.size();
        std::string_view text = all.substr(from, to - from);
        from = to + 1;
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        if (text.empty())
            continue;
        auto number = [&](std::string_view open, std::string_view close, int most) {
            const auto t = tagText(text, open, close);
            const auto value = t ? digitsValue(*t) : std::nullopt;
            return value && *value <= most ? *value : -1;
        };
        const auto d = tagText(text, "<D>", "</D>");
        const auto z = tagText(text, "<Z>", "</Z>");
        const QDate date = d ? ledgerDate(*d).value_or(QDate()) : QDate();
        const auto zone = z ? ledgerOffset(*z) : std::nullopt;
        const int offset = zone.value_or(0);
        const int hour = number("<H>", "</H>", 23);
        const int fresh = number("<FM>", "</FM>", 60);
        const int records = number("<REC>", "</REC>", 3600);
        const int interval = number("<IV>", "</IV>", 86400);
        if (!date.isValid() || !zone || hour < 0 || fresh < 0 || records < 0 || interval < 1) {
            ++out.badLines;
            continue;
        }
        CompletenessLine& line = out.days[date][{hour, offset}];
        line.date = date;
        line.hour = hour;
        line.utcOffsetSeconds = offset;
        line.freshMinutes = std::min(60, line.freshMinutes + fresh);
        line.records += records;
        line.intervalSeconds = interval;
    }
    return out;
}

CompletenessContent readCompleteness(const core::AppDir& app)
{
    const QString path = completenessFile(app);
    if (!QFile::exists(path))
        return {};
    const std::optional<QByteArray> bytes = core::readWholeFile(path);
    if (!bytes) {
        CompletenessContent out;
        out.badLines = -1;
        return out;
    }
    return parseCompleteness(*bytes);
}

namespace {

void finish(Completeness& c)
{
    c.freshShare = c.minutes > 0 ? std::min(1.0, double(c.freshMinutes) / c.minutes) : 0.0;
    c.recordShare = c.intervals > 0 ? std::min(1.0, c.records / c.intervals) : 0.0;
}

} // namespace

Completeness dayCompleteness(const CompletenessContent& content, QDate day, int intervalSeconds,
                             const QDateTime& now)
{
    Completeness out;
    const QDateTime start = day.startOfDay();
    const QDateTime end = std::min(day.addDays(1).startOfDay(), core::hourStart(now));
    if (!start.isValid() || end <= start || content.days.empty() ||
        day < content.days.begin()->first)
        return out;
    const qint64 seconds = start.secsTo(end);
    out.minutes = int(seconds / 60);
    double linedSeconds = 0;
    if (const auto it = content.days.find(day); it != content.days.end()) {
        for (const auto& [key, line] : it->second) {
            // The hour still open is not counted, from the file or from the clock.
            if (day == now.date() && key.first >= now.time().hour())
                continue;
            out.freshMinutes += line.freshMinutes;
            out.records += line.records;
            out.intervals += 3600.0 / line.intervalSeconds;
            linedSeconds += 3600;
        }
    }
    out.freshMinutes = std::min(out.freshMinutes, out.minutes);
    if (intervalSeconds > 0)
        out.intervals += std::max(0.0, double(seconds) - linedSeconds) / intervalSeconds;
    finish(out);
    return out;
}

Completeness rangeCompleteness(const CompletenessContent& content, QDate first, int days,
                               int intervalSeconds, const QDateTime& now)
{
    Completeness out;
    for (int k = 0; k < days; ++k) {
        const Completeness c = dayCompleteness(content, first.addDays(k), intervalSeconds, now);
        out.freshMinutes += c.freshMinutes;
        out.minutes += c.minutes;
        out.records += c.records;
        out.intervals += c.intervals;
    }
    finish(out);
    return out;
}

int programIntervalSeconds(const core::AppDir& app)
{
    const auto interval = logging::checkDelay(config::ReadProgramConfig(app).LogDelay);
    return interval ? std::max(1, interval->milliseconds / 1000) : 60;
}

bool lessThanComplete(const Completeness& c)
{
    return c.minutes > 0 && (c.freshShare < kCompleteShare || c.recordShare < kCompleteShare);
}

Completeness monthCompleteness(const CompletenessContent& content, int year, int month,
                               int intervalSeconds, const QDateTime& now)
{
    const QDate first(year, month, 1);
    return rangeCompleteness(content, first, first.daysInMonth(), intervalSeconds, now);
}

} // namespace season
