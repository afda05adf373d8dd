#include "web/security.h"

#include <QDir>
#include <QFileInfo>
#include <QUrlQuery>

namespace web {
namespace {

Refusal refusal(int status, HeaderPairs headers = {})
{
    return Refusal{status, std::move(headers), reasonPhrase(status) + '\n'};
}

bool hostAllowed(const QByteArray& host, const Policy& policy)
{
    const QByteArray port = ':' + QByteArray::number(policy.port);
    const QByteArray lower = host.trimmed().toLower();
    QByteArray address = policy.address.toString().toLatin1();
    if (policy.address.protocol() == QAbstractSocket::IPv6Protocol)
        address = '[' + address + ']';
    return lower == "localhost" + port || lower == address + port;
}

// The token the cookie header carries, or empty.
QByteArray cookieToken(const QByteArray& cookies)
{
    for (const QByteArray& part : cookies.split(';')) {
        const QByteArray item = part.trimmed();
        if (item.startsWith(kCookieName + '='))
            return item.mid(kCookieName.size() + 1);
    }
    return {};
}

// The query without its token, as it was written otherwise.
QByteArray queryWithout(const QByteArray& query, const QByteArray& key)
{
    QByteArrayList kept;
    for (const QByteArray& item : query.split('&')) {
        if (!item.isEmpty() && item != key && !item.startsWith(key + '='))
            kept << item;
    }
    return kept.join('&');
}

std::optional<QByteArray> queryToken(const QByteArray& query)
{
    for (const QByteArray& item : query.split('&')) {
        if (item.startsWith("token="))
            return QByteArray::fromPercentEncoding(item.mid(6));
    }
    return std::nullopt;
}

// The 401 a browser shows when its cookie is gone or holds a token no longer in use (a new one
// was made, or the phone's browser dropped it): how to get in again. It names no token.
Refusal unauthorized(const RequestFacts& request)
{
    HeaderPairs headers{{"WWW-Authenticate", "Bearer"}};
    if (!request.accept.contains("text/html"))
        return refusal(401, std::move(headers));
    headers.push_back({"Content-Type", "text/html; charset=utf-8"});
    return Refusal{
        401, std::move(headers),
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Tessaly: the access key is needed</title>\n</head>\n<body>\n"
        "<h1>The access key is needed</h1>\n"
        "<p>This browser holds no access key to the plant's web view, or one that is no longer in "
        "use: a new one may have been made.</p>\n"
        "<p>To get in again, open the view's address with its key once, as "
        "<code>http://&lt;address&gt;:&lt;port&gt;/?token=&lt;key&gt;</code>. The command "
        "<code>tessalyd web</code> on the plant's computer prints it with a QR code, and the "
        "desktop program's Web window shows it. This browser then keeps the key.</p>\n"
        "</body>\n</html>\n"};
}

bool allowedPathCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '/';
}

} // namespace

bool sameSecret(const QByteArray& a, const QByteArray& b)
{
    // Every byte of the longer text is looked at whatever the others are, so the time tells
    // nothing of how much of a guess was right.
    const qsizetype n = std::max(a.size(), b.size());
    unsigned difference = a.size() == b.size() ? 0u : 1u;
    for (qsizetype k = 0; k < n; ++k) {
        const unsigned char x = k < a.size() ? uchar(a[k]) : 0;
        const unsigned char y = k < b.size() ? uchar(b[k]) : 0;
        difference |= unsigned(x ^ y);
    }
    return difference == 0 && !a.isEmpty();
}

std::optional<Refusal> checkRequest(const RequestFacts& request, const Policy& policy)
{
    if (request.method != "GET" && request.method != "HEAD")
        return refusal(405, {{"Allow", "GET, HEAD"}});
    if (request.hasBody)
        return refusal(413, {{"Connection", "close"}});
    if (policy.address.isLoopback()) {
        if (!hostAllowed(request.host, policy))
            return refusal(421);
        return std::nullopt;
    }
    static const QByteArray kBearer = "Bearer ";
    if (request.authorization.startsWith(kBearer) &&
        sameSecret(request.authorization.mid(kBearer.size()).trimmed(), policy.token))
        return std::nullopt;
    if (const auto token = queryToken(request.query)) {
        if (!sameSecret(*token, policy.token))
            return unauthorized(request);
        // Once only: the cookie keeps it, and the address bar, history and any shared link lose it.
        const QByteArray rest = queryWithout(request.query, "token");
        return refusal(303, {{"Location", request.path + (rest.isEmpty() ? "" : '?' + rest)},
                             {"Set-Cookie",
                              kCookieName + '=' + policy.token + "; Path=/; Max-Age=" +
                                  QByteArray::number(kCookieSeconds) + "; HttpOnly; SameSite=Lax"},
                             {"Cache-Control", "no-store"}});
    }
    if (sameSecret(cookieToken(request.cookie), policy.token))
        return std::nullopt;
    return unauthorized(request);
}

const HeaderPairs& securityHeaders()
{
    static const HeaderPairs headers = {
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
         "connect-src 'self'; manifest-src 'self'; base-uri 'none'; form-action 'none'; "
         "frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    return headers;
}

std::optional<QString> staticFile(const QString& webDir, const QByteArray& rawPath)
{
    QByteArray path = QByteArray::fromPercentEncoding(rawPath);
    if (path == "/")
        path = "/index.html";
    if (!path.startsWith('/') || path.contains('%'))
        return std::nullopt;
    for (const char c : path) {
        if (!allowedPathCharacter(c))
            return std::nullopt;
    }
    const QByteArrayList segments = path.mid(1).split('/');
    for (const QByteArray& segment : segments) {
        if (segment.isEmpty() || segment.startsWith('.'))
            return std::nullopt;
    }
    const QString root = QFileInfo(webDir).canonicalFilePath();
    if (root.isEmpty())
        return std::nullopt;
    // The segments are plain names, so the file lies in the folder; a link there is the
    // folder's own (the installed chart library links Debian's copy).
    const QString file = root + QString::fromLatin1(path);
    if (!QFileInfo(file).isFile() || contentType(file).isEmpty())
        return std::nullopt;
    return file;
}

QByteArray contentType(const QString& file)
{
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".webmanifest", "application/manifest+json"},
    };
    for (const auto& [ending, type] : kTypes) {
        if (file.endsWith(QLatin1String(ending)))
            return type;
    }
    return {};
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 421:
        return "Misdirected Request";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace web
