#include "web/webserver.h"

#include "core/files.h"
#include "core/version.h"
#include "web/healthapi.h"
#include "web/webguard.h"
#include "web/windapi.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <atomic>

namespace web {
namespace {

constexpr int kEventGapMs = 1000;
constexpr int kJobCheckMs = 1000;

const HeaderPairs kJson = {{"Content-Type", "application/json"}, {"Cache-Control", "no-store"}};

void sendAnswer(Reply& reply, const ApiAnswer& answer)
{
    HeaderPairs headers =
        answer.status == 200 ? kJson : HeaderPairs{{"Content-Type", "text/plain; charset=utf-8"}};
    if (answer.status == 503)
        headers.push_back({"Retry-After", QByteArray::number(WebServer::kJobPatienceMs / 1000)});
    reply.send(answer.status, headers, answer.body);
}

// What a job on the pool shares with the server: it may outlive the server.
struct Job
{
    JobControl control;
    std::atomic<bool> started{false};
    std::atomic<bool> ended{false};
};

} // namespace

// A job as the server's thread sees it: the reply until it is sent, and how long the job has
// gone without a step.
struct WebServer::Pending
{
    std::shared_ptr<Job> job;
    std::unique_ptr<Reply> reply;
    quint64 steps = 0;
    int quietMs = 0;
};

WebServer::WebServer(Context context, QObject* parent)
    : QObject(parent)
    , m_context(std::move(context))
    , m_pool(new QThreadPool)
{
    m_eventTimer.setSingleShot(true);
    connect(&m_eventTimer, &QTimer::timeout, this, &WebServer::sendEvent);
    // Two at a time: a year of summaries is work for a while, and the plant shares the cores.
    m_pool->setMaxThreadCount(kJobThreads);
    m_jobTimer.setInterval(kJobCheckMs);
    connect(&m_jobTimer, &QTimer::timeout, this, &WebServer::checkJobs);
}

WebServer::~WebServer()
{
    stop();
    for (const auto& pending : m_jobs)
        pending->job->control.cancelled = true;
    m_jobs.clear();
    // The jobs not begun never will be; the ones running stop at their next read. One stuck in
    // a read of a folder that does not answer may never return, so its pool is left behind.
    m_pool->clear();
    if (m_pool->waitForDone(kJobCheckMs))
        delete m_pool;
}

void WebServer::stop()
{
    m_streams.clear();
    m_guard = nullptr;
    m_http.reset();
}

void WebServer::setState(WebState state)
{
    if (state == m_state)
        return;
    m_state = std::move(state);
    emit stateChanged(m_state);
}

void WebServer::apply(const WebSettings& settings, const QString& warning)
{
    stop();
    m_settings = settings;
    WebState state;
    state.warning = warning;
    if (!settings.on) {
        setState(state);
        return;
    }
    state.address = settings.address.toString();
    state.port = settings.port;
    state.token = !settings.loopback();
    auto guard = std::make_unique<WebGuard>();
    // 0.0.0.0 stands for every device: the dual-stack address takes IPv6 ones too.
    const QHostAddress address =
        settings.everyDevice() ? QHostAddress(QHostAddress::Any) : settings.address;
    if (!guard->listen(address, settings.port)) {
        state.kind = guard->serverError() == QAbstractSocket::AddressInUseError
                         ? WebState::Kind::PortTaken
                         : WebState::Kind::Failed;
        state.error = guard->errorString();
        setState(state);
        return;
    }
    state.port = guard->serverPort();
    m_settings.port = state.port;
    m_http =
        std::make_unique<HttpAdapter>([this](const Request& request, std::unique_ptr<Reply> reply) {
            route(request, std::move(reply));
        });
    m_guard = guard.release();
    m_http->bind(m_guard);
    state.kind = WebState::Kind::Listening;
    setState(state);
}

void WebServer::setLive(const LiveValues& live)
{
    m_live = live;
    if (m_streams.empty() || m_eventTimer.isActive())
        return;
    const qint64 since = m_sinceEvent.isValid() ? m_sinceEvent.elapsed() : kEventGapMs;
    if (since >= kEventGapMs)
        sendEvent();
    else
        m_eventTimer.start(int(kEventGapMs - since));
}

void WebServer::setCurve(const CurveFacts& curve)
{
    m_curve = curve;
}

void WebServer::sendEvent()
{
    std::erase_if(m_streams, [](const std::unique_ptr<Reply>& r) { return !r->alive(); });
    if (m_streams.empty())
        return;
    const QByteArray event = nowEvent(m_live, m_context.clock.elapsedMs());
    // A client that stopped reading would have its events pile up without end: once it is this
    // far behind, its stream ends (the page reconnects by itself when it reads again).
    for (const auto& stream : m_streams) {
        if (stream->unsent() + event.size() > kMaxStreamBacklog)
            stream->reset();
        else
            stream->write(event);
    }
    std::erase_if(m_streams, [](const std::unique_ptr<Reply>& r) { return !r->alive(); });
    m_sinceEvent.start();
}

void WebServer::route(const Request& request, std::unique_ptr<Reply> reply)
{
    Policy policy{m_settings.address, m_settings.port, m_settings.token};
    if (const auto refusal = checkRequest(request.facts, policy)) {
        HeaderPairs headers = refusal->headers;
        if (std::none_of(headers.begin(), headers.end(),
                         [](const auto& h) { return h.first == "Content-Type"; }))
            headers.push_back({"Content-Type", "text/plain; charset=utf-8"});
        // A refused request ends its connection, so a host cannot hold one open by asking
        // wrongly; the redirect that sets the cookie is followed on the same one.
        const bool last = refusal->status != 303;
        if (last && !headers.contains(QPair<QByteArray, QByteArray>("Connection", "close")))
            headers.push_back({"Connection", "close"});
        reply->send(refusal->status, headers, refusal->body);
        if (last)
            reply->closeAfter();
        return;
    }
    const QByteArray& path = request.facts.path;
    if (path == "/api/now") {
        reply->send(200, kJson, nowJson(m_live, m_context.clock.elapsedMs()));
    } else if (path == "/metrics") {
        reply->send(200,
                    {{"Content-Type", "text/plain; version=0.0.4; charset=utf-8"},
                     {"Cache-Control", "no-store"}},
                    metricsText(m_live, m_context.clock.elapsedMs(), core::kVersion) +
                        windMetricsText(m_curve, m_context.clock.now().date()));
    } else if (path == "/events") {
        follow(std::move(reply));
    } else if (path.startsWith("/api/")) {
        slow(request, std::move(reply));
    } else {
        serveFile(request, *reply);
    }
}

void WebServer::follow(std::unique_ptr<Reply> reply)
{
    const HeaderPairs headers = {{"Content-Type", "text/event-stream"},
                                 {"Cache-Control", "no-store"}};
    if (reply->headOnly()) {
        reply->send(200, headers, {});
        return;
    }
    reply->beginStream(headers);
    // The page shows the values at once rather than a second later.
    reply->write("retry: 2000\n\n" + nowEvent(m_live, m_context.clock.elapsedMs()));
    m_streams.push_back(std::move(reply));
    // The newcomer has the values; the next event for all waits its second.
    if (!m_eventTimer.isActive())
        m_sinceEvent.start();
}

void WebServer::slow(const Request& request, std::unique_ptr<Reply> reply)
{
    using Answer = ApiAnswer (*)(const QUrlQuery&, const ApiContext&);
    Answer answer = nullptr;
    const QByteArray& path = request.facts.path;
    if (path == "/api/energy")
        answer = &energyAnswer;
    else if (path == "/api/days")
        answer = &daysAnswer;
    else if (path == "/api/day")
        answer = &dayAnswer;
    else if (path == "/api/curve")
        answer = [](const QUrlQuery&, const ApiContext& c) {
            return curveAnswer(c);
        };
    else if (path == "/api/health")
        answer = [](const QUrlQuery&, const ApiContext& c) {
            return healthAnswer(c);
        };
    else if (path == "/api/battery")
        answer = &batteryAnswer;
    else if (path == "/api/wind")
        answer = &windAnswer;
    if (!answer) {
        reply->send(404, {{"Content-Type", "text/plain; charset=utf-8"}}, "Not Found\n");
        return;
    }
    // Every thread holds a job stuck on the folder: a new one would only wait behind them.
    if (stuckJobs() >= kJobThreads) {
        sendAnswer(*reply, busyAnswer());
        return;
    }
    auto job = std::make_shared<Job>();
    ApiContext context{m_context.app, m_context.summaryDir, m_context.clock.now().date(),
                       m_curve,       m_live.wsUnits,       nullptr,
                       &job->control};
    context.beforeDayRead = m_context.beforeDayRead;
    context.now = m_context.clock.now();
    const QUrlQuery query(QString::fromLatin1(request.facts.query));
    auto pending = std::make_shared<Pending>();
    pending->job = job;
    pending->reply = std::move(reply);
    m_jobs.push_back(pending);
    auto* watcher = new QFutureWatcher<ApiAnswer>(this);
    connect(watcher, &QFutureWatcher<ApiAnswer>::finished, this, [this, watcher, pending] {
        if (pending->reply)
            sendAnswer(*pending->reply, watcher->result());
        std::erase(m_jobs, pending);
        watcher->deleteLater();
    });
    // The job holds what it reads, the memo too: it may end after the server.
    watcher->setFuture(QtConcurrent::run(m_pool, [answer, query, context, job, memo = m_memo] {
        job->started = true;
        ApiContext own = context;
        own.memo = memo.get();
        const ApiAnswer a = job->control.cancelled ? busyAnswer() : answer(query, own);
        job->ended = true;
        return a;
    }));
    if (!m_jobTimer.isActive())
        m_jobTimer.start();
}

// A job that has waited for a thread, or read nothing, for kJobPatienceMs is answered busy and
// told to stop: its connection is free again whatever the folder does.
void WebServer::checkJobs()
{
    for (const auto& pending : m_jobs) {
        if (!pending->reply)
            continue;
        const quint64 steps = pending->job->control.steps;
        if (steps != pending->steps) {
            pending->steps = steps;
            pending->quietMs = 0;
            continue;
        }
        pending->quietMs += kJobCheckMs;
        if (pending->quietMs < kJobPatienceMs)
            continue;
        pending->job->control.cancelled = true;
        sendAnswer(*pending->reply, busyAnswer());
        pending->reply.reset();
    }
    // A job told to stop before it began ends as soon as it has a thread.
    std::erase_if(m_jobs,
                  [](const std::shared_ptr<Pending>& p) { return !p->reply && !p->job->started; });
    if (m_jobs.empty())
        m_jobTimer.stop();
}

// Jobs answered busy that still hold a thread: stuck in a read.
int WebServer::stuckJobs() const
{
    return int(std::count_if(m_jobs.begin(), m_jobs.end(), [](const std::shared_ptr<Pending>& p) {
        return !p->reply && p->job->started && !p->job->ended;
    }));
}

void WebServer::serveFile(const Request& request, Reply& reply)
{
    const auto file = staticFile(m_context.webDir, request.facts.path);
    const auto bytes = file ? core::readWholeFile(*file) : std::nullopt;
    if (!bytes) {
        reply.send(404, {{"Content-Type", "text/plain; charset=utf-8"}}, "Not Found\n");
        return;
    }
    reply.send(200, {{"Content-Type", contentType(*file)}, {"Cache-Control", "no-cache"}}, *bytes);
}

} // namespace web
