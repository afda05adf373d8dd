#pragma once

#include "alarms/alarmtexts.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

namespace alarms {

// Desktop notifications through the freedesktop notification service on the session D-Bus
// (org.freedesktop.Notifications.Notify), with the program's name as the app name. Every call
// is asynchronous: a slow or missing service never holds up the window's thread; its answers
// come back as delivered() and status().
class Notifier : public QObject
{
    Q_OBJECT
public:
    // The answer a call waits for at the most, off the window's thread.
    static constexpr int kCallTimeoutMs = 5000;

    // On the user's session bus.
    explicit Notifier(QObject* parent = nullptr);
    // On a bus of the caller's (a test's own).
    explicit Notifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Sends it, in the place of the notification the service numbered replacesId (0: a new one).
    // Returns the number of this request, which delivered() names; 0 when nothing was sent (no
    // bus).
    quint64 notify(const Notification& n, uint replacesId = 0);
    // Takes the notification the service numbered id off the desktop.
    void close(uint id);
    // Asks the service who it is (GetServerInformation); status() follows.
    void check();

    const NotifierStatus& status() const { return m_status; }
    bool available() const { return m_status.state == NotifierStatus::State::Available; }

signals:
    void statusChanged();
    // The answer to a notify() request: the service's number for the notification, or 0 when
    // it was not shown (status() then says why).
    void delivered(quint64 request, uint id);

private:
    void answered(QDBusPendingCallWatcher* watcher, quint64 request);
    void setStatus(const NotifierStatus& status);

    QDBusConnection m_bus;
    NotifierStatus m_status;
    quint64 m_lastRequest = 0;
};

} // namespace alarms
