#pragma once

// A port for a server that another program or thread opens a moment later. A port the system
// hands out (bind to port 0, or the source port of a connection) may be handed to another test
// running beside this one before that server listens, so it is taken below the system's range
// for those, where nothing is handed out: only another test's own choice could meet it, and the
// process id spreads the tests over the room.

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

inline quint16 freePort(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost))
{
    constexpr int kRoom = 12000;
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    const int low =
        range.open(QIODevice::ReadOnly) ? range.readAll().simplified().split(' ')[0].toInt() : 0;
    if (low > kRoom + 1024) {
        static int next = int(QCoreApplication::applicationPid() % 1000) * (kRoom / 1000);
        for (int k = 0; k < kRoom; ++k) {
            const auto port = quint16(low - kRoom + next++ % kRoom);
            QTcpServer probe;
            if (probe.listen(address, port))
                return port;
        }
    }
    QTcpServer probe;
    return probe.listen(address, 0) ? probe.serverPort() : 0;
}
