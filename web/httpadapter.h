#pragma once

#include "web/security.h"

#include <QAbstractHttpServer>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <functional>
#include <memory>

namespace web {

// A request as the routes see it, whatever Qt HTTP Server's version: its API changes after 6.4
// (requests, responders and the routing), so only this adapter and httpadapter.cpp know it.
struct Request
{
    RequestFacts facts;
    QByteArray pathDecoded; // the path with its percent-encoding undone once
};

// The one answer to a request: written whole, or as a stream of events. It may be kept and
// used later (a slow answer computed off the thread); the connection may be gone by then.
class Reply
{
public:
    Reply(QHttpServerResponder&& responder, QTcpSocket* socket, bool headOnly);
    ~Reply();

    bool alive() const;
    bool headOnly() const { return m_headOnly; }
    // The status, the security headers, the given headers, Content-Length and the body (none
    // for HEAD).
    void send(int status, const HeaderPairs& headers, const QByteArray& body);
    // The head of an endless answer; write() then adds to it.
    void beginStream(const HeaderPairs& headers);
    void write(const QByteArray& bytes);
    // The answer sent is the connection's last: it is closed once the answer is out.
    void closeAfter();
    // The bytes written that the client has not taken yet: those still in this process and
    // those in the system's queue for the connection.
    qint64 unsent() const;
    // Ends the connection at once, throwing away what it has not sent (a reset, so the system
    // holds nothing for a client that reads no more).
    void reset();

private:
    std::unique_ptr<QHttpServerResponder> m_responder;
    QPointer<QTcpSocket> m_socket;
    bool m_headOnly = false;
};

class HttpAdapter : public QAbstractHttpServer
{
public:
    using Handler = std::function<void(const Request&, std::unique_ptr<Reply>)>;
    explicit HttpAdapter(Handler handler, QObject* parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Handler m_handler;
};

} // namespace web
