#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace web {

using HeaderPairs = QList<QPair<QByteArray, QByteArray>>;

// The limits of the server, each enforced in front of the HTTP library (webguard.h).
inline constexpr qint64 kMaxHeadBytes = 8 * 1024;      // more gets 431; no body is accepted
inline constexpr int kMaxConnections = 32;             // then only a new address gets in
inline constexpr int kMaxPerAddress = 8;               // the 9th from one address gets 503
inline constexpr int kMaxSockets = 64;                 // the 65th is refused at once (503)
inline constexpr qint64 kMaxStreamBacklog = 64 * 1024; // a stream left this far behind is reset
inline constexpr int kIdleMs = 10 * 1000;              // an idle or slow connection is closed
inline const QByteArray kCookieName = "tessaly_token";
// How long a browser keeps the cookie: 400 days, the most browsers keep one, so a phone that
// keeps the view as an app is not asked again when it ends its session. A new token still ends
// it, since the cookie holds the token itself.
inline constexpr int kCookieSeconds = 400 * 24 * 60 * 60;

// What the rules look at in a request, as it came: the path and query still percent-encoded.
struct RequestFacts
{
    QByteArray method;
    QByteArray path;
    QByteArray query;
    QByteArray host;
    QByteArray authorization;
    QByteArray cookie;
    QByteArray accept;
    bool hasBody = false;
};

// Where the server listens, and the token it asks for (none on a loopback address).
struct Policy
{
    QHostAddress address;
    quint16 port = 0;
    QByteArray token;
};

// The answer the rules give instead of the route's: a status, its headers and a short text.
struct Refusal
{
    int status = 0;
    HeaderPairs headers;
    QByteArray body;
};

// Read-only, in order: GET and HEAD only (405), no body (413), on a loopback address a Host
// naming it or localhost with the port (421: DNS rebinding), elsewhere the token as a Bearer
// header or the cookie (401), or once as ?token=, which sets the cookie and redirects to the
// same path without it (303). A browser's page (Accept naming text/html) gets its 401 as a
// short page saying how to get in again. nullopt: the route may answer. A wrong token is never
// kept or said anywhere; a refusal's headers name its content type when it is not plain text.
std::optional<Refusal> checkRequest(const RequestFacts& request, const Policy& policy);

// Whether two texts are equal, in a time that depends on their lengths only.
bool sameSecret(const QByteArray& a, const QByteArray& b);

// The headers every response carries: a content security policy (no inline script, no other
// origin), nosniff, no framing, no referrer. No CORS header, ever.
const HeaderPairs& securityHeaders();

// The file a path names in the web folder, or nullopt: the path is decoded once, and any
// "..", ".", empty or hidden segment, backslash, control character, "%" left after decoding or
// character outside letters, digits, "-", "_", "." and "/" refuses it. "/" is "index.html".
std::optional<QString> staticFile(const QString& webDir, const QByteArray& rawPath);

// The content type of a static file by its ending; empty for an ending not served.
QByteArray contentType(const QString& file);

// The status line's words of a status code: "Not Found".
QByteArray reasonPhrase(int status);

} // namespace web
