// The web view's server through real sockets on 127.0.0.1, inside a real plant: the security
// rules one by one, the limits, the live values and the events.

#include "core/version.h"
#include "curve/aep.h"
#include "curve/windbins.h"
#include "curve/windstats.h"
#include "season/completeness.h"
#include "webplant.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryFile>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>

extern "C" const char* __lsan_default_suppressions()
{
    // Qt HTTP Server 6.4 keeps the request object of a connection whose request it could not
    // parse until the program ends; the malformed-request test makes many such connections.
    return "leak:libQt6HttpServer.so\n";
}

namespace {

const QByteArray kSecurityHeaders[][2] = {
    {"Content-Security-Policy", "script-src 'self'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
};

void expectSafeHeaders(const HttpAnswer& a)
{
    for (const auto& [name, part] : kSecurityHeaders)
        EXPECT_TRUE(a.header(name).contains(part)) << name.toStdString() << "\n"
                                                   << a.raw.left(600).toStdString();
    EXPECT_TRUE(a.header("Content-Security-Policy").contains("default-src 'none'"));
    for (const auto& [name, value] : a.headers)
        EXPECT_FALSE(name.toLower().startsWith("access-control-")) << name.toStdString();
}

using WebServer = WebPlantTest;

TEST_F(WebServer, AnswersNowAndMetricsOnLoopback)
{
    startPlant();
    ASSERT_EQ(m_plant->web().state().kind, web::WebState::Kind::Listening);
    frame();
    WebClient client(m_port);
    HttpAnswer now;
    ASSERT_TRUE(waitFor([&] {
        now = WebClient(m_port).get("/api/now");
        return now.body.contains("\"volts\":12.8");
    })) << now.raw.toStdString();
    EXPECT_EQ(now.status, 200);
    EXPECT_EQ(now.header("Content-Type"), "application/json");
    for (const char* field :
         {"\"amps\":9", "\"watts\":115.2", "\"rpm\":300", "\"wind\":5", "\"windUnits\":\"km/h\"",
          "\"mode\":1", "\"wattHours\":", "\"time\":\"", "\"alarms\":[]"})
        EXPECT_TRUE(now.body.contains(field)) << field;
    expectSafeHeaders(now);
    const HttpAnswer metrics = client.get("/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_TRUE(metrics.body.contains("tessaly_battery_volts 12.8\n"));
    EXPECT_TRUE(
        metrics.body.contains(QByteArray("tessaly_build_info{version=\"") + core::kVersion));
    const HttpAnswer head = client.get("/api/now", {}, "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.isEmpty());
}

TEST_F(WebServer, MethodsOtherThanGetAndHeadGet405)
{
    startPlant();
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        WebClient client(m_port);
        const HttpAnswer a = client.get("/api/now", "Content-Length: 0\r\n", method);
        EXPECT_EQ(a.status, 405) << method;
        EXPECT_EQ(a.header("Allow"), "GET, HEAD");
        expectSafeHeaders(a);
    }
    WebClient withBody(m_port);
    withBody.send("GET /api/now HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) +
                  "\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(withBody.read().status, 413);
}

TEST_F(WebServer, LoopbackRefusesAForeignHost)
{
    startPlant();
    for (const QByteArray& host : {QByteArray("evil.example:") + QByteArray::number(m_port),
                                   QByteArray("127.0.0.1"), QByteArray("")}) {
        WebClient client(m_port);
        client.setHost(host);
        const HttpAnswer a = client.get("/api/now");
        EXPECT_EQ(a.status, 421) << host.toStdString();
        expectSafeHeaders(a);
        EXPECT_FALSE(a.body.contains("volts"));
    }
    WebClient local(m_port);
    local.setHost("localhost:" + QByteArray::number(m_port));
    EXPECT_EQ(local.get("/api/now").status, 200);
}

// "Every device on my network" listens on 0.0.0.0; the tests reach it on 127.0.0.1 only.
TEST_F(WebServer, NetworkAsksForTheToken)
{
    startPlant(true);
    ASSERT_EQ(m_plant->web().state().kind, web::WebState::Kind::Listening);
    EXPECT_TRUE(m_plant->web().state().token);
    const QByteArray wrong = QByteArray(token()).replace(0, 1, "f");
    const std::pair<const char*, QByteArray> refused[] = {
        {"missing", {}},
        {"wrong bearer", "Authorization: Bearer " + wrong + "\r\n"},
        {"short bearer", "Authorization: Bearer " + token().left(20) + "\r\n"},
        {"basic", "Authorization: Basic " + token() + "\r\n"},
        {"wrong cookie", "Cookie: tessaly_token=" + wrong + "\r\n"},
    };
    for (const auto& [name, headers] : refused) {
        for (const char* path :
             {"/", "/api/now", "/metrics", "/events", "/api/days", "/api/wind", "/wind.html"}) {
            WebClient client(m_port);
            const HttpAnswer a = client.get(path, headers);
            EXPECT_EQ(a.status, 401) << name << " " << path;
            EXPECT_FALSE(a.body.contains("volts"));
            expectSafeHeaders(a);
        }
    }
    WebClient wrongQuery(m_port);
    EXPECT_EQ(wrongQuery.get("/api/now?token=" + wrong).status, 401);

    WebClient bearer(m_port);
    const HttpAnswer ok = bearer.get("/api/now", "Authorization: Bearer " + token() + "\r\n");
    EXPECT_EQ(ok.status, 200);
    EXPECT_TRUE(ok.body.contains("\"volts\""));

    WebClient once(m_port);
    const HttpAnswer redirect = once.get("/season.html?token=" + token());
    EXPECT_EQ(redirect.status, 303);
    EXPECT_EQ(redirect.header("Location"), "/season.html");
    // Kept 400 days (a phone keeping the view as an app is not asked again when its browser
    // ends the session), sent on a link followed from another app, never read by a script, and
    // over plain HTTP as the server speaks it.
    const QByteArray cookie = redirect.header("Set-Cookie");
    EXPECT_TRUE(cookie.startsWith("tessaly_token=" + token() + ";"));
    QByteArrayList attributes = cookie.split(';').mid(1);
    for (QByteArray& attribute : attributes)
        attribute = attribute.trimmed();
    EXPECT_EQ(attributes,
              QByteArrayList({"Path=/", "Max-Age=34560000", "HttpOnly", "SameSite=Lax"}))
        << cookie.toStdString();
    expectSafeHeaders(redirect);
    const HttpAnswer page =
        once.get("/index.html", "Cookie: " + cookie.split(';').first() + "\r\n");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("<html"));
}

// A browser that asks for a page without the token (its cookie gone, or an old one) is told
// how to get in again, still with 401 and the connection's end; a script's request gets the
// plain word. The page names no token, the right one nor the one sent.
TEST_F(WebServer, UnauthorizedBrowsersAreToldHowToGetIn)
{
    startPlant(true);
    const QByteArray wrong = QByteArray(token()).replace(0, 1, "f");
    const QByteArray page = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
    const struct
    {
        const char* name;
        QByteArray target;
        QByteArray headers;
        bool html;
    } rows[] = {
        {"page, no cookie", "/", "Accept: " + page + "\r\n", true},
        {"page, old cookie", "/season.html",
         "Accept: " + page + "\r\nCookie: tessaly_token=" + wrong + "\r\n", true},
        {"page, old token", "/?token=" + wrong, "Accept: " + page + "\r\n", true},
        {"fetch", "/api/now", "Accept: */*\r\n", false},
        {"stream", "/events", "Accept: text/event-stream\r\n", false},
        {"script", "/metrics", {}, false},
    };
    for (const auto& row : rows) {
        WebClient client(m_port);
        const HttpAnswer a = client.get(row.target, row.headers);
        EXPECT_EQ(a.status, 401) << row.name;
        EXPECT_EQ(a.header("Connection"), "close") << row.name;
        EXPECT_EQ(a.header("WWW-Authenticate"), "Bearer") << row.name;
        expectSafeHeaders(a);
        EXPECT_FALSE(a.body.contains(token())) << row.name;
        EXPECT_FALSE(a.body.contains(wrong)) << row.name;
        if (row.html) {
            EXPECT_EQ(a.header("Content-Type"), "text/html; charset=utf-8") << row.name;
            EXPECT_TRUE(a.body.startsWith("<!DOCTYPE html>")) << row.name;
            EXPECT_TRUE(a.body.contains("?token=")) << row.name;
            EXPECT_TRUE(a.body.contains("tessalyd web")) << row.name;
            EXPECT_TRUE(a.body.contains("Web window")) << row.name;
        } else {
            EXPECT_EQ(a.header("Content-Type"), "text/plain; charset=utf-8") << row.name;
            EXPECT_EQ(a.body, "Unauthorized\n") << row.name;
        }
        client.read(true);
        EXPECT_TRUE(client.ended()) << row.name;
    }
}

TEST_F(WebServer, NoCorsAndTheSameHeadersOnEveryAnswer)
{
    startPlant();
    const std::pair<QByteArray, int> paths[] = {{"/", 200},        {"/style.css", 200},
                                                {"/api/now", 200}, {"/metrics", 200},
                                                {"/nothing", 404}, {"/api/nothing", 404}};
    for (const auto& [path, status] : paths) {
        WebClient client(m_port);
        const HttpAnswer a = client.get(path, "Origin: http://evil.example\r\n");
        EXPECT_EQ(a.status, status) << path.toStdString();
        expectSafeHeaders(a);
    }
    WebClient client(m_port);
    EXPECT_EQ(client.get("/", {}).header("Content-Type"), "text/html; charset=utf-8");
}

TEST_F(WebServer, NoFileOutsideTheWebFolderWhateverTheEncoding)
{
    startPlant(true);
    const QByteArray auth = "Authorization: Bearer " + token() + "\r\n";
    const char* paths[] = {
        "/../web.cfg",           "/..%2fweb.cfg",
        "/%2e%2e/web.cfg",       "/%2E%2E%2Fweb.cfg",
        "/%252e%252e/web.cfg",   "/..%5cweb.cfg",
        "/%c0%ae%c0%ae/web.cfg", "/.%2e/.%2e/web.cfg",
        "/./../web.cfg",         "/%2e%2e%2f%2e%2e%2f%2e%2e%2fetc%2fpasswd",
        "/web.cfg%00.html",      "/..;/web.cfg",
        "//etc/passwd",          "/%2fetc%2fpasswd",
    };
    for (const char* path : paths) {
        WebClient client(m_port);
        const HttpAnswer a = client.get(path, auth);
        EXPECT_TRUE(a.status == 404 || a.status == 400) << path << " " << a.status;
        EXPECT_FALSE(a.body.contains(token())) << path;
        EXPECT_FALSE(a.body.contains("root:")) << path;
    }
}

TEST_F(WebServer, AnOversizedHeadGets431)
{
    startPlant();
    WebClient client(m_port);
    client.send("GET /api/now HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) +
                "\r\nX-Padding: " + QByteArray(9000, 'a') + "\r\n\r\n");
    const HttpAnswer a = client.read(true);
    EXPECT_EQ(a.status, 431);
    expectSafeHeaders(a);
    // Just under the limit is answered.
    WebClient fits(m_port);
    EXPECT_EQ(fits.get("/api/now", "X-Padding: " + QByteArray(7000, 'a') + "\r\n").status, 200);
}

// Waits the server's 10 s for a positive sign: the connection closed from its side.
TEST_F(WebServer, SlowAndIdleClientsAreClosed)
{
    startPlant();
    WebClient slow(m_port);
    WebClient idle(m_port);
    ASSERT_TRUE(slow.send("GET /api/now HTTP/1.1\r\nHost: 127.0.0.1"));
    const HttpAnswer a = slow.read(true);
    EXPECT_EQ(a.status, 408);
    EXPECT_TRUE(idle.closedByServer());
    WebClient after(m_port);
    EXPECT_EQ(after.get("/api/now").status, 200);
}

// Eight connections from each of four loopback addresses fill the shared 32: a fifth address
// still gets in, while another from the four is refused. Then addresses holding none take the
// room left one each, up to the hard bound, and past it even a new address is refused.
TEST_F(WebServer, PastThirtyTwoOnlyANewAddressGetsInUpToTheBound)
{
    startPlant();
    const char* sources[] = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"};
    std::vector<std::unique_ptr<WebClient>> held;
    for (const char* source : sources) {
        for (int k = 0; k < web::kMaxPerAddress; ++k) {
            held.push_back(std::make_unique<WebClient>(m_port, WebClient::Peer{.from = source}));
            ASSERT_TRUE(held.back()->connected());
        }
    }
    ASSERT_EQ(held.size(), size_t(web::kMaxConnections));
    // Each held connection is answered, so the server has taken all 32 before the next comes.
    for (auto& client : held)
        ASSERT_EQ(client->get("/api/now").status, 200);
    WebClient again(m_port, {.from = sources[0]});
    EXPECT_EQ(again.read(true).status, 503);
    EXPECT_TRUE(again.ended());
    // 127.0.0.5 onwards: each a host holding nothing yet, answered and kept open.
    std::vector<QByteArray> fresh;
    for (int k = 5; k < 5 + web::kMaxSockets - web::kMaxConnections; ++k)
        fresh.push_back("127.0.0." + QByteArray::number(k));
    for (const QByteArray& source : fresh) {
        held.push_back(
            std::make_unique<WebClient>(m_port, WebClient::Peer{.from = source.constData()}));
        ASSERT_EQ(held.back()->get("/api/now").status, 200) << source.toStdString();
    }
    // The fifth address, once in, is one of those holding some: its second is refused.
    WebClient second(m_port, {.from = fresh.front().constData()});
    EXPECT_EQ(second.read(true).status, 503);
    ASSERT_EQ(held.size(), size_t(web::kMaxSockets));
    const QByteArray past = "127.0.0." + QByteArray::number(5 + int(fresh.size()));
    WebClient beyond(m_port, {.from = past.constData()});
    EXPECT_EQ(beyond.read(true).status, 503);
    held.pop_back();
    // Once answered is enough: the next try may come before the server saw this one close.
    bool answered = false;
    EXPECT_TRUE(waitFor([&] {
        answered =
            answered || WebClient(m_port, {.from = past.constData()}).get("/api/now").status == 200;
        return answered;
    }));
}

// A burst of frames reaches the server at once (its thread is held while they are sent): it
// makes at most two events, the first frame's if a second has passed since the last event and
// the last frame's after the pause, never one per frame. Counted, not timed.
TEST_F(WebServer, EventsFollowTheFramesAtMostOnceASecond)
{
    startPlant();
    WebClient events(m_port);
    events.send("GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) +
                "\r\nAccept: text/event-stream\r\n\r\n");
    const QByteArray head = events.readUntil("\r\n\r\n");
    EXPECT_TRUE(head.contains("Content-Type: text/event-stream")) << head.toStdString();
    EXPECT_TRUE(head.contains("X-Frame-Options: DENY"));
    EXPECT_TRUE(events.readUntil("\n\n").contains("retry:"));
    const QByteArray first = events.readUntil("\n\n");
    EXPECT_TRUE(first.startsWith("event: now\ndata: {")) << first.toStdString();

    // 15 V to 24 V, one volt a frame (40 raw a volt); the last with the load off.
    const int firstVolts = 15;
    const int lastVolts = 24;
    QSemaphore held, go;
    QMetaObject::invokeMethod(&m_plant->web().serverThreadContext(), [&] {
        held.release();
        go.acquire();
    });
    held.acquire();
    for (int volts = firstVolts; volts <= lastVolts; ++volts)
        frame(QStringLiteral("[<V>%1</V><I>530</I><R>10</R><M>%2</M><S>25</S>]")
                  .arg(volts * 40)
                  .arg(volts == lastVolts ? 0 : 1)
                  .toStdString());
    go.release();

    std::vector<int> burst; // the volts of each event that carries a frame of the burst
    QJsonObject last;
    while (burst.empty() || burst.back() != lastVolts) {
        const QByteArray event = events.readUntil("\n\n");
        ASSERT_TRUE(event.startsWith("event: now\ndata: {")) << event.toStdString();
        last = QJsonDocument::fromJson(event.mid(event.indexOf('{'))).object();
        const double volts = last[QStringLiteral("volts")].toDouble();
        if (volts >= firstVolts && volts <= lastVolts)
            burst.push_back(int(volts));
        ASSERT_LE(burst.size(), 2u) << "an event for every frame";
    }
    EXPECT_TRUE(burst.size() == 1 || burst.front() == firstVolts) << burst.front();
    EXPECT_EQ(last[QStringLiteral("mode")].toInt(), 0);
}

// 1,000 random malformed requests, ten connections at a time, while the plant logs: every
// record reaches its file and the server still answers.
TEST_F(WebServer, ThousandMalformedRequestsLoseNothing)
{
    writeProg(ProgFile{.LogDelay = "60"});
    startPlant();
    QRandomGenerator random(qEnvironmentVariableIntValue("TESSALY_FUZZ_SEED") + 33);
    const QByteArray port = QByteArray::number(m_port);
    const QByteArray pieces[] = {
        "GET",
        "POST",
        "G\x00T",
        " ",
        "/",
        "/api/now",
        "HTTP/1.1",
        "HTTP/9.9",
        "\r\n",
        "\n",
        "Host: 127.0.0.1:" + port,
        "Host:",
        ":",
        "Content-Length: -1",
        "Transfer-Encoding: chunked",
        "Content-Length: 99999999999999999999",
        "\r\n\r\n",
        "%",
        "%00",
        "\xff\xfe",
        "..",
        "Upgrade: websocket",
        "Connection: Upgrade",
        "0\r\n\r\n",
        "\t",
        "?a=%zz",
    };
    int ticks = 0;
    for (int round = 0; round < 100; ++round) {
        std::vector<std::unique_ptr<WebClient>> batch;
        for (int k = 0; k < 10; ++k) {
            QByteArray request;
            const int parts = 1 + int(random.bounded(12));
            for (int p = 0; p < parts; ++p) {
                if (random.bounded(4) == 0) {
                    QByteArray noise(int(random.bounded(64)), '\0');
                    for (char& c : noise)
                        c = char(random.bounded(256));
                    request += noise;
                } else {
                    request += pieces[random.bounded(int(std::size(pieces)))];
                }
            }
            batch.push_back(std::make_unique<WebClient>(m_port));
            batch.back()->send(request);
        }
        batch.clear(); // closed at once: the server sees the bytes and the end
        frame();
        station::StationProbe::logTick(m_plant->station());
        ++ticks;
    }
    station::StationProbe::waitForDisk(m_plant->station());
    const QByteArray log = fileBytes(m_app.dailyLog(kWebDay));
    EXPECT_EQ(log.count("<V>"), qsizetype(ticks)) << log.left(400).toStdString();
    // The server answers again once it has let the closed connections go (a slow, sanitized
    // build may still hold the last batch's slots for a moment).
    EXPECT_TRUE(waitFor([&] { return WebClient(m_port).get("/api/now").status == 200; }, 30000));
    EXPECT_EQ(m_plant->web().state().kind, web::WebState::Kind::Listening);
}

TEST_F(WebServer, ATakenPortIsSaidAndThePlantRunsOn)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    startPlant(false, other.serverPort());
    EXPECT_EQ(m_plant->web().state().kind, web::WebState::Kind::PortTaken);
    EXPECT_TRUE(web::webStateText(m_plant->web().state()).contains(QStringLiteral("taken")));
    frame();
    station::StationProbe::logTick(m_plant->station());
    station::StationProbe::waitForDisk(m_plant->station());
    EXPECT_EQ(fileBytes(m_app.dailyLog(kWebDay)).count("<V>"), 1);
}

} // namespace

namespace {

QJsonObject jsonOf(const HttpAnswer& a)
{
    return QJsonDocument::fromJson(a.body).object();
}

// The answers the Season, Power curve and Day pages draw, from the same rules the windows use.
TEST_F(WebServer, SeasonCurveAndDayAnswers)
{
    const QDate day(2024, 3, 7);
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    ASSERT_TRUE(core::replaceFile(
        m_app.dailyLog(day),
        "<V>12.5</V><I>4</I><W>50</W><R>100</R><S>7</S><M>1</M><T>10:00</T>\r\n"
        "<V>13.5</V><I>6</I><W>81</W><R>200</R><S>9</S><M>0</M><T>10:05</T>\r\n"));
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("logs/energy.txt")),
                                  "<D>2024_3_7</D><H>10</H><WH>250</WH>\r\n"
                                  "<D>2024_3_8</D><H>11</H><WH>500</WH>\r\n"));
    // The 7th seen whole, the 8th for its first twelve hours.
    QByteArray seen;
    for (int hour = 0; hour < 24; ++hour) {
        for (const QDate date : {day, day.addDays(1)}) {
            if (date == day || hour < 12)
                seen += season::completenessLineFor(
                    {date, hour, date.startOfDay().offsetFromUtc(), 60, 60, 60});
        }
    }
    ASSERT_TRUE(core::replaceFile(season::completenessFile(m_app), seen));
    qputenv("XDG_CACHE_HOME", m_tmp.filePath(QStringLiteral("cache")).toLocal8Bit());
    startPlant();
    WebClient client(m_port);

    const HttpAnswer days = client.get("/api/days?from=2024-03-06&to=2024-03-08&columns=3");
    ASSERT_EQ(days.status, 200) << days.raw.toStdString();
    const QJsonObject d = jsonOf(days);
    EXPECT_EQ(d[QStringLiteral("from")].toString(), QStringLiteral("2024-03-06"));
    const QJsonArray data = d[QStringLiteral("data")].toArray();
    ASSERT_EQ(data.size(), 3);
    EXPECT_TRUE(data[0].isNull());
    EXPECT_TRUE(data[2].isNull());
    const QJsonObject col = data[1].toObject();
    EXPECT_EQ(col[QStringLiteral("min")].toArray()[0].toDouble(), 12.5);
    EXPECT_EQ(col[QStringLiteral("max")].toArray()[2].toDouble(), 81);
    EXPECT_TRUE(
        col[QStringLiteral("start")].toString().startsWith(QStringLiteral("2024-03-07T00:00:00")));
    EXPECT_EQ(client.get("/api/days?from=2024-03-08&to=2024-03-06").status, 400);
    EXPECT_EQ(client.get("/api/days?from=2023-01-01&to=2024-03-06").status, 400);

    const QJsonObject energy = jsonOf(client.get("/api/energy?by=day&year=2024&month=3"));
    EXPECT_DOUBLE_EQ(energy[QStringLiteral("totalKWh")].toDouble(), 0.75);
    EXPECT_EQ(energy[QStringLiteral("bestDay")].toString(), QStringLiteral("2024-03-08"));
    const QJsonArray bars = energy[QStringLiteral("bars")].toArray();
    ASSERT_EQ(bars.size(), 31);
    const struct
    {
        int day;
        double share;
        bool less;
    } shares[] = {{7, 1, false}, {8, 0.5, true}, {9, 0, true}};
    for (const auto& row : shares) {
        const QJsonObject bar = bars[row.day - 1].toObject();
        EXPECT_DOUBLE_EQ(bar[QStringLiteral("freshShare")].toDouble(-1), row.share) << row.day;
        EXPECT_DOUBLE_EQ(bar[QStringLiteral("recordShare")].toDouble(-1), row.share) << row.day;
        EXPECT_EQ(bar[QStringLiteral("lessThanComplete")].toBool(), row.less) << row.day;
    }
    // Before the file's first day the hours were not counted: nothing to judge.
    EXPECT_TRUE(bars[5].toObject()[QStringLiteral("freshShare")].isNull());
    EXPECT_FALSE(bars[5].toObject()[QStringLiteral("lessThanComplete")].toBool());
    EXPECT_EQ(client.get("/api/energy?by=week").status, 400);

    const QJsonObject records = jsonOf(client.get("/api/day?date=2024-03-07"));
    const QJsonArray list = records[QStringLiteral("records")].toArray();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[1].toObject()[QStringLiteral("watts")].toDouble(), 81);
    EXPECT_TRUE(list[1].toObject()[QStringLiteral("time")].toString().startsWith(
        QStringLiteral("2024-03-07T10:05:00")));
    EXPECT_EQ(client.get("/api/day?date=2024-03-09").status, 404);

    const QJsonObject curve = jsonOf(client.get("/api/curve"));
    EXPECT_EQ(curve[QStringLiteral("unit")].toString(), QStringLiteral("m/s"));
    EXPECT_EQ(curve[QStringLiteral("aep")].toArray().size(), 8);
}

// The wind counted before the start, as the plant reads it from its file: /api/wind shows it with
// its fit, /metrics the fit's figures, once the file is read (not a minute later).
TEST_F(WebServer, WindAnswerAndMetricsFromTheCountsFile)
{
    curve::WindBins counts(0.5);
    for (const QDate month : {QDate(2024, 5, 1), kWebDay}) {
        for (double v = 0; v <= 25; v += 0.5) {
            const double share = curve::weibullBelow(v + 0.25, 2, 6) -
                                 curve::weibullBelow(std::max(0.0, v - 0.25), 2, 6);
            if (const int n = int(std::lround(share * 20000)); n > 0)
                counts.add(curve::monthKey(month), v, n);
        }
    }
    const curve::MonthSpan year = curve::lastTwelveMonths(kWebDay);
    const std::vector<curve::WindBin> histogram = counts.histogram(year.first, year.last);
    const auto fit = curve::fitWeibull(histogram, 0.5);
    ASSERT_TRUE(fit);
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    ASSERT_TRUE(core::replaceFile(curve::windBinsPath(m_app),
                                  curve::windBinsFileBytes(counts, QStringLiteral("m/s"))));
    startPlant();
    WebClient client(m_port);
    QJsonObject wind;
    ASSERT_TRUE(waitFor([&] {
        wind = jsonOf(WebClient(m_port).get("/api/wind"));
        return wind[QStringLiteral("minutes")].toInt() == fit->minutes;
    })) << QJsonDocument(wind).toJson().toStdString();
    EXPECT_EQ(wind[QStringLiteral("histogram")].toArray().size(), qsizetype(histogram.size()));
    EXPECT_NEAR(wind[QStringLiteral("fit")][QStringLiteral("k")].toDouble(), fit->k, 1e-5);
    EXPECT_NEAR(wind[QStringLiteral("fit")][QStringLiteral("c")].toDouble(), fit->c, 1e-5);
    EXPECT_EQ(wind[QStringLiteral("energy")][QStringLiteral("months")].toArray().size(), 2);
    const QJsonObject may = jsonOf(client.get("/api/wind?months=2024-05"));
    EXPECT_EQ(may[QStringLiteral("minutes")].toInt(), fit->minutes / 2);
    EXPECT_EQ(client.get("/api/wind?months=2024-13").status, 400);

    const HttpAnswer metrics = client.get("/metrics");
    for (const QByteArray& line :
         {"tessaly_wind_weibull_shape " + QByteArray::number(fit->k, 'g', 15) + '\n',
          "tessaly_wind_weibull_scale_meters_per_second " + QByteArray::number(fit->c, 'g', 15) +
              '\n',
          "tessaly_wind_mean_meters_per_second " + QByteArray::number(fit->mean, 'g', 15) + '\n',
          QByteArray("# TYPE tessaly_site_energy_kwh_per_year gauge\n"),
          QByteArray("tessaly_site_energy_kwh_per_year{curve=\"measured\"} ")})
        EXPECT_TRUE(metrics.body.contains(line)) << line.toStdString();
    EXPECT_FALSE(metrics.body.contains("curve=\"reference\""));
    EXPECT_EQ(client.get("/wind.html").status, 200);
}

// Day files that never answer (FIFOs with no writer: opening one waits, as on a folder that has
// gone): each job reading one is answered 503 once it has read nothing for the server's patience,
// and while both of the pool's threads are stuck so, a new request for /api/ is refused at once
// rather than held; the rest of the server answers on.
TEST_F(WebServer, JobsStuckOnTheFolderHoldNoConnection)
{
    const QDate days[] = {QDate(2024, 3, 7), QDate(2024, 3, 8)};
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    for (const QDate day : days)
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_app.dailyLog(day)).constData(), 0600), 0);
    startPlant();
    std::vector<std::unique_ptr<WebClient>> stuck;
    for (const QDate day : days) {
        stuck.push_back(std::make_unique<WebClient>(m_port));
        ASSERT_TRUE(stuck.back()->send(
            "GET /api/day?date=" + day.toString(Qt::ISODate).toLatin1() +
            " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) + "\r\n\r\n"));
    }
    for (auto& client : stuck) {
        const HttpAnswer busy = client->read();
        EXPECT_EQ(busy.status, 503) << busy.raw.toStdString();
        EXPECT_EQ(busy.header("Retry-After"), "10");
    }
    WebClient later(m_port);
    for (const char* path : {"/api/day?date=2024-03-09", "/api/curve"}) {
        const HttpAnswer refused = later.get(path);
        EXPECT_EQ(refused.status, 503) << path;
        EXPECT_EQ(refused.header("Retry-After"), "10") << path;
    }
    EXPECT_EQ(later.get("/api/now").status, 200);
    // A writer lets the readers go, so the jobs end before the plant does.
    for (const QDate day : days) {
        const int fd = ::open(QFile::encodeName(m_app.dailyLog(day)).constData(), O_RDWR);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
}

} // namespace

namespace {

const QByteArray kAuth = "Authorization: Bearer " + kWebToken.toLatin1() + "\r\n";

// One host holds eight connections of a server on every device (0.0.0.0): its ninth is refused
// at once, while another address is answered.
TEST_F(WebServer, OneAddressHoldsAtMostEightConnections)
{
    startPlant(true);
    std::vector<std::unique_ptr<WebClient>> held;
    for (int k = 0; k < web::kMaxPerAddress; ++k) {
        held.push_back(std::make_unique<WebClient>(m_port, WebClient::Peer{.from = "127.0.0.1"}));
        ASSERT_EQ(held.back()->get("/api/now", kAuth).status, 200);
    }
    WebClient ninth(m_port, {.from = "127.0.0.1"});
    EXPECT_EQ(ninth.read(true).status, 503);
    EXPECT_TRUE(ninth.ended());
    WebClient other(m_port, {.from = "127.0.0.2"});
    EXPECT_EQ(other.get("/api/now", kAuth).status, 200);
}

// Four hosts each holding their eight fill the shared room of a server on every device: a fifth
// host is still answered.
TEST_F(WebServer, FourHostsFullOfConnectionsKeepNoFifthOut)
{
    startPlant(true);
    std::vector<std::unique_ptr<WebClient>> held;
    for (const char* source : {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
        for (int k = 0; k < web::kMaxPerAddress; ++k) {
            held.push_back(std::make_unique<WebClient>(m_port, WebClient::Peer{.from = source}));
            ASSERT_EQ(held.back()->get("/api/now", kAuth).status, 200) << source;
        }
    }
    WebClient fifth(m_port, {.from = "127.0.0.5"});
    EXPECT_EQ(fifth.get("/api/now", kAuth).status, 200);
}

// Each refusal ends its connection once it is written: the client reads the answer, then the
// end. The redirect that sets the cookie keeps it, for the page that follows.
TEST_F(WebServer, ARefusedRequestClosesItsConnection)
{
    startPlant(true);
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(m_port) + "\r\n";
    const std::pair<int, QByteArray> rows[] = {
        {401, "GET /api/now HTTP/1.1\r\n" + host + "\r\n"},
        {401, "GET /api/now HTTP/1.1\r\n" + host + "Cookie: tessaly_token=00\r\n\r\n"},
        {405, "POST /api/now HTTP/1.1\r\n" + host + kAuth + "Content-Length: 0\r\n\r\n"},
        {413, "GET /api/now HTTP/1.1\r\n" + host + kAuth + "Content-Length: 5\r\n\r\nhello"},
        {431,
         "GET /api/now HTTP/1.1\r\n" + host + "X-Padding: " + QByteArray(9000, 'a') + "\r\n\r\n"},
    };
    // A good request after the refusal on the same connection meets its end, not an answer.
    const QByteArray good = "GET /api/now HTTP/1.1\r\n" + host + kAuth + "\r\n";
    for (const auto& [status, request] : rows) {
        WebClient client(m_port);
        ASSERT_TRUE(client.send(request));
        const HttpAnswer a = client.read();
        EXPECT_EQ(a.status, status) << a.raw.left(300).toStdString();
        EXPECT_EQ(a.header("Connection"), "close") << status;
        client.send(good);
        EXPECT_EQ(client.read(true).status, 0) << status;
    }
    WebClient once(m_port);
    EXPECT_EQ(once.get("/?token=" + token()).status, 303);
    EXPECT_EQ(once.get("/api/now", kAuth).status, 200);
}

// A new token ends the streams opened with the old one, and the old cookie and token open
// nothing more.
TEST_F(WebServer, ANewTokenEndsTheOldOnesStreamsAndCookies)
{
    startPlant(true);
    WebClient once(m_port);
    const QByteArray cookie =
        "Cookie: " + once.get("/?token=" + token()).header("Set-Cookie").split(';').first() +
        "\r\n";
    std::vector<std::unique_ptr<WebClient>> streams;
    for (const QByteArray& credential : {cookie, kAuth}) {
        streams.push_back(std::make_unique<WebClient>(m_port));
        WebClient& stream = *streams.back();
        stream.send("GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port) +
                    "\r\n" + credential + "\r\n");
        ASSERT_TRUE(stream.readUntil("\r\n\r\n").startsWith("HTTP/1.1 200"));
        ASSERT_TRUE(stream.readUntil("\n\n").contains("retry:"));
    }

    web::WebConfig config = web::readWebConfig(m_app).config;
    config.Token = web::newToken();
    ASSERT_TRUE(web::saveWebConfig(m_app, config));
    m_plant->reloadWeb();
    for (auto& stream : streams) {
        stream->read(true);
        EXPECT_TRUE(stream->ended());
    }
    const QByteArray fresh = "Authorization: Bearer " + config.Token.toLatin1() + "\r\n";
    EXPECT_TRUE(waitFor([&] { return WebClient(m_port).get("/api/now", fresh).status == 200; }));
    for (const QByteArray& old : {cookie, kAuth})
        EXPECT_EQ(WebClient(m_port).get("/api/now", old).status, 401) << old.toStdString();
    EXPECT_EQ(WebClient(m_port).get("/api/now?token=" + token()).status, 401);
}

// On the IPv6 loopback the Host must name it in brackets with the port, or localhost.
TEST_F(WebServer, TheIpv6LoopbackHostRule)
{
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHostIPv6, 0))
            SKIP_OR_FAIL_IN_CI("this system has no IPv6 loopback");
    }
    web::WebConfig config;
    config.WebOn = QStringLiteral("1");
    config.Address = QStringLiteral("::1");
    startPlant(config, 0);
    ASSERT_EQ(m_plant->web().state().kind, web::WebState::Kind::Listening);
    const QByteArray port = QByteArray::number(m_port);
    const std::pair<QByteArray, int> rows[] = {
        {"[::1]:" + port, 200},
        {"localhost:" + port, 200},
        {"[::1]", 421},
        {"::1:" + port, 421},
        {"127.0.0.1:" + port, 421},
        {"[::2]:" + port, 421},
        {"[0:0:0:0:0:0:0:1]:" + port, 421},
    };
    for (const auto& [host, status] : rows) {
        WebClient client(m_port, {.to = "::1"});
        ASSERT_TRUE(client.connected());
        client.setHost(host);
        const HttpAnswer a = client.get("/api/now");
        EXPECT_EQ(a.status, status) << host.toStdString();
        if (status == 421) {
            EXPECT_FALSE(a.body.contains("volts"));
            client.read(true);
            EXPECT_TRUE(client.ended()) << host.toStdString();
        }
    }
}

// A client that opens /events and never reads: with a small receive buffer it soon falls behind,
// and once kMaxStreamBacklog bytes wait for it the server resets its connection. A reader
// beside it keeps its stream. The server runs on a thread of its own as in the plant, fed values
// whose events are large (a long list of alarms) so the bound is met in a few seconds.
TEST_F(WebServer, AStreamThatIsNotReadIsReset)
{
    web::WebServer server(web::WebServer::Context{m_app, webPlantClock(), web::programWebDir(),
                                                  m_tmp.filePath(QStringLiteral("cache"))});
    QThread thread;
    server.moveToThread(&thread);
    thread.start();
    auto onServer = [&](auto call) {
        QMetaObject::invokeMethod(&server, call, Qt::BlockingQueuedConnection);
    };
    web::WebSettings settings;
    settings.on = true;
    settings.port = 0;
    onServer([&] { server.apply(settings, {}); });
    quint16 port = 0;
    onServer([&] { port = server.state().port; });
    ASSERT_NE(port, 0);

    web::LiveValues live;
    for (int k = 0; k < 800; ++k)
        live.alarms
            << QStringLiteral("Alarm%1-%2").arg(k, 4, 10, QLatin1Char('0')).arg(QString(24, u'x'));
    const QByteArray request =
        "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n";
    WebClient stalled(port, {.receiveBuffer = 4096});
    WebClient reader(port);
    ASSERT_TRUE(stalled.send(request));
    ASSERT_TRUE(reader.send(request));
    ASSERT_TRUE(reader.readUntil("\r\n\r\n").startsWith("HTTP/1.1 200"));
    // Each round gives the server new values and reads the event they make; the safety net is
    // far beyond the few rounds the bound needs.
    bool reset = false;
    for (int round = 0; round < 200 && !reset; ++round) {
        live.writesWaiting = size_t(round);
        onServer([&] { server.setLive(live); });
        const QByteArray event = reader.readUntil("\n\n");
        ASSERT_FALSE(event.isEmpty()) << "the reader's stream ended";
        reset = stalled.resetByServer();
    }
    EXPECT_TRUE(reset);
    live.writesWaiting = 999999;
    onServer([&] { server.setLive(live); });
    const QByteArray mark = "\"writesWaiting\":999999";
    EXPECT_TRUE(reader.readUntil(mark).contains(mark));
    QThread* here = QThread::currentThread();
    onServer([&] {
        server.stop();
        server.moveToThread(here);
    });
    thread.quit();
    thread.wait();
}

} // namespace
