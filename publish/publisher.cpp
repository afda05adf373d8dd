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
    ownTopicsOf(app, cfg);
    if (!m_link) {
        m_link = std::make_unique<MqttLink>();
        connect(m_link.get(), &MqttLink::statusChanged, this, &Publisher::statusChanged);
        connect(m_link.get(), &MqttLink::onConnectAcknowledged, this,
                &Publisher::onConnectAcknowledged);
    }
    handOnConnect();
    m_link->start(m_settings);
    emit statusChanged();
}

bool Publisher::owns(const QByteArray& topic) const
{
    if (topic.startsWith(m_plantPrefix))
        return true;
    const QList<QByteArray> parts = topic.split('/');
    return parts.size() > 3 && parts[0] == "homeassistant" && parts[2] == m_idBase;
}

void Publisher::ownTopicsOf(const core::AppDir& app, const PublishConfig& cfg)
{
    if (!m_app) {
        m_app = app;
        m_published = readPublishedTopics(app);
    }
    m_plantPrefix = cfg.BaseTopic.toUtf8() + '/' + cfg.Name.toUtf8() + '/';
    m_idBase = uniqueIdBase(cfg.BaseTopic, cfg.Name).toUtf8();
    // What was kept under a former name is not sent again; what it left on the broker is
    // cleared once, at the next connect.
    std::erase_if(m_retained, [this](const Message& m) { return !owns(m.topic); });
    m_clears.clear();
    for (const QByteArray& topic : m_published) {
        if (!owns(topic))
            m_clears.push_back({topic, QByteArray(), 1, true});
    }
}

std::vector<Message> Publisher::onConnectMessages() const
{
    std::vector<Message> all = m_clears;
    all.insert(all.end(), m_onConnect.begin(), m_onConnect.end());
    all.insert(all.end(), m_retained.begin(), m_retained.end());
    return all;
}

void Publisher::handOnConnect()
{
    const std::vector<Message> all = onConnectMessages();
    // Remembered before it is sent: a retained message may be on the broker from then on.
    TopicSet published = m_published;
    // "online" stands there retained from the connect on.
    if (!m_settings.statusTopic.isEmpty())
        published.insert(m_settings.statusTopic);
    for (const Message& m : all) {
        if (m.retain && !m.payload.isEmpty())
            published.insert(m.topic);
    }
    rememberPublished(published);
    m_link->setOnConnect(all);
}

void Publisher::onConnectAcknowledged()
{
    TopicSet published;
    for (const QByteArray& topic : m_published) {
        if (owns(topic))
            published.insert(topic);
    }
    for (const std::vector<Message>* list : {&m_onConnect, &m_retained}) {
        for (const Message& m : *list) {
            if (m.payload.isEmpty())
                published.erase(m.topic);
            else if (m.retain)
                published.insert(m.topic);
        }
    }
    // The old topics are empty on the broker now: forgotten, and never sent again.
    m_clears.clear();
    rememberPublished(published);
    m_link->setOnConnect(onConnectMessages());
}

void Publisher::rememberPublished(const TopicSet& topics)
{
    if (topics == m_published || !m_app)
        return;
    m_published = topics;
    QString error;
    const QString before = m_fileProblem;
    m_fileProblem = savePublishedTopics(*m_app, m_published, &error)
                        ? QString()
                        : QStringLiteral("MQTT: %1 cannot be written (%2): topics of a former "
                                         "name may stay on the broker.")
                              .arg(publishedCfgPath(*m_app), error);
    if (m_fileProblem != before)
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
    handOnConnect();
    m_link->publishNow(message);
}

void Publisher::withdrawRetained(const QByteArray& topic)
{
    const auto gone = std::remove_if(m_retained.begin(), m_retained.end(),
                                     [&](const Message& m) { return m.topic == topic; });
    if (gone == m_retained.end())
        return;
    m_retained.erase(gone, m_retained.end());
    if (m_link)
        m_link->setOnConnect(onConnectMessages());
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
    QString text = linkStatusText(m_link->status());
    for (const QString& more : {m_warning, m_fileProblem}) {
        if (!more.isEmpty())
            text += QLatin1Char('\n') + more;
    }
    return text;
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
    m_clears.clear();
    m_warning.clear();
}

} // namespace publish
