// Seeded random web.cfg files and requests through the web view's readers, every run
// (TESSALY_FUZZ_SEED picks other inputs): nothing crashes, a usable config has its port and
// token, a refused method stays refused and no path leaves the web folder.

#include "fixture.h"
#include "web/apidata.h"
#include "web/healthapi.h"
#include "web/security.h"
#include "web/webconfig.h"
#include "web/windapi.h"

#include <QRandomGenerator>

namespace {

std::uint32_t seed()
{
    bool ok = false;
    const uint value = qEnvironmentVariable("TESSALY_FUZZ_SEED").toUInt(&ok);
    return ok ? value : 20240307u;
}

const QByteArray kPieces[] = {
    "Web Settings\r\n\r\n",
    "<WebOn>",
    "</WebOn>",
    "<Address>",
    "</Address>",
    "<Port>",
    "</Port>",
    "<Token>",
    "</Token>",
    "1",
    "0",
    "127.0.0.1",
    "0.0.0.0",
    "::1",
    "8470",
    "65536",
    "-1",
    "0123456789abcdef0123456789abcdef",
    "\r\n",
    "\n",
    "\xff",
    "%2e%2e",
    "..",
    "/",
    "%",
    "\0",
    "GET",
    "HEAD",
    "POST",
    "token=",
    "Bearer ",
    "localhost:8470",
    "tessaly_token=",
    "year=",
    "month=",
    "&",
    "99999",
    "13",
    "2024",
    "abc",
    "%00",
};

QByteArray randomText(QRandomGenerator& random)
{
    QByteArray out;
    const int parts = int(random.bounded(24));
    for (int k = 0; k < parts; ++k) {
        if (random.bounded(5) == 0) {
            out += char(random.bounded(256));
        } else {
            out += kPieces[random.bounded(int(std::size(kPieces)))];
        }
    }
    return out;
}

class FuzzWeb : public AppDirTest
{};

TEST_F(FuzzWeb, WebCfgOfAnyContent)
{
    QRandomGenerator random(seed());
    for (int k = 0; k < 2000; ++k) {
        const QByteArray bytes = randomText(random);
        ASSERT_TRUE(core::replaceFile(web::webCfgPath(m_app), bytes));
        const web::WebLoad load = web::readWebConfig(m_app);
        if (load.settings.on) {
            ASSERT_TRUE(load.warning.isEmpty());
            ASSERT_NE(load.settings.port, 0);
            if (!load.settings.loopback()) {
                ASSERT_GE(load.settings.token.size(), web::kMinTokenHexDigits);
            }
        }
    }
}

TEST_F(FuzzWeb, RequestsOfAnyContent)
{
    const QString folder = m_app.path(QStringLiteral("web"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(core::replaceFile(folder + QStringLiteral("/index.html"), "<p>"));
    const QString root = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
    const web::Policy network{QHostAddress(QHostAddress::AnyIPv4), 8470,
                              "0123456789abcdef0123456789abcdef"};
    const web::Policy loopback{QHostAddress(QHostAddress::LocalHost), 8470, {}};
    QRandomGenerator random(seed() + 1);
    for (int k = 0; k < 5000; ++k) {
        web::RequestFacts r;
        r.method = randomText(random).left(8);
        r.path = '/' + randomText(random);
        r.query = randomText(random);
        r.host = randomText(random);
        r.authorization = randomText(random);
        r.cookie = randomText(random);
        for (const web::Policy& policy : {network, loopback}) {
            const auto refusal = web::checkRequest(r, policy);
            if (r.method != "GET" && r.method != "HEAD") {
                ASSERT_TRUE(refusal && refusal->status == 405);
            }
        }
        if (const auto file = web::staticFile(folder, r.path)) {
            ASSERT_TRUE(file->startsWith(root)) << r.path.toStdString();
        }
    }
}

// The answers that take a query, on any query: a clear 400 or an answer, never a crash; the
// battery's month is taken only within its limits.
TEST_F(FuzzWeb, ApiQueriesOfAnyContent)
{
    web::ApiContext context;
    context.app = m_app;
    context.summaryDir = m_tmp.filePath(QStringLiteral("cache"));
    context.today = QDate(2024, 3, 8);
    QRandomGenerator random(seed() + 2);
    for (int k = 0; k < 3000; ++k) {
        const QUrlQuery query(QString::fromLatin1(randomText(random)));
        const web::ApiAnswer battery = web::batteryAnswer(query, context);
        ASSERT_TRUE(battery.status == 200 || battery.status == 400) << battery.status;
        if (battery.status == 200) {
            const int year = query.hasQueryItem(QStringLiteral("year"))
                                 ? query.queryItemValue(QStringLiteral("year")).toInt()
                                 : 2024;
            ASSERT_GE(year, 1900);
            ASSERT_LE(year, 9999);
        }
        for (const auto answer :
             {&web::energyAnswer, &web::daysAnswer, &web::dayAnswer, &web::windAnswer}) {
            const int status = answer(query, context).status;
            ASSERT_TRUE(status == 200 || status == 400 || status == 404) << status;
        }
    }
}

} // namespace
