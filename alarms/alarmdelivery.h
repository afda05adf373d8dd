#pragma once

#include "alarms/alarmlog.h"
#include "alarms/alarmmonitor.h"
#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <optional>

namespace publish {
class Publisher;
}

namespace alarms {

class Notifier;

// Takes each change of an AlarmMonitor to the alarm log, the desktop (unless silenced or Notify
// is off; a clear takes the place of its raise there, or takes the raise away when silenced)
// and MQTT (retained "ON"/"OFF" through the publisher, which sends it while publishing
// is on). An alarm's state goes to MQTT only once it is known (evaluated, or restored from the
// log), so a start never tells Home Assistant of a clear that did not happen. The notifier and
// the publisher may be null.
class AlarmDelivery : public QObject
{
    Q_OBJECT
public:
    // Hands the log line on, for a worker that appends the program's records; without one the
    // line is appended here, synced, on this thread.
    using LogSink = std::function<void(logging::FileWrite)>;

    AlarmDelivery(const core::AppDir& app, AlarmMonitor& monitor, Notifier* notifier,
                  publish::Publisher* publisher, LogSink log = {}, QObject* parent = nullptr);

    // An alarm's latest line in the log is taken as its state at a start when it is no older
    // than this: the plant seldom changes overnight unseen, and older lines say little of now.
    static constexpr qint64 kRestoreWithinS = 24 * 3600;

    // Reads publish.cfg's topics and prog.cfg's WSUnits again and hands the publisher every
    // alarm's discovery config (or its removal) and the state of each alarm that is known. Call
    // it at start and after the Alarms, Publish or Setup window has closed (after the monitor has
    // its new settings).
    void reload();
    // Each alarm that is on and not yet known takes its latest line of logs/alarms.txt (read by
    // readLastLoggedStates) as its state when the line is from the kRestoreWithinS before now;
    // call it once at start, after reload().
    void restoreFromLog(const std::vector<LoggedState>& states, const QDateTime& now);

    // Why the latest alarm line could not be appended here; empty when it could.
    QString logProblem() const { return m_logProblem; }

private:
    // The desktop's notification of one alarm: the request not answered yet (0: none), the
    // service's number for what it shows (0: nothing), and a clear waiting for that number.
    struct Shown
    {
        quint64 request = 0;
        uint id = 0;
        std::optional<Notification> clear;
    };

    void onChanged(Kind kind, bool raised, double value, const QDateTime& since);
    void notifyChange(Kind kind, bool raised, const Notification& n);
    void onDelivered(quint64 request, uint id);
    void publishState(Kind kind, bool raised);

    core::AppDir m_app;
    AlarmMonitor& m_monitor;
    QPointer<Notifier> m_notifier;
    QPointer<publish::Publisher> m_publisher;
    LogSink m_log;
    QString m_baseTopic;
    QString m_name;
    QString m_wsUnits;
    QString m_logProblem;
    std::array<Shown, kKindCount> m_shown{};
};

} // namespace alarms
