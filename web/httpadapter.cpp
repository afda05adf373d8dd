#include "web/httpadapter.h"

#include "web/webguard.h"

#include <QHttpServerRequest>
#include <QUrl>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace web {
namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Connect:
        return "CONNECT";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return "OTHER";
    }
}

} // namespace

Reply::Reply(QHttpServerResponder&& responder, QTcpSocket* socket, bool headOnly)
    : m_responder(std::make_unique<QHttpServerResponder>(std::move(responder)))
    , m_socket(socket)
    , m_headOnly(headOnly)
{}

Reply::~Reply() = default;

bool Reply::alive() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void Reply::send(int status, const HeaderPairs& headers, const QByteArray& body)
{
    if (!alive())
        return;
    m_responder->writeStatusLine(QHttpServerResponder::StatusCode(status));
    for (const auto& [name, value] : securityHeaders())
        m_responder->writeHeader(name, value);
    for (const auto& [name, value] : headers)
        m_responder->writeHeader(name, value);
    m_responder->writeHeader("Content-Length", QByteArray::number(body.size()));
    if (m_headOnly)
        m_responder->writeBody("", 0);
    else
        m_responder->writeBody(body);
    WebGuard::answered(m_socket);
}

void Reply::beginStream(const HeaderPairs& headers)
{
    if (!alive())
        return;
    m_responder->writeStatusLine(QHttpServerResponder::StatusCode::Ok);
    for (const auto& [name, value] : securityHeaders())
        m_responder->writeHeader(name, value);
    for (const auto& [name, value] : headers)
        m_responder->writeHeader(name, value);
    m_responder->writeBody("", 0);
    WebGuard::streaming(m_socket);
}

void Reply::write(const QByteArray& bytes)
{
    if (alive())
        m_socket->write(bytes);
}

void Reply::closeAfter()
{
    if (alive())
        WebGuard::closeAfterAnswer(m_socket);
}

qint64 Reply::unsent() const
{
    if (!alive())
        return 0;
    int queued = 0;
    if (::ioctl(int(m_socket->socketDescriptor()), SIOCOUTQ, &queued) != 0)
        queued = 0;
    return m_socket->bytesToWrite() + queued;
}

void Reply::reset()
{
    if (!m_socket)
        return;
    const linger now{1, 0};
    ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    m_socket->abort();
}

HttpAdapter::HttpAdapter(Handler handler, QObject* parent)
    : QAbstractHttpServer(parent)
    , m_handler(std::move(handler))
{}

bool HttpAdapter::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    WebGuard::requestTaken(socket);
    Request r;
    r.facts.method = methodName(request.method());
    const QUrl url = request.url();
    r.facts.path = url.path(QUrl::FullyEncoded).toLatin1();
    r.facts.query = url.query(QUrl::FullyEncoded).toLatin1();
    r.facts.host = request.value("Host");
    r.facts.authorization = request.value("Authorization");
    r.facts.cookie = request.value("Cookie");
    r.facts.accept = request.value("Accept");
    r.facts.hasBody = !request.body().isEmpty() || !request.value("Transfer-Encoding").isEmpty() ||
                      (!request.value("Content-Length").isEmpty() &&
                       request.value("Content-Length").trimmed() != "0");
    r.pathDecoded = QByteArray::fromPercentEncoding(r.facts.path);
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    m_handler(r, std::make_unique<Reply>(makeResponder(request, socket), socket, head));
    return true;
}

void HttpAdapter::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    Reply(makeResponder(request, socket), socket, false).send(404, {}, "Not Found\n");
}

} // namespace web
