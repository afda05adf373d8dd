#include "alarms/alarmtexts.h"

#include "core/numbers.h"

#include <QStringList>

namespace alarms {
namespace {

QString title(Kind kind)
{
    return QString::fromLatin1(facts(kind).title);
}

QString timeText(const QDateTime& at)
{
    return at.time().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QString valueText(Kind kind, double value, const QString& wsUnits, const QLocale& locale)
{
    const QString unit = unitOf(kind, wsUnits);
    const QString number = core::numberText(value, locale);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

QString alarmLine(const std::vector<RaisedAlarm>& raised, const QString& wsUnits,
                  const QDate& today, const QLocale& locale)
{
    if (raised.empty())
        return {};
    QStringList parts;
    for (const RaisedAlarm& r : raised) {
        QString since = timeText(r.since);
        if (r.since.date() != today)
            since = r.since.date().toString(QStringLiteral("d MMM ")) + since;
        parts << QStringLiteral("%1 %2 since %3")
                     .arg(title(r.kind), valueText(r.kind, r.value, wsUnits, locale), since);
    }
    return QStringLiteral("Alarm: ") + parts.join(QStringLiteral("; "));
}

QString alarmsCaption(std::size_t raisedCount)
{
    return raisedCount == 0 ? QStringLiteral("Alarms")
                            : QStringLiteral("Alarms (%1)").arg(raisedCount);
}

Notification notificationFor(Kind kind, bool raised, double value, const AlarmSettings& s,
                             const QString& wsUnits, const QDateTime& at, const QLocale& locale)
{
    Notification n;
    const QString shown = valueText(kind, value, wsUnits, locale);
    n.summary = raised ? QStringLiteral("%1: %2").arg(title(kind), shown)
                       : QStringLiteral("%1 cleared: %2").arg(title(kind), shown);
    const QString level = valueText(kind, s.level, wsUnits, locale);
    if (kind == Kind::NoData) {
        n.body = raised
                     ? QStringLiteral("No fresh frame for %1, since %2.").arg(shown, timeText(at))
                     : QStringLiteral("Frames again at %1.").arg(timeText(at));
    } else {
        // What else held when Stopped or Runaway was raised.
        QString with;
        if (raised && kind == Kind::Stopped)
            with = QStringLiteral(", with the rotor still (below %1 RPM and %2 W)")
                       .arg(core::numberText(kStillRpm, locale),
                            core::numberText(kStillWatts, locale));
        if (raised && kind == Kind::Runaway)
            with = QStringLiteral(", with less than %1 A of charge")
                       .arg(core::numberText(s.amps, locale));
        n.body = QStringLiteral("%1 at %2; the level is %3%4.")
                     .arg(raised ? QStringLiteral("Raised") : QStringLiteral("Cleared"),
                          timeText(at), level, with);
    }
    n.critical = raised && facts(kind).critical;
    n.timeoutMs = raised ? -1 : kClearShownMs;
    return n;
}

Notification testNotification()
{
    return {QStringLiteral("Test notification"),
            QStringLiteral("Alarms will show like this on your desktop."), false, -1};
}

QString notifierStatusText(const NotifierStatus& status)
{
    const QString stillShown = QStringLiteral("alarms still show here and in logs/alarms.txt");
    using State = NotifierStatus::State;
    switch (status.state) {
    case State::Asking:
        return {};
    case State::Available:
        return QStringLiteral("Desktop notifications: %1").arg(status.server);
    case State::NoBus:
        return QStringLiteral("No desktop notifications: this session has no message bus (%1); %2")
            .arg(status.detail, stillShown);
    case State::NoService:
        return QStringLiteral("No notification service is running on this desktop; %1")
            .arg(stillShown);
    case State::Failed:
        return QStringLiteral("Desktop notifications failed (%1); %2")
            .arg(status.detail, stillShown);
    }
    return {};
}

} // namespace alarms
