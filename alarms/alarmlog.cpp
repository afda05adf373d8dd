#include "alarms/alarmlog.h"

#include "core/datetime.h"
#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QDir>
#include <QFile>
#include <QStringTokenizer>
#include <algorithm>
#include <array>
#include <optional>

namespace alarms {
namespace {

std::optional<Kind> kindOf(const QString& key)
{
    for (const Kind k : kKinds) {
        if (key == QLatin1String(facts(k).key))
            return k;
    }
    return std::nullopt;
}

// "2024_3_7" as the daily log's file names write it.
QDate dateOf(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('_'));
    if (parts.size() != 3)
        return {};
    bool y = false, m = false, d = false;
    const QDate date(parts[0].toInt(&y), parts[1].toInt(&m), parts[2].toInt(&d));
    return y && m && d ? date : QDate();
}

std::optional<LoggedState> stateOf(QStringView line, const QLocale& locale)
{
    const auto key = core::tagValue(line, u"A");
    const auto state = core::tagValue(line, u"S");
    const auto date = core::tagValue(line, u"D");
    const auto time = core::tagValue(line, u"T");
    const auto value = core::tagValue(line, u"VAL");
    if (!key || !state || !date || !time || !value)
        return std::nullopt;
    const auto kind = kindOf(*key);
    const QDateTime at(dateOf(*date), QTime::fromString(*time, QStringLiteral("HH:mm:ss")));
    auto number = core::numericValue(*value, QLocale::c());
    if (!number)
        number = core::numericValue(*value, locale);
    const bool on = *state == QLatin1String("on");
    if (!kind || (!on && *state != QLatin1String("off")) || !at.isValid() || !number)
        return std::nullopt;
    return LoggedState{*kind, on, *number, at};
}

} // namespace

QString alarmLogPath(const core::AppDir& app)
{
    return app.logsDir() + QStringLiteral("alarms.txt");
}

QByteArray alarmLogLine(Kind kind, bool raised, double value, const QDateTime& at,
                        const QLocale& locale)
{
    return "<A>" + QByteArray(facts(kind).key) + "</A><S>" + (raised ? "on" : "off") + "</S><D>" +
           core::datePart(at.date()).toLatin1() + "</D><T>" +
           at.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + "</T><VAL>" +
           core::numberText(value, locale).toLatin1() + "</VAL>\r\n";
}

logging::FileWrite alarmLogWrite(const core::AppDir& app, Kind kind, bool raised, double value,
                                 const QDateTime& at, const QLocale& locale)
{
    logging::FileWrite write;
    write.path = alarmLogPath(app);
    write.bytes = alarmLogLine(kind, raised, value, at, locale);
    write.kind = logging::FileWrite::Kind::Append;
    write.records = {write.bytes.size()};
    return write;
}

std::vector<LoggedState> lastLoggedStates(QByteArrayView text, const QLocale& locale)
{
    std::array<std::optional<LoggedState>, kKindCount> latest;
    const QString all = QString::fromLatin1(text.data(), text.size());
    for (const QStringView line : qTokenize(all, u'\n')) {
        if (const auto state = stateOf(line, locale))
            latest[std::size_t(state->kind)] = state;
    }
    std::vector<LoggedState> out;
    for (const auto& state : latest) {
        if (state)
            out.push_back(*state);
    }
    return out;
}

std::vector<LoggedState> loggedStates(QByteArrayView text, const QLocale& locale)
{
    std::vector<LoggedState> out;
    const QString all = QString::fromLatin1(text.data(), text.size());
    for (const QStringView line : qTokenize(all, u'\n')) {
        if (const auto state = stateOf(line, locale))
            out.push_back(*state);
    }
    return out;
}

std::vector<LoggedState> readLastLoggedStates(const core::AppDir& app, const QByteArray& waiting)
{
    QFile file(alarmLogPath(app));
    if (!file.open(QIODevice::ReadOnly))
        return lastLoggedStates(waiting);
    const qint64 from = std::max<qint64>(0, file.size() - kLogTailBytes);
    if (!file.seek(from))
        return lastLoggedStates(waiting);
    QByteArray tail = file.read(kLogTailBytes);
    // A line cut by where the reading began is no line.
    if (from > 0)
        tail.remove(0, tail.indexOf('\n') + 1);
    return lastLoggedStates(tail + waiting);
}

bool appendAlarmLog(const core::AppDir& app, Kind kind, bool raised, double value,
                    const QDateTime& at, QString* error)
{
    QDir().mkpath(app.logsDir());
    return core::appendWhole(alarmLogPath(app), alarmLogLine(kind, raised, value, at), {}, error);
}

} // namespace alarms
