#include "alarms/notifier.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace alarms {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// The urgency hint's values: 1 normal, 2 critical (a byte on the bus).
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;

// Nobody owns the service, and the bus could not start one either: its activation files name a
// program that is missing or that fails without a display ("received signal 5"), or it did not
// answer in time.
bool noService(const QDBusMessage& error)
{
    const QString name = error.errorName();
    return name == QDBusError::errorString(QDBusError::ServiceUnknown) ||
           name == QDBusError::errorString(QDBusError::NoReply) ||
           name == QDBusError::errorString(QDBusError::Timeout) ||
           name == QDBusError::errorString(QDBusError::TimedOut) ||
           name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn.")) ||
           name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

Notifier::Notifier(QObject* parent)
    : Notifier(QDBusConnection::sessionBus(), parent)
{}

Notifier::Notifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    check();
}

void Notifier::setStatus(const NotifierStatus& status)
{
    if (status == m_status)
        return;
    m_status = status;
    emit statusChanged();
}

void Notifier::check()
{
    if (!m_bus.isConnected()) {
        const QString why = m_bus.lastError().isValid() ? m_bus.lastError().message()
                                                        : QStringLiteral("none is running");
        setStatus({NotifierStatus::State::NoBus, {}, why});
        return;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, kInterface, QStringLiteral("GetServerInformation"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) { answered(w, 0); });
}

quint64 Notifier::notify(const Notification& n, uint replacesId)
{
    if (!m_bus.isConnected())
        return 0;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(n.critical ? kCritical : kNormal)}};
    call << QCoreApplication::applicationName() << replacesId << QString() << n.summary << n.body
         << QStringList() << hints << n.timeoutMs;
    const quint64 request = ++m_lastRequest;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, request](QDBusPendingCallWatcher* w) { answered(w, request); });
    return request;
}

void Notifier::close(uint id)
{
    if (!m_bus.isConnected() || id == 0)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("CloseNotification"));
    call << id;
    // Nothing to wait for: a notification already gone is as good as closed.
    m_bus.asyncCall(call, kCallTimeoutMs);
}

void Notifier::answered(QDBusPendingCallWatcher* watcher, quint64 request)
{
    watcher->deleteLater();
    const QDBusMessage reply = watcher->reply();
    const QList<QVariant> args = reply.arguments();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        setStatus(noService(reply)
                      ? NotifierStatus{NotifierStatus::State::NoService, {}, reply.errorMessage()}
                      : NotifierStatus{NotifierStatus::State::Failed, {}, reply.errorMessage()});
    } else if (request == 0) {
        const QString server =
            args.value(0).toString() + QLatin1Char(' ') + args.value(2).toString();
        setStatus({NotifierStatus::State::Available, server.trimmed(), {}});
    } else if (!available()) {
        check();
    }
    if (request != 0) {
        const bool shown = reply.type() != QDBusMessage::ErrorMessage && !args.isEmpty();
        emit delivered(request, shown ? args.first().toUInt() : 0u);
    }
}

} // namespace alarms
