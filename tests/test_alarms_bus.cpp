#include "alarms/alarmdelivery.h"
#include "alarms/alarmmonitor.h"
#include "alarms/notifier.h"
#include "publish/publishconfig.h"
#include "publish/publisher.h"
#include "tests/fixture.h"

#include <QDBusConnection>
#include <QStandardPaths>
#include <QTcpServer>

namespace {

using alarms::Kind;

// A session bus of the test's own, and on it dunst on a virtual display of its own.
class SessionBus : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        for (const char* tool : {"dbus-daemon", "dunst", "Xvfb"}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed (Debian: dbus-daemon, dunst, xvfb)";
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
        for (QProcess* p : {&m_dunst, &m_display, &m_bus}) {
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

    QProcess m_bus, m_display, m_dunst;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_connection;
};

TEST_F(SessionBus, WithoutANotificationServiceTheStatusSaysWhy)
{
    alarms::Notifier notifier(*m_connection);
    ASSERT_TRUE(waitFor([&] { return !notifier.statusText().isEmpty(); }, 10000));
    EXPECT_FALSE(notifier.available());
    EXPECT_TRUE(notifier.statusText().contains("no notification service"))
        << notifier.statusText().toStdString();
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
        << notifier.statusText().toStdString() << m_dunst.readAll().toStdString();
    EXPECT_TRUE(notifier.statusText().contains("dunst")) << notifier.statusText().toStdString();

    std::vector<uint> ids;
    QObject::connect(&notifier, &alarms::Notifier::delivered, [&](uint id) { ids.push_back(id); });
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
    ASSERT_TRUE(waitFor([&] { return ids.size() >= 4; }, 10000));
    waitFor([] { return false; }, 300);
    EXPECT_EQ(ids.size(), 4u) << "the raise before the silence, then only the test";
}

// A real broker gets the retained state and its discovery config; a subscriber that comes later
// still finds them, as Home Assistant does after a restart.
TEST_F(AppDirTest, BrokerKeepsTheRetainedAlarmAndItsDiscovery)
{
    const QString broker = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/bin"});
    const QString sub = QStandardPaths::findExecutable("mosquitto_sub");
    if (broker.isEmpty() || sub.isEmpty())
        GTEST_SKIP() << "mosquitto or mosquitto_sub is not installed (Debian: mosquitto, "
                        "mosquitto-clients)";
    int port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
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
