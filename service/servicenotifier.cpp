#include "service/servicenotifier.h"

#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <systemd/sd-daemon.h>

namespace service {

ServiceNotifier::ServiceNotifier(QObject* parent)
    : QObject(parent)
    , m_active(!qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
{
    std::uint64_t usec = 0;
    if (!m_active || sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    m_interval = std::chrono::microseconds(usec / 2);
    m_watchdog = new QTimer(this);
    m_watchdog->setObjectName(QStringLiteral("watchdog"));
    // Whole milliseconds rounded down, so a ping is never later than half the limit.
    m_watchdog->setInterval(std::max(std::chrono::milliseconds(1),
                                     std::chrono::floor<std::chrono::milliseconds>(m_interval)));
    m_watchdog->setTimerType(Qt::PreciseTimer);
    // The pings run in the plant's own event loop, so a stuck plant stops them and gets restarted.
    connect(m_watchdog, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    m_watchdog->start();
}

void ServiceNotifier::ready()
{
    if (m_active)
        send("READY=1");
}

void ServiceNotifier::status(const QString& line)
{
    if (!m_active)
        return;
    QString text = line;
    text.replace(QLatin1String("\r\n"), QLatin1String(" / "));
    text.replace(QLatin1Char('\n'), QLatin1String(" / "));
    text.replace(QLatin1Char('\r'), QLatin1String(" / "));
    if (text == m_lastStatus)
        return;
    m_lastStatus = text;
    send("STATUS=" + text.toUtf8());
}

void ServiceNotifier::stopping()
{
    if (!m_active)
        return;
    if (m_watchdog)
        m_watchdog->stop();
    send("STOPPING=1");
}

void ServiceNotifier::send(const QByteArray& message)
{
    const int result = sd_notify(0, message.constData());
    if (result >= 0 || m_warned)
        return;
    // Once: a socket that has gone away would otherwise fill the journal at each ping.
    m_warned = true;
    qWarning("Cannot tell systemd \"%s\": %s", message.constData(), std::strerror(-result));
}

} // namespace service
