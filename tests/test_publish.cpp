#include "monitor/logger.h"
#include "plant/plant.h"
#include "programs/variants.h"
#include "publish/messages.h"
#include "publish/mqttlink.h"
#include "publish/publishconfig.h"
#include "publish/publisher.h"
#include "publish/publishwindow.h"
#include "tests/broker.h"
#include "tests/fixture.h"
#include "tests/stationprobe.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <mosquitto.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using publish::LinkStatus;

// The worked example's reading: 12.8 V, 9 A, 115.2 W, 300 RPM, wind 5, load on.
const core::QuantityValues kReading{12.8, 9, 115.2, 0, 300, 5};
const QDateTime kAt(QDate(2024, 3, 7), QTime(14, 5, 7), Qt::OffsetFromUTC, 3600);

QJsonObject json(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << bytes.toStdString();
    EXPECT_TRUE(doc.isObject()) << bytes.toStdString();
    return doc.object();
}

// ---- publish.cfg ----------------------------------------------------------------------------

using PublishConfigFile = AppDirTest;

TEST_F(PublishConfigFile, MissingFileMeansOffAndNothingIsWritten)
{
    const publish::PublishConfig values = publish::readPublishConfig(m_app);
    EXPECT_FALSE(publish::publishingOn(values));
    EXPECT_EQ(values.Port, "1883");
    EXPECT_EQ(values.BaseTopic, "tessaly");
    EXPECT_FALSE(values.Name.isEmpty());
    EXPECT_FALSE(QFile::exists(publish::publishCfgPath(m_app)));
}

TEST_F(PublishConfigFile, WrittenOwnerOnlyAndReadBack)
{
    publish::PublishConfig values = publish::defaultPublishConfig();
    values.Enabled = "1";
    values.Host = "broker.local";
    values.User = "plant";
    values.Password = "s3cr<et> ä";
    values.Name = "Plant 1";
    ASSERT_TRUE(publish::savePublishConfig(m_app, values));
    struct stat st
    {};
    ASSERT_EQ(::stat(QFile::encodeName(publish::publishCfgPath(m_app)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(publish::readPublishConfig(m_app), values);
    EXPECT_EQ(fileBytes(publish::publishCfgPath(m_app)),
              QByteArray("Publish Config File\r\n\r\n<Enabled>1</Enabled>\r\n<Host>broker.local"
                         "</Host>\r\n<Port>1883</Port>\r\n<User>plant</User>\r\n<Password>"
                         "s3cr<et> \xc3\xa4</Password>\r\n<TLS>0</TLS>\r\n<CAFile></CAFile>\r\n"
                         "<BaseTopic>tessaly"
                         "</BaseTopic>\r\n<Name>Plant 1</Name>\r\n<Discovery>1</Discovery>"
                         "\r\n\r\n"));
    // A file made readable by others is put back to owner-only by the next save.
    ASSERT_TRUE(QFile::setPermissions(publish::publishCfgPath(m_app), QFileDevice::ReadOwner |
                                                                          QFileDevice::WriteOwner |
                                                                          QFileDevice::ReadOther));
    ASSERT_TRUE(publish::savePublishConfig(m_app, values));
    ASSERT_EQ(::stat(QFile::encodeName(publish::publishCfgPath(m_app)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

struct BadInput
{
    const char* key;
    QString value;
    const char* problemKey;
};

TEST(PublishConfigProblems, BadInputsAreNamed)
{
    const BadInput cases[] = {
        {"Port", "0", "Port"},
        {"Port", "65536", "Port"},
        {"Port", "abc", "Port"},
        {"Port", "1.5", "Port"},
        {"BaseTopic", "a/+/b", "BaseTopic"},
        {"BaseTopic", "plants#", "BaseTopic"},
        {"BaseTopic", "", "BaseTopic"},
        {"Name", "a/b", "Name"},
        {"Name", "x+", "Name"},
        {"Password", "ab</Password>cd", "Password"},
        {"Password", "two\nlines", "Password"},
        {"Host", "", "Host"},
        {"Host", "my broker", "Host"},
        {"User", "<Host>", "User"},
    };
    publish::PublishConfig good = publish::defaultPublishConfig();
    good.Enabled = "1";
    good.Host = "127.0.0.1";
    good.User = "u";
    good.Password = "p";
    EXPECT_EQ(publish::publishConfigProblem(good), std::nullopt);
    for (const BadInput& c : cases) {
        publish::PublishConfig values = good;
        for (const auto& key : publish::kPublishConfigKeys) {
            if (QLatin1String(key.name) == QLatin1String(c.key))
                values.*key.value = c.value;
        }
        const auto problem = publish::publishConfigProblem(values);
        ASSERT_TRUE(problem) << c.key << "=" << c.value.toStdString();
        EXPECT_EQ(problem->key, c.problemKey) << problem->message.toStdString();
        if (QLatin1String(c.key) == QLatin1String("Password")) {
            EXPECT_FALSE(problem->message.contains(c.value)) << "a password is never shown";
        }
    }
    publish::PublishConfig noUser = good;
    noUser.User.clear();
    EXPECT_EQ(publish::publishConfigProblem(noUser)->key, "User");
}

// ---- the Publish window ---------------------------------------------------------------------

using PublishWindow = AppDirTest;

TEST_F(PublishWindow, RefusesBadInputAndSavesNothing)
{
    publish::Publish window(m_app);
    EXPECT_EQ(window.objectName(), "Publish");
    const publish::PublishControls& c = window.controls();
    c.Enabled->setChecked(true);
    c.Host->setText("127.0.0.1");
    c.Port->setText("70000");
    c.Save->click();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("1 to 65535")) << m_messages[0].toStdString();
    c.Port->setText("1883");
    c.BaseTopic->setText("plants/#");
    c.Save->click();
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_TRUE(m_messages[1].contains("wildcards"));
    c.BaseTopic->setText("plants");
    c.Host->setText("no-such-host.invalid");
    c.Save->click();
    EXPECT_FALSE(c.Save->isEnabled()); // looking the host up, off this thread
    ASSERT_TRUE(
        waitFor([&] { return m_messages.size() == 3; }, publish::Publish::kLookupMs + 20000));
    // Where no name server answers, the deadline says so instead.
    EXPECT_TRUE(m_messages[2].contains("cannot be found") || m_messages[2].contains("took longer"))
        << m_messages[2].toStdString();
    EXPECT_FALSE(QFile::exists(publish::publishCfgPath(m_app)));
    EXPECT_NE(window.result(), QDialog::Accepted);

    c.Host->setText("127.0.0.1");
    c.Save->click();
    ASSERT_TRUE(waitFor([&] { return window.result() == QDialog::Accepted; }));
    EXPECT_EQ(publish::readPublishConfig(m_app), window.shownValues());
}

// ---- messages -------------------------------------------------------------------------------

TEST(PublishMessages, IsoTimeCarriesTheOffset)
{
    EXPECT_EQ(publish::isoTime(kAt), "2024-03-07T14:05:07+01:00");
    EXPECT_EQ(publish::isoTime(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::OffsetFromUTC,
                                         -(5 * 3600 + 1800))),
              "2024-01-02T03:04:05-05:30");
    EXPECT_EQ(publish::isoTime(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC)),
              "2024-01-02T03:04:05+00:00");
}

TEST(PublishMessages, StateRecordAndStatusFileHoldTheValues)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QJsonObject state = json(publish::stateMessage(kReading, 0.1 + 0.2, 1, "km/h", kAt));
    EXPECT_EQ(state["volts"].toDouble(), 12.8);
    EXPECT_EQ(state["amps"].toDouble(), 9);
    EXPECT_EQ(state["watts"].toDouble(), 115.2);
    EXPECT_EQ(state["watt_hours"].toDouble(), 0.3);
    EXPECT_EQ(state["rpm"].toDouble(), 300);
    EXPECT_EQ(state["wind_speed"].toDouble(), 5);
    EXPECT_EQ(state["wind_unit"].toString(), "km/h");
    EXPECT_EQ(state["load"].toBool(), true);
    EXPECT_EQ(state["time"].toString(), "2024-03-07T14:05:07+01:00");

    const QJsonObject record = json(publish::recordMessage(kReading, 2, "km/h", kAt));
    EXPECT_EQ(record["volts"].toDouble(), 12.8);
    EXPECT_EQ(record["wind_speed"].toDouble(), 5);
    EXPECT_FALSE(record.contains("watt_hours"));
    EXPECT_EQ(record["mode"].toInt(), 2);
    EXPECT_EQ(record["load"].toBool(), false);
    EXPECT_EQ(record["date"].toString(), "2024-03-07");
    EXPECT_EQ(record["time"].toString(), "14:05:07");

    const QByteArray statusBytes = publish::statusJson(kReading, 1234.5, 1, "mph", kAt);
    EXPECT_TRUE(statusBytes.contains("12.8")) << "a point, whatever the locale";
    const QJsonObject status = json(statusBytes);
    EXPECT_EQ(status["watt_hours"].toDouble(), 1234.5);
    EXPECT_EQ(status["units"]["volts"].toString(), "V");
    EXPECT_EQ(status["units"]["watt_hours"].toString(), "Wh");
    EXPECT_EQ(status["units"]["rpm"].toString(), "RPM");
    EXPECT_EQ(status["units"]["wind_speed"].toString(), "mph");
    EXPECT_EQ(status["load"].toBool(), true);
    EXPECT_EQ(status["time"].toString(), "2024-03-07T14:05:07+01:00");
    EXPECT_EQ(publish::statusJsonPath(core::AppDir{"/opt/t"}), "/opt/t/html/status.json");
    QLocale::setDefault(QLocale::c());
}

TEST(PublishMessages, DiscoveryConfigsDescribeOneDevice)
{
    const publish::DiscoveryInputs in{"tessaly", "Plant 1", "km/h", "Tessaly"};
    const QString idBase = publish::uniqueIdBase("tessaly", "Plant 1");
    const std::vector<publish::Message> configs = publish::discoveryMessages(in);
    ASSERT_EQ(configs.size(), 7u);
    const publish::Topics topics = publish::topicsFor("tessaly", "Plant 1");
    EXPECT_EQ(topics.status, "tessaly/Plant 1/status");
    std::map<QString, QJsonObject> byKey;
    for (const publish::Message& m : configs) {
        EXPECT_TRUE(m.retain);
        EXPECT_TRUE(m.topic.startsWith("homeassistant/")) << m.topic.toStdString();
        EXPECT_TRUE(m.topic.endsWith("/config"));
        const QJsonObject c = json(m.payload);
        EXPECT_EQ(c["state_topic"].toString(), "tessaly/Plant 1/state");
        EXPECT_EQ(c["availability_topic"].toString(), "tessaly/Plant 1/status");
        EXPECT_EQ(c["payload_available"].toString(), "online");
        EXPECT_EQ(c["device"]["identifiers"].toArray().first().toString(), idBase);
        EXPECT_EQ(c["device"]["name"].toString(), "Plant 1");
        EXPECT_TRUE(c["unique_id"].toString().startsWith(idBase + "_"));
        EXPECT_TRUE(c["value_template"].toString().contains("value_json."));
        byKey[c["unique_id"].toString().mid(idBase.size() + 1)] = c;
    }
    const struct
    {
        const char* key;
        const char* deviceClass;
        const char* unit;
        const char* stateClass;
    } expected[] = {{"volts", "voltage", "V", "measurement"},
                    {"amps", "current", "A", "measurement"},
                    {"watts", "power", "W", "measurement"},
                    {"watt_hours", "energy", "Wh", "total_increasing"},
                    {"rpm", nullptr, "rpm", "measurement"},
                    {"wind_speed", "wind_speed", "km/h", "measurement"}};
    for (const auto& e : expected) {
        ASSERT_TRUE(byKey.count(e.key)) << e.key;
        const QJsonObject& c = byKey[e.key];
        EXPECT_EQ(c["device_class"].toString(), e.deviceClass ? e.deviceClass : "") << e.key;
        EXPECT_EQ(c["unit_of_measurement"].toString(), e.unit) << e.key;
        EXPECT_EQ(c["state_class"].toString(), e.stateClass) << e.key;
    }
    ASSERT_TRUE(byKey.count("load"));
    EXPECT_TRUE(configs.back().topic.startsWith("homeassistant/binary_sensor/"));
    EXPECT_EQ(byKey["load"]["payload_on"].toString(), "ON");
    // Stable: the same ids for the same base topic and name, whatever else changes.
    const auto again = publish::discoveryMessages({"tessaly", "Plant 1", "m/s", "Corvenna"});
    for (std::size_t k = 0; k < configs.size(); ++k) {
        EXPECT_EQ(again[k].topic, configs[k].topic);
        EXPECT_EQ(json(again[k].payload)["unique_id"], json(configs[k].payload)["unique_id"]);
    }
    // A unit Home Assistant does not know for wind speed is kept, without the class.
    const QJsonObject odd = json(publish::discoveryMessages({"t", "n", "Bft", "T"})[5].payload);
    EXPECT_EQ(odd["unit_of_measurement"].toString(), "Bft");
    EXPECT_FALSE(odd.contains("device_class"));
}

TEST(PublishQueue, KeepsTheNewestRecordsWithinItsBound)
{
    publish::MqttLink link;
    link.setRecordLimit(3);
    for (int n = 1; n <= 5; ++n)
        link.publishRecord("t", QByteArray::number(n));
    EXPECT_EQ(link.status().waiting, 3u);
    EXPECT_EQ(link.status().dropped, 2u);
    std::vector<QByteArray> kept;
    for (const publish::Message& m : link.takeWaitingRecords())
        kept.push_back(m.payload);
    EXPECT_EQ(kept, (std::vector<QByteArray>{"3", "4", "5"}));
}

// ---- a real broker --------------------------------------------------------------------------

const publish::Topics kTopics = publish::topicsFor("tessaly", "plant");

TEST_F(BrokerTest, DiscoveryStateAndRecordReachTheSubscriber)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Subscriber sub(broker.port(), "#");
    writePublish(broker.port());
    auto p = publisher();
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Connected)) << p->statusText().toStdString();
    EXPECT_EQ(p->statusText(), QString("MQTT: connected to 127.0.0.1:%1").arg(broker.port()));
    p->onReading(kReading, 2.5, 1, kAt);
    p->onRecord(kReading, 1, kAt);
    ASSERT_TRUE(waitFor(
        [&] { return sub.on(kTopics.state).size() == 1 && sub.on(kTopics.record).size() == 1; }));
    std::size_t configs = 0;
    for (const auto& r : sub.received()) {
        if (r.topic.startsWith("homeassistant/")) {
            ++configs;
            EXPECT_TRUE(json(r.payload).contains("unique_id"));
        }
    }
    EXPECT_EQ(configs, 7u);
    ASSERT_EQ(sub.on(kTopics.status).size(), 1u);
    EXPECT_EQ(sub.on(kTopics.status)[0].payload, "online");
    EXPECT_EQ(sub.on(kTopics.state)[0].payload,
              publish::stateMessage(kReading, 2.5, 1, "km/h", kAt));
    EXPECT_EQ(sub.on(kTopics.record)[0].payload, publish::recordMessage(kReading, 1, "km/h", kAt));

    // At most one state a second, the latest winning: the states between never go out, so the
    // next one to arrive is the latest (messages of one connection arrive in order).
    for (int k = 1; k <= 5; ++k)
        p->onReading(kReading, 2.5 + k, 1, kAt);
    ASSERT_TRUE(waitFor([&] { return sub.on(kTopics.state).size() >= 2; }, 20000));
    ASSERT_EQ(sub.on(kTopics.state).size(), 2u);
    EXPECT_EQ(json(sub.on(kTopics.state)[1].payload)["watt_hours"].toDouble(), 7.5);

    // Turning publishing off says "offline" (retained) on the way out.
    writePublish(broker.port(), "0");
    p->reload(m_app);
    EXPECT_FALSE(p->enabled());
    EXPECT_TRUE(waitFor([&] { return sub.on(kTopics.status).size() == 2; }));
    EXPECT_EQ(sub.on(kTopics.status).back().payload, "offline");
}

TEST_F(BrokerTest, RecordsQueuedWhileTheBrokerIsDownArriveInOrder)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    writePublish(broker.port());
    auto p = publisher();
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Connected));
    auto record = [&](int n) {
        p->onRecord({double(n), 0, 0, 0, 0, 0}, 0, kAt);
    };
    {
        // A persistent session: the broker keeps what arrives for it while it is away.
        Subscriber sub(broker.port(), kTopics.record.constData(), "test-records");
        record(1);
        ASSERT_TRUE(waitFor([&] { return sub.on(kTopics.record).size() == 1; }));
    }
    broker.stop();
    record(2); // before the link has noticed
    record(3);
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Retrying)) << p->statusText().toStdString();
    for (int n = 4; n <= 6; ++n)
        record(n);
    EXPECT_TRUE(p->statusText().contains("records waiting")) << p->statusText().toStdString();
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Connected)) << p->statusText().toStdString();
    ASSERT_TRUE(waitFor([&] { return p->link()->status().waiting == 0; }));
    Subscriber sub(broker.port(), kTopics.record.constData(), "test-records");
    // A last record behind the others: once it is there, every one before it is too, and a
    // record sent twice would show.
    record(7);
    ASSERT_TRUE(waitFor([&] {
        const auto got = sub.on(kTopics.record);
        return !got.empty() && json(got.back().payload)["volts"].toInt() == 7;
    }));
    std::vector<int> volts;
    for (const auto& r : sub.on(kTopics.record))
        volts.push_back(json(r.payload)["volts"].toInt());
    EXPECT_EQ(volts, (std::vector<int>{2, 3, 4, 5, 6, 7})) << broker.log().toStdString();
}

TEST_F(BrokerTest, RefusedLoginIsReported)
{
    QTemporaryDir dir;
    const QString passwords = dir.filePath("passwords");
    const QString tool = QStandardPaths::findExecutable("mosquitto_passwd");
    if (tool.isEmpty())
        SKIP_OR_FAIL_IN_CI("mosquitto_passwd is not installed (Debian: mosquitto)");
    ASSERT_EQ(QProcess::execute(tool, {"-c", "-b", passwords, "plant", "right"}), 0);
    QFile::setPermissions(passwords, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Broker broker({"allow_anonymous false", "password_file " + passwords});
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();

    writePublish(broker.port(), "1", "plant", "wrong");
    auto p = publisher();
    ASSERT_TRUE(reaches(*p, LinkStatus::State::LoginRefused)) << p->statusText().toStdString();
    EXPECT_TRUE(p->statusText().contains("login refused")) << p->statusText().toStdString();

    writePublish(broker.port(), "1", "plant", "right");
    p->reload(m_app);
    EXPECT_TRUE(reaches(*p, LinkStatus::State::Connected)) << p->statusText().toStdString();
}

// Counts the ticks of a timer on the user interface thread: each one is a turn of its loop.
struct LoopTurns
{
    explicit LoopTurns(int ms)
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        timer.start(ms);
    }
    QTimer timer;
    int ticks = 0;
};

// A server that takes connections and never answers; held() once it has taken one.
struct SilentBroker
{
    SilentBroker()
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QTcpServer::newConnection, [this] { ++taken; });
    }
    bool held() const { return taken > 0; }
    QTcpServer server;
    int taken = 0;
};

TEST_F(BrokerTest, SilentOrAbsentBrokerNeverHoldsUpTheLoop)
{
    SilentBroker silent;
    writePublish(silent.server.serverPort());
    auto p = std::make_unique<publish::Publisher>();
    // An answer awaited far longer than this test runs: the link waits throughout.
    p->setRetryTimes(100, 400, 600000);
    p->reload(m_app);
    for (int k = 0; k < 20; ++k)
        p->onRecord(kReading, 1, kAt);
    // The positive sign: while the broker holds the connection unanswered, the loop turns.
    ASSERT_TRUE(waitFor([&] { return silent.held(); }, 10000));
    LoopTurns turns(10);
    ASSERT_TRUE(waitFor([&] { return turns.ticks >= 5; }, 10000));
    EXPECT_EQ(p->link()->status().state, LinkStatus::State::Connecting)
        << p->statusText().toStdString();
    // With a short answer time the wait is given up, and the status says why.
    p->setRetryTimes(100, 400, 400);
    p->reload(m_app);
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Retrying, 20000)) << p->statusText().toStdString();
    EXPECT_TRUE(p->statusText().contains("no answer")) << p->statusText().toStdString();

    // Nothing listens: refused at once, and tried again with growing waits, not in a busy loop.
    const int nobody = freePort();
    writePublish(nobody);
    p->reload(m_app);
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Retrying)) << p->statusText().toStdString();
    EXPECT_TRUE(p->statusText().contains(QString("127.0.0.1:%1: retrying in 1 s").arg(nobody)))
        << p->statusText().toStdString();
    std::vector<int> waits;
    QObject::connect(p.get(), &publish::Publisher::statusChanged, [&] {
        if (p->link()->status().state == LinkStatus::State::Retrying)
            waits.push_back(p->link()->status().retryInMs);
    });
    ASSERT_TRUE(waitFor([&] { return waits.size() >= 3; }, 20000));
    EXPECT_EQ(std::vector<int>(waits.begin(), waits.begin() + 3),
              (std::vector<int>{200, 400, 400}));
}

TEST_F(BrokerTest, BrokerSendingGarbageIsRetriedWithGrowingWaits)
{
    QTcpServer garbage;
    ASSERT_TRUE(garbage.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    QObject::connect(&garbage, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = garbage.nextPendingConnection()) {
            ++connections;
            s->write("HTTP/1.1 400 Bad Request\r\n\r\n");
            s->disconnectFromHost();
        }
    });
    writePublish(garbage.serverPort());
    std::vector<int> waits;
    auto p = std::make_unique<publish::Publisher>();
    QObject::connect(p.get(), &publish::Publisher::statusChanged, [&] {
        if (p->link() && p->link()->status().state == LinkStatus::State::Retrying)
            waits.push_back(p->link()->status().retryInMs);
    });
    p->setRetryTimes(100, 400, 400);
    p->reload(m_app);
    // Waits of 0.1, 0.2, 0.4 s, and one connection per attempt: never a busy loop, however
    // slow the machine.
    ASSERT_TRUE(waitFor([&] { return waits.size() >= 3 && connections >= 3; }, 20000));
    EXPECT_EQ(std::vector<int>(waits.begin(), waits.begin() + 3),
              (std::vector<int>{100, 200, 400}));
    EXPECT_LE(connections, int(waits.size()) + 1);
    EXPECT_FALSE(p->link()->status().reason.isEmpty()) << p->statusText().toStdString();
}

TEST_F(BrokerTest, PublishingOffSendsNothingAndWritesNothing)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Subscriber sub(broker.port(), "#");
    auto p = publisher(); // no publish.cfg
    EXPECT_FALSE(p->enabled());
    EXPECT_EQ(p->statusText(), "");
    p->onReading(kReading, 1, 1, kAt);
    p->onRecord(kReading, 1, kAt);
    EXPECT_FALSE(QFile::exists(publish::publishCfgPath(m_app)));

    writePublish(broker.port(), "0");
    const QByteArray before = fileBytes(publish::publishCfgPath(m_app));
    p->reload(m_app);
    EXPECT_FALSE(p->enabled());
    p->onReading(kReading, 1, 1, kAt);
    p->onRecord(kReading, 1, kAt);
    EXPECT_EQ(p->link(), nullptr);
    // A message of another client, sent after: once it is there, it is all there is.
    {
        Subscriber other(broker.port(), "unrelated");
        mosquitto_publish(other.handle(), nullptr, "sentinel", 1, "x", 1, false);
        ASSERT_TRUE(waitFor([&] { return !sub.on("sentinel").empty(); }));
    }
    EXPECT_EQ(sub.received().size(), 1u);
    EXPECT_EQ(fileBytes(publish::publishCfgPath(m_app)), before);
}

TEST_F(BrokerTest, TestConnectionSaysWhatHappened)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    publish::Publish window(m_app);
    const publish::PublishControls& c = window.controls();
    c.Host->setText("127.0.0.1");
    c.Port->setText(QString::number(broker.port()));
    c.TestConnection->click();
    ASSERT_TRUE(waitFor([&] { return m_messages.size() == 1; }));
    EXPECT_TRUE(m_messages[0].startsWith("Connected to 127.0.0.1:")) << m_messages[0].toStdString();
    c.Port->setText(QString::number(freePort()));
    c.TestConnection->click();
    ASSERT_TRUE(waitFor([&] { return m_messages.size() == 2; }));
    EXPECT_TRUE(m_messages[1].startsWith("Cannot connect to 127.0.0.1:"))
        << m_messages[1].toStdString();
    // A test that waited for the broker would hold the loop for its 15 s deadline: while a
    // silent broker holds the test's connection, the loop turns and no answer has been given.
    SilentBroker silent;
    c.Port->setText(QString::number(silent.server.serverPort()));
    c.TestConnection->click();
    ASSERT_TRUE(waitFor([&] { return silent.held(); }, 10000));
    LoopTurns turns(10);
    ASSERT_TRUE(waitFor([&] { return turns.ticks >= 5; }, 10000));
    EXPECT_EQ(m_messages.size(), 2) << "the deadline is 15 s away";
    EXPECT_FALSE(QFile::exists(publish::publishCfgPath(m_app)));
}

} // namespace

namespace {

// The main window end to end: frames from the line become state messages, a record a record
// message and, beside the page, html/status.json; the status line shows the broker.
TEST_F(BrokerTest, TheMainWindowPublishesWhatItDecodesAndLogs)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Subscriber sub(broker.port(), "tessaly/#");
    writePublish(broker.port());
    writeProg(ProgFile{.Savehtml = "1", .LogDelay = "10", .LogOn = "1"});
    auto pty = line(1);
    plant::Plant plant(m_app, core::Clock::system());
    monitor::Logger w(programs::tessaly(), plant);
    w.show();
    ASSERT_TRUE(waitFor([&] { return w.statusText().contains(u"MQTT: connected"); }))
        << w.statusText().toStdString();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return sub.on(kTopics.state).size() == 1; }));
    const QJsonObject state = json(sub.on(kTopics.state)[0].payload);
    EXPECT_EQ(state["volts"].toDouble(), 12.8);
    EXPECT_EQ(state["wind_unit"].toString(), QStringLiteral("km/h"));
    station::StationProbe::logTick(w.station());
    station::StationProbe::waitForDisk(w.station());
    ASSERT_TRUE(waitFor([&] { return sub.on(kTopics.record).size() == 1; }));
    EXPECT_EQ(json(sub.on(kTopics.record)[0].payload)["watts"].toDouble(), 115.2);
    const auto status = core::readWholeFile(publish::statusJsonPath(m_app));
    ASSERT_TRUE(status);
    EXPECT_EQ(json(*status)["volts"].toDouble(), 12.8);
}

// With publishing off, the window writes what it always wrote: no status.json, no publish.cfg.
TEST_F(AppDirTest, TheMainWindowWithPublishingOffWritesNothingNew)
{
    writeProg(ProgFile{.Savehtml = "1", .LogDelay = "10", .LogOn = "1"});
    plant::Plant plant(m_app, core::Clock::fixed(kAt.toLocalTime()));
    monitor::Logger w(programs::tessaly(), plant);
    station::StationProbe::logTick(w.station());
    station::StationProbe::waitForDisk(w.station());
    EXPECT_FALSE(w.publisher().enabled());
    EXPECT_FALSE(w.statusText().contains(u"MQTT"));
    EXPECT_FALSE(QFileInfo::exists(publish::statusJsonPath(m_app)));
    EXPECT_FALSE(QFileInfo::exists(publish::publishCfgPath(m_app)));
    EXPECT_TRUE(QFileInfo::exists(m_app.dailyLog(kAt.toLocalTime().date())));
}

} // namespace
