#pragma once

// The service manager's side of systemd's notify protocol, and the environment a test changes
// for it, for the tests of the notifier and of tessalyd.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
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
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
            if (n >= 0)
                return QByteArray(buffer, int(n));
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return std::nullopt;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            pollfd ready{m_fd, POLLIN, 0};
            ::poll(&ready, 1, 10);
        }
        return std::nullopt;
    }

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
    QTemporaryDir m_dir;
    QByteArray m_path;
    int m_fd = -1;
    bool m_bound = false;
};
