#include "publish/messages.h"
#include "publish/mqttlink.h"
#include "publish/publishconfig.h"
#include "publish/publisher.h"
#include "publish/publishwindow.h"
#include "tests/broker.h"
#include "tests/fixture.h"

#include <QCheckBox>
#include <QEvent>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using publish::LinkStatus;

const publish::Topics kTopics = publish::topicsFor("tessaly", "plant");

publish::LinkSettings linkTo(int port)
{
    publish::LinkSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    s.clientName = QStringLiteral("plant");
    s.statusTopic = kTopics.status;
    s.firstRetryMs = 100;
    s.lastRetryMs = 400;
    return s;
}

std::vector<int> numbers(const std::vector<Subscriber::Received>& got)
{
    std::vector<int> out;
    for (const auto& r : got)
        out.push_back(r.payload.toInt());
    return out;
}

// Stops the link just before the session's second piece of news reaches it: after
// "connecting", the connection's result, posted by the old session before it heard of the stop,
// as when the window is busy at the moment the user stops publishing.
class StopBeforeTheResult : public QObject
{
public:
    explicit StopBeforeTheResult(publish::MqttLink& link)
        : m_link(link)
    {
        link.installEventFilter(this);
    }
    ~StopBeforeTheResult() override { m_link.removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall && ++m_news == 2) {
            m_link.stop();
            stopped = true;
        }
        return false;
    }
    bool stopped = false;

private:
    publish::MqttLink& m_link;
    int m_news = 0;
};

// A connection result the old session posted just before stop() marks nothing connected, and
// records published while stopped go out once each, in order, after the next start.
TEST_F(BrokerTest, StopAndStartLoseNoRecordAndSendNoneTwice)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Subscriber sub(broker.port(), kTopics.record.constData());
    publish::MqttLink link;
    QByteArray brokerLog;
    int next = 1;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        StopBeforeTheResult stopper(link);
        link.start(linkTo(broker.port()));
        ASSERT_TRUE(waitFor([&] { return stopper.stopped; }, 10000));
        // The result was the connection's: the broker took the client in.
        ASSERT_TRUE(waitFor(
            [&] {
                brokerLog += broker.log();
                return brokerLog.count(" as tessaly-plant-") == round + 1;
            },
            10000))
            << brokerLog.toStdString();
        EXPECT_FALSE(link.connected());
        EXPECT_EQ(link.status().state, LinkStatus::State::Off);
        for (int k = 0; k < 12; ++k)
            link.publishRecord(kTopics.record, QByteArray::number(next++));
        EXPECT_EQ(link.status().waiting, std::size_t(12 * (round + 1)));
    }
    link.start(linkTo(broker.port()));
    const int last = next - 1;
    ASSERT_TRUE(waitFor(
        [&] {
            const auto got = sub.on(kTopics.record);
            return !got.empty() && got.back().payload.toInt() == last;
        },
        20000))
        << publish::linkStatusText(link.status()).toStdString();
    std::vector<int> expected;
    for (int n = 1; n <= last; ++n)
        expected.push_back(n);
    EXPECT_EQ(numbers(sub.on(kTopics.record)), expected);
    ASSERT_TRUE(waitFor([&] { return link.status().waiting == 0; }));
}

// stop() returns without the connection's thread: "offline" still reaches the broker after it.
TEST_F(BrokerTest, StopSaysOfflineAfterItHasReturned)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Subscriber sub(broker.port(), kTopics.status.constData());
    publish::MqttLink link;
    link.start(linkTo(broker.port()));
    ASSERT_TRUE(waitFor([&] { return link.connected(); }));
    ASSERT_TRUE(waitFor([&] { return !sub.on(kTopics.status).empty(); }));
    link.stop();
    EXPECT_EQ(link.status().state, LinkStatus::State::Off);
    // "offline" from the link, or from the broker as the last will should the goodbye be cut.
    ASSERT_TRUE(waitFor([&] { return sub.on(kTopics.status).size() >= 2; }));
    EXPECT_EQ(sub.on(kTopics.status)[1].payload, "offline");
}

TEST(PublishLink, AnUnreadableCaFileIsNamed)
{
    publish::LinkSettings s = linkTo(8883);
    s.tls = true;
    s.caFile = QStringLiteral("/no/such/ca.crt");
    publish::MqttLink link;
    link.start(s);
    ASSERT_TRUE(waitFor([&] { return link.status().state == LinkStatus::State::Retrying; }));
    EXPECT_EQ(link.status().reason, QStringLiteral("cannot read the CA file /no/such/ca.crt"));
}

using PublishSettings = AppDirTest;

TEST_F(PublishSettings, CaFileIsKeptAndChecked)
{
    publish::PublishConfig v = publish::defaultPublishConfig();
    v.Enabled = "1";
    v.Host = "127.0.0.1";
    v.TLS = "1";
    v.CAFile = m_app.progCfg(); // any readable file passes the check
    ASSERT_TRUE(publish::savePublishConfig(m_app, v));
    EXPECT_TRUE(fileBytes(publish::publishCfgPath(m_app))
                    .contains("<CAFile>" + QFile::encodeName(v.CAFile) + "</CAFile>\r\n"));
    EXPECT_EQ(publish::readPublishConfig(m_app), v);
    EXPECT_EQ(publish::linkSettingsFor(v).caFile, v.CAFile);
    EXPECT_EQ(publish::publishConfigProblem(v), std::nullopt);
    v.CAFile = "/no/such/ca.crt";
    const auto problem = publish::publishConfigProblem(v);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->key, "CAFile");
    // Without TLS the file plays no part.
    v.TLS = "0";
    EXPECT_EQ(publish::publishConfigProblem(v), std::nullopt);

    publish::Publish window(m_app);
    window.controls().CAFile->setText("/etc/ssl/my-ca.pem");
    EXPECT_EQ(window.shownValues().CAFile, "/etc/ssl/my-ca.pem");
}

TEST_F(PublishSettings, APasswordWithoutTlsIsWarnedOf)
{
    publish::PublishConfig v = publish::defaultPublishConfig();
    v.Enabled = "1";
    v.Host = "127.0.0.1";
    v.User = "plant";
    EXPECT_EQ(publish::clearPasswordWarning(v), QString());
    v.Password = "secret";
    EXPECT_TRUE(publish::clearPasswordWarning(v).contains("without TLS"));
    EXPECT_FALSE(publish::clearPasswordWarning(v).contains("secret"));
    ASSERT_TRUE(publish::savePublishConfig(m_app, v));
    publish::Publisher p;
    p.reload(m_app);
    EXPECT_TRUE(p.statusText().contains(publish::clearPasswordWarning(v)))
        << p.statusText().toStdString();
    v.TLS = "1";
    EXPECT_EQ(publish::clearPasswordWarning(v), QString());
    ASSERT_TRUE(publish::savePublishConfig(m_app, v));
    p.reload(m_app);
    EXPECT_FALSE(p.statusText().contains("without TLS")) << p.statusText().toStdString();
}

// The connection test says it too, beside "Connected".
TEST_F(BrokerTest, TheConnectionTestWarnsOfAPasswordWithoutTls)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    publish::Publish window(m_app);
    const publish::PublishControls& c = window.controls();
    c.Host->setText("127.0.0.1");
    c.Port->setText(QString::number(broker.port()));
    c.User->setText("plant");
    c.Password->setText("secret");
    c.TestConnection->click();
    ASSERT_TRUE(waitFor([&] { return m_messages.size() == 1; }, 20000));
    EXPECT_TRUE(m_messages[0].startsWith("Connected to 127.0.0.1:")) << m_messages[0].toStdString();
    EXPECT_TRUE(m_messages[0].contains("without TLS")) << m_messages[0].toStdString();
    EXPECT_EQ(c.TestResult->text(), m_messages[0]);
}

TEST(HomeAssistantIds, SimpleNamesKeepTheirIdsOthersDifferByAHash)
{
    // Names the slug leaves unchanged: exactly the ids Home Assistant already has.
    EXPECT_EQ(publish::uniqueIdBase("tessaly", "plant"), "tessaly_plant");
    EXPECT_EQ(publish::uniqueIdBase("tessaly", "plant_1"), "tessaly_plant_1");
    EXPECT_EQ(publish::uniqueIdBase("home", "mill2"), "home_mill2");
    const QString names[] = {"Plant 1", "plant-1", "plant 1", "PLANT_1", "plant__1", "plant_1 "};
    QStringList ids{"tessaly_plant_1"};
    for (const QString& name : names) {
        const QString id = publish::uniqueIdBase("tessaly", name);
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(id.startsWith("tessaly_plant_1_")) << id.toStdString();
        EXPECT_EQ(id.size(), QString("tessaly_plant_1_").size() + 8);
        EXPECT_EQ(publish::uniqueIdBase("tessaly", name), id) << "stable";
        EXPECT_FALSE(ids.contains(id)) << id.toStdString();
        ids << id;
    }
    // A base topic that is no slug gets one too.
    EXPECT_NE(publish::uniqueIdBase("my/base", "plant"), publish::uniqueIdBase("my_base", "plant"));
}

} // namespace
