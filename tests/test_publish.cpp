#include "monitor/logger.h"
#include "programs/variants.h"
#include "publish/messages.h"
#include "publish/mqttlink.h"
#include "publish/publishconfig.h"
#include "publish/publisher.h"
#include "publish/publishwindow.h"
#include "tests/fixture.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
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
                         "s3cr<et> \xc3\xa4</Password>\r\n<TLS>0</TLS>\r\n<BaseTopic>tessaly"
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
        waitFor([&] { return m_messages.size() == 3; }, publish::Publish::kLookupMs + 1000));
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
        EXPECT_EQ(c["device"]["identifiers"].toArray().first().toString(), "tessaly_plant_1");
        EXPECT_EQ(c["device"]["name"].toString(), "Plant 1");
        EXPECT_TRUE(c["unique_id"].toString().startsWith("tessaly_plant_1_"));
        EXPECT_TRUE(c["value_template"].toString().contains("value_json."));
        byKey[c["unique_id"].toString().mid(16)] = c;
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

QString mosquittoPath()
{
    // Debian puts the broker in /usr/sbin, which is not on every user's PATH.
    QString path = QStandardPaths::findExecutable("mosquitto");
    if (path.isEmpty())
        path = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/local/sbin"});
    return path;
}

int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

bool accepting(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    return socket.waitForConnected(100);
}

// A Mosquitto broker on a localhost port, with a configuration of its own in a temporary folder.
class Broker
{
public:
    explicit Broker(QStringList extraLines = {"allow_anonymous true"})
        : m_lines(std::move(extraLines))
        , m_port(freePort())
    {}
    ~Broker() { stop(); }

    bool start()
    {
        QStringList lines{QStringLiteral("listener %1 127.0.0.1").arg(m_port), "persistence true",
                          "persistence_location " + m_dir.path() + "/"};
        if (::geteuid() == 0)
            lines << "user root"; // it would switch to "mosquitto", which cannot read m_dir
        lines << m_lines;
        QFile conf(m_dir.filePath("mosquitto.conf"));
        if (!conf.open(QIODevice::WriteOnly) || conf.write(lines.join('\n').toUtf8() + '\n') < 0)
            return false;
        conf.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(mosquittoPath(), {"-c", conf.fileName()});
        return m_process.waitForStarted(3000) && waitFor([this] { return accepting(m_port); });
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    int port() const { return m_port; }
    QByteArray log() { return m_process.readAll(); }

private:
    QTemporaryDir m_dir;
    QStringList m_lines;
    int m_port;
    QProcess m_process;
};

// A subscriber through the same library, on its own thread.
class Subscriber
{
public:
    struct Received
    {
        QByteArray topic;
        QByteArray payload;
        bool retain;
    };

    Subscriber(int port, const char* topic, const char* id = nullptr)
        : m_topic(topic)
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new(id, id == nullptr, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto* m, void* self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->m_topic, 1);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Subscriber*>(self)->m_subscribed = true;
        });
        mosquitto_message_callback_set(
            m_mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* s = static_cast<Subscriber*>(self);
                std::lock_guard lock(s->m_mutex);
                s->m_received.push_back(
                    {QByteArray(m->topic),
                     QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain});
            });
        EXPECT_EQ(mosquitto_connect(m_mosq, "127.0.0.1", port, 60), MOSQ_ERR_SUCCESS);
        mosquitto_loop_start(m_mosq);
        EXPECT_TRUE(waitFor([this] { return m_subscribed.load(); })) << "no SUBACK";
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    std::vector<Received> received()
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    std::vector<Received> on(const QByteArray& topic)
    {
        std::vector<Received> out;
        for (const Received& r : received()) {
            if (r.topic == topic)
                out.push_back(r);
        }
        return out;
    }

private:
    const char* m_topic;
    mosquitto* m_mosq = nullptr;
    std::atomic<bool> m_subscribed{false};
    std::mutex m_mutex;
    std::vector<Received> m_received;
};

// Each test needs the broker; without it the test says so and is skipped, never passed.
class BrokerTest : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        if (mosquittoPath().isEmpty())
            GTEST_SKIP() << "the mosquitto broker is not installed (Debian: mosquitto); skipped";
    }

    void writePublish(int port, const char* enabled = "1", const char* user = "",
                      const char* password = "")
    {
        publish::PublishConfig v = publish::defaultPublishConfig();
        v.Enabled = enabled;
        v.Host = "127.0.0.1";
        v.Port = QString::number(port);
        v.User = user;
        v.Password = password;
        v.Name = "plant";
        ASSERT_TRUE(publish::savePublishConfig(m_app, v));
    }
    std::unique_ptr<publish::Publisher> publisher()
    {
        auto p = std::make_unique<publish::Publisher>();
        p->setRetryTimes(100, 400, 400);
        p->reload(m_app);
        return p;
    }
    static bool reaches(const publish::Publisher& p, LinkStatus::State state, int ms = 3000)
    {
        return waitFor([&] { return p.link() && p.link()->status().state == state; }, ms);
    }
};

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

    // At most one state a second, the latest winning.
    for (int k = 1; k <= 5; ++k)
        p->onReading(kReading, 2.5 + k, 1, kAt);
    EXPECT_TRUE(waitFor([&] { return sub.on(kTopics.state).size() == 2; }, 2000));
    waitFor([] { return false; }, 300);
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
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Connected, 5000)) << p->statusText().toStdString();
    ASSERT_TRUE(waitFor([&] { return p->link()->status().waiting == 0; }));
    Subscriber sub(broker.port(), kTopics.record.constData(), "test-records");
    ASSERT_TRUE(waitFor([&] { return sub.on(kTopics.record).size() >= 5; }));
    waitFor([] { return false; }, 200);
    std::vector<int> volts;
    for (const auto& r : sub.on(kTopics.record))
        volts.push_back(json(r.payload)["volts"].toInt());
    EXPECT_EQ(volts, (std::vector<int>{2, 3, 4, 5, 6})) << broker.log().toStdString();
}

TEST_F(BrokerTest, RefusedLoginIsReported)
{
    QTemporaryDir dir;
    const QString passwords = dir.filePath("passwords");
    const QString tool = QStandardPaths::findExecutable("mosquitto_passwd");
    if (tool.isEmpty())
        GTEST_SKIP() << "mosquitto_passwd is not installed (Debian: mosquitto); skipped";
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

// The user interface thread's timers keep their pace whatever the broker does.
struct TimerPace
{
    explicit TimerPace(int ms)
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (clock.isValid())
                longestGap = std::max(longestGap, clock.restart());
            else
                clock.start();
            ++ticks;
        });
        timer.start(ms);
    }
    QTimer timer;
    QElapsedTimer clock;
    qint64 longestGap = 0;
    int ticks = 0;
};

TEST_F(BrokerTest, SilentOrAbsentBrokerNeverHoldsUpTheLoop)
{
    // Takes the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    writePublish(silent.serverPort());
    TimerPace pace(10);
    auto p = publisher();
    for (int k = 0; k < 20; ++k)
        p->onRecord(kReading, 1, kAt);
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Retrying)) << p->statusText().toStdString();
    EXPECT_TRUE(p->statusText().contains("no answer")) << p->statusText().toStdString();
    waitFor([] { return false; }, 500);
    EXPECT_GT(pace.ticks, 30);
    EXPECT_LT(pace.longestGap, 150) << "the loop stalled";

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
    waitFor([&] { return waits.size() >= 3; }, 2000);
    EXPECT_EQ(waits, (std::vector<int>{200, 400, 400}));
    EXPECT_LT(pace.longestGap, 150) << "the loop stalled";
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
    auto p = publisher();
    ASSERT_TRUE(reaches(*p, LinkStatus::State::Retrying)) << p->statusText().toStdString();
    waitFor([] { return false; }, 700);
    // Waits of 0.1, 0.2, 0.4 s: four attempts at most in this time, never a busy loop.
    EXPECT_GE(connections, 2);
    EXPECT_LE(connections, 4);
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
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(sub.received().empty());
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
    TimerPace pace(10);
    c.TestConnection->click();
    ASSERT_TRUE(waitFor([&] { return m_messages.size() == 1; }));
    EXPECT_TRUE(m_messages[0].startsWith("Connected to 127.0.0.1:")) << m_messages[0].toStdString();
    c.Port->setText(QString::number(freePort()));
    c.TestConnection->click();
    ASSERT_TRUE(waitFor([&] { return m_messages.size() == 2; }));
    EXPECT_TRUE(m_messages[1].startsWith("Cannot connect to 127.0.0.1:"))
        << m_messages[1].toStdString();
    EXPECT_LT(pace.longestGap, 150) << "the loop stalled";
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
    monitor::Logger w(programs::tessaly(), m_app, core::Clock::system());
    w.show();
    ASSERT_TRUE(waitFor([&] { return w.statusText().contains(u"MQTT: connected"); }))
        << w.statusText().toStdString();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return sub.on(kTopics.state).size() == 1; }));
    const QJsonObject state = json(sub.on(kTopics.state)[0].payload);
    EXPECT_EQ(state["volts"].toDouble(), 12.8);
    EXPECT_EQ(state["wind_unit"].toString(), QStringLiteral("km/h"));
    w.Timer1_Timer();
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
    monitor::Logger w(programs::tessaly(), m_app, core::Clock::system());
    w.Timer1_Timer();
    EXPECT_FALSE(w.publisher().enabled());
    EXPECT_FALSE(w.statusText().contains(u"MQTT"));
    EXPECT_FALSE(QFileInfo::exists(publish::statusJsonPath(m_app)));
    EXPECT_FALSE(QFileInfo::exists(publish::publishCfgPath(m_app)));
    EXPECT_TRUE(QFileInfo::exists(m_app.dailyLog(QDate::currentDate())));
}

// A measurement, not part of the suite: frames at one a second through the line, the time from
// writing each to its state message at a subscriber. Run with --gtest_also_run_disabled_tests.
TEST_F(BrokerTest, DISABLED_FrameToStateLatency)
{
    Broker broker;
    ASSERT_TRUE(broker.start());
    Subscriber sub(broker.port(), "tessaly/plant/state");
    writePublish(broker.port());
    auto pty = line(1);
    monitor::Logger w(programs::tessaly(), m_app, core::Clock::system());
    ASSERT_TRUE(waitFor([&] { return w.statusText().contains(u"MQTT: connected"); }));
    std::vector<double> ms;
    for (int k = 1; k <= 100; ++k) {
        waitFor([] { return false; }, 1000);
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(pty->write("[<V>" + std::to_string(500 + k) + "</V><I>530</I>]"));
        ASSERT_TRUE(waitFor([&] { return int(sub.on(kTopics.state).size()) >= k; }, 3000));
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("frame to state message: median %.2f ms, 90th %.2f ms, worst %.2f ms\n", ms[50],
                ms[90], ms.back());
}

} // namespace
