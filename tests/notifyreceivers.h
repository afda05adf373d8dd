#pragma once

// The notify tests' receivers (tests/notify_receivers.py): an HTTPS server with a test authority
// of its own that records each request, and a real SMTP server with STARTTLS and a login. Both
// run as one process, which can be stopped and started again on the same ports; and a clock the
// test moves, read from the worker's thread too.

#include "core/clock.h"
#include "notify/notifyconfig.h"
#include "tests/fixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <atomic>

class NotifyReceivers
{
public:
    ~NotifyReceivers() { stop(); }

    // Whether the tools are there: Debian's own Python with aiosmtpd, and openssl.
    static QString missing()
    {
        if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}) != 0)
            return QStringLiteral("python3-aiosmtpd is needed");
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), {QStringLiteral("version")});
        if (!openssl.waitForFinished() || openssl.exitCode() != 0)
            return QStringLiteral("openssl is needed");
        return {};
    }

    bool start()
    {
        QStringList args{QStringLiteral(NOTIFY_RECEIVERS_PATH), m_dir.path()};
        if (m_https > 0)
            args << QStringLiteral("--https-port") << QString::number(m_https)
                 << QStringLiteral("--smtp-port") << QString::number(m_smtp);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"), args);
        QByteArray out;
        const bool ready = waitFor([&] {
            out += m_process.readAllStandardOutput();
            return out.contains('\n') || m_process.state() == QProcess::NotRunning;
        });
        const QList<QByteArray> words = out.trimmed().split(' ');
        if (!ready || words.size() != 3 || words[0] != "READY")
            return false;
        m_https = words[1].toInt();
        m_smtp = words[2].toInt();
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished();
    }

    // From hold() to release() each HTTPS request is held unanswered once it has arrived
    // (held() lists them); one whose sender has gone by then is dropped, not recorded.
    bool hold() const { return core::replaceFile(file(QStringLiteral("hold")), "hold\n"); }
    bool release() const { return QFile::remove(file(QStringLiteral("hold"))); }
    std::vector<QJsonObject> held() const { return records("held.jsonl"); }

    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString caFile() const { return file(QStringLiteral("ca.pem")); }
    QString wrongCaFile() const { return file(QStringLiteral("other-ca.pem")); }
    QString url(const QString& path) const
    {
        return QStringLiteral("https://127.0.0.1:%1/%2").arg(m_https).arg(path);
    }

    // Settings with every way on, to these receivers: the push to "/<name>-push", the webhook
    // to "/<name>-hook", the e-mail to "<name>@example.org", so the tests that share them can
    // tell their own records.
    notify::NotifyConfig config(const QString& name) const
    {
        notify::NotifyConfig c;
        c.pushOn = c.hookOn = c.mailOn = true;
        c.pushUrl = url(name + QStringLiteral("-push"));
        c.pushToken = QStringLiteral("tk_push");
        c.hookUrl = url(name + QStringLiteral("-hook"));
        c.hookToken = QStringLiteral("tk_hook");
        c.smtpUrl = QStringLiteral("smtp://127.0.0.1:%1").arg(m_smtp);
        c.smtpUser = QStringLiteral("plant");
        c.smtpPassword = QStringLiteral("s3cret");
        c.mailFrom = QStringLiteral("shed@example.org");
        c.mailTo = name + QStringLiteral("@example.org");
        c.caFile = caFile();
        return c;
    }

    // Each record of requests.jsonl (the push's and the webhook's) or mail.jsonl.
    std::vector<QJsonObject> records(const char* name) const
    {
        std::vector<QJsonObject> out;
        QFile f(file(QString::fromLatin1(name)));
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (!line.isEmpty())
                out.push_back(QJsonDocument::fromJson(line).object());
        }
        return out;
    }
    // The requests to one path ("/shed-push"), and the mails to one address.
    std::vector<QJsonObject> onPath(const QString& path) const
    {
        std::vector<QJsonObject> out;
        for (const QJsonObject& r : records("requests.jsonl")) {
            if (r[QStringLiteral("path")].toString() == path)
                out.push_back(r);
        }
        return out;
    }
    std::vector<QJsonObject> mailsTo(const QString& address) const
    {
        std::vector<QJsonObject> out;
        for (const QJsonObject& r : records("mail.jsonl")) {
            if (r[QStringLiteral("to")].toArray().contains(address))
                out.push_back(r);
        }
        return out;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_https = 0;
    int m_smtp = 0;
};

// The plant's clock, moved by the test and read from any thread, at UTC+01:00.
struct MovingClock
{
    std::atomic<qint64> ms{
        QDateTime(QDate(2024, 3, 7), QTime(14, 0), QTimeZone(3600)).toMSecsSinceEpoch()};

    core::Clock clock()
    {
        return core::Clock{[this] { return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone(3600)); },
                           [this] {
                               return qint64(ms);
                           }};
    }
    void advanceS(qint64 s) { ms += s * 1000; }
};
