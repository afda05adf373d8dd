#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "alarms/alarmmqtt.h"
#include "tests/broker.h"
#include "tests/logger_window.h"

#include <QDir>

// The alarms' retained states on a real broker, from the whole plant: a start says nothing of an
// alarm before it is evaluated, except what the log of the last run tells of it.
namespace {

using alarms::Kind;

class AlarmStates : public LoggerWindow
{
protected:
    void SetUp() override
    {
        LoggerWindow::SetUp();
        if (mosquittoPath().isEmpty())
            SKIP_OR_FAIL_IN_CI("the mosquitto broker is not installed (Debian: mosquitto)");
    }
    void writePublish(int port)
    {
        publish::PublishConfig v = publish::defaultPublishConfig();
        v.Enabled = "1";
        v.Host = "127.0.0.1";
        v.Port = QString::number(port);
        v.Name = "plant";
        ASSERT_TRUE(publish::savePublishConfig(m_app, v));
    }
    static std::vector<QByteArray> payloads(Subscriber& sub, Kind kind)
    {
        std::vector<QByteArray> out;
        for (const auto& r : sub.on(alarms::alarmTopic("tessaly", "plant", kind)))
            out.push_back(r.payload);
        return out;
    }
};

TEST_F(AlarmStates, AStartPublishesOnlyWhatItKnows)
{
    Broker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    Subscriber sub(broker.port(), "tessaly/#");
    // The last run left BattLow and NoData raised on the broker.
    {
        Subscriber last(broker.port(), "unrelated");
        for (const Kind k : {Kind::BattLow, Kind::NoData}) {
            mosquitto_publish(last.handle(), nullptr,
                              alarms::alarmTopic("tessaly", "plant", k).constData(), 2, "ON", 1,
                              true);
        }
        ASSERT_TRUE(waitFor([&] { return payloads(sub, Kind::NoData).size() == 1; }));
    }
    writePublish(broker.port());
    QByteArray cfg =
        *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
    for (const char* on : {"BattLowOn", "BattHighOn", "NoDataOn"})
        cfg.replace(QByteArray("<") + on + ">0<", QByteArray("<") + on + ">1<");
    cfg.replace("<Notify>1</Notify>", "<Notify>0</Notify>");
    ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), cfg));
    // Its log: BattLow raised ten minutes ago, NoData three days ago (too long to say of now).
    const QByteArray log = alarms::alarmLogLine(Kind::NoData, true, 120, m_now.addDays(-3)) +
                           alarms::alarmLogLine(Kind::BattLow, true, 11.6, m_now.addSecs(-600));
    QDir().mkpath(m_app.logsDir());
    ASSERT_TRUE(core::replaceFile(alarms::alarmLogPath(m_app), log));

    auto pty = line(1);
    auto w = start();
    // "online" follows the retained messages of the connect, in order.
    ASSERT_TRUE(waitFor([&] { return !sub.on("tessaly/plant/status").empty(); }, 10000))
        << w->statusText().toStdString();
    EXPECT_EQ(payloads(sub, Kind::BattLow), (std::vector<QByteArray>{"ON", "ON"}))
        << "restored from the log";
    EXPECT_EQ(payloads(sub, Kind::NoData), (std::vector<QByteArray>{"ON"}))
        << "not evaluated yet: the broker keeps what it had";
    EXPECT_TRUE(payloads(sub, Kind::BattHigh).empty()) << "not evaluated yet";
    EXPECT_EQ(w->watchers().raisedCount(), 1u);

    // 11.6 V: BattLow stays raised, BattHigh and NoData are evaluated as clear.
    ASSERT_TRUE(pty->write("[<V>464</V><I>530</I>]\r\n"));
    ASSERT_TRUE(waitFor([&] { return !payloads(sub, Kind::BattHigh).empty(); }));
    ASSERT_TRUE(waitFor([&] { return payloads(sub, Kind::NoData).size() == 2; }));
    EXPECT_EQ(payloads(sub, Kind::BattHigh), (std::vector<QByteArray>{"OFF"}));
    EXPECT_EQ(payloads(sub, Kind::NoData), (std::vector<QByteArray>{"ON", "OFF"}));
    EXPECT_EQ(payloads(sub, Kind::BattLow), (std::vector<QByteArray>{"ON", "ON"}));
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(fileBytes(alarms::alarmLogPath(m_app)), log) << "no change, so no line";
}

} // namespace
