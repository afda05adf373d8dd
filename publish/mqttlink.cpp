#include "publish/mqttlink.h"

#include "publish/mqttsession.h"

#include <algorithm>
#include <mosquitto.h>

namespace publish {
namespace {

QString secondsText(int ms)
{
    return QString::number((ms + 999) / 1000);
}

} // namespace

QString linkStatusText(const LinkStatus& s)
{
    using State = LinkStatus::State;
    const QString where = QStringLiteral("%1:%2").arg(s.host).arg(s.port);
    QString text;
    switch (s.state) {
    case State::Off:
        return {};
    case State::Connecting:
        text = QStringLiteral("MQTT: connecting to %1").arg(where);
        if (!s.reason.isEmpty())
            text += QStringLiteral("; last try: %1").arg(s.reason);
        break;
    case State::Connected:
        text = QStringLiteral("MQTT: connected to %1").arg(where);
        break;
    case State::Retrying:
        text = QStringLiteral("MQTT: %1: retrying in %2 s: %3")
                   .arg(where, secondsText(s.retryInMs), s.reason);
        break;
    case State::LoginRefused:
        text = QStringLiteral("MQTT: %1: login refused (%2); retrying in %3 s. Check User and "
                              "Password in Publish.")
                   .arg(where, s.reason, secondsText(s.retryInMs));
        break;
    }
    if (s.waiting > 0) {
        text += s.waiting == 1 ? QStringLiteral("; 1 record waiting")
                               : QStringLiteral("; %1 records waiting").arg(s.waiting);
    }
    if (s.dropped > 0)
        text += QStringLiteral("; %1 oldest records dropped (queue full)").arg(s.dropped);
    return text;
}

MqttLink::MqttLink(QObject* parent)
    : QObject(parent)
{
    m_stateTimer.setSingleShot(true);
    connect(&m_stateTimer, &QTimer::timeout, this, &MqttLink::sendState);
}

MqttLink::~MqttLink()
{
    // Whoever listens may be going away with this link.
    blockSignals(true);
    stop();
}

void MqttLink::start(const LinkSettings& settings)
{
    // A status topic given up for another is emptied, not left saying "offline" for a plant
    // that no longer goes by that name.
    stopSaying(settings.statusTopic == m_settings.statusTopic ? kOffline : QByteArray());
    m_settings = settings;
    m_session = std::make_shared<Session>(settings, this, ++m_generation);
    // The thread holds the session too, so it can finish after this link has gone.
    m_thread = std::thread([session = m_session] { session->run(); });
    LinkStatus status = m_status;
    status.state = LinkStatus::State::Connecting;
    status.host = settings.host;
    status.port = settings.port;
    status.reason.clear();
    setStatus(status);
}

void MqttLink::stop()
{
    stopSaying(kOffline);
}

void MqttLink::stopSaying(const QByteArray& goodbye)
{
    if (!m_session)
        return;
    m_stateTimer.stop();
    if (m_connected && !m_settings.statusTopic.isEmpty())
        send({m_settings.statusTopic, goodbye, 1, true});
    const std::shared_ptr<Session> session = std::move(m_session);
    if (session->handle())
        mosquitto_disconnect(session->handle());
    session->requestStop();
    // The thread sends what was queued last and ends on its own; news it posted before it heard
    // of the stop belongs to this generation and is ignored.
    ++m_generation;
    m_thread.detach();
    m_connected = false;
    m_onConnectMids.clear();
    for (PendingRecord& r : m_records)
        r.mid = -1;
    m_inFlight = 0;
    LinkStatus status = m_status;
    status.state = LinkStatus::State::Off;
    status.reason.clear();
    status.waiting = m_records.size();
    status.dropped = m_dropped;
    setStatus(status);
}

void MqttLink::setOnConnect(std::vector<Message> messages)
{
    m_onConnect = std::move(messages);
}

void MqttLink::publishNow(const Message& message)
{
    if (m_connected)
        send(message);
}

void MqttLink::publishState(const QByteArray& topic, const QByteArray& payload)
{
    m_latestState = Message{topic, payload, 0, false};
    if (!m_connected || m_stateTimer.isActive())
        return;
    const qint64 since = m_lastStateSent.isValid() ? m_lastStateSent.elapsed() : m_stateInterval;
    if (since >= m_stateInterval)
        sendState();
    else
        m_stateTimer.start(int(m_stateInterval - since));
}

void MqttLink::publishRecord(const QByteArray& topic, const QByteArray& payload)
{
    m_records.push_back({Message{topic, payload, 1, false}, -1});
    while (m_records.size() > m_recordLimit && m_inFlight < m_records.size()) {
        m_records.erase(m_records.begin() + std::ptrdiff_t(m_inFlight));
        ++m_dropped;
    }
    handRecords();
    countWaiting();
}

std::deque<Message> MqttLink::takeWaitingRecords()
{
    std::deque<Message> out;
    if (m_session)
        return out;
    for (PendingRecord& r : m_records)
        out.push_back(std::move(r.message));
    m_records.clear();
    countWaiting();
    return out;
}

int MqttLink::send(const Message& message, int* mid)
{
    if (!m_session || !m_session->handle())
        return MOSQ_ERR_NO_CONN;
    return mosquitto_publish(m_session->handle(), mid, message.topic.constData(),
                             int(message.payload.size()), message.payload.constData(), message.qos,
                             message.retain);
}

void MqttLink::sendState()
{
    if (!m_connected || !m_latestState)
        return;
    if (send(*m_latestState) == MOSQ_ERR_SUCCESS) {
        m_latestState.reset();
        m_lastStateSent.start();
    }
}

void MqttLink::handRecords()
{
    while (m_connected && m_session && m_session->handle() && m_inFlight < m_records.size() &&
           m_inFlight < kRecordsInFlight) {
        PendingRecord& next = m_records[m_inFlight];
        const int rc = send(next.message, &next.mid);
        // A QoS 1 message the library took while the connection has just gone (NO_CONN from the
        // library itself) stays in its queue and goes out first after the next connect of this
        // session: it is handed over all the same. Anything else is not in flight.
        if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN) {
            ++m_inFlight;
            continue;
        }
        next.mid = -1;
        if (rc == MOSQ_ERR_NOMEM)
            return;
        // Refused for good (too large, not UTF-8): it would block every record behind it.
        m_records.erase(m_records.begin() + std::ptrdiff_t(m_inFlight));
        ++m_dropped;
    }
}

void MqttLink::onConnecting()
{
    LinkStatus status = m_status;
    status.state = LinkStatus::State::Connecting;
    setStatus(status);
}

void MqttLink::onConnected()
{
    m_connected = true;
    m_onConnectMids.clear();
    for (const Message& m : m_onConnect) {
        int mid = -1;
        if (send(m, &mid) == MOSQ_ERR_SUCCESS && m.qos > 0)
            m_onConnectMids.push_back(mid);
    }
    const bool acknowledged = m_onConnectMids.empty();
    if (!m_settings.statusTopic.isEmpty())
        send({m_settings.statusTopic, kOnline, 1, true});
    if (m_latestState) {
        const Message latest = *m_latestState;
        publishState(latest.topic, latest.payload);
    }
    handRecords();
    LinkStatus status = m_status;
    status.state = LinkStatus::State::Connected;
    status.reason.clear();
    setStatus(status);
    if (acknowledged)
        emit onConnectAcknowledged();
}

void MqttLink::onPublished(int mid)
{
    const auto onConnect = std::find(m_onConnectMids.begin(), m_onConnectMids.end(), mid);
    if (onConnect != m_onConnectMids.end()) {
        m_onConnectMids.erase(onConnect);
        if (m_onConnectMids.empty())
            emit onConnectAcknowledged();
        return;
    }
    const auto handed = m_records.begin() + std::ptrdiff_t(m_inFlight);
    const auto it = std::find_if(m_records.begin(), handed,
                                 [mid](const PendingRecord& r) { return r.mid == mid; });
    if (it == handed)
        return;
    m_records.erase(it);
    --m_inFlight;
    handRecords();
    countWaiting();
}

void MqttLink::onWaiting(const QString& reason, int retryInMs, bool loginRefused)
{
    m_connected = false;
    m_stateTimer.stop();
    LinkStatus status = m_status;
    status.state = loginRefused ? LinkStatus::State::LoginRefused : LinkStatus::State::Retrying;
    status.reason = reason;
    status.retryInMs = retryInMs;
    setStatus(status);
}

void MqttLink::countWaiting()
{
    LinkStatus status = m_status;
    status.waiting = m_records.size();
    status.dropped = m_dropped;
    setStatus(status);
}

void MqttLink::setStatus(LinkStatus status)
{
    if (status == m_status)
        return;
    m_status = std::move(status);
    emit statusChanged();
}

} // namespace publish
