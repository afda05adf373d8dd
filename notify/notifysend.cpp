#include "notify/notifysend.h"

#include <QHostAddress>
#include <QLocale>
#include <QUrl>
#include <QUuid>
#include <algorithm>
#include <cstring>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace notify {
namespace {

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter
{
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter
{
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Curl = std::unique_ptr<CURL, CurlDeleter>;
using List = std::unique_ptr<curl_slist, ListDeleter>;

void append(List& list, const QByteArray& line)
{
    curl_slist* grown = curl_slist_append(list.get(), line.constData());
    if (grown) {
        (void)list.release();
        list.reset(grown);
    }
}

// What one transfer gathers: the body it sends, the answer's body, the server's last line.
struct Exchange
{
    QByteArray upload;
    qsizetype sent = 0;
    QByteArray answer;
    QByteArray lastLine;
    bool refusedPlain = false;
    const std::atomic<bool>* stop = nullptr;
    const std::function<void()>* meanwhile = nullptr;
};

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* x = static_cast<Exchange*>(user);
    if (x->meanwhile && *x->meanwhile)
        (*x->meanwhile)();
    return x->stop && x->stop->load() ? 1 : 0;
}

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* x = static_cast<Exchange*>(user);
    // Enough of the answer to show; the rest is read and let go.
    if (x->answer.size() < 4096)
        x->answer.append(data, qsizetype(size * count));
    return size * count;
}

size_t onUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto* x = static_cast<Exchange*>(user);
    const qsizetype n = std::min<qsizetype>(qsizetype(size * count), x->upload.size() - x->sent);
    std::memcpy(buffer, x->upload.constData() + x->sent, size_t(n));
    x->sent += n;
    return size_t(n);
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    if (type == CURLINFO_HEADER_IN) {
        const QByteArray line = QByteArray(data, qsizetype(size)).trimmed();
        if (!line.isEmpty())
            static_cast<Exchange*>(user)->lastLine = line;
    }
    return 0;
}

// Plain http leaves the plant only for an address of its own network, whatever a name resolves
// to: the check is on the address connected to, before anything is sent.
int onPrereq(void* user, char* primaryIp, char*, int, int)
{
    if (isLocalAddress(QString::fromLatin1(primaryIp)))
        return CURL_PREREQFUNC_OK;
    static_cast<Exchange*>(user)->refusedPlain = true;
    return CURL_PREREQFUNC_ABORT;
}

Curl common(const NotifyConfig& config, const QString& url, Exchange& x, char* error)
{
    globalInit();
    Curl curl(curl_easy_init());
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.toUtf8().constData());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, kSendTimeoutS);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!config.caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, config.caFile.toLocal8Bit().constData());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &x);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &x);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    if (QUrl(url).scheme() == QLatin1String("http")) {
        // An http_proxy of the environment would carry the plain text off the plant's network.
        curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, onPrereq);
        curl_easy_setopt(c, CURLOPT_PREREQDATA, &x);
    }
    return curl;
}

Answer failed(CURLcode code, const char* error, const Exchange& x)
{
    if (x.refusedPlain) {
        return {false, QStringLiteral("refused: plain http is sent only to a loopback or private "
                                      "address; use https")};
    }
    QString text = QString::fromUtf8(error);
    if (text.isEmpty())
        text = QString::fromUtf8(curl_easy_strerror(code));
    if (!x.lastLine.isEmpty())
        text += QStringLiteral(" (server: %1)").arg(QString::fromUtf8(x.lastLine));
    return {false, text};
}

Answer post(const NotifyConfig& config, const QString& url, const QByteArray& body,
            const QList<QByteArray>& headers, const std::atomic<bool>* stop,
            const std::function<void()>& meanwhile)
{
    Exchange x;
    x.stop = stop;
    x.meanwhile = &meanwhile;
    char error[CURL_ERROR_SIZE] = {};
    Curl curl = common(config, url, x, error);
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, long(body.size()));
    List list;
    for (const QByteArray& h : headers)
        append(list, h);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, list.get());
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK)
        return failed(code, error, x);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    const QString text = QStringLiteral("HTTP %1: %2")
                             .arg(status)
                             .arg(QString::fromUtf8(x.answer.left(300)).trimmed());
    return {status >= 200 && status < 300, text};
}

// A header's value in RFC 2047's words when it is not plain ASCII.
QByteArray headerWord(const QString& text)
{
    bool ascii = true;
    for (const QChar ch : text)
        ascii = ascii && ch.unicode() >= 0x20 && ch.unicode() < 0x7f;
    if (ascii)
        return text.toLatin1();
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

QByteArray bearer(const QString& token)
{
    return "Authorization: Bearer " + token.toUtf8();
}

} // namespace

QByteArray mailText(const NotifyConfig& config, const Event& message)
{
    const QDateTime at = message.time;
    const int offset = at.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
    const QString date =
        QLocale::c().toString(at, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")) + zone;
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QByteArray body = message.text.toUtf8();
    body.replace("\r", "");
    body.replace("\n", "\r\n");
    return "Date: " + date.toLatin1() + "\r\nFrom: " + config.mailFrom.toUtf8() +
           "\r\nTo: " + config.mailTo.toUtf8() + "\r\nSubject: " + headerWord(message.title) +
           "\r\nMessage-ID: <" + id.toLatin1() +
           "@tessaly>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
           body + "\r\n";
}

Answer send(Way way, const NotifyConfig& config, const Event& message,
            const std::vector<Event>& folded, const std::atomic<bool>* stop,
            const std::function<void()>& meanwhile)
{
    switch (way) {
    case Way::Push: {
        // A folded message is as urgent as the most urgent event it carries.
        const auto raise = [](const Event& e) {
            return e.state == QLatin1String("on");
        };
        const bool high = raise(message) || std::any_of(folded.begin(), folded.end(), raise);
        QList<QByteArray> headers{
            "Title: " + headerWord(message.title), high ? "Priority: high" : "Priority: default",
            high ? "Tags: warning" : "Tags: tessaly", "Content-Type: text/plain; charset=utf-8"};
        if (!config.pushToken.isEmpty())
            headers << bearer(config.pushToken);
        return post(config, config.pushUrl, message.text.toUtf8(), headers, stop, meanwhile);
    }
    case Way::Hook: {
        QList<QByteArray> headers{"Content-Type: application/json"};
        if (!config.hookToken.isEmpty())
            headers << bearer(config.hookToken);
        return post(config, config.hookUrl, hookBody(message, folded), headers, stop, meanwhile);
    }
    case Way::Mail: {
        Exchange x;
        x.stop = stop;
        x.meanwhile = &meanwhile;
        x.upload = mailText(config, message);
        char error[CURL_ERROR_SIZE] = {};
        Curl curl = common(config, config.smtpUrl, x, error);
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        // smtp:// goes on only after STARTTLS; smtps:// is TLS from the start.
        curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        if (!config.smtpUser.isEmpty()) {
            curl_easy_setopt(c, CURLOPT_USERNAME, config.smtpUser.toUtf8().constData());
            curl_easy_setopt(c, CURLOPT_PASSWORD, config.smtpPassword.toUtf8().constData());
        }
        curl_easy_setopt(c, CURLOPT_MAIL_FROM,
                         ("<" + config.mailFrom.trimmed().toUtf8() + ">").constData());
        List rcpt;
        for (const QString& to : config.mailTo.split(QLatin1Char(','), Qt::SkipEmptyParts))
            append(rcpt, "<" + to.trimmed().toUtf8() + ">");
        curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
        curl_easy_setopt(c, CURLOPT_READFUNCTION, onUpload);
        curl_easy_setopt(c, CURLOPT_READDATA, &x);
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        const CURLcode code = curl_easy_perform(c);
        if (code != CURLE_OK)
            return failed(code, error, x);
        return {true, QString::fromUtf8(x.lastLine)};
    }
    }
    return {};
}

} // namespace notify
