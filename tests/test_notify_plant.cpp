// The alarms sent by the plant itself: tessalyd, with no display, fed on a pseudo-terminal,
// delivers a low battery's raise and its clear by push, webhook and e-mail to real receivers;
// "tessalyd notify --test" tests each way from a terminal.

#include "alarms/alarmconfig.h"
#include "notify/notifyconfig.h"
#include "notify/notifyevent.h"
#include "tests/notifyreceivers.h"

#include <QProcess>
#include <functional>

namespace {

class NotifyPlant : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        if (const QString why = NotifyReceivers::missing(); !why.isEmpty())
            SKIP_OR_FAIL_IN_CI(why.toStdString());
        ASSERT_TRUE(m_receivers.start());
    }
    void TearDown() override
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(10000);
        }
        AppDirTest::TearDown();
    }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET", "WATCHDOG_USEC",
              "WATCHDOG_PID", "STATE_DIRECTORY", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_app.path(QStringLiteral("state")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_app.path(QStringLiteral("cache")));
        return env;
    }

    NotifyReceivers m_receivers;
    QProcess m_daemon;
};

TEST_F(NotifyPlant, TessalydDeliversARaiseAndItsClearByAllThree)
{
    alarms::AlarmsConfig alarms = alarms::defaultAlarmsConfig();
    alarms[alarms::Kind::BattLow] = {true, 11.8, 0.3, 0};
    alarms.notify = false;
    ASSERT_TRUE(alarms::saveAlarmsConfig(m_app, alarms));
    ASSERT_TRUE(notify::saveNotifyConfig(m_app, m_receivers.config(QStringLiteral("shed"))));
    auto pty = line(1);
    m_daemon.setProcessEnvironment(environment());
    m_daemon.start(QStringLiteral(TESSALYD_PATH), {QStringLiteral("--dir"), m_app.dir});
    ASSERT_TRUE(m_daemon.waitForStarted());

    const auto arrived = [&](std::size_t n) {
        return m_receivers.onPath(QStringLiteral("/shed-push")).size() == n &&
               m_receivers.onPath(QStringLiteral("/shed-hook")).size() == n &&
               m_receivers.mailsTo(QStringLiteral("shed@example.org")).size() == n;
    };
    // 464 raw volts read 11.6 V: below the level, raised at the first reading.
    const auto feedUntil = [&](const std::string& frame, std::size_t n) {
        return waitFor(
            [&] {
                pty->write(frame);
                waitFor([] { return false; }, 200);
                return arrived(n);
            },
            60000);
    };
    ASSERT_TRUE(feedUntil("[<V>464</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n", 1))
        << m_daemon.readAllStandardError().toStdString();
    ASSERT_TRUE(feedUntil(kFrame, 2)) << m_daemon.readAllStandardError().toStdString();
    const auto pushes = m_receivers.onPath(QStringLiteral("/shed-push"));
    EXPECT_EQ(pushes[0][QStringLiteral("headers")].toObject()[QStringLiteral("Title")],
              QStringLiteral("Battery low: 11.6 V"));
    EXPECT_EQ(pushes[1][QStringLiteral("headers")].toObject()[QStringLiteral("Title")],
              QStringLiteral("Battery low cleared: 12.8 V"));
    const auto mails = m_receivers.mailsTo(QStringLiteral("shed@example.org"));
    EXPECT_TRUE(
        mails[1][QStringLiteral("data")].toString().contains(QLatin1String("Battery low cleared")));
}

// An alarm that comes while a send waits for its server is on the disk before the answer: a
// hard cut then loses nothing, and the next start sends each event once, in order.
TEST_F(NotifyPlant, AnAlarmPostedWhileASendWaitsSurvivesAHardCut)
{
    alarms::AlarmsConfig alarms = alarms::defaultAlarmsConfig();
    alarms[alarms::Kind::BattLow] = {true, 11.8, 0.3, 0};
    alarms.notify = false;
    ASSERT_TRUE(alarms::saveAlarmsConfig(m_app, alarms));
    ASSERT_TRUE(notify::saveNotifyConfig(m_app, m_receivers.config(QStringLiteral("cut"))));
    auto pty = line(1);
    const auto start = [&] {
        m_daemon.setProcessEnvironment(environment());
        m_daemon.start(QStringLiteral(TESSALYD_PATH), {QStringLiteral("--dir"), m_app.dir});
        return m_daemon.waitForStarted();
    };
    const auto feedUntil = [&](const std::string& frame, const std::function<bool()>& done) {
        return waitFor(
            [&] {
                pty->write(frame);
                waitFor([] { return false; }, 200);
                return done();
            },
            60000);
    };
    const auto queued = [&] {
        return notify::readQueue(core::readWholeFile(notify::queuePath(m_app)).value_or(""))
            .lastSeq;
    };
    ASSERT_TRUE(m_receivers.hold());
    ASSERT_TRUE(start());
    // The raise's push reaches the receiver, which holds it unanswered.
    ASSERT_TRUE(feedUntil("[<V>464</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n", [&] {
        return !m_receivers.held().empty();
    })) << m_daemon.readAllStandardError().toStdString();
    // The clear comes while that send waits, and is in the queue file all the same.
    ASSERT_TRUE(feedUntil(kFrame, [&] { return queued() == 2; }))
        << m_daemon.readAllStandardError().toStdString();
    m_daemon.kill();
    ASSERT_TRUE(m_daemon.waitForFinished(30000));
    // The held push was never answered: the receiver drops it.
    ASSERT_TRUE(m_receivers.release());
    ASSERT_TRUE(waitFor([&] {
        const auto held = m_receivers.held();
        return held.size() == 2 && held[1][QStringLiteral("dropped")].toBool();
    }));

    ASSERT_TRUE(start());
    const auto battLow = [](std::vector<QJsonObject> records, const char* field) {
        std::vector<QString> titles;
        for (const QJsonObject& r : records) {
            const QString title =
                field
                    ? r[QStringLiteral("headers")].toObject()[QString::fromLatin1(field)].toString()
                    : r[QStringLiteral("data")].toString();
            if (title.contains(QLatin1String("Battery low")))
                titles.push_back(title);
        }
        return titles;
    };
    const auto hookStates = [&] {
        std::vector<QString> states;
        for (const QJsonObject& r : m_receivers.onPath(QStringLiteral("/cut-hook"))) {
            const QJsonObject json =
                QJsonDocument::fromJson(r[QStringLiteral("body")].toString().toUtf8()).object();
            if (json[QStringLiteral("kind")] == QStringLiteral("BattLow"))
                states.push_back(json[QStringLiteral("state")].toString());
        }
        return states;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            return battLow(m_receivers.onPath(QStringLiteral("/cut-push")), "Title").size() >= 2 &&
                   hookStates().size() >= 2 &&
                   battLow(m_receivers.mailsTo(QStringLiteral("cut@example.org")), nullptr)
                           .size() >= 2;
        },
        60000))
        << m_daemon.readAllStandardError().toStdString();
    // Each way sends in order: a repeat would come before the next event, so the raise and
    // the clear as the first two are each once.
    const auto pushes = battLow(m_receivers.onPath(QStringLiteral("/cut-push")), "Title");
    ASSERT_EQ(pushes.size(), 2u);
    EXPECT_EQ(pushes[0], QStringLiteral("Battery low: 11.6 V"));
    EXPECT_EQ(pushes[1], QStringLiteral("Battery low cleared: 12.8 V"));
    EXPECT_EQ(hookStates(), (std::vector<QString>{QStringLiteral("on"), QStringLiteral("off")}));
    const auto mails = battLow(m_receivers.mailsTo(QStringLiteral("cut@example.org")), nullptr);
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_FALSE(mails[0].contains(QLatin1String("cleared")));
    EXPECT_TRUE(mails[1].contains(QLatin1String("Battery low cleared")));
}

TEST_F(NotifyPlant, NotifyTestFromATerminalShowsEachServersAnswer)
{
    notify::NotifyConfig config = m_receivers.config(QStringLiteral("term"));
    ASSERT_TRUE(notify::saveNotifyConfig(m_app, config));
    QProcess test;
    test.setProcessEnvironment(environment());
    test.start(QStringLiteral(TESSALYD_PATH), {QStringLiteral("notify"), QStringLiteral("--test"),
                                               QStringLiteral("--dir"), m_app.dir});
    ASSERT_TRUE(test.waitForFinished(60000));
    const QString out = QString::fromUtf8(test.readAllStandardOutput());
    EXPECT_EQ(test.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QLatin1String("Push: sent, HTTP 200"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QLatin1String("Webhook: sent, HTTP 200"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QLatin1String("E-mail: sent, 250"))) << out.toStdString();
    EXPECT_EQ(m_receivers.mailsTo(QStringLiteral("term@example.org")).size(), 1u);

    // The wrong authority: refused, and said.
    config.caFile = m_receivers.wrongCaFile();
    config.hookOn = config.mailOn = false;
    ASSERT_TRUE(notify::saveNotifyConfig(m_app, config));
    test.start(QStringLiteral(TESSALYD_PATH), {QStringLiteral("notify"), QStringLiteral("--test"),
                                               QStringLiteral("--dir"), m_app.dir});
    ASSERT_TRUE(test.waitForFinished(60000));
    const QString refused = QString::fromUtf8(test.readAllStandardOutput());
    EXPECT_EQ(test.exitCode(), 1);
    EXPECT_TRUE(refused.contains(QLatin1String("Push: not sent")) &&
                refused.contains(QLatin1String("certificate"), Qt::CaseInsensitive))
        << refused.toStdString();
}

} // namespace
