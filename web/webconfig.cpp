#include "web/webconfig.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/ownerfile.h"
#include "core/tags.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cmath>

namespace web {
namespace {

const QByteArray kTitleLine = "Web Settings";
constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ReadOther | QFileDevice::WriteOther;

bool hexDigits(const QString& text)
{
    for (const QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

std::optional<quint16> portOf(const QString& text)
{
    const auto value = core::numericValue(text);
    if (!value || *value != std::floor(*value) || *value < 1 || *value > 65535)
        return std::nullopt;
    return quint16(*value);
}

} // namespace

QString webCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("web.cfg"));
}

WebConfig parseWebConfig(QStringView text, bool* titleMissing)
{
    WebConfig values;
    for (const auto& key : kWebConfigKeys) {
        if (const auto value = core::tagValue(text, QString::fromLatin1(key.name)))
            values.*key.value = *value;
    }
    if (titleMissing)
        *titleMissing = !text.startsWith(QLatin1String(kTitleLine));
    return values;
}

QString webConfigProblem(const WebConfig& values)
{
    if (values.WebOn != QLatin1String("0") && values.WebOn != QLatin1String("1"))
        return QStringLiteral("WebOn \"%1\" must be 0 or 1.").arg(values.WebOn);
    QHostAddress address;
    if (!address.setAddress(values.Address)) {
        return QStringLiteral("Address \"%1\" must be 127.0.0.1 (this computer only) or 0.0.0.0 "
                              "(every device on the network).")
            .arg(values.Address);
    }
    if (!portOf(values.Port)) {
        return QStringLiteral("Port \"%1\" must be a whole number from 1 to 65535 (8470 unless "
                              "another program has it).")
            .arg(values.Port);
    }
    if (!address.isLoopback()) {
        // The token is never shown back: the line may reach the journal.
        if (values.Token.isEmpty())
            return QStringLiteral("The Token is missing: every device on the network needs one.");
        if (values.Token.size() < kMinTokenHexDigits || !hexDigits(values.Token)) {
            return QStringLiteral("The Token must be at least %1 hex digits: press \"New token\" "
                                  "in the Web window.")
                .arg(kMinTokenHexDigits);
        }
    }
    return {};
}

WebSettings webSettings(const WebConfig& values)
{
    WebSettings settings;
    if (!webConfigProblem(values).isEmpty())
        return settings;
    settings.on = values.WebOn == QLatin1String("1");
    settings.address.setAddress(values.Address);
    settings.port = *portOf(values.Port);
    if (!settings.address.isLoopback())
        settings.token = values.Token.toLatin1();
    return settings;
}

WebLoad readWebConfig(const core::AppDir& app)
{
    WebLoad load;
    const QString path = webCfgPath(app);
    if (!QFileInfo::exists(path))
        return load;
    auto fail = [&load](const QString& why) {
        load.settings = WebSettings{};
        load.warning = QStringLiteral("The web view is off: web.cfg %1").arg(why);
        return load;
    };
    QString error;
    const auto bytes = core::readWholeFile(path, &error);
    if (!bytes)
        return fail(QStringLiteral("cannot be read (%1).").arg(error));
    const QString text = QString::fromUtf8(*bytes);
    if (text.toUtf8() != *bytes)
        return fail(
            QStringLiteral("is not UTF-8 text. Save the settings again in the Web window."));
    bool titleMissing = false;
    load.config = parseWebConfig(text, &titleMissing);
    if (titleMissing) {
        return fail(QStringLiteral("does not start with \"Web Settings\". Save the settings again "
                                   "in the Web window."));
    }
    for (const auto& key : kWebConfigKeys) {
        if (!core::tagValue(text, QString::fromLatin1(key.name))) {
            return fail(
                QStringLiteral("has no <%1> line. Save the settings again in the Web window.")
                    .arg(QLatin1String(key.name)));
        }
    }
    if (const QString problem = webConfigProblem(load.config); !problem.isEmpty())
        return fail(QStringLiteral("is damaged: %1").arg(problem));
    if (!load.config.Token.isEmpty() && (QFile::permissions(path) & kOthers)) {
        return fail(QStringLiteral("may be read by other users, and it holds the token: run "
                                   "chmod 600 %1, then press \"New token\" in the Web window.")
                        .arg(path));
    }
    load.settings = webSettings(load.config);
    return load;
}

QByteArray webConfigText(const WebConfig& values)
{
    QByteArray out = kTitleLine + "\r\n\r\n";
    for (const auto& key : kWebConfigKeys) {
        const QByteArray name(key.name);
        out += '<' + name + '>' + (values.*key.value).toUtf8() + "</" + name + ">\r\n";
    }
    return out + "\r\n";
}

bool saveWebConfig(const core::AppDir& app, const WebConfig& values, QString* error)
{
    const QString path = webCfgPath(app);
    return core::replaceOwnerOnlyFile(path, webConfigText(values), error);
}

QString newToken()
{
    std::array<quint32, kTokenBits / 32> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QString out;
    for (const quint32 w : words)
        out += QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0'));
    return out;
}

QString networkToken(const QString& token)
{
    return token.size() < kMinTokenHexDigits ? newToken() : token;
}

} // namespace web
