#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <optional>

class QTimer;

namespace service {

// Tells systemd how the service stands, through its notify socket ($NOTIFY_SOCKET): ready,
// a one-line status, alive (the watchdog) and stopping. Started any other way (from a terminal,
// by a desktop session) there is no socket, and every call returns at once without a system call.
// Call it from the thread it lives on.
class ServiceNotifier : public QObject
{
    Q_OBJECT
public:
    // Reads $NOTIFY_SOCKET, $WATCHDOG_USEC and $WATCHDOG_PID once; never unsets them. When the
    // watchdog is on for this process, pings start at once from this object's thread.
    explicit ServiceNotifier(QObject* parent = nullptr);

    // "READY=1": the plant is running and a start has finished.
    void ready();
    // "STATUS=<line>": one human line for systemctl status. Line breaks become " / ". A line
    // equal to the last one sent is not sent again.
    void status(const QString& line);
    // "STOPPING=1", and no watchdog ping after it: the close steps have begun.
    void stopping();

    // Whether systemd expects pings from this process, and how often they go (half of
    // $WATCHDOG_USEC); zero when it does not.
    bool watchdogEnabled() const { return m_watchdog != nullptr; }
    std::chrono::microseconds watchdogInterval() const { return m_interval; }

private:
    void send(const QByteArray& message);

    bool m_active = false;
    QTimer* m_watchdog = nullptr;
    std::chrono::microseconds m_interval{0};
    std::optional<QString> m_lastStatus;
    bool m_warned = false;
};

} // namespace service
