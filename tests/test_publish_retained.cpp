#include "alarms/alarmdelivery.h"
#include "alarms/alarmmonitor.h"
#include "alarms/alarmmqtt.h"
#include "publish/publishedtopics.h"
#include "tests/broker.h"

// Retained messages of a former plant name or base topic, on a real broker: cleared once with an
// empty retained message, then forgotten.
namespace {

using alarms::Kind;
using Received = Subscriber::Received;

// The retained messages the broker holds now: a new subscriber gets them before a message sent
// after its subscription, so once that one is in, all of them are.
std::vector<Received> retainedNow(int port)
{
    Subscriber fresh(port, "#");
    Subscriber other(port, "unrelated");
    mosquitto_publish(other.handle(), nullptr, "sentinel", 1, "x", 1, false);
    EXPECT_TRUE(waitFor([&] { return !fresh.on("sentinel").empty(); }));
    std::vector<Received> out;
    for (const Received& r : fresh.received()) {
        if (r.topic != "sentinel")
            out.push_back(r);
    }
    return out;
}

bool ofPlant(const QByteArray& topic, const char* base, const char* idBase)
{
    return topic.startsWith(QByteArray(base) + '/') ||
           topic.contains(QByteArray("/") + idBase + '/');
}

class RetainedTopics : public BrokerTest
{
protected:
    void writeName(int port, const char* name)
    {
        publish::PublishConfig v = publish::defaultPublishConfig();
        v.Enabled = "1";
        v.Host = "127.0.0.1";
        v.Port = QString::number(port);
        v.Name = name;
        ASSERT_TRUE(publish::savePublishConfig(m_app, v));
    }
    bool remembered(const char* base, const char* idBase)
    {
        for (const QByteArray& topic : publish::readPublishedTopics(m_app)) {
            if (ofPlant(topic, base, idBase))
                return true;
        }
        return false;
    }
};

TEST_F(RetainedTopics, ARenamedPlantsTopicsAreClearedOnceAndNotSentAgain)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Subscriber live(broker.port(), "#");
    writeName(broker.port(), "plant");
    auto p = publisher();
    alarms::AlarmMonitor monitor;
    alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
    c[Kind::BattLow] = {true, 11.8, 0.3, 0};
    monitor.setConfig(c);
    alarms::AlarmDelivery delivery(m_app, monitor, nullptr, p.get(), [](logging::FileWrite) {});
    core::QuantityValues low{};
    low[core::kVolts] = 11.6;
    monitor.onReading(low, 0, QDateTime(QDate(2024, 3, 7), QTime(14, 5, 0)));
    const QByteArray oldAlarm = alarms::alarmTopic("tessaly", "plant", Kind::BattLow);
    ASSERT_TRUE(waitFor([&] { return !live.on(oldAlarm).empty(); }, 10000))
        << p->statusText().toStdString();
    std::vector<QByteArray> oldTopics;
    for (const Received& r : retainedNow(broker.port())) {
        if (ofPlant(r.topic, "tessaly/plant", "tessaly_plant"))
            oldTopics.push_back(r.topic);
    }
    // The sensors' and the alarm's discovery, the alarm's state and the status.
    ASSERT_GE(oldTopics.size(), 10u);

    writeName(broker.port(), "mill");
    p->reload(m_app);
    delivery.reload();
    // Forgotten once the broker has acknowledged the empty messages.
    ASSERT_TRUE(waitFor([&] { return !remembered("tessaly/plant", "tessaly_plant"); }, 10000))
        << publish::publishedTopicsText(publish::readPublishedTopics(m_app)).toStdString();
    EXPECT_TRUE(remembered("tessaly/mill", "tessaly_mill"));
    const std::vector<Received> held = retainedNow(broker.port());
    for (const Received& r : held) {
        // Not even the status: a former name does not stand "offline" for ever.
        EXPECT_FALSE(ofPlant(r.topic, "tessaly/plant", "tessaly_plant"))
            << r.topic.toStdString() << " is back";
    }
    EXPECT_TRUE(std::any_of(held.begin(), held.end(), [](const Received& r) {
        return r.topic == alarms::alarmTopic("tessaly", "mill", Kind::BattLow) && r.payload == "ON";
    }));
    auto onOldTopics = [&] {
        std::size_t n = 0;
        for (const QByteArray& topic : oldTopics) {
            if (topic != "tessaly/plant/status")
                n += live.on(topic).size();
        }
        return n;
    };
    const std::size_t cleared = onOldTopics();

    // Another connect: nothing goes to the old topics any more. Its "online" follows what it
    // sends at connecting.
    auto onlines = [&] {
        std::size_t n = 0;
        for (const Received& r : live.on("tessaly/mill/status"))
            n += r.payload == "online" ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(waitFor([&] { return onlines() == 1; }));
    p->setRetryTimes(100, 500, 400);
    p->reload(m_app);
    ASSERT_TRUE(waitFor([&] { return onlines() == 2; }, 10000)) << p->statusText().toStdString();
    EXPECT_EQ(onOldTopics(), cleared);
    ASSERT_FALSE(live.on("tessaly/plant/status").empty());
    EXPECT_TRUE(live.on("tessaly/plant/status").back().payload.isEmpty());
    for (const QByteArray& topic : oldTopics) {
        if (topic == "tessaly/plant/status")
            continue;
        const std::vector<Received> got = live.on(topic);
        ASSERT_FALSE(got.empty()) << topic.toStdString();
        EXPECT_TRUE(got.back().payload.isEmpty()) << topic.toStdString();
        EXPECT_EQ(std::count_if(got.begin(), got.end(),
                                [](const Received& r) { return r.payload.isEmpty(); }),
                  1)
            << topic.toStdString() << ": cleared once";
    }
}

// A name changed while the program was closed: published.cfg still tells what the broker holds.
TEST_F(RetainedTopics, TopicsOfANameChangedWhileClosedAreClearedAtTheNextConnect)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    const publish::TopicSet old{"tessaly/old/alarm/BattLow", "tessaly/old/status",
                                "homeassistant/sensor/tessaly_old/volts/config"};
    {
        Subscriber last(broker.port(), "unrelated");
        for (const QByteArray& topic : old)
            mosquitto_publish(last.handle(), nullptr, topic.constData(), 2, "ON", 1, true);
        ASSERT_TRUE(waitFor([&] { return retainedNow(broker.port()).size() == old.size(); }));
    }
    ASSERT_TRUE(publish::savePublishedTopics(m_app, old));
    writeName(broker.port(), "plant");
    auto p = publisher();
    ASSERT_TRUE(waitFor([&] { return !remembered("tessaly/old", "tessaly_old"); }, 10000))
        << p->statusText().toStdString();
    for (const Received& r : retainedNow(broker.port()))
        EXPECT_FALSE(old.count(r.topic)) << r.topic.toStdString() << " is still held";
}

TEST(PublishedTopicsFile, AnyTopicReadsBackAsItWas)
{
    const publish::TopicSet topics{"tessaly/plant/alarm/BattLow", "a/<Topic>/b%41\r\n",
                                   QByteArray("nul\0in", 6),
                                   "homeassistant/sensor/x_y/volts/config"};
    const QByteArray text = publish::publishedTopicsText(topics);
    EXPECT_TRUE(text.startsWith("Published Topics\r\n\r\n<Topic>a/%3CTopic%3E/b%2541%0D%0A</Topic>"
                                "\r\n"))
        << text.toStdString();
    EXPECT_EQ(publish::parsePublishedTopics(text), topics);
    EXPECT_TRUE(publish::parsePublishedTopics("Published\r\n<Topic>a</Topic>").empty());
}

} // namespace
