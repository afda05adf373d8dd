#pragma once

// A plain HTTP client over a blocking socket to a loopback address, for the web view's tests: it
// sends exactly the bytes a test gives, so malformed and hostile requests go out as written.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

struct HttpAnswer
{
    int status = 0; // 0: the connection closed without a status line
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QByteArray raw;

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& [key, value] : headers) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        }
        return {};
    }
    bool hasHeader(const QByteArray& name) const
    {
        for (const auto& h : headers) {
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }
};

// Where a connection comes from and goes to: another loopback address (127.0.0.2) is another
// host as the server sees it; to "::1" reaches the IPv6 loopback. A small receive buffer
// (bytes) makes a client that does not read fall behind quickly.
struct WebPeer
{
    const char* from = nullptr; // any
    const char* to = "127.0.0.1";
    int receiveBuffer = 0; // the system's
};

class WebClient
{
public:
    // A safety net only, so a broken server fails the test rather than hanging it.
    static constexpr int kNetSeconds = 20;

    using Peer = WebPeer;

    explicit WebClient(quint16 port, const Peer& peer = {})
    {
        const bool v6 = QByteArray(peer.to).contains(':');
        m_fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        timeval tv{kNetSeconds, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (peer.receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &peer.receiveBuffer,
                         sizeof peer.receiveBuffer);
        if (v6) {
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_port = htons(port);
            ::inet_pton(AF_INET6, peer.to, &address.sin6_addr);
            m_connected =
                ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            m_host = "[" + QByteArray(peer.to) + "]:" + QByteArray::number(port);
            return;
        }
        if (peer.from) {
            sockaddr_in source{};
            source.sin_family = AF_INET;
            ::inet_pton(AF_INET, peer.from, &source.sin_addr);
            ::bind(m_fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        ::inet_pton(AF_INET, peer.to, &address.sin_addr);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        m_host = QByteArray(peer.to) + ":" + QByteArray::number(port);
    }
    ~WebClient() { close(); }
    WebClient(const WebClient&) = delete;
    WebClient& operator=(const WebClient&) = delete;

    bool connected() const { return m_connected; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool send(const QByteArray& bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n =
                ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }
    // Reads until the peer closes, or until a whole answer (head and Content-Length body) is in.
    HttpAnswer read(bool untilClose = false, bool headOnly = false)
    {
        QByteArray raw;
        char buffer[8192];
        for (;;) {
            if (!untilClose && (headOnly ? raw.contains("\r\n\r\n") : whole(raw)))
                break;
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            m_ended = m_ended || n == 0;
            if (n <= 0)
                break;
            raw.append(buffer, n);
        }
        return parse(raw);
    }
    // Reads until the text has come (an event of a stream), or the connection ends.
    QByteArray readUntil(const QByteArray& text)
    {
        char buffer[4096];
        while (!m_pending.contains(text)) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            m_ended = m_ended || n == 0;
            if (n <= 0)
                break;
            m_pending.append(buffer, n);
        }
        const qsizetype at = m_pending.indexOf(text);
        if (at < 0)
            return std::exchange(m_pending, {});
        const QByteArray out = m_pending.left(at + text.size());
        m_pending.remove(0, at + text.size());
        return out;
    }
    // True once a read has met the end of the connection: the server closed it.
    bool ended() const { return m_ended; }
    // True when the server closed the connection (a read gives end of file).
    bool closedByServer()
    {
        char c;
        return ::recv(m_fd, &c, 1, 0) == 0;
    }

    // True once the server has reset the connection, waiting up to ms for it; whatever it sent
    // before is left unread.
    bool resetByServer(int ms = 0)
    {
        pollfd p{m_fd, 0, 0}; // POLLERR and POLLHUP are always reported
        if (::poll(&p, 1, ms) <= 0 || !(p.revents & (POLLERR | POLLHUP)))
            return false;
        tcp_info info{};
        socklen_t size = sizeof info;
        return ::getsockopt(m_fd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
               info.tcpi_state == TCP_CLOSE;
    }

    HttpAnswer get(const QByteArray& target, const QByteArray& extraHeaders = {},
                   const QByteArray& method = "GET")
    {
        send(method + ' ' + target + " HTTP/1.1\r\nHost: " + m_host + "\r\n" + extraHeaders +
             "\r\n");
        return read(false, method == "HEAD");
    }
    void setHost(const QByteArray& host) { m_host = host; }

    static HttpAnswer parse(const QByteArray& raw)
    {
        HttpAnswer a;
        a.raw = raw;
        const qsizetype end = raw.indexOf("\r\n\r\n");
        if (!raw.startsWith("HTTP/1.") || end < 0)
            return a;
        const QList<QByteArray> lines = raw.left(end).split('\n');
        a.status = lines.value(0).split(' ').value(1).toInt();
        for (qsizetype k = 1; k < lines.size(); ++k) {
            const QByteArray line = lines[k].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                a.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        a.body = raw.mid(end + 4);
        return a;
    }

private:
    static bool whole(const QByteArray& raw)
    {
        const qsizetype end = raw.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const HttpAnswer head = parse(raw);
        const QByteArray length = head.header("Content-Length");
        if (length.isEmpty())
            return false;
        return raw.size() - (end + 4) >= length.toLongLong();
    }

    int m_fd = -1;
    bool m_connected = false;
    bool m_ended = false;
    QByteArray m_host;
    QByteArray m_pending;
};
