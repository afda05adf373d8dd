#pragma once

#include "core/appdir.h"
#include "core/quantities.h"
#include "publish/messages.h"
#include "publish/mqttlink.h"
#include "publish/publishconfig.h"
#include "publish/publishedtopics.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace publish {

// The link publish.cfg asks for: the broker, the login, TLS, the client's name and the status
// topic its last will goes to. The retry and answer times are left at their defaults.
LinkSettings linkSettingsFor(const PublishConfig& cfg);

// What the station (station::Station, the plant without a window) holds to publish over MQTT: it
// reads "publish.cfg", keeps one broker link while publishing is on, and turns readings and
// records into messages. With publishing off (no publish.cfg, or Enabled 0) it holds no link,
// builds no message, sends nothing and writes nothing. Nothing here waits on the network: every
// call returns at once.
//
// The station:
// - calls reload(app, wsUnits) at start-up, when it reads its configuration again after Setup
//   (whose WSUnits the messages carry), and after the Publish window has closed;
// - calls onReading(...) after each decoded frame, and onRecord(...) after each log record;
// - puts statusText() (empty while off) into the status it announces, anew on statusChanged().
// The watchers hand it each hour's energy and the alarms' retained states and discovery.
class Publisher : public QObject
{
    Q_OBJECT
public:
    explicit Publisher(QObject* parent = nullptr);
    ~Publisher() override;

    // Reads "publish.cfg" (a missing file means off) and WSUnits from "prog.cfg". Starts,
    // restarts (when a setting changed) or stops the link. Records waiting for the broker are
    // kept across a restart and dropped when publishing is turned off.
    void reload(const core::AppDir& app);
    // The same with WSUnits as the caller read it from "prog.cfg" at its own load.
    void reload(const core::AppDir& app, const QString& wsUnits);

    // One decoded frame: values as the station's reading (volts, amps, watts, rpm, wind
    // speed; the watt-hour place is ignored), the watt-hour total, the mode (1: load on) and the
    // time it was decoded. Sent as the state message, at most once a second, the latest winning.
    void onReading(const core::QuantityValues& reading, double wattHourTotal, std::int16_t mode,
                   const QDateTime& at);

    // One log record: the peaks just written (the logged quantities), its mode and time. Sent
    // with QoS 1, queued while the broker cannot be reached.
    void onRecord(const core::QuantityValues& peaks, std::int16_t mode, const QDateTime& at);

    // A retained message, sent at once while connected and again after every (re)connect; the
    // latest for each topic is kept, also while publishing is off (alarm states, their discovery).
    void publishRetained(const Message& message);
    // No longer sends the topic's retained message at (re)connects; nothing is sent for it now.
    void withdrawRetained(const QByteArray& topic);
    // One clock hour's energy from the ledger, its local date and hour and the offset from UTC
    // then: sent with QoS 1 to ".../energy_hour", queued as the records are.
    void onEnergyHour(QDate date, int hour, int utcOffsetSeconds, double wattHours);

    bool enabled() const { return m_link != nullptr; }
    // "MQTT: connected to host:1883" and the like, with a second line when a password goes
    // without TLS; a problem in publish.cfg; empty while off.
    QString statusText() const;

    // Waits between connection attempts and for the broker's answer (tests shorten them).
    void setRetryTimes(int firstRetryMs, int lastRetryMs, int answerMs);
    const MqttLink* link() const { return m_link.get(); }

signals:
    void statusChanged();

private:
    void stopLink();
    // Whether a topic is the current plant's: under "<base>/<name>/", or Home Assistant's
    // discovery of its device.
    bool owns(const QByteArray& topic) const;
    // The plant's topics from publish.cfg, and the retained topics of another name to clear.
    void ownTopicsOf(const core::AppDir& app, const PublishConfig& cfg);
    std::vector<Message> onConnectMessages() const;
    void handOnConnect();
    void onConnectAcknowledged();
    void rememberPublished(const TopicSet& topics);

    std::unique_ptr<MqttLink> m_link;
    LinkSettings m_settings;
    std::vector<Message> m_onConnect;
    std::vector<Message> m_retained;
    // What may stand on the broker (published.cfg) and the empty messages that clear the topics
    // of a former name at the next connect.
    std::optional<core::AppDir> m_app;
    TopicSet m_published;
    std::vector<Message> m_clears;
    QByteArray m_plantPrefix;
    QByteArray m_idBase;
    QString m_fileProblem;
    Topics m_topics;
    QString m_wsUnits;
    QString m_problem;
    QString m_warning; // a password without TLS
    int m_firstRetryMs = 1000;
    int m_lastRetryMs = 60000;
    int m_answerMs = 10000;
};

} // namespace publish
