#include "alarms/alarmdelivery.h"

#include "alarms/alarmlog.h"
#include "alarms/alarmmqtt.h"
#include "alarms/notifier.h"
#include "config/configfiles.h"
#include "publish/publishconfig.h"
#include "publish/publisher.h"

#include <QCoreApplication>

namespace alarms {

AlarmDelivery::AlarmDelivery(const core::AppDir& app, AlarmMonitor& monitor, Notifier* notifier,
                             publish::Publisher* publisher, LogSink log, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_monitor(monitor)
    , m_notifier(notifier)
    , m_publisher(publisher)
    , m_log(std::move(log))
{
    connect(&m_monitor, &AlarmMonitor::changed, this, &AlarmDelivery::onChanged);
    connect(&m_monitor, &AlarmMonitor::evaluated, this, &AlarmDelivery::publishState);
    if (m_notifier)
        connect(m_notifier, &Notifier::delivered, this, &AlarmDelivery::onDelivered);
    reload();
}

void AlarmDelivery::reload()
{
    const publish::PublishConfig cfg = publish::readPublishConfig(m_app);
    m_baseTopic = cfg.BaseTopic;
    m_name = cfg.Name;
    m_wsUnits = config::ReadProgramConfig(m_app).WSUnits;
    if (!m_publisher)
        return;
    const AlarmsConfig& alarms = m_monitor.config();
    const publish::DiscoveryInputs in{m_baseTopic, m_name, m_wsUnits,
                                      QCoreApplication::applicationName()};
    for (const publish::Message& m : alarmDiscovery(in, alarms, publish::discoveryOn(cfg)))
        m_publisher->publishRetained(m);
    for (const Kind k : kKinds) {
        publish::Message state = alarmStateMessage(m_baseTopic, m_name, k, m_monitor.isRaised(k));
        if (alarms[k].on && !m_monitor.known(k)) {
            // The broker keeps what it last had until the first evaluation says.
            m_publisher->withdrawRetained(state.topic);
            continue;
        }
        // An alarm that is off leaves no state behind on the broker.
        if (!alarms[k].on)
            state.payload.clear();
        m_publisher->publishRetained(state);
    }
}

void AlarmDelivery::restoreFromLog(const std::vector<LoggedState>& states, const QDateTime& now)
{
    for (const LoggedState& s : states) {
        const qint64 age = s.at.secsTo(now);
        if (age >= 0 && age <= kRestoreWithinS)
            m_monitor.restore(s.kind, s.raised, s.value, s.at);
    }
}

void AlarmDelivery::publishState(Kind kind, bool raised)
{
    if (m_publisher)
        m_publisher->publishRetained(alarmStateMessage(m_baseTopic, m_name, kind, raised));
}

void AlarmDelivery::onChanged(Kind kind, bool raised, double value, const QDateTime& since)
{
    if (m_log) {
        m_log(alarmLogWrite(m_app, kind, raised, value, since));
    } else {
        m_logProblem.clear();
        QString error;
        if (!appendAlarmLog(m_app, kind, raised, value, since, &error))
            m_logProblem =
                QStringLiteral("%1 cannot be written: %2").arg(alarmLogPath(m_app), error);
    }
    if (m_notifier)
        notifyChange(
            kind, raised,
            notificationFor(kind, raised, value, m_monitor.config()[kind], m_wsUnits, since));
    publishState(kind, raised);
}

void AlarmDelivery::notifyChange(Kind kind, bool raised, const Notification& n)
{
    Shown& shown = m_shown[std::size_t(kind)];
    if (!m_monitor.notifies(kind)) {
        // A raise left on the desktop would tell of an alarm that is over.
        if (!raised) {
            m_notifier->close(shown.id);
            shown = {};
        }
        return;
    }
    // The raise is not answered yet: the clear follows it with its number.
    if (!raised && shown.request != 0) {
        shown.clear = n;
        return;
    }
    // One notification of a kind at a time: each change takes the place of the last.
    shown.request = m_notifier->notify(n, shown.id);
    shown.clear.reset();
}

void AlarmDelivery::onDelivered(quint64 request, uint id)
{
    for (Shown& shown : m_shown) {
        if (shown.request != request)
            continue;
        shown.request = 0;
        shown.id = id;
        if (shown.clear) {
            shown.request = m_notifier->notify(*shown.clear, id);
            shown.clear.reset();
        }
        return;
    }
}

} // namespace alarms
