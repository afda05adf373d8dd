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
    QHostAddress peer;
    QTimer m_deadline;
};

namespace {

WebGuard::Socket* guarded(QTcpSocket* socket);

bool live(const QPointer<WebGuard::Socket>& s)
{
    return s && s->state() != QAbstractSocket::UnconnectedState;
}

// One host is one address whichever way it came: an IPv4 peer of the dual-stack socket is
// seen as ::ffff:a.b.c.d.
QHostAddress hostOf(const QHostAddress& address)
{
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ipv4) : address;
}

// Closes a connection once what was written to it is out; a client that never reads it is not
// waited for.
void closeWhenWritten(QTcpSocket* socket)
{
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    QTimer::singleShot(kIdleMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

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
    setMaxPendingConnections(kMaxSockets);
}

WebGuard::~WebGuard() = default;

int WebGuard::connections() const
{
    return int(std::count_if(m_sockets.begin(), m_sockets.end(), live));
}

void WebGuard::prune()
{
    std::erase_if(m_sockets, [](const QPointer<Socket>& s) { return !live(s); });
}

void WebGuard::incomingConnection(qintptr descriptor)
{
    prune();
    auto socket = std::make_unique<Socket>(this);
    if (!socket->setSocketDescriptor(descriptor))
        return;
    Socket* s = socket.release(); // owned by this server as its child, then by the library
    s->peer = hostOf(s->peerAddress());
    const auto fromPeer =
        std::count_if(m_sockets.begin(), m_sockets.end(),
                      [s](const QPointer<Socket>& o) { return live(o) && o->peer == s->peer; });
    // Past the shared bound, the room left up to the hard one is for addresses holding none,
    // one each: the hosts that filled the server cannot keep another out.
    const int open = connections();
    if (open >= kMaxSockets || fromPeer >= kMaxPerAddress ||
        (open >= kMaxConnections && fromPeer > 0)) {
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
    closeWhenWritten(socket);
}

void WebGuard::closeAfterAnswer(QTcpSocket* socket)
{
    if (auto* s = guarded(socket)) {
        if (s->refused)
            return;
        s->refused = true;
        s->m_deadline.stop();
    }
    closeWhenWritten(socket);
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
