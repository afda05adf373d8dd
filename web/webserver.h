#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "web/apidata.h"
#include "web/httpadapter.h"
#include "web/livevalues.h"
#include "web/security.h"
#include "web/summarymemo.h"
#include "web/webconfig.h"
#include "web/webstate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace web {

class WebGuard;

// The web view's server: the routes, the live values and the streams of events. It lives on a
// thread of its own (WebService puts it there); the slow answers are computed on its own pool
// and written when done, so neither the plant's thread nor this one waits for a disk. A job that
// waits for a thread, or reads nothing, for kJobPatienceMs is answered 503 and told to stop; while
// every thread holds such a stuck job, a new /api/ request gets 503 at once. At its end the
// server does not wait for stuck jobs: they are left to the end of the process.
class WebServer : public QObject
{
    Q_OBJECT
public:
    struct Context
    {
        core::AppDir app;
        core::Clock clock;
        QString webDir;     // the program's own web folder: the only place files are served from
        QString summaryDir; // the day summaries' cache
        // Called on a job's thread before a day is read (the records held in memory go to
        // their files); none when nothing is held.
        std::function<void()> beforeDayRead = {};
    };
    // As long as the guard waits for a request's bytes: a slow answer that makes no progress
    // for that long holds its connection no longer.
    static constexpr int kJobPatienceMs = kIdleMs;
    // The answers computed at once.
    static constexpr int kJobThreads = 2;

    explicit WebServer(Context context, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens as the settings say (closing what listened before), or stops when they say off;
    // stateChanged tells how it went.
    void apply(const web::WebSettings& settings, const QString& warning);
    void stop();
    // The latest values; the streams get them at most once a second.
    void setLive(const web::LiveValues& live);
    void setCurve(const web::CurveFacts& curve);

    const WebState& state() const { return m_state; }

signals:
    void stateChanged(const web::WebState& state);

private:
    void route(const Request& request, std::unique_ptr<Reply> reply);
    void slow(const Request& request, std::unique_ptr<Reply> reply);
    void serveFile(const Request& request, Reply& reply);
    void follow(std::unique_ptr<Reply> reply);
    void sendEvent();
    void setState(WebState state);
    struct Pending;
    void checkJobs();
    int stuckJobs() const;

    Context m_context;
    WebSettings m_settings;
    WebState m_state;
    std::unique_ptr<HttpAdapter> m_http;
    WebGuard* m_guard = nullptr; // owned by m_http
    LiveValues m_live;
    CurveFacts m_curve;
    std::vector<std::unique_ptr<Reply>> m_streams;
    QTimer m_eventTimer{this};
    QElapsedTimer m_sinceEvent;
    // Shared by the pool's answers, which may outlive the server.
    std::shared_ptr<SummaryMemo> m_memo = std::make_shared<SummaryMemo>();
    QThreadPool* m_pool; // deleted at the end unless a stuck job holds one of its threads
    std::vector<std::shared_ptr<Pending>> m_jobs; // the jobs not yet ended
    QTimer m_jobTimer{this};
};

} // namespace web
