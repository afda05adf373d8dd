// web.cfg and the web view's request rules on any bytes: a config that reads as usable has a
// port and, off the loopback, a token of hex digits; a static path that is taken names a file
// inside the folder; the battery's answer takes any query as an answer or a clear 400.
#include "web/apidata.h"
#include "web/healthapi.h"
#include "web/security.h"
#include "web/webconfig.h"

#include <QDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    bool titleMissing = false;
    const web::WebConfig config = web::parseWebConfig(QString::fromUtf8(bytes), &titleMissing);
    const web::WebSettings settings = web::webSettings(config);
    if (settings.on && settings.port == 0)
        std::abort();
    if (settings.on && !settings.loopback() && settings.token.size() < web::kMinTokenHexDigits)
        std::abort();
    web::RequestFacts request;
    const QList<QByteArray> parts = bytes.split('\n');
    request.method = parts.value(0);
    request.path = parts.value(1);
    request.query = parts.value(2);
    request.host = parts.value(3);
    request.authorization = parts.value(4);
    request.cookie = parts.value(5);
    const web::Policy policy{QHostAddress(QHostAddress::AnyIPv4), 8470,
                             "0123456789abcdef0123456789abcdef"};
    if (!web::checkRequest(request, policy) && request.method != "GET" && request.method != "HEAD")
        std::abort();
    const QString root = QDir::tempPath();
    if (const auto file = web::staticFile(root, request.path)) {
        if (!file->startsWith(QDir(root).canonicalPath() + QLatin1Char('/')) ||
            file->contains(QStringLiteral("/..")))
            std::abort();
    }
    // No folder: the query's checks alone, and an empty month when they pass.
    web::ApiContext context;
    context.app = core::AppDir{QDir::tempPath() + QStringLiteral("/tessaly-fuzz-none")};
    context.today = QDate(2024, 3, 8);
    const int status =
        web::batteryAnswer(QUrlQuery(QString::fromLatin1(request.query)), context).status;
    if (status != 200 && status != 400)
        std::abort();
    return 0;
}
