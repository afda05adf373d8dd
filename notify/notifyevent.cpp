#include "notify/notifyevent.h"

#include "alarms/alarmtexts.h"
#include "core/numbers.h"
#include "core/tags.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringList>
#include <QStringTokenizer>
#include <cmath>

namespace notify {
namespace {

QString escaped(const QString& text)
{
    QString out = text.toHtmlEscaped();
    out.replace(QLatin1Char('\r'), QString());
    out.replace(QLatin1Char('\n'), QStringLiteral("&#10;"));
    return out;
}

QString unescaped(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("&#10;"), QStringLiteral("\n"));
    out.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    out.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    out.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    out.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    // A line end is never part of a value: the line written back would not hold it.
    out.remove(QLatin1Char('\r'));
    return out;
}

QString numberInFile(double v)
{
    return core::numberText(v, QLocale::c());
}

QJsonObject hookObject(const Event& e)
{
    return QJsonObject{
        {QStringLiteral("kind"), e.kind},   {QStringLiteral("state"), e.state},
        {QStringLiteral("value"), e.value}, {QStringLiteral("unit"), e.unit},
        {QStringLiteral("level"), e.level}, {QStringLiteral("time"), isoTime(e.time)},
        {QStringLiteral("plant"), e.plant}, {QStringLiteral("title"), e.title},
        {QStringLiteral("text"), e.text}};
}

std::optional<Way> wayOf(QStringView key)
{
    for (const Way w : kWays) {
        if (key == QLatin1String(wayKey(w)))
            return w;
    }
    return std::nullopt;
}

} // namespace

QString isoTime(const QDateTime& at)
{
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate);
}

Event alarmEvent(alarms::Kind kind, bool raised, double value, const alarms::AlarmSettings& s,
                 const QString& wsUnits, const QDateTime& at, const QString& plant)
{
    const alarms::Notification n = alarms::notificationFor(kind, raised, value, s, wsUnits, at);
    Event e;
    e.kind = QString::fromLatin1(alarms::facts(kind).key);
    e.state = raised ? QStringLiteral("on") : QStringLiteral("off");
    e.value = value;
    e.unit = alarms::unitOf(kind, wsUnits);
    e.level = s.level;
    e.time = at;
    e.plant = plant;
    e.title = n.summary;
    e.text = QStringLiteral("%1\n%2, %3").arg(n.body, plant, isoTime(at));
    return e;
}

Event testEvent(const QDateTime& at, const QString& plant)
{
    Event e;
    e.kind = QStringLiteral("Test");
    e.state = QStringLiteral("test");
    e.time = at;
    e.plant = plant;
    e.title = QStringLiteral("Test from %1").arg(plant);
    e.text = QStringLiteral("Alarms of %1 will arrive like this.\n%2").arg(plant, isoTime(at));
    return e;
}

Event foldedEvent(const std::vector<Event>& events)
{
    if (events.empty())
        return {};
    Event e = events.front();
    if (events.size() == 1)
        return e;
    e.title = QStringLiteral("%1 and %2 more").arg(events.front().title).arg(events.size() - 1);
    QStringList lines;
    for (const Event& one : events)
        lines << QStringLiteral("%1 %2").arg(isoTime(one.time), one.title);
    e.text = lines.join(QLatin1Char('\n'));
    return e;
}

QByteArray hookBody(const Event& event, const std::vector<Event>& folded)
{
    QJsonObject object = hookObject(event);
    if (folded.size() > 1) {
        QJsonArray each;
        for (const Event& one : folded)
            each.append(hookObject(one));
        object.insert(QStringLiteral("more"), qint64(folded.size() - 1));
        object.insert(QStringLiteral("events"), each);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString queuePath(const core::AppDir& app)
{
    return app.path(QStringLiteral("notify-queue.txt"));
}

QByteArray queueLine(const Event& e)
{
    QStringList ways;
    for (const Way w : e.ways)
        ways << QLatin1String(wayKey(w));
    const QString line =
        QStringLiteral("<N>%1</N><W>%2</W><K>%3</K><S>%4</S><VAL>%5</VAL><U>%6</U><L>%7</L>"
                       "<T>%8</T><P>%9</P><TI>%10</TI><X>%11</X>\r\n")
            .arg(e.seq)
            .arg(ways.join(QLatin1Char(' ')), escaped(e.kind), escaped(e.state),
                 numberInFile(e.value), escaped(e.unit), numberInFile(e.level), isoTime(e.time),
                 escaped(e.plant))
            .arg(escaped(e.title), escaped(e.text));
    return line.toUtf8();
}

QByteArray doneLine(Way way, qint64 seq)
{
    return "<D>" + QByteArray(wayKey(way)) + "</D><N>" + QByteArray::number(seq) + "</N>\r\n";
}

QByteArray reportLine(const QDate& day)
{
    return "<R>" + day.toString(Qt::ISODate).toLatin1() + "</R>\r\n";
}

QueueState readQueue(QByteArrayView text)
{
    QueueState state;
    const QString all = QString::fromUtf8(text.data(), text.size());
    // The text after the last line end is a line cut short.
    const qsizetype end = all.lastIndexOf(QLatin1Char('\n'));
    for (const QStringView line : qTokenize(QStringView(all).left(end + 1), u'\n')) {
        if (const auto report = core::tagValue(line, u"R")) {
            const QDate day = QDate::fromString(*report, Qt::ISODate);
            if (day.isValid() && (!state.lastReport.isValid() || day > state.lastReport))
                state.lastReport = day;
            continue;
        }
        bool ok = false;
        const auto n = core::tagValue(line, u"N");
        const qint64 seq = n ? n->toLongLong(&ok) : 0;
        if (!ok || seq <= 0)
            continue;
        if (const auto done = core::tagValue(line, u"D")) {
            if (const auto way = wayOf(*done); way && seq <= state.lastSeq)
                state.done[*way] = std::max(state.done[*way], seq);
            continue;
        }
        const auto ways = core::tagValue(line, u"W");
        const auto kind = core::tagValue(line, u"K");
        const auto st = core::tagValue(line, u"S");
        const auto value = core::tagValue(line, u"VAL");
        const auto unit = core::tagValue(line, u"U");
        const auto level = core::tagValue(line, u"L");
        const auto time = core::tagValue(line, u"T");
        const auto plant = core::tagValue(line, u"P");
        const auto title = core::tagValue(line, u"TI");
        const auto body = core::tagValue(line, u"X");
        if (!ways || !kind || !st || !value || !unit || !level || !time || !plant || !title ||
            !body || seq <= state.lastSeq)
            continue;
        Event e;
        e.seq = seq;
        for (const QStringView w : qTokenize(*ways, u' ')) {
            if (const auto way = wayOf(w))
                e.ways.push_back(*way);
        }
        e.kind = unescaped(*kind);
        e.state = unescaped(*st);
        const auto v = core::numericValue(*value, QLocale::c());
        const auto l = core::numericValue(*level, QLocale::c());
        e.time = QDateTime::fromString(*time, Qt::ISODate);
        if (!v || !l || !std::isfinite(*v) || !std::isfinite(*l) || !e.time.isValid() ||
            e.ways.empty())
            continue;
        e.value = *v;
        e.level = *l;
        e.unit = unescaped(*unit);
        e.plant = unescaped(*plant);
        e.title = unescaped(*title);
        e.text = unescaped(*body);
        state.lastSeq = seq;
        state.events.push_back(std::move(e));
    }
    return state;
}

} // namespace notify
