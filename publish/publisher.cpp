#include "publish/publisher.h"

#include "config/configfiles.h"
#include "publish/energyhour.h"
#include "publish/publishconfig.h"

#include <QCoreApplication>
#include <algorithm>

namespace publish {

LinkSettings linkSettingsFor(const PublishConfig& cfg)
{
    LinkSettings settings;
    settings.host = cfg.Host;
    settings.port = portNumber(cfg);
    settings.user = cfg.User;
    settings.password = cfg.Password;
    settings.tls = tlsOn(cfg);
    settings.caFile = cfg.CAFile;
    settings.statusTopic = topicsFor(cfg.BaseTopic, cfg.Name).status;
    settings.clientName = cfg.Name;
    return settings;
}

Publisher::Publisher(QObject* parent)
    : QObject(parent)
{}

Publisher::~Publisher() = default;

void Publisher::reload(const core::AppDir& app)
{
    reload(app, config::ReadProgramConfig(app).WSUnits);
}

void Publisher::reload(const core::AppDir& app, const QString& wsUnits)
{
    QString readError;
    const PublishConfig cfg = readPublishConfig(app, &readError);
    m_wsUnits = wsUnits;
    const QString before = statusText();
    m_problem.clear();
    if (!readError.isEmpty()) {
        m_problem = QStringLiteral("MQTT: cannot read %1: %2. Publishing is off.")
                        .arg(publishCfgPath(app), readError);
    } else if (publishingOn(cfg)) {
        if (const auto problem = publishConfigProblem(cfg)) {
            m_problem = QStringLiteral("MQTT: publish.cfg: %1 Publishing is off until it is put "
                                       "right in Publish.")
                            .arg(problem->message);
        }
    }
    if (!publishingOn(cfg) || !m_problem.isEmpty()) {
        stopLink();
        if (statusText() != before)
            emit statusChanged();
        return;
    }

    LinkSettings settings = linkSettingsFor(cfg);
    m_topics = topicsFor(cfg.BaseTopic, cfg.Name);
    settings.firstRetryMs = m_firstRetryMs;
    settings.lastRetryMs = m_lastRetryMs;
    settings.answerMs = m_answerMs;
    const DiscoveryInputs discovery{cfg.BaseTopic, cfg.Name, m_wsUnits,
                                    QCoreApplication::applicationName()};
    // Unticking Discovery takes the plant's entities out of Home Assistant again.
    std::vector<Message> onConnect =
        discoveryOn(cfg) ? discoveryMessages(discovery) : discoveryRemovals(discovery);

    if (m_link && settings == m_settings && onConnect == m_onConnect)
        return;
    m_settings = settings;
    m_onConnect = onConnect;
    m_warning = clearPasswordWarning(cfg);
    if (!m_link) {
        m_link = std::make_unique<MqttLink>();
        connect(m_link.get(), &MqttLink::statusChanged, this, &Publisher::statusChanged);
    }
    std::vector<Message> all = m_onConnect;
    all.insert(all.end(), m_retained.begin(), m_retained.end());
    m_link->setOnConnect(all);
    m_link->start(m_settings);
    emit statusChanged();
}

void Publisher::onReading(const core::QuantityValues& reading, double wattHourTotal,
                          std::int16_t mode, const QDateTime& at)
{
    if (!m_link)
        return;
    m_link->publishState(m_topics.state, stateMessage(reading, wattHourTotal, mode, m_wsUnits, at));
}

void Publisher::onRecord(const core::QuantityValues& peaks, std::int16_t mode, const QDateTime& at)
{
    if (!m_link)
        return;
    m_link->publishRecord(m_topics.record, recordMessage(peaks, mode, m_wsUnits, at));
}

void Publisher::publishRetained(const Message& message)
{
    const auto same = std::find_if(m_retained.begin(), m_retained.end(),
                                   [&](const Message& m) { return m.topic == message.topic; });
    if (same != m_retained.end())
        *same = message;
    else
        m_retained.push_back(message);
    if (!m_link)
        return;
    std::vector<Message> all = m_onConnect;
    all.insert(all.end(), m_retained.begin(), m_retained.end());
    m_link->setOnConnect(all);
    m_link->publishNow(message);
}

void Publisher::onEnergyHour(QDate date, int hour, int utcOffsetSeconds, double wattHours)
{
    if (!m_link)
        return;
    m_link->publishRecord(energyHourTopic(m_topics),
                          energyHourMessage(date, hour, utcOffsetSeconds, wattHours));
}

QString Publisher::statusText() const
{
    if (!m_problem.isEmpty())
        return m_problem;
    if (!m_link)
        return {};
    const QString text = linkStatusText(m_link->status());
    return m_warning.isEmpty() ? text : text + QLatin1Char('\n') + m_warning;
}

void Publisher::setRetryTimes(int firstRetryMs, int lastRetryMs, int answerMs)
{
    m_firstRetryMs = firstRetryMs;
    m_lastRetryMs = lastRetryMs;
    m_answerMs = answerMs;
}

void Publisher::stopLink()
{
    m_link.reset();
    m_settings = {};
    m_onConnect.clear();
    m_warning.clear();
}

} // namespace publish
