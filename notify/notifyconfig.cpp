#include "notify/notifyconfig.h"

#include "core/files.h"
#include "core/ownerfile.h"
#include "core/tags.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QUrl>

namespace notify {
namespace {

const QString kTitle = QStringLiteral("Notify Settings");

// The text keys in the order they are written, with the flags and the hour among them.
enum class Field
{
    PushOn,
    PushUrl,
    PushToken,
    HookOn,
    HookUrl,
    HookToken,
    MailOn,
    SmtpUrl,
    SmtpUser,
    SmtpPassword,
    MailFrom,
    MailTo,
    CaFile,
    ReportOn,
    ReportHour
};
constexpr const char* kKeys[] = {"PushOn",    "PushUrl", "PushToken", "HookOn",   "HookUrl",
                                 "HookToken", "MailOn",  "SmtpUrl",   "SmtpUser", "SmtpPassword",
                                 "MailFrom",  "MailTo",  "CaFile",    "ReportOn", "ReportHour"};

QString tag(const char* key)
{
    return QLatin1Char('<') + QLatin1String(key) + QLatin1Char('>');
}

QString tag(Field field)
{
    return tag(kKeys[int(field)]);
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

std::array<QString, std::size(kKeys)> textsOf(const NotifyConfig& c)
{
    return {flagText(c.pushOn),
            c.pushUrl,
            c.pushToken,
            flagText(c.hookOn),
            c.hookUrl,
            c.hookToken,
            flagText(c.mailOn),
            c.smtpUrl,
            c.smtpUser,
            c.smtpPassword,
            c.mailFrom,
            c.mailTo,
            c.caFile,
            flagText(c.reportOn),
            QString::number(c.reportHour)};
}

// The first tag of the file a value holds, or a line break: it would not read back.
QString unkeepable(const QString& value)
{
    for (const char* key : kKeys) {
        for (const QString& t : {tag(key), QStringLiteral("</%1>").arg(QLatin1String(key))}) {
            if (value.contains(t))
                return QStringLiteral("it holds \"%1\", a tag of the file").arg(t);
        }
    }
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("it holds a line break or another control character");
    }
    return {};
}

QString urlProblem(Field field, const QString& text, const QStringList& schemes)
{
    const QString key = tag(field);
    if (text.isEmpty())
        return QStringLiteral("%1 is empty").arg(key);
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("%1 \"%2\" is not a URL with a host").arg(key, text);
    if (!schemes.contains(url.scheme())) {
        return QStringLiteral("%1 \"%2\" must begin with %3")
            .arg(key, text, schemes.join(QStringLiteral(":// or ")) + QStringLiteral("://"));
    }
    if (url.scheme() == QLatin1String("http") && !isLocalAddress(url.host())) {
        // A name may still lead to a private address: it is checked again at the send.
        const bool literal = !QHostAddress(url.host()).isNull();
        if (literal) {
            return QStringLiteral("%1 \"%2\": plain http is sent only to a loopback or private "
                                  "address; use https")
                .arg(key, text);
        }
    }
    return {};
}

QString addressProblem(Field field, const QString& text)
{
    if (text.trimmed().isEmpty())
        return QStringLiteral("%1 is empty").arg(tag(field));
    for (const QString& one : text.split(QLatin1Char(','))) {
        const QString a = one.trimmed();
        const qsizetype at = a.indexOf(QLatin1Char('@'));
        if (at <= 0 || at == a.size() - 1 || a.count(QLatin1Char('@')) != 1 ||
            a.contains(QLatin1Char(' ')) || a.contains(QLatin1Char('<')) ||
            a.contains(QLatin1Char('>')))
            return QStringLiteral("%1 \"%2\" is not an e-mail address").arg(tag(field), a);
    }
    return {};
}

} // namespace

const char* wayKey(Way way)
{
    switch (way) {
    case Way::Push:
        return "push";
    case Way::Hook:
        return "hook";
    case Way::Mail:
        return "mail";
    }
    return "";
}

QString wayTitle(Way way)
{
    switch (way) {
    case Way::Push:
        return QStringLiteral("Push");
    case Way::Hook:
        return QStringLiteral("Webhook");
    case Way::Mail:
        return QStringLiteral("E-mail");
    }
    return {};
}

bool NotifyConfig::on(Way way) const
{
    switch (way) {
    case Way::Push:
        return pushOn;
    case Way::Hook:
        return hookOn;
    case Way::Mail:
        return mailOn;
    }
    return false;
}

QString notifyCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("notify.cfg"));
}

QByteArray notifyConfigText(const NotifyConfig& config)
{
    QByteArray out = kTitle.toUtf8() + "\r\n\r\n";
    const auto texts = textsOf(config);
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        const QByteArray key(kKeys[i]);
        out += "<" + key + ">" + texts[i].toUtf8() + "</" + key + ">\r\n";
    }
    return out + "\r\n";
}

bool isLocalAddress(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    if (address.isNull())
        return false;
    if (address.isLoopback() || address.isLinkLocal() || address.isUniqueLocalUnicast())
        return true;
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    return address.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8) ||
           address.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12) ||
           address.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
}

QString wayProblem(const NotifyConfig& c, Way way)
{
    if (!c.on(way))
        return {};
    const QStringList web{QStringLiteral("https"), QStringLiteral("http")};
    const auto keep = [](Field field, const QString& value) {
        const QString why = unkeepable(value);
        return why.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(tag(field), why);
    };
    QStringList found;
    switch (way) {
    case Way::Push:
        found << keep(Field::PushUrl, c.pushUrl) << keep(Field::PushToken, c.pushToken)
              << urlProblem(Field::PushUrl, c.pushUrl, web);
        break;
    case Way::Hook:
        found << keep(Field::HookUrl, c.hookUrl) << keep(Field::HookToken, c.hookToken)
              << urlProblem(Field::HookUrl, c.hookUrl, web);
        break;
    case Way::Mail:
        found << keep(Field::SmtpUrl, c.smtpUrl) << keep(Field::SmtpUser, c.smtpUser)
              << keep(Field::SmtpPassword, c.smtpPassword) << keep(Field::MailFrom, c.mailFrom)
              << keep(Field::MailTo, c.mailTo)
              << urlProblem(Field::SmtpUrl, c.smtpUrl,
                            {QStringLiteral("smtp"), QStringLiteral("smtps")})
              << addressProblem(Field::MailFrom, c.mailFrom)
              << addressProblem(Field::MailTo, c.mailTo);
        if (!c.smtpPassword.isEmpty() && c.smtpUser.isEmpty())
            found
                << QStringLiteral("%1 is empty, but a password is given").arg(tag(Field::SmtpUser));
        break;
    }
    found.removeAll(QString());
    return found.value(0);
}

QString commonProblem(const NotifyConfig& c)
{
    if (const QString why = unkeepable(c.caFile); !why.isEmpty())
        return QStringLiteral("%1: %2").arg(tag(Field::CaFile), why);
    if (!c.caFile.isEmpty() && !QFileInfo(c.caFile).isReadable())
        return QStringLiteral("%1 \"%2\" cannot be read").arg(tag(Field::CaFile), c.caFile);
    if (c.reportHour < 0 || c.reportHour > 23)
        return QStringLiteral("%1 is %2, not an hour from 0 to 23")
            .arg(tag(Field::ReportHour))
            .arg(c.reportHour);
    return {};
}

NotifyConfig parseNotifyConfig(QStringView text, QStringList* problems)
{
    QStringList found;
    NotifyConfig c;
    if (core::firstLine(text) != kTitle) {
        if (problems)
            *problems << QStringLiteral("its first line is not \"%1\"").arg(kTitle);
        return {};
    }
    std::array<QString, std::size(kKeys)> texts;
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        texts[i] = core::tagValue(text, QString::fromLatin1(kKeys[i])).value_or(QString());
        // A value that would not read back as it is (a tag, a line break) is not kept; a way
        // that needs it is then off for want of it.
        if (const QString why = unkeepable(texts[i]); !why.isEmpty()) {
            found << QStringLiteral("%1: %2").arg(tag(kKeys[i]), why);
            texts[i].clear();
        }
    }
    const auto flag = [&](Field field) {
        const QString& t = texts[int(field)];
        if (t.isEmpty() || t == QLatin1String("0"))
            return false;
        if (t == QLatin1String("1"))
            return true;
        found << QStringLiteral("%1 is \"%2\", not 0 or 1").arg(tag(field), t);
        return false;
    };
    const auto at = [&](Field field) {
        return texts[int(field)];
    };
    c.pushOn = flag(Field::PushOn);
    c.pushUrl = at(Field::PushUrl);
    c.pushToken = at(Field::PushToken);
    c.hookOn = flag(Field::HookOn);
    c.hookUrl = at(Field::HookUrl);
    c.hookToken = at(Field::HookToken);
    c.mailOn = flag(Field::MailOn);
    c.smtpUrl = at(Field::SmtpUrl);
    c.smtpUser = at(Field::SmtpUser);
    c.smtpPassword = at(Field::SmtpPassword);
    c.mailFrom = at(Field::MailFrom);
    c.mailTo = at(Field::MailTo);
    c.caFile = at(Field::CaFile);
    c.reportOn = flag(Field::ReportOn);
    const QString hour = at(Field::ReportHour).trimmed();
    if (!hour.isEmpty()) {
        bool ok = false;
        c.reportHour = hour.toInt(&ok);
        if (!ok)
            c.reportHour = -1;
    }
    if (const QString why = commonProblem(c); !why.isEmpty()) {
        found << why + QStringLiteral(": everything is off");
        c.pushOn = c.hookOn = c.mailOn = c.reportOn = false;
        c.reportHour = std::clamp(c.reportHour, 0, 23);
    }
    for (const Way way : kWays) {
        if (const QString why = wayProblem(c, way); !why.isEmpty()) {
            found << QStringLiteral("%1 is off: %2").arg(wayTitle(way), why);
            (way == Way::Push ? c.pushOn : way == Way::Hook ? c.hookOn : c.mailOn) = false;
        }
    }
    if (problems)
        *problems << found;
    return c;
}

NotifyConfig readNotifyConfig(const core::AppDir& app, QString* warning)
{
    if (warning)
        warning->clear();
    const QString path = notifyCfgPath(app);
    if (!QFileInfo::exists(path))
        return {};
    const auto say = [&](const QString& what) {
        if (warning)
            *warning = QStringLiteral("notify.cfg: %1.").arg(what);
    };
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (QFile::permissions(path) & others) {
        say(QStringLiteral("it can be read by others than its owner, and it holds secrets: "
                           "alarms are not sent until it is saved again from the Notify window "
                           "or made owner-only (chmod 600)"));
        return {};
    }
    QString error;
    const auto bytes = core::readWholeFile(path, &error);
    if (!bytes) {
        say(QStringLiteral("cannot be read (%1): alarms are not sent").arg(error));
        return {};
    }
    QStringList problems;
    const NotifyConfig config = parseNotifyConfig(QString::fromUtf8(*bytes), &problems);
    if (!problems.isEmpty())
        say(problems.join(QStringLiteral("; ")));
    return config;
}

bool saveNotifyConfig(const core::AppDir& app, const NotifyConfig& config, QString* error)
{
    return core::replaceOwnerOnlyFile(notifyCfgPath(app), notifyConfigText(config), error);
}

} // namespace notify
