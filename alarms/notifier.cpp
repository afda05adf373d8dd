#include "alarms/notifier.h"

#include <QCoreApplication>
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
const QString kWindowOnly = QStringLiteral("alarms show in the main window only");

// The urgency hint's values: 1 normal, 2 critical (a byte on the bus).
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;

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

void Notifier::setStatus(bool available, const QString& text)
{
    if (available == m_available && text == m_status)
        return;
    m_available = available;
    m_status = text;
    emit statusChanged();
}

void Notifier::check()
{
    if (!m_bus.isConnected()) {
        const QString why = m_bus.lastError().isValid() ? m_bus.lastError().message()
                                                        : QStringLiteral("none is running");
        setStatus(false, QStringLiteral("No desktop notifications: no session D-Bus (%1); %2.")
                             .arg(why, kWindowOnly));
        return;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, kInterface, QStringLiteral("GetServerInformation"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) { answered(w, false); });
}

void Notifier::notify(const Notification& n)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(n.critical ? kCritical : kNormal)}};
    call << QCoreApplication::applicationName() << uint(0) << QString() << n.summary << n.body
         << QStringList() << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) { answered(w, true); });
}

void Notifier::answered(QDBusPendingCallWatcher* watcher, bool isNotify)
{
    watcher->deleteLater();
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        setStatus(false, QStringLiteral("No desktop notifications: no notification service on the "
                                        "session bus (%1); %2.")
                             .arg(reply.errorMessage(), kWindowOnly));
        return;
    }
    const QList<QVariant> args = reply.arguments();
    if (isNotify) {
        if (!m_available)
            check();
        if (!args.isEmpty())
            emit delivered(args.first().toUInt());
        return;
    }
    const QString name = args.value(0).toString();
    const QString version = args.value(2).toString();
    setStatus(true, QStringLiteral("Desktop notifications: %1 %2").arg(name, version).trimmed());
}

} // namespace alarms
