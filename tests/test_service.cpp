#include "service/servicenotifier.h"
#include "tests/notifysocket.h"

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
