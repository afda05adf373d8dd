#include "web/webguard.h"

#include <QMetaMethod>
#include <algorithm>

namespace web {

// The library's socket, with the guard's count of the request's bytes and its deadline.
class WebGuard::Socket : public QTcpSocket
{
public:
    explicit Socket(QObject* parent)
        : QTcpSocket(parent)
    {
        m_deadline.setSingleShot(true);
        m_deadline.setInterval(kIdleMs);
    }

    // The library drops every connection of a socket whose request it cannot parse.
    bool libraryListens() const
    {
        return isSignalConnected(QMetaMethod::fromSignal(&QTcpSocket::readyRead));
    }

    qint64 requestBytes = 0;
    bool refused = false;
    QTimer m_deadline;
};

namespace {

WebGuard::Socket* guarded(QTcpSocket* socket);

} // namespace

QByteArray cannedResponse(int status)
{
    const QByteArray body = reasonPhrase(status) + '\n';
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : securityHeaders())
        out += name + ": " + value + "\r\n";
    out += "Content-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    return out;
}

WebGuard::WebGuard(QObject* parent)
    : QTcpServer(parent)
{
    // The kernel's queue holds no more than the guard will take at once.
    setMaxPendingConnections(kMaxConnections);
}

WebGuard::~WebGuard() = default;

int WebGuard::connections() const
{
    return int(std::count_if(m_sockets.begin(), m_sockets.end(), [](const QPointer<Socket>& s) {
        return s && s->state() != QAbstractSocket::UnconnectedState;
    }));
}

void WebGuard::prune()
{
    std::erase_if(m_sockets, [](const QPointer<Socket>& s) {
        return !s || s->state() == QAbstractSocket::UnconnectedState;
    });
}

void WebGuard::incomingConnection(qintptr descriptor)
{
    prune();
    auto socket = std::make_unique<Socket>(this);
    if (!socket->setSocketDescriptor(descriptor))
        return;
    Socket* s = socket.release(); // owned by this server as its child, then by the library
    if (connections() >= kMaxConnections) {
        refuse(s, 503);
        return;
    }
    m_sockets.emplace_back(s);
    connect(&s->m_deadline, &QTimer::timeout, this, [this, s] {
        if (s->state() != QAbstractSocket::ConnectedState)
            return;
        if (s->requestBytes > 0) {
            refuse(s, 408);
        } else {
            s->abort();
            s->deleteLater();
        }
    });
    // Connected before the library's own, so it sees each piece before the library reads it.
    connect(s, &QTcpSocket::readyRead, this, [this, s] { arrived(s); });
    s->m_deadline.start();
    addPendingConnection(s);
}

void WebGuard::arrived(Socket* s)
{
    if (s->refused) {
        s->readAll();
        return;
    }
    s->requestBytes += s->bytesAvailable();
    if (s->requestBytes > kMaxHeadBytes) {
        s->readAll(); // nothing of it reaches the library
        refuse(s, 431);
        return;
    }
    QPointer<Socket> p(s);
    QMetaObject::invokeMethod(
        this,
        [this, p] {
            if (p && !p->refused && p->state() == QAbstractSocket::ConnectedState &&
                !p->libraryListens())
                refuse(p, 400);
        },
        Qt::QueuedConnection);
}

void WebGuard::refuse(QTcpSocket* socket, int status)
{
    if (auto* s = guarded(socket)) {
        if (s->refused)
            return;
        s->refused = true;
        s->m_deadline.stop();
    }
    socket->write(cannedResponse(status));
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    // A client that never reads its answer is not waited for.
    QTimer::singleShot(kIdleMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void WebGuard::requestTaken(QTcpSocket* socket)
{
    if (auto* s = guarded(socket)) {
        s->requestBytes = 0;
        s->m_deadline.stop();
    }
}

void WebGuard::answered(QTcpSocket* socket)
{
    if (auto* s = guarded(socket))
        s->m_deadline.start();
}

void WebGuard::streaming(QTcpSocket* socket)
{
    if (auto* s = guarded(socket))
        s->m_deadline.stop();
}

namespace {

WebGuard::Socket* guarded(QTcpSocket* socket)
{
    return dynamic_cast<WebGuard::Socket*>(socket);
}

} // namespace

} // namespace web
