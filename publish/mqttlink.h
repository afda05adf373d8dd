#pragma once

#include "publish/messages.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace publish {

class Session;

// Where and how to connect.
struct LinkSettings
{
    QString host;
    int port = 1883;
    QString user; // empty: no login
    QString password;
    bool tls = false; // verified against the system's certificate authorities and caFile
    QString caFile;   // a PEM file of the user's own certificate authority; empty: none
    // The broker's last will "offline" (retained) is set on this topic, "online" (retained) is
    // sent on it after each connect and "offline" before a clean disconnect. Empty: none of
    // these, as for a connection test.
    QByteArray statusTopic;
    QString clientName; // part of the client id, which gets a random tail: never two alike
    int keepaliveS = 60;
    // Waits between attempts: the first, doubling up to the last. A connection that held for
    // the last wait starts the next series at the first again.
    int firstRetryMs = 1000;
    int lastRetryMs = 60000;
    // A broker that has not accepted the connection (TCP, TLS and the MQTT answer) in this time
    // is given up.
    int answerMs = 10000;

    bool operator==(const LinkSettings&) const = default;
};

// Where the link stands, for the status line the station announces.
struct LinkStatus
{
    enum class State
    {
        Off,          // not started, or stopped
        Connecting,   // looking the host up, connecting, waiting for the broker's answer
        Connected,    // the broker accepted the login
        Retrying,     // the last attempt failed, or the connection was lost
        LoginRefused, // the broker refused the user name or password; retrying all the same
    };
    State state = State::Off;
    QString host;
    int port = 0;
    QString reason;          // what went wrong last (Connecting keeps it from the last try)
    int retryInMs = 0;       // Retrying and LoginRefused: the wait before the next attempt
    std::size_t waiting = 0; // records not yet acknowledged by the broker
    std::size_t dropped = 0; // records dropped to keep within the queue's bound

    bool operator==(const LinkStatus&) const = default;
};

// "MQTT: connected to host:1883", "MQTT: host:1883: retrying in 4 s: Connection refused",
// "MQTT: host:1883: login refused (...); retrying in 60 s. Check User and Password in Publish."
// Off gives an empty text.
QString linkStatusText(const LinkStatus& status);

// One connection to an MQTT broker through libmosquitto (Debian's libmosquitto1, from the
// Mosquitto project: a small C library that is in every distribution beside the broker most
// plant owners run, does MQTT 3.1.1 with TLS, last will and QoS 1, and is safe to publish into
// from a second thread).
//
// The connection lives on a thread of its own: looking the host up, connecting (TLS handshake
// included) and waiting for the broker all happen there, so a broker that is down, slow or
// silent never holds up the user interface thread. Its news (connected, lost, acknowledged)
// comes back as queued calls on this object's thread; publishing from here goes through the
// library's thread-safe publish, which wakes the connection's thread at once.
class MqttLink : public QObject
{
    Q_OBJECT
public:
    // Three days of records at the shortest logging interval (10 s).
    static constexpr std::size_t kDefaultRecordLimit = 3 * 24 * 360;
    static constexpr int kStateIntervalMs = 1000;
    // Records handed to the library and not yet acknowledged, at most.
    static constexpr std::size_t kRecordsInFlight = 10;

    explicit MqttLink(QObject* parent = nullptr);
    ~MqttLink() override;

    // Starts connecting (stopping a connection already started; a status topic given up is
    // emptied rather than told "offline"). Returns at once.
    void start(const LinkSettings& settings);
    // Queues "offline" and the disconnect when connected and returns at once: the connection's
    // thread sends them and ends on its own (a host lookup or connect still running ends later).
    // Nothing the old connection reports after this counts. Records not yet acknowledged stay
    // queued, in order, for the next start.
    void stop();

    // Sent, in this order, after every connect and before "online", any state or any record:
    // the retained discovery configs.
    void setOnConnect(std::vector<Message> messages);
    // One message sent at once while connected (and dropped otherwise).
    void publishNow(const Message& message);

    // The current reading: at most one message every kStateIntervalMs, the latest one winning;
    // while not connected only the latest is kept, and sent on connecting.
    void publishState(const QByteArray& topic, const QByteArray& payload);

    // One log record, QoS 1: queued, and sent in order whenever the broker is reachable; kept
    // until the broker acknowledges it. Beyond the limit the oldest waiting is dropped.
    void publishRecord(const QByteArray& topic, const QByteArray& payload);

    // The records not yet acknowledged, oldest first, leaving the queue empty (to carry them
    // over to another link). Only while stopped.
    std::deque<Message> takeWaitingRecords();
    void setRecordLimit(std::size_t limit) { m_recordLimit = limit; }
    void setStateInterval(int ms) { m_stateInterval = ms; }

    const LinkStatus& status() const { return m_status; }
    bool connected() const { return m_connected; }

signals:
    void statusChanged();
    // The broker acknowledged every on-connect message of the latest connect (at once when
    // there was none to acknowledge; a message the library refused counts as done).
    void onConnectAcknowledged();

private:
    void stopSaying(const QByteArray& goodbye);
    friend class Session;
    struct PendingRecord
    {
        Message message;
        int mid = -1; // the library's message id once handed over
    };

    void onConnecting();
    void onConnected();
    void onPublished(int mid);
    void onWaiting(const QString& reason, int retryInMs, bool loginRefused);

    int send(const Message& message, int* mid = nullptr); // the library's result
    void sendState();
    void handRecords();
    void setStatus(LinkStatus status);
    void countWaiting();

    LinkSettings m_settings;
    LinkStatus m_status;
    std::shared_ptr<Session> m_session;
    int m_generation = 0;
    std::thread m_thread;
    bool m_connected = false;

    std::vector<Message> m_onConnect;
    std::vector<int> m_onConnectMids; // of the latest connect, not yet acknowledged
    std::optional<Message> m_latestState;
    QElapsedTimer m_lastStateSent;
    QTimer m_stateTimer;
    int m_stateInterval = kStateIntervalMs;

    // The records handed to the library are always the first m_inFlight of the queue.
    std::deque<PendingRecord> m_records;
    std::size_t m_inFlight = 0;
    std::size_t m_recordLimit = kDefaultRecordLimit;
    std::size_t m_dropped = 0;
};

} // namespace publish
