#pragma once

#include "web/security.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <vector>

namespace web {

// Qt HTTP Server 6.4 parses the requests but keeps no limit of its own, so this listening
// socket stands in front of it: it counts the connections (the 9th from one address gets 503
// and is closed; past 32 only an address holding none gets in, up to 64 in all, so hosts that
// fill the server cannot keep another out), counts the bytes of
// each request before the library has it (more than 8 KB gets 431), closes a connection idle or
// slow for 10 s (408 when a request was begun) and answers 400 where the library gave up on a
// request it could not parse. It reads no HTTP itself.
class WebGuard : public QTcpServer
{
    Q_OBJECT
public:
    explicit WebGuard(QObject* parent = nullptr);
    ~WebGuard() override;

    // The connections open now.
    int connections() const;

    // The adapter's word on a socket: a whole request was taken from it (its deadline waits for
    // the answer), the answer was written (the idle deadline starts again), or it now carries
    // a stream of events (no deadline).
    static void requestTaken(QTcpSocket* socket);
    static void answered(QTcpSocket* socket);
    static void streaming(QTcpSocket* socket);
    // The answer just written is the last on this connection: nothing more is read from it, and
    // it is closed once the answer is out (or after kIdleMs if the client never takes it).
    static void closeAfterAnswer(QTcpSocket* socket);

    class Socket;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void arrived(Socket* socket);
    void refuse(QTcpSocket* socket, int status);
    void prune();

    std::vector<QPointer<Socket>> m_sockets;
};

// The bytes of a whole response the guard gives itself: the status line, the security headers,
// a short text and "Connection: close".
QByteArray cannedResponse(int status);

} // namespace web
