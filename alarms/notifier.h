#pragma once

#include "alarms/alarmtexts.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

namespace alarms {

// Desktop notifications through the freedesktop notification service on the session D-Bus
// (org.freedesktop.Notifications.Notify), with the program's name as the app name. Every call
// is asynchronous: a slow or missing service never holds up the window's thread; its answer
// only updates statusText().
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

    // Sends it; nothing is sent without a bus.
    void notify(const Notification& n);
    // Asks the service who it is (GetServerInformation); statusText() follows.
    void check();

    // "Desktop notifications: dunst 1.9.0", or why there are none, as the Alarms window says it.
    QString statusText() const { return m_status; }
    bool available() const { return m_available; }

signals:
    void statusChanged();
    // The service took a notification and gave it this id.
    void delivered(uint id);

private:
    void answered(QDBusPendingCallWatcher* watcher, bool isNotify);
    void setStatus(bool available, const QString& text);

    QDBusConnection m_bus;
    QString m_status;
    bool m_available = false;
};

} // namespace alarms
