// The web view's rules without a server: web.cfg, the security rules, the static files, the
// texts of /api/now and /metrics, and /api/days from the summaries the server keeps.

#include "fixture.h"
#include "web/apidata.h"
#include "web/livevalues.h"
#include "web/security.h"
#include "web/summarymemo.h"
#include "web/webconfig.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>
#include <sys/stat.h>

namespace {

const QString kToken = QStringLiteral("0123456789abcdef0123456789abcdef01234567");

QByteArray webCfg(const char* on, const char* address, const char* port, const QString& token)
{
    return "Web Settings\r\n\r\n<WebOn>" + QByteArray(on) + "</WebOn>\r\n<Address>" + address +
           "</Address>\r\n<Port>" + port + "</Port>\r\n<Token>" + token.toLatin1() +
           "</Token>\r\n\r\n";
}

class WebConfigTest : public AppDirTest
{
protected:
    void writeWeb(const QByteArray& bytes,
                  QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner)
    {
        ASSERT_TRUE(core::replaceFile(web::webCfgPath(m_app), bytes));
        ASSERT_TRUE(QFile::setPermissions(web::webCfgPath(m_app), mode));
    }
};

TEST_F(WebConfigTest, NoFileIsOffWithoutAWord)
{
    const web::WebLoad load = web::readWebConfig(m_app);
    EXPECT_FALSE(load.settings.on);
    EXPECT_TRUE(load.warning.isEmpty());
    EXPECT_EQ(load.config, web::WebConfig{});
}

TEST_F(WebConfigTest, WrittenBytesAndOwnerOnly)
{
    web::WebConfig values;
    values.WebOn = QStringLiteral("1");
    values.Address = QStringLiteral("0.0.0.0");
    values.Token = kToken;
    QString error;
    ASSERT_TRUE(web::saveWebConfig(m_app, values, &error)) << error.toStdString();
    EXPECT_EQ(fileBytes(web::webCfgPath(m_app)), webCfg("1", "0.0.0.0", "8470", kToken));
    struct stat info
    {};
    ASSERT_EQ(::stat(QFile::encodeName(web::webCfgPath(m_app)).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const web::WebLoad load = web::readWebConfig(m_app);
    EXPECT_TRUE(load.warning.isEmpty()) << load.warning.toStdString();
    EXPECT_TRUE(load.settings.on);
    EXPECT_TRUE(load.settings.everyDevice());
    EXPECT_EQ(load.settings.token, kToken.toLatin1());
}

TEST_F(WebConfigTest, LoopbackAsksNoToken)
{
    writeWeb(webCfg("1", "127.0.0.1", "8471", {}));
    const web::WebLoad load = web::readWebConfig(m_app);
    EXPECT_TRUE(load.warning.isEmpty()) << load.warning.toStdString();
    EXPECT_TRUE(load.settings.on);
    EXPECT_EQ(load.settings.port, 8471);
    EXPECT_TRUE(load.settings.token.isEmpty());
}

struct Damage
{
    const char* name;
    QByteArray bytes;
    QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const char* words; // a part of the warning
};

// Nine ways a web.cfg that says on can be damaged: each leaves the view off and says why.
TEST_F(WebConfigTest, DamagedNineWaysIsOffWithAWarning)
{
    const QFileDevice::Permissions everyone =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther;
    const Damage damages[] = {
        {"no title", webCfg("1", "127.0.0.1", "8470", {}).mid(14), {}, "Web Settings"},
        {"flag", webCfg("yes", "127.0.0.1", "8470", {}), {}, "WebOn"},
        {"address", webCfg("1", "my.house", "8470", {}), {}, "Address"},
        {"port text", webCfg("1", "127.0.0.1", "eighty", {}), {}, "Port"},
        {"port range", webCfg("1", "127.0.0.1", "70000", {}), {}, "Port"},
        {"no token", webCfg("1", "0.0.0.0", "8470", {}), {}, "Token is missing"},
        {"short token", webCfg("1", "0.0.0.0", "8470", QStringLiteral("abc123")), {}, "hex"},
        {"key missing", QByteArray("Web Settings\r\n\r\n<WebOn>1</WebOn>\r\n"), {}, "<Address>"},
        {"others may read it", webCfg("1", "0.0.0.0", "8470", kToken), everyone, "chmod 600"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        writeWeb(d.bytes, d.mode ? d.mode : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const web::WebLoad load = web::readWebConfig(m_app);
        EXPECT_FALSE(load.settings.on);
        EXPECT_TRUE(load.warning.startsWith(QStringLiteral("The web view is off: web.cfg")))
            << load.warning.toStdString();
        EXPECT_TRUE(load.warning.contains(QLatin1String(d.words))) << load.warning.toStdString();
        // The token never shows in a warning: it may reach the journal.
        EXPECT_FALSE(load.warning.contains(kToken));
    }
}

TEST(WebToken, NewTokensAreLongRandomHex)
{
    const QString a = web::newToken();
    const QString b = web::newToken();
    EXPECT_EQ(a.size(), web::kTokenBits / 4);
    EXPECT_GE(a.size() * 4, 128);
    EXPECT_NE(a, b);
    EXPECT_TRUE(web::webConfigProblem(
                    {QStringLiteral("1"), QStringLiteral("0.0.0.0"), QStringLiteral("8470"), a})
                    .isEmpty());
}

const web::Policy kLoopback{QHostAddress(QHostAddress::LocalHost), 8470, {}};
const web::Policy kNetwork{QHostAddress(QHostAddress::AnyIPv4), 8470, kToken.toLatin1()};

web::RequestFacts get(const QByteArray& path, const QByteArray& host = "127.0.0.1:8470")
{
    web::RequestFacts r;
    r.method = "GET";
    r.path = path;
    r.host = host;
    return r;
}

int statusOf(const web::RequestFacts& r, const web::Policy& p)
{
    const auto refusal = web::checkRequest(r, p);
    return refusal ? refusal->status : 200;
}

TEST(WebRules, OnlyGetAndHead)
{
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS", "TRACE", "CONNECT"}) {
        web::RequestFacts r = get("/api/now");
        r.method = method;
        EXPECT_EQ(statusOf(r, kLoopback), 405) << method;
        EXPECT_EQ(statusOf(r, kNetwork), 405) << method;
    }
    web::RequestFacts head = get("/api/now");
    head.method = "HEAD";
    EXPECT_EQ(statusOf(head, kLoopback), 200);
    web::RequestFacts body = get("/api/now");
    body.hasBody = true;
    EXPECT_EQ(statusOf(body, kLoopback), 413);
}

TEST(WebRules, LoopbackHostMustNameItWithThePort)
{
    const std::pair<const char*, int> hosts[] = {
        {"127.0.0.1:8470", 200},
        {"localhost:8470", 200},
        {"LOCALHOST:8470", 200},
        {"evil.example:8470", 421},
        {"127.0.0.1", 421},
        {"localhost:80", 421},
        {"", 421},
        {"127.0.0.1:8470.evil", 421},
        {"10.0.0.1:8470", 421},
    };
    for (const auto& [host, status] : hosts)
        EXPECT_EQ(statusOf(get("/", host), kLoopback), status) << host;
}

TEST(WebRules, NetworkNeedsTheToken)
{
    EXPECT_EQ(statusOf(get("/api/now", "house:8470"), kNetwork), 401);
    web::RequestFacts bearer = get("/api/now", "house:8470");
    bearer.authorization = "Bearer " + kToken.toLatin1();
    EXPECT_EQ(statusOf(bearer, kNetwork), 200);
    bearer.authorization = "Bearer " + kToken.toLatin1().left(39) + "8";
    EXPECT_EQ(statusOf(bearer, kNetwork), 401);
    bearer.authorization = "Bearer " + kToken.toLatin1() + "0";
    EXPECT_EQ(statusOf(bearer, kNetwork), 401);
    web::RequestFacts cookie = get("/api/now", "house:8470");
    cookie.cookie = "other=1; tessaly_token=" + kToken.toLatin1();
    EXPECT_EQ(statusOf(cookie, kNetwork), 200);
}

TEST(WebRules, TokenInTheQuerySetsTheCookieAndRedirects)
{
    web::RequestFacts r = get("/season.html", "house:8470");
    r.query = "by=day&token=" + kToken.toLatin1();
    const auto answer = web::checkRequest(r, kNetwork);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 303);
    QByteArray location;
    QByteArray cookie;
    for (const auto& [name, value] : answer->headers) {
        if (name == "Location")
            location = value;
        if (name == "Set-Cookie")
            cookie = value;
    }
    EXPECT_EQ(location, "/season.html?by=day");
    EXPECT_TRUE(cookie.contains("HttpOnly"));
    EXPECT_TRUE(cookie.contains("SameSite=Lax"));
    EXPECT_TRUE(cookie.contains("Max-Age=34560000"));
    r.query = "token=wrong";
    EXPECT_EQ(statusOf(r, kNetwork), 401);
}

TEST(WebRules, SameSecretLooksAtEveryByte)
{
    EXPECT_TRUE(web::sameSecret("abc", "abc"));
    EXPECT_FALSE(web::sameSecret("abc", "abd"));
    EXPECT_FALSE(web::sameSecret("abc", "abcd"));
    EXPECT_FALSE(web::sameSecret("", ""));
}

TEST_F(WebConfigTest, StaticFilesOnlyFromTheFolder)
{
    const QString folder = m_app.path(QStringLiteral("web"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/sub")));
    ASSERT_TRUE(core::replaceFile(folder + QStringLiteral("/index.html"), "<p>"));
    ASSERT_TRUE(core::replaceFile(folder + QStringLiteral("/sub/a.js"), "1"));
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("secret.html")), "token"));
    EXPECT_EQ(web::staticFile(folder, "/"), QFileInfo(folder).canonicalFilePath() + "/index.html");
    EXPECT_TRUE(web::staticFile(folder, "/sub/a.js"));
    EXPECT_TRUE(web::staticFile(folder, "/sub%2Fa.js"));
    const char* refused[] = {
        "/../secret.html",
        "/..%2Fsecret.html",
        "/%2E%2E/secret.html",
        "/%2e%2e%2fsecret.html",
        "/%252E%252E/secret.html",
        "/sub/../../secret.html",
        "/..\\secret.html",
        "/%5C..%5Csecret.html",
        "/%00index.html",
        "/index.html%00.js",
        "//etc/passwd",
        "/.hidden",
        "/%C0%AE%C0%AE/secret.html",
        "/sub/./a.js",
        "/web.cfg",
        "index.html",
        "/nothing.html",
        "/prog.cfg",
    };
    for (const char* path : refused)
        EXPECT_FALSE(web::staticFile(folder, path)) << path;
}

web::LiveValues sampleLive()
{
    web::LiveValues live;
    live.values = {12.8, 9, 115.2, 0, 300, 5};
    live.mode = 1;
    live.wattHours = 12.5;
    live.time = QDateTime(QDate(2024, 3, 7), QTime(14, 5, 7), QTimeZone(3600));
    live.frameMs = 1000;
    live.wsUnits = QStringLiteral("km/h");
    live.alarms = {QStringLiteral("BattLow")};
    live.line = QStringLiteral("open");
    live.writesWaiting = 2;
    return live;
}

TEST(WebTexts, NowCarriesTheValuesAsNumbers)
{
    EXPECT_EQ(web::nowJson(sampleLive(), 3500),
              "{\"ageSeconds\":2.5,\"alarms\":[\"BattLow\"],\"amps\":9,\"line\":\"open\","
              "\"load\":true,\"logging\":false,\"mode\":1,\"notify\":[],\"rpm\":300,"
              "\"stale\":false,"
              "\"time\":\"2024-03-07T14:05:07+01:00\",\"volts\":12.8,\"wattHours\":12.5,"
              "\"watts\":115.2,\"wind\":5,\"windUnits\":\"km/h\",\"writesWaiting\":2}");
    web::LiveValues none;
    EXPECT_TRUE(web::nowJson(none, 0).contains("\"time\":null"));
    EXPECT_TRUE(web::nowJson(none, 0).contains("\"ageSeconds\":null"));
}

TEST(WebTexts, MetricsFollowPrometheusNames)
{
    const QByteArray text = web::metricsText(sampleLive(), 3500, "0.1");
    for (const char* line :
         {"tessaly_battery_volts 12.8\n", "tessaly_charge_amperes 9\n",
          "tessaly_power_watts 115.2\n", "tessaly_rotor_revolutions_per_second 5\n",
          "tessaly_wind_speed_meters_per_second 1.38888888888889\n", "tessaly_load_on 1\n",
          "tessaly_energy_joules_total 45000\n", "tessaly_last_frame_age_seconds 2.5\n",
          "tessaly_alarms_raised 1\n", "tessaly_writes_waiting 2\n",
          "tessaly_build_info{version=\"0.1\"} 1\n", "# TYPE tessaly_frames_total counter\n"})
        EXPECT_TRUE(text.contains(line)) << line << "\n" << text.toStdString();
}

// Prometheus's own check of the text, from Debian's prometheus package.
TEST(WebTexts, PromtoolPassesTheMetrics)
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        SKIP_OR_FAIL_IN_CI("promtool is missing (Debian: prometheus)");
    for (const web::LiveValues& live : {sampleLive(), web::LiveValues{}}) {
        QProcess check;
        check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        ASSERT_TRUE(check.waitForStarted());
        check.write(web::metricsText(live, 3500, "0.1"));
        check.closeWriteChannel();
        ASSERT_TRUE(check.waitForFinished());
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString()
                                       << check.readAllStandardError().toStdString();
        EXPECT_TRUE(check.readAllStandardOutput().trimmed().isEmpty());
    }
}

// The record of a day file, at 10:mm with the given volts.
QByteArray record(int minute, double volts)
{
    return "<V>" + QByteArray::number(volts) +
           "</V><I>4</I><W>50</W><R>100</R><S>7</S><M>1</M><T>10:" +
           QByteArray::number(minute).rightJustified(2, '0') + "</T>\r\n";
}

// The answer from the kept summaries is the one read from the day files themselves, after a day
// file grows, is replaced, goes or comes, and with room for fewer days than asked.
TEST_F(WebConfigTest, KeptSummariesAnswerAsTheDayFilesDo)
{
    const QDate first(2024, 3, 30);
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    const auto write = [&](int day, const QByteArray& bytes) {
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(first.addDays(day)), bytes));
    };
    const QUrlQuery query(QStringLiteral("from=2024-03-30&to=2024-04-03&columns=7"));
    web::ApiContext direct; // no pack, no memory: each answer from the day files
    direct.app = m_app;
    direct.wsUnits = QStringLiteral("km/h");
    for (const int room : {web::SummaryMemo::kDefaultDays, 2}) {
        QFile::remove(m_app.dailyLog(first.addDays(4)));
        for (int day : {0, 1, 3})
            write(day, record(0, 12 + day) + record(5, 13 + day));
        web::SummaryMemo memo(room);
        web::ApiContext kept = direct;
        kept.summaryDir = m_tmp.filePath(QStringLiteral("cache%1").arg(room));
        kept.memo = &memo;
        const std::vector<std::function<void()>> changes = {
            [] {},
            [&] { write(1, record(0, 13) + record(5, 14) + record(7, 31.5)); }, // grows
            [&] { write(0, record(0, 11)); },                                   // replaced, shorter
            [&] { ASSERT_TRUE(QFile::remove(m_app.dailyLog(first.addDays(3)))); },
            [&] { write(4, record(9, 9.25)); }, // a new day
        };
        QByteArray before;
        for (std::size_t i = 0; i < changes.size(); ++i) {
            changes[i]();
            const web::ApiAnswer expected = web::daysAnswer(query, direct);
            ASSERT_EQ(expected.status, 200);
            EXPECT_NE(expected.body, before) << "change " << i << " made no difference";
            before = expected.body;
            EXPECT_EQ(web::daysAnswer(query, kept).body, expected.body) << "change " << i;
            EXPECT_EQ(web::daysAnswer(query, kept).body, expected.body) << "again " << i;
            EXPECT_LE(memo.size(), room);
        }
    }
}

} // namespace
