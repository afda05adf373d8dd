#pragma once

// The service manager's side of systemd's notify protocol, and the environment a test changes
// for it, for the tests of the notifier and of tessalyd.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

// One environment variable set (or unset) for a test and put back as it was when the test ends,
// so a test run under systemd keeps its own NOTIFY_SOCKET for the runner.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value)
        : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_old = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

// The service manager's end: a datagram socket bound in a temporary folder, as systemd's is.
class NotifySocket
{
public:
    NotifySocket()
    {
        m_path = QFile::encodeName(m_dir.filePath(QStringLiteral("notify")));
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_fd < 0 || size_t(m_path.size()) >= sizeof(address.sun_path))
            return;
        std::copy(m_path.begin(), m_path.end(), address.sun_path);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        // Each datagram carries the moment it was sent, whenever the test comes to read it.
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on));
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return m_bound; }
    const QByteArray& path() const { return m_path; }

    // The next datagram, with the event loop running while it waits. The time limit only ends a
    // failing test; a passing one returns as soon as the datagram is there.
    std::optional<QByteArray> next()
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20'000) {
            if (std::optional<QByteArray> datagram = receive())
                return datagram;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return std::nullopt;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            pollfd ready{m_fd, POLLIN, 0};
            ::poll(&ready, 1, 10);
        }
        return std::nullopt;
    }
    // When the datagram next() returned last was sent, in nanoseconds of the kernel's clock: the
    // pace of what a service sends, however long the datagrams waited to be read.
    qint64 sentNs() const { return m_sentNs; }

    // Every datagram waiting now, without waiting for more. A service blocks on a full queue
    // (ten datagrams), so a test that lets one run reads on.
    std::vector<QByteArray> drain()
    {
        std::vector<QByteArray> got;
        char buffer[4096];
        for (ssize_t n; (n = ::recv(m_fd, buffer, sizeof(buffer), 0)) >= 0;)
            got.emplace_back(buffer, int(n));
        return got;
    }

    // The datagrams up to and including the first that equals last.
    std::vector<QByteArray> until(const QByteArray& last)
    {
        std::vector<QByteArray> got;
        while (std::optional<QByteArray> datagram = next()) {
            got.push_back(*datagram);
            if (*datagram == last)
                break;
        }
        return got;
    }

    // A datagram of the test's own into the same queue, to mark a point in what arrives.
    void mark(const QByteArray& marker) const
    {
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy(m_path.begin(), m_path.end(), address.sun_path);
        ::sendto(fd, marker.constData(), size_t(marker.size()), 0,
                 reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        ::close(fd);
    }

private:
    // One datagram if one is waiting, with its time of sending kept; errno says why not.
    std::optional<QByteArray> receive()
    {
        char buffer[4096];
        iovec piece{buffer, sizeof(buffer)};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr message{};
        message.msg_iov = &piece;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        const ssize_t n = ::recvmsg(m_fd, &message, 0);
        if (n < 0)
            return std::nullopt;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec at{};
                std::memcpy(&at, CMSG_DATA(c), sizeof(at));
                m_sentNs = qint64(at.tv_sec) * 1'000'000'000 + at.tv_nsec;
            }
        }
        return QByteArray(buffer, int(n));
    }

    QTemporaryDir m_dir;
    QByteArray m_path;
    int m_fd = -1;
    bool m_bound = false;
    qint64 m_sentNs = -1;
};
