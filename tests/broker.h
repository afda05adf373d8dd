#pragma once

// A real Mosquitto broker for the publishing tests, a subscriber through the same library, and
// the fixture that skips (and says why) where the broker is not installed.

#include "publish/mqttlink.h"
#include "publish/publishconfig.h"
#include "publish/publisher.h"
#include "tests/fixture.h"
#include "tests/freeport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <atomic>
#include <mosquitto.h>
#include <mutex>
#include <vector>

inline QString mosquittoPath()
{
    // Debian puts the broker in /usr/sbin, which is not on every user's PATH.
    QString path = QStandardPaths::findExecutable("mosquitto");
    if (path.isEmpty())
        path = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/local/sbin"});
    return path;
}

inline bool accepting(int port)
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
        // A loaded machine may take seconds to start it; waitFor returns once it listens.
        return m_process.waitForStarted(20000) && waitFor([this] { return accepting(m_port); });
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(20000);
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
    mosquitto* handle() const { return m_mosq; }
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
            SKIP_OR_FAIL_IN_CI("the mosquitto broker is not installed (Debian: mosquitto)");
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
    static bool reaches(const publish::Publisher& p, publish::LinkStatus::State state,
                        int ms = 20000)
    {
        return waitFor([&] { return p.link() && p.link()->status().state == state; }, ms);
    }
};
