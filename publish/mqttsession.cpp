#include "publish/mqttsession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mosquitto.h>

namespace publish {
namespace {

void initLibrary()
{
    // Never cleaned up: a connection thread may outlive every link at exit.
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// Brokers drop a client when another connects with the same id, so a test from the Publish
// window, or a second plant of the same name, must never share one.
QString clientId(const QString& name)
{
    QString tail;
    for (const QChar c : name) {
        if (c.isLetterOrNumber() && c.unicode() < 128 && tail.size() < 10)
            tail += c;
    }
    return QStringLiteral("tessaly-%1-%2")
        .arg(tail)
        .arg(QRandomGenerator::global()->bounded(0x1000000), 6, 16, QLatin1Char('0'));
}

// "not authorised" from "Connection Refused: not authorised.".
QString connackReason(int rc)
{
    QString text = QString::fromUtf8(mosquitto_connack_string(rc));
    if (const qsizetype colon = text.indexOf(QLatin1String(": ")); colon >= 0)
        text = text.mid(colon + 2);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QString lossReason(int rc, int err)
{
    switch (rc) {
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("the broker closed the connection");
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
    case MOSQ_ERR_MALFORMED_UTF8:
        return QStringLiteral("the broker sent something that is not MQTT");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("the broker stopped answering");
    case MOSQ_ERR_ERRNO:
        return systemError(err);
    default:
        return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

QString secondsText(int ms)
{
    return QString::number((ms + 999) / 1000);
}

} // namespace

Session::Session(const LinkSettings& settings, MqttLink* receiver, int generation)
    : m_settings(settings)
    , m_generation(generation)
    , m_receiver(receiver)
{
    initLibrary();
    m_mosq = mosquitto_new(clientId(settings.clientName).toUtf8().constData(), true, this);
    if (!m_mosq)
        return;
    // The link publishes from its own thread.
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(
        m_mosq, [](mosquitto*, void* self, int rc) { static_cast<Session*>(self)->connack(rc); });
    mosquitto_publish_callback_set(m_mosq, [](mosquitto*, void* self, int mid) {
        static_cast<Session*>(self)->post([mid](MqttLink& link) { link.onPublished(mid); });
    });
    if (!settings.statusTopic.isEmpty()) {
        mosquitto_will_set(m_mosq, settings.statusTopic.constData(), int(kOffline.size()),
                           kOffline.constData(), 1, true);
    }
    if (!settings.user.isEmpty()) {
        mosquitto_username_pw_set(
            m_mosq, settings.user.toUtf8().constData(),
            settings.password.isEmpty() ? nullptr : settings.password.toUtf8().constData());
    }
    if (settings.tls) {
        // The user's own CA file (a home broker's certificate) beside the system's authorities.
        const QByteArray caFile = QFile::encodeName(settings.caFile);
        m_tlsResult = mosquitto_tls_set(m_mosq, caFile.isEmpty() ? nullptr : caFile.constData(),
                                        "/etc/ssl/certs", nullptr, nullptr, nullptr);
    }
}

Session::~Session()
{
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

void Session::requestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_receiver = nullptr;
    }
    m_wake.notify_all();
}

void Session::run()
{
    int wait = m_settings.firstRetryMs;
    bool first = true;
    if (!m_mosq) {
        post([](MqttLink& link) {
            link.onWaiting(QStringLiteral("the MQTT library cannot be set up"), 0, false);
        });
    }
    while (m_mosq && !stopping()) {
        post([](MqttLink& link) { link.onConnecting(); });
        m_connack = -1;
        QString reason;
        if (m_tlsResult != MOSQ_ERR_SUCCESS) {
            reason =
                QFile(m_settings.caFile).open(QIODevice::ReadOnly) || m_settings.caFile.isEmpty()
                    ? QStringLiteral("TLS cannot be set up: %1")
                          .arg(QString::fromUtf8(mosquitto_strerror(m_tlsResult)))
                    : QStringLiteral("cannot read the CA file %1").arg(m_settings.caFile);
        } else {
            // The lookup blocks this thread only; the TCP connect does not block, and the
            // library's loop (the one its own thread would run) completes it, the TLS handshake
            // included, within answerMs. The first call stores the host; later ones only
            // reconnect, so the socket pair through which the link's publishing wakes this
            // thread stays the same.
            errno = 0;
            const int rc =
                first ? mosquitto_connect_async(m_mosq, m_settings.host.toUtf8().constData(),
                                                m_settings.port, m_settings.keepaliveS)
                      : mosquitto_reconnect_async(m_mosq);
            const int err = errno;
            first = first && rc == MOSQ_ERR_INVAL;
            reason = rc == MOSQ_ERR_SUCCESS ? runConnection(wait) : connectError(rc, err);
        }
        if (stopping())
            break;
        const bool refused = m_connack == 4 || m_connack == 5;
        post([reason, wait, refused](MqttLink& link) { link.onWaiting(reason, wait, refused); });
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::milliseconds(wait), [this] { return m_stop; }))
            break;
        wait = std::min(wait * 2, m_settings.lastRetryMs);
    }
    // Whatever the link queued last ("offline", the disconnect) goes out before the end.
    for (int k = 0; m_mosq && k < 10 && mosquitto_socket(m_mosq) != -1; ++k) {
        if (mosquitto_loop(m_mosq, 50, 1) != MOSQ_ERR_SUCCESS)
            break;
    }
}

bool Session::stopping()
{
    std::lock_guard lock(m_mutex);
    return m_stop;
}

// Runs f on the link's thread, unless the link has started another session meanwhile (the
// library numbers each session's messages from 1 again).
template <typename F> void Session::post(F f)
{
    std::lock_guard lock(m_mutex);
    MqttLink* link = m_receiver;
    if (!link)
        return;
    QMetaObject::invokeMethod(
        link,
        [link, f, generation = m_generation] {
            if (link->m_generation == generation)
                f(*link);
        },
        Qt::QueuedConnection);
}

void Session::connack(int rc)
{
    m_connack = rc;
    if (rc == 0)
        post([](MqttLink& link) { link.onConnected(); });
}

// Runs the connection until it ends; the reason it ended. A connection that held for the
// longest wait starts the waits afresh.
QString Session::runConnection(int& wait)
{
    QElapsedTimer since;
    since.start();
    QElapsedTimer up;
    while (!stopping()) {
        // Until the broker answers, the deadline is looked at often; after, the library's own
        // keepalive decides and the link's publishing wakes the loop.
        const int timeout =
            m_connack == 0 ? 5000 : std::clamp(m_settings.answerMs - int(since.elapsed()), 1, 200);
        errno = 0;
        const int rc = mosquitto_loop(m_mosq, timeout, 1);
        const int err = errno;
        if (m_connack == 0 && !up.isValid())
            up.start();
        if (m_connack > 0) {
            closeSocket();
            return connackReason(m_connack);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            if (up.isValid() && up.elapsed() >= m_settings.lastRetryMs)
                wait = m_settings.firstRetryMs;
            return lossReason(rc, err);
        }
        if (!up.isValid() && since.elapsed() >= m_settings.answerMs) {
            closeSocket();
            return QStringLiteral("no answer from the broker within %1 s")
                .arg(secondsText(m_settings.answerMs));
        }
    }
    return {};
}

void Session::closeSocket()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop(m_mosq, 0, 1);
}

QString Session::connectError(int rc, int err) const
{
    switch (rc) {
    case MOSQ_ERR_EAI:
        return QStringLiteral("cannot find the host \"%1\"").arg(m_settings.host);
    case MOSQ_ERR_ERRNO:
        return systemError(err);
    case MOSQ_ERR_TLS:
        return QStringLiteral("the TLS handshake failed (is TLS on at this port, and is the "
                              "broker's certificate valid for this host?)");
    default:
        return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

} // namespace publish
