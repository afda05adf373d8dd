#include "alarms/alarmdelivery.h"
#include "alarms/alarmmonitor.h"
#include "alarms/alarmswindow.h"
#include "alarms/notifier.h"
#include "publish/publishconfig.h"
#include "publish/publisher.h"
#include "tests/envguard.h"
#include "tests/fixture.h"
#include "tests/freeport.h"

#include <QDBusConnection>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <algorithm>

namespace {

using alarms::Kind;

// A session bus of the test's own, and on it dunst on a virtual display of its own.
class SessionBus : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        for (const char* tool : {"dbus-daemon", "dbus-monitor", "dunst", "Xvfb"}) {
            if (!QStandardPaths::findExecutable(tool).isEmpty())
                continue;
            SKIP_OR_FAIL_IN_CI(tool
                               << " is not installed (Debian: dbus-daemon, dbus-bin, dunst, xvfb)");
        }
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        ASSERT_TRUE(m_bus.waitForStarted());
        ASSERT_TRUE(waitFor([&] { return m_bus.canReadLine(); }, 10000));
        m_address = QString::fromLatin1(m_bus.readLine()).trimmed();
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(m_address, QStringLiteral("alarms-test")));
        ASSERT_TRUE(m_connection->isConnected());
    }
    void TearDown() override
    {
        for (QProcess* p : {&m_monitor, &m_dunst, &m_display, &m_bus}) {
            p->terminate();
            p->waitForFinished(3000);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("alarms-test"));
        AppDirTest::TearDown();
    }
    void startDunst()
    {
        // The server picks a free display itself and says which on its standard output, so two
        // runs side by side never meet on one.
        m_display.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        ASSERT_TRUE(m_display.waitForStarted());
        QByteArray number;
        ASSERT_TRUE(waitFor(
            [&] {
                m_display.waitForReadyRead(100);
                number += m_display.readAllStandardOutput();
                return number.endsWith('\n');
            },
            10000));
        const QString display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_dunst.setProcessEnvironment(env);
        m_dunst.setProcessChannelMode(QProcess::MergedChannels);
        // The display takes a moment to accept; dunst ends when it cannot open it.
        ASSERT_TRUE(waitFor(
            [&] {
                if (m_dunst.state() == QProcess::NotRunning) {
                    m_dunst.start("dunst", {});
                    m_dunst.waitForStarted();
                }
                QThread::msleep(100);
                return m_dunst.state() == QProcess::Running;
            },
            10000));
    }

    // Watches the bus for the calls to the notification service, as dbus-monitor prints them;
    // returns once it watches.
    void startMonitor()
    {
        m_monitor.start("dbus-monitor",
                        {"--address", m_address,
                         "type='method_call',interface='org.freedesktop.Notifications'"});
        ASSERT_TRUE(m_monitor.waitForStarted());
        // Becoming a monitor, it loses its own name on the bus, and says so.
        ASSERT_TRUE(waitFor(
            [&] {
                m_monitored += m_monitor.readAllStandardOutput();
                return m_monitored.contains("member=NameLost");
            },
            10000))
            << m_monitor.readAllStandardError().toStdString();
    }
    // The calls of one method seen so far, each as its argument lines, trimmed.
    std::vector<QList<QByteArray>> calls(const QByteArray& member)
    {
        m_monitored += m_monitor.readAllStandardOutput();
        std::vector<QList<QByteArray>> out;
        bool inCall = false;
        for (const QByteArray& raw : m_monitored.split('\n')) {
            const QByteArray line = raw.trimmed();
            static const char* const heads[] = {"method call", "method return", "signal", "error"};
            if (std::any_of(std::begin(heads), std::end(heads),
                            [&](const char* head) { return line.startsWith(head); })) {
                inCall = line.endsWith("member=" + member);
                if (inCall)
                    out.emplace_back();
            } else if (inCall && !line.isEmpty()) {
                out.back().append(line);
            }
        }
        return out;
    }

    QProcess m_bus, m_display, m_dunst, m_monitor;
    QByteArray m_monitored;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_connection;
};

// One Notify call as dbus-monitor shows it.
struct NotifyCall
{
    uint replaces = 0;
    int urgency = -1;
    int timeoutMs = 0;
    QByteArray summary;
    bool whole = false; // its last argument, the timeout, has been printed
};

NotifyCall notifyCall(const QList<QByteArray>& lines)
{
    NotifyCall call;
    int strings = 0;
    for (const QByteArray& line : lines) {
        if (line.startsWith("uint32 ") && call.replaces == 0)
            call.replaces = line.mid(7).toUInt();
        if (line.startsWith("string \"") && strings++ == 2)
            call.summary = line.mid(8).chopped(1);
        if (line.startsWith("variant") && line.contains("byte "))
            call.urgency = line.mid(line.indexOf("byte ") + 5).toInt();
        if (line.startsWith("int32 ")) {
            call.timeoutMs = line.mid(6).toInt();
            call.whole = true;
        }
    }
    return call;
}

TEST_F(SessionBus, WithoutANotificationServiceTheWindowSaysSoInPlainWords)
{
    alarms::Notifier notifier(*m_connection);
    // The bus may try to start the service from its activation file and fail: that is an
    // answer too.
    ASSERT_TRUE(waitFor(
        [&] { return notifier.status().state != alarms::NotifierStatus::State::Asking; }, 30000));
    EXPECT_EQ(notifier.status().state, alarms::NotifierStatus::State::NoService)
        << notifier.status().detail.toStdString();
    const EnvGuard bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    alarms::Alarms window(m_app);
    window.setNotifier(&notifier);
    const QString status = window.controls().Status->text();
    EXPECT_TRUE(status.contains("No notification service is running on this desktop; alarms "
                                "still show here and in logs/alarms.txt"))
        << status.toStdString();
    EXPECT_FALSE(status.contains("signal")) << status.toStdString();
}

// The clear takes the place of its raise on the desktop, at normal urgency and for 10 s; a
// clear while silenced takes the raise away instead.
TEST_F(SessionBus, AClearTakesThePlaceOfItsRaise)
{
    startDunst();
    startMonitor();
    alarms::Notifier notifier(*m_connection);
    ASSERT_TRUE(waitFor([&] { return notifier.available(); }, 15000))
        << alarms::notifierStatusText(notifier.status()).toStdString();
    std::vector<uint> ids;
    QObject::connect(&notifier, &alarms::Notifier::delivered,
                     [&](quint64, uint id) { ids.push_back(id); });
    alarms::AlarmMonitor monitor;
    alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
    c[Kind::BattLow] = {true, 11.8, 0.3, 10};
    monitor.setConfig(c);
    alarms::AlarmDelivery delivery(m_app, monitor, &notifier, nullptr, [](logging::FileWrite) {});
    const QDateTime start(QDate(2024, 3, 7), QTime(14, 5, 0));
    auto frames = [&](int from, int to, double volts) {
        for (int s = from; s < to; ++s) {
            core::QuantityValues v{};
            v[core::kVolts] = volts;
            monitor.onReading(v, s * 1000LL, start.addSecs(s));
        }
    };
    // The clear comes before the raise is answered: it waits for the raise's number.
    frames(0, 11, 11.6);
    frames(11, 12, 12.2);
    ASSERT_TRUE(waitFor([&] { return ids.size() == 2; }, 10000));
    ASSERT_NE(ids[0], 0u);
    EXPECT_EQ(ids[1], ids[0]) << "the service keeps the number it replaces";
    std::vector<NotifyCall> seen;
    ASSERT_TRUE(waitFor(
        [&] {
            seen.clear();
            for (const auto& lines : calls("Notify"))
                seen.push_back(notifyCall(lines));
            return seen.size() == 2 && seen[1].whole;
        },
        10000))
        << m_monitored.toStdString();
    EXPECT_EQ(seen[0].replaces, 0u);
    EXPECT_EQ(seen[0].urgency, 2) << "Battery low is critical";
    EXPECT_EQ(seen[0].summary, "Battery low: 11.6 V");
    EXPECT_EQ(seen[1].replaces, ids[0]);
    EXPECT_EQ(seen[1].urgency, 1);
    EXPECT_EQ(seen[1].timeoutMs, alarms::kClearShownMs);
    EXPECT_EQ(seen[1].summary, "Battery low cleared: 12.2 V");

    frames(12, 23, 11.6);
    ASSERT_TRUE(waitFor([&] { return ids.size() == 3; }, 10000));
    monitor.silence(Kind::BattLow);
    frames(23, 24, 12.2);
    ASSERT_TRUE(waitFor([&] { return !calls("CloseNotification").empty(); }, 10000));
    const QList<QByteArray> close = calls("CloseNotification").front();
    ASSERT_FALSE(close.isEmpty());
    EXPECT_EQ(close.front(), "uint32 " + QByteArray::number(ids[2]));
    EXPECT_EQ(calls("Notify").size(), 3u) << "silenced: no clear of its own";
}

// The window's test line follows its own test only, not the alarms that share its notifier.
TEST_F(SessionBus, RealAlarmsAreNotTakenForTheWindowsTest)
{
    startDunst();
    alarms::Notifier notifier(*m_connection);
    ASSERT_TRUE(waitFor([&] { return notifier.available(); }, 15000));
    std::vector<uint> ids;
    QObject::connect(&notifier, &alarms::Notifier::delivered,
                     [&](quint64, uint id) { ids.push_back(id); });
    const EnvGuard bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    alarms::Alarms window(m_app);
    window.setNotifier(&notifier);
    notifier.notify(alarms::notificationFor(Kind::NoData, true, 125, {true, 120, 0, 0}, "km/h",
                                            QDateTime::currentDateTime()));
    ASSERT_TRUE(waitFor([&] { return ids.size() == 1; }, 10000));
    const QLabel* status = window.controls().Status;
    EXPECT_FALSE(status->text().contains("Test notification")) << status->text().toStdString();
    window.controls().TestNotification->click();
    ASSERT_TRUE(waitFor([&] { return ids.size() == 2; }, 10000));
    EXPECT_TRUE(
        status->text().contains(QStringLiteral("Test notification shown (number %1).").arg(ids[1])))
        << status->text().toStdString();
}

TEST_F(SessionBus, DunstReceivesTheRaiseAndTheClearButNothingWhileSilenced)
{
    startDunst();
    alarms::Notifier notifier(*m_connection);
    ASSERT_TRUE(waitFor(
        [&] {
            notifier.check();
            waitFor([] { return false; }, 200);
            return notifier.available();
        },
        15000))
        << alarms::notifierStatusText(notifier.status()).toStdString()
        << m_dunst.readAll().toStdString();
    EXPECT_TRUE(notifier.status().server.contains("dunst"))
        << notifier.status().server.toStdString();

    std::vector<uint> ids;
    QObject::connect(&notifier, &alarms::Notifier::delivered,
                     [&](quint64, uint id) { ids.push_back(id); });
    std::vector<logging::FileWrite> lines;
    alarms::AlarmMonitor monitor;
    alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
    c[Kind::BattLow] = {true, 11.8, 0.3, 10};
    monitor.setConfig(c);
    alarms::AlarmDelivery delivery(m_app, monitor, &notifier, nullptr,
                                   [&](logging::FileWrite w) { lines.push_back(w); });
    const QDateTime start(QDate(2024, 3, 7), QTime(14, 5, 0));
    auto frames = [&](int from, int to, double volts) {
        for (int s = from; s < to; ++s) {
            core::QuantityValues v{};
            v[core::kVolts] = volts;
            monitor.onReading(v, s * 1000LL, start.addSecs(s));
        }
    };
    frames(0, 15, 11.6);
    ASSERT_TRUE(waitFor([&] { return ids.size() == 1; }, 10000));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].bytes,
              "<A>BattLow</A><S>on</S><D>2024_3_7</D><T>14:05:10</T><VAL>11.6</VAL>\r\n");
    frames(15, 30, 12.2);
    ASSERT_TRUE(waitFor([&] { return ids.size() == 2; }, 10000));
    ASSERT_EQ(lines.size(), 2u);

    // Silenced: the log still gets both changes; the desktop gets neither. The test notification
    // afterwards is the positive sign that nothing else was in flight.
    frames(30, 45, 11.6);
    monitor.silence(Kind::BattLow);
    frames(45, 60, 12.2);
    frames(60, 75, 11.6);
    EXPECT_EQ(lines.size(), 5u);
    notifier.notify(alarms::testNotification());
    // The service answers in the order it was called: once the test's answer is in, every
    // earlier one is.
    ASSERT_TRUE(waitFor([&] { return ids.size() >= 4; }, 10000));
    EXPECT_EQ(ids.size(), 4u) << "the raise before the silence, then only the test";
}

// A real broker gets the retained state and its discovery config; a subscriber that comes later
// still finds them, as Home Assistant does after a restart.
TEST_F(AppDirTest, BrokerKeepsTheRetainedAlarmAndItsDiscovery)
{
    const QString broker = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/bin"});
    const QString sub = QStandardPaths::findExecutable("mosquitto_sub");
    if (broker.isEmpty() || sub.isEmpty())
        SKIP_OR_FAIL_IN_CI("mosquitto or mosquitto_sub is not installed (Debian: mosquitto, "
                           "mosquitto-clients)");
    const int port = freePort();
    ASSERT_NE(port, 0);
    QProcess mosquitto;
    mosquitto.start(broker, {"-p", QString::number(port)});
    ASSERT_TRUE(mosquitto.waitForStarted());
    publish::PublishConfig cfg = publish::defaultPublishConfig();
    cfg.Enabled = "1";
    cfg.Host = "127.0.0.1";
    cfg.Port = QString::number(port);
    cfg.Name = "plant";
    ASSERT_TRUE(publish::savePublishConfig(m_app, cfg));
    publish::Publisher publisher;
    publisher.setRetryTimes(100, 400, 400);
    publisher.reload(m_app);
    alarms::AlarmMonitor monitor;
    alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
    c[Kind::BattLow] = {true, 11.8, 0.3, 10};
    monitor.setConfig(c);
    alarms::AlarmDelivery delivery(m_app, monitor, nullptr, &publisher, [](logging::FileWrite) {});
    ASSERT_TRUE(waitFor([&] { return publisher.link()->connected(); }, 10000))
        << publisher.statusText().toStdString();
    for (int s = 0; s < 15; ++s) {
        core::QuantityValues v{};
        v[core::kVolts] = 11.6;
        monitor.onReading(v, s * 1000LL, QDateTime(QDate(2024, 3, 7), QTime(14, 5, s)));
    }
    const QString alarmTopic = "tessaly/plant/alarm/BattLow";
    const QString config = "homeassistant/binary_sensor/tessaly_plant/alarm_battlow/config";
    QByteArray seen;
    ASSERT_TRUE(waitFor(
        [&] {
            QProcess p;
            p.start(sub, {"-h", "127.0.0.1", "-p", QString::number(port), "-v", "-C", "2", "-W",
                          "2", "-t", alarmTopic, "-t", config});
            p.waitForFinished(5000);
            seen = p.readAllStandardOutput();
            return seen.contains(alarmTopic.toUtf8() + " ON");
        },
        20000))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains("\"device_class\":\"battery\"")) << seen.toStdString();
    mosquitto.terminate();
    mosquitto.waitForFinished(3000);
}

} // namespace
