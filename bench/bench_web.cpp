// The web view's answers: /api/days for a year of day files at 1200 columns from warm summaries
// (kept in the server's memory as it answers, and from the packs on disk alone),
// /api/now as a text and as a request on a kept-alive connection to the server on its own
// thread, and a frame's values reaching a follower of /events. TESSALY_SEASON_DAYS makes the
// year shorter (the smoke run).
#include "tools/daylog.h"
#include "web/apidata.h"
#include "web/livevalues.h"
#include "web/summarymemo.h"
#include "web/webserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const QDate kFirst(2024, 1, 1);

int dayCount()
{
    const int asked = qEnvironmentVariableIntValue("TESSALY_SEASON_DAYS");
    return asked > 0 ? std::min(asked, 366) : 365;
}

struct Year
{
    QTemporaryDir tmp;
    web::ApiContext context;
    web::SummaryMemo memo;
    int days = dayCount();

    Year()
    {
        context.app = core::AppDir{tmp.path()};
        context.summaryDir = tmp.filePath(QStringLiteral("cache"));
        context.wsUnits = QStringLiteral("km/h");
        QDir().mkpath(context.app.logsDir());
        for (int d = 0; d < days; ++d) {
            const std::string text = sim::dayLogText({std::uint32_t(d + 1), 8640, 0, 10});
            QFile f(context.app.dailyLog(kFirst.addDays(d)));
            if (!f.open(QIODevice::WriteOnly) || f.write(text.data(), qint64(text.size())) < 0)
                qFatal("cannot write the day files");
        }
    }
};

void apiDaysYear(benchmark::State& state, bool memo)
{
    static Year y;
    y.context.memo = memo ? &y.memo : nullptr;
    const QUrlQuery query(
        QStringLiteral("from=%1&to=%2&columns=1200")
            .arg(kFirst.toString(Qt::ISODate), kFirst.addDays(y.days - 1).toString(Qt::ISODate)));
    if (web::daysAnswer(query, y.context).status != 200) // the summaries made: warm from here
        state.SkipWithError("no answer");
    for (auto _ : state) {
        const web::ApiAnswer answer = web::daysAnswer(query, y.context);
        benchmark::DoNotOptimize(answer.body.data());
        state.counters["bytes"] = double(answer.body.size());
    }
}

// As the server answers: the summaries it has read kept in memory.
void apiDaysYearWarm(benchmark::State& state)
{
    apiDaysYear(state, true);
}

// Each request reading the month packs again, as before the server kept them.
void apiDaysYearPacks(benchmark::State& state)
{
    apiDaysYear(state, false);
}

web::LiveValues sample()
{
    web::LiveValues live;
    live.values = {12.8, 9, 115.2, 0, 300, 5};
    live.mode = 1;
    live.time = QDateTime::currentDateTime();
    live.frameMs = 0;
    live.wsUnits = QStringLiteral("km/h");
    return live;
}

void apiNowText(benchmark::State& state)
{
    const web::LiveValues live = sample();
    for (auto _ : state)
        benchmark::DoNotOptimize(web::nowJson(live, 1000).data());
}

// The server on a thread of its own, as the plant runs it, with one connection kept alive.
struct Served
{
    QTemporaryDir tmp;
    QThread thread;
    std::unique_ptr<web::WebServer> server;
    quint16 port = 0;

    Served()
    {
        server = std::make_unique<web::WebServer>(web::WebServer::Context{
            core::AppDir{tmp.path()}, core::Clock::system(), tmp.path(), tmp.path()});
        server->moveToThread(&thread);
        thread.start();
        web::WebSettings settings;
        settings.on = true;
        settings.port = 0;
        QMetaObject::invokeMethod(
            server.get(), [this, settings] { server->apply(settings, {}); },
            Qt::BlockingQueuedConnection);
        port = server->state().port;
        setLive(sample());
    }
    ~Served()
    {
        QMetaObject::invokeMethod(
            server.get(), [this] { server->stop(); }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
    void setLive(const web::LiveValues& live)
    {
        QMetaObject::invokeMethod(server.get(), [this, live] { server->setLive(live); });
    }
    int connect() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            qFatal("cannot connect");
        return fd;
    }
};

// Reads until the text has come.
QByteArray readUntil(int fd, QByteArray& pending, const QByteArray& text)
{
    char buffer[8192];
    while (!pending.contains(text)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            qFatal("the server closed");
        pending.append(buffer, n);
    }
    const qsizetype end = pending.indexOf(text) + text.size();
    const QByteArray out = pending.left(end);
    pending.remove(0, end);
    return out;
}

void apiNowRequest(benchmark::State& state)
{
    Served served;
    const int fd = served.connect();
    const QByteArray request =
        "GET /api/now HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(served.port) + "\r\n\r\n";
    QByteArray pending;
    for (auto _ : state) {
        ::send(fd, request.constData(), size_t(request.size()), 0);
        readUntil(fd, pending, "\r\n\r\n");
        readUntil(fd, pending, "}");
    }
    ::close(fd);
}

// From the values handed to the server to their event read by a follower. Events come at most
// once a second, so each try waits out the second first (not timed).
void frameToEvent(benchmark::State& state)
{
    Served served;
    const int fd = served.connect();
    const QByteArray request =
        "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(served.port) + "\r\n\r\n";
    ::send(fd, request.constData(), size_t(request.size()), 0);
    QByteArray pending;
    readUntil(fd, pending, "\r\n\r\n");
    readUntil(fd, pending, "retry: 2000\n\n");
    readUntil(fd, pending, "\n\n");
    double volts = 20;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1050));
        web::LiveValues live = sample();
        live.values[core::kVolts] = volts += 0.5;
        const QByteArray expected = "\"volts\":" + QByteArray::number(volts);
        QElapsedTimer timer;
        timer.start();
        served.setLive(live);
        const QByteArray event = readUntil(fd, pending, "\n\n");
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!event.contains(expected))
            state.SkipWithError("the event carried other values");
    }
    ::close(fd);
}

} // namespace

BENCHMARK(apiDaysYearWarm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(apiDaysYearPacks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(apiNowText)->Unit(benchmark::kMicrosecond);
BENCHMARK(apiNowRequest)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(frameToEvent)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
