#include "service/servicenotifier.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

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
        while (waited.elapsed() < 10'000) {
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

// A systemd start of this process: NOTIFY_SOCKET leads to socket, the watchdog as given.
struct ServiceStart
{
    ServiceStart(const NotifySocket& socket, std::optional<QByteArray> watchdogUsec,
                 std::optional<QByteArray> watchdogPid)
        : notify("NOTIFY_SOCKET", socket.path())
        , usec("WATCHDOG_USEC", std::move(watchdogUsec))
        , pid("WATCHDOG_PID", std::move(watchdogPid))
    {}
    ScopedEnv notify;
    ScopedEnv usec;
    ScopedEnv pid;
};

QByteArray thisPid()
{
    return QByteArray::number(qint64(::getpid()));
}

TEST(ServiceNotifier, ReadyStatusAndStoppingArriveAsSent)
{
    NotifySocket socket;
    ASSERT_TRUE(socket.bound()) << socket.path().constData();
    ServiceStart start(socket, std::nullopt, std::nullopt);
    service::ServiceNotifier notifier;
    EXPECT_FALSE(notifier.watchdogEnabled());

    notifier.ready();
    EXPECT_EQ(socket.next(), QByteArray("READY=1"));
    notifier.status(QStringLiteral("Logging to /var/lib/tessaly every 60 s"));
    EXPECT_EQ(socket.next(), QByteArray("STATUS=Logging to /var/lib/tessaly every 60 s"));
    notifier.stopping();
    EXPECT_EQ(socket.next(), QByteArray("STOPPING=1"));
}

TEST(ServiceNotifier, StatusIsOneLineAndSentOnlyWhenItChanges)
{
    NotifySocket socket;
    ASSERT_TRUE(socket.bound()) << socket.path().constData();
    ServiceStart start(socket, std::nullopt, std::nullopt);
    service::ServiceNotifier notifier;

    struct Case
    {
        QString line;
        std::optional<QByteArray> sent; // nothing when it equals the status before it
    } cases[] = {
        {QStringLiteral("No data since 14:05:07"), "STATUS=No data since 14:05:07"},
        {QStringLiteral("No data since 14:05:07"), std::nullopt},
        {QStringLiteral("Port 1 lost\nretrying"), "STATUS=Port 1 lost / retrying"},
        {QStringLiteral("Port 1 lost\nretrying"), std::nullopt},
        {QStringLiteral("Port 1 lost / retrying"), std::nullopt},
        {QStringLiteral("a\r\nb\rc\n"), "STATUS=a / b / c / "},
        {QStringLiteral("Windmühle 230 W"), QByteArray("STATUS=Windm\xc3\xbchle 230 W")},
        {QString(), "STATUS="},
        {QStringLiteral(""), std::nullopt},
        {QStringLiteral("No data since 14:05:07"), "STATUS=No data since 14:05:07"},
    };
    int marker = 0;
    for (const Case& c : cases) {
        notifier.status(c.line);
        // A marker of the test's own after each call: what came before it is what the call sent.
        const QByteArray mark = "marker " + QByteArray::number(++marker);
        socket.mark(mark);
        std::vector<QByteArray> expected;
        if (c.sent)
            expected.push_back(*c.sent);
        expected.push_back(mark);
        EXPECT_EQ(socket.until(mark), expected) << c.line.toStdString();
    }
}

TEST(ServiceNotifier, WatchdogPingsAtHalfTheLimitUntilStopping)
{
    NotifySocket socket;
    ASSERT_TRUE(socket.bound()) << socket.path().constData();
    ServiceStart start(socket, "200000", thisPid());
    service::ServiceNotifier notifier;
    ASSERT_TRUE(notifier.watchdogEnabled());
    EXPECT_EQ(notifier.watchdogInterval(), 100ms);
    auto* timer = notifier.findChild<QTimer*>(QStringLiteral("watchdog"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->intervalAsDuration(), 100ms);
    EXPECT_TRUE(timer->isActive());

    for (int ping = 1; ping <= 3; ++ping)
        EXPECT_EQ(socket.next(), QByteArray("WATCHDOG=1")) << "ping " << ping;

    notifier.stopping();
    EXPECT_FALSE(timer->isActive());
    // The marker goes from a timer due after two intervals; a ping still due would fire first.
    QTimer::singleShot(2 * timer->intervalAsDuration(), Qt::PreciseTimer, &notifier,
                       [&socket] { socket.mark("marker"); });
    std::vector<QByteArray> got = socket.until("marker");
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got.back(), QByteArray("marker"));
    EXPECT_EQ(got[got.size() - 2], QByteArray("STOPPING=1"));
    for (size_t i = 0; i + 2 < got.size(); ++i)
        EXPECT_EQ(got[i], QByteArray("WATCHDOG=1")) << "datagram " << i;
}

TEST(ServiceNotifier, WatchdogOfAnotherProcessIsNotOurs)
{
    NotifySocket socket;
    ASSERT_TRUE(socket.bound()) << socket.path().constData();
    ServiceStart start(socket, "200000", QByteArray::number(qint64(::getppid())));
    service::ServiceNotifier notifier;
    EXPECT_FALSE(notifier.watchdogEnabled());
    EXPECT_EQ(notifier.watchdogInterval(), 0us);
    EXPECT_EQ(notifier.findChild<QTimer*>(QStringLiteral("watchdog")), nullptr);
    // The variables are read, never taken away from a child the plant may start.
    EXPECT_EQ(qgetenv("WATCHDOG_USEC"), QByteArray("200000"));
    EXPECT_EQ(qgetenv("NOTIFY_SOCKET"), socket.path());
}

TEST(ServiceNotifier, WithoutSystemdEveryCallIsNothing)
{
    ScopedEnv notify("NOTIFY_SOCKET", std::nullopt);
    ScopedEnv usec("WATCHDOG_USEC", "200000");
    ScopedEnv pid("WATCHDOG_PID", thisPid());
    service::ServiceNotifier notifier;
    EXPECT_FALSE(notifier.watchdogEnabled());
    EXPECT_EQ(notifier.watchdogInterval(), 0us);
    EXPECT_EQ(notifier.findChild<QTimer*>(QStringLiteral("watchdog")), nullptr);
    notifier.ready();
    notifier.status(QStringLiteral("Logging"));
    notifier.stopping();
}

QStringList g_warnings;

void keepWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg)
        g_warnings << message;
}

TEST(ServiceNotifier, ASocketThatIsGoneIsReportedOnce)
{
    QTemporaryDir dir;
    ScopedEnv notify("NOTIFY_SOCKET", QFile::encodeName(dir.filePath(QStringLiteral("gone"))));
    ScopedEnv usec("WATCHDOG_USEC", std::nullopt);
    service::ServiceNotifier notifier;
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarning);
    notifier.ready();
    notifier.status(QStringLiteral("Logging"));
    qInstallMessageHandler(previous);
    ASSERT_EQ(g_warnings.size(), 1) << g_warnings.join(u'\n').toStdString();
    EXPECT_TRUE(g_warnings[0].startsWith(QLatin1String("Cannot tell systemd \"READY=1\": ")))
        << g_warnings[0].toStdString();
}

} // namespace
