#include "programs/journal.h"

#include "alarms/alarmtexts.h"

#include <QDir>

namespace programs {
namespace {

const QString kOpenAdvice =
    QStringLiteral("Link com%1 in the program's folder to the logger's serial device, or set "
                   "another Port in prog.cfg.");

} // namespace

Journal::Journal(plant::Plant& plant, Sink sink, Sink status, QObject* parent)
    : QObject(parent)
    , m_plant(plant)
    , m_sink(std::move(sink))
    , m_status(std::move(status))
{
    connect(&plant.station(), &station::Station::statusChanged, this, &Journal::statusChanged);
    connect(&plant.station(), &station::Station::loggingChanged, this,
            [this](bool on, const QString& interval) {
                m_sink(on ? QStringLiteral("Logging every %1 s.").arg(interval)
                          : QStringLiteral("Logging stopped."));
            });
    connect(&plant.station(), &station::Station::dataReturned, this,
            [this] { m_sink(QStringLiteral("Data again.")); });
    connect(&plant.watchers().alarms(), &alarms::AlarmMonitor::changed, this,
            &Journal::alarmChanged);
    connect(&plant.web(), &web::WebService::stateChanged, this, &Journal::statusChanged);
    // The curve's notice and the alarms restored from the log come once the disk has answered.
    connect(&plant.watchers(), &plant::Watchers::alarmsChanged, this, &Journal::statusChanged);
    m_sink(QStringLiteral("Files are kept in %1").arg(QDir::toNativeSeparators(plant.app().dir)));
    if (m_plant.station().logging())
        m_sink(QStringLiteral("Logging every %1 s.").arg(m_plant.station().loggingText()));
    statusChanged();
}

QStringList Journal::lines() const
{
    const station::StationStatus& s = m_plant.station().status();
    QStringList lines;
    lines << station::lineText(s, kOpenAdvice);
    if (s.staleSince)
        lines << station::staleText(*s.staleSince, m_plant.clock().now().date());
    lines << s.publishing << station::diskSilentText(s, m_plant.app());
    lines << s.writes.warnings;
    lines << s.writes.droppedWarning << s.writes.spoolNotice << s.writes.templateWarning;
    lines << s.configWarnings << m_plant.watchers().alarmsWarning();
    lines << web::webStateText(m_plant.web().state());
    lines.removeAll(QString());
    return lines;
}

// Only the lines that were not there before are said: a status that comes back unchanged (the
// disk thread reports after every record) says nothing.
void Journal::statusChanged()
{
    const QStringList now = lines();
    for (const QString& line : now) {
        if (!m_shown.contains(line))
            m_sink(line);
    }
    m_shown = now;
    const QString alarm = m_plant.watchers().alarmLine();
    const QString summary = alarm.isEmpty() ? now.value(0) : alarm;
    if (summary != m_summary) {
        m_summary = summary;
        m_status(summary);
    }
}

void Journal::alarmChanged(alarms::Kind kind, bool raised, double value, const QDateTime& since)
{
    const QString what = QLatin1String(alarms::facts(kind).title) + QStringLiteral(": ") +
                         alarms::valueText(kind, value, m_plant.station().options().wsUnits);
    m_sink((raised ? QStringLiteral("Alarm raised, ") : QStringLiteral("Alarm cleared, ")) + what +
           QStringLiteral(" at ") + since.time().toString(u"HH:mm:ss"));
    statusChanged();
}

} // namespace programs
