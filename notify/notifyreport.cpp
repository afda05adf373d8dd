#include "notify/notifyreport.h"

#include "alarms/alarmtexts.h"
#include "core/files.h"
#include "core/numbers.h"
#include "season/summarycache.h"

#include <QFile>

namespace notify {

Event reportEvent(const QDate& day, const QDateTime& at, const QString& plant,
                  const std::optional<season::BatteryDay>& battery, const QStringList& plantLines,
                  const std::vector<alarms::LoggedState>& alarmsOfDay, const QString& wsUnits)
{
    Event e;
    e.kind = QStringLiteral("Report");
    e.state = QStringLiteral("report");
    e.unit = QStringLiteral("Wh");
    e.time = at;
    e.plant = plant;
    const QString date = day.toString(Qt::ISODate);
    QStringList lines;
    if (battery) {
        e.value = battery->chargeWh;
        lines << QStringLiteral("Energy: %1 Wh.").arg(core::numberText(battery->chargeWh));
        if (battery->logged) {
            lines << QStringLiteral("Battery: lowest %1 V at %2, highest %3 V at %4; %5.")
                         .arg(core::numberText(battery->lowVolts),
                              battery->lowAt.toString(QStringLiteral("HH:mm")),
                              core::numberText(battery->highVolts),
                              battery->highAt.toString(QStringLiteral("HH:mm")),
                              battery->reachedFull ? QStringLiteral("it was full")
                                                   : QStringLiteral("it was not full"));
        } else {
            lines << QStringLiteral("Battery: no records of the day.");
        }
        if (battery->loadHours)
            lines
                << QStringLiteral("Load: %1 hours on.").arg(core::numberText(*battery->loadHours));
    } else {
        lines << QStringLiteral("No energy or records of the day.");
    }
    lines << plantLines;
    QStringList alarmLines;
    for (const alarms::LoggedState& s : alarmsOfDay) {
        alarmLines << QStringLiteral("%1 %2 at %3 (%4)")
                          .arg(QString::fromLatin1(alarms::facts(s.kind).title),
                               s.raised ? QStringLiteral("raised") : QStringLiteral("cleared"),
                               s.at.time().toString(QStringLiteral("HH:mm:ss")),
                               alarms::valueText(s.kind, s.value, wsUnits));
    }
    lines << (alarmLines.isEmpty()
                  ? QStringLiteral("Alarms: none.")
                  : QStringLiteral("Alarms: %1.").arg(alarmLines.join(QStringLiteral("; "))));
    e.title = QStringLiteral("Daily report of %1: %2 kWh")
                  .arg(date, core::numberText(std::round(e.value / 10.0) / 100.0));
    e.text = lines.join(QLatin1Char('\n'));
    return e;
}

Event readReport(const core::AppDir& app, const QDate& day, const QDateTime& at,
                 const QString& plant, const PlantFacts& facts)
{
    const season::SummarySource source{app, season::summaryCacheDir(app), at.date()};
    const std::vector<season::BatteryDay> days =
        season::readBatteryDays(source, day, day, facts.fullVolts);
    std::optional<season::BatteryDay> battery;
    if (!days.empty())
        battery = days.front();
    std::vector<alarms::LoggedState> ofDay;
    QFile log(alarms::alarmLogPath(app));
    if (log.open(QIODevice::ReadOnly)) {
        const qint64 from = std::max<qint64>(0, log.size() - alarms::kLogTailBytes);
        if (log.seek(from)) {
            for (const alarms::LoggedState& s :
                 alarms::loggedStates(log.read(alarms::kLogTailBytes))) {
                if (s.at.date() == day)
                    ofDay.push_back(s);
            }
        }
    }
    return reportEvent(day, at, plant, battery, facts.lines, ofDay, facts.wsUnits);
}

} // namespace notify
