#pragma once

#include "publish/mqttlink.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>

struct mosquitto;

namespace publish {

// The connection's side of an MqttLink: owns the library's handle and runs on a thread of its
// own, connecting, looping and waiting between attempts until it is told to stop. It tells the
// link what happens through queued calls; the link, which may go away first, shares it with the
// thread.
class Session
{
public:
    Session(const LinkSettings& settings, MqttLink* receiver, int generation);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Null when the library could not make a handle (out of memory).
    mosquitto* handle() const { return m_mosq; }

    // The thread's body: returns once requestStop() was called, after sending what the link
    // queued last.
    void run();
    // Tells the thread to end; the link is told nothing more.
    void requestStop();

private:
    bool stopping();
    template <typename F> void post(F f);
    void connack(int rc);
    QString runConnection(int& wait);
    void closeSocket();
    QString connectError(int rc, int err) const;

    const LinkSettings m_settings;
    const int m_generation;
    mosquitto* m_mosq = nullptr;
    int m_tlsResult = 0;
    std::atomic<int> m_connack{-1}; // -1 until the broker answers, then its return code

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    MqttLink* m_receiver = nullptr;
};

} // namespace publish
