#include "publish/publishconfig.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/ownerfile.h"
#include "core/tags.h"

#include <QFile>
#include <QSysInfo>
#include <cmath>

namespace publish {
namespace {

const QByteArray kTitle = "Publish Config File\r\n\r\n";

QString keyName(const config::ConfigKey<PublishConfig>& key)
{
    return QString::fromLatin1(key.name);
}

// The first tag of the file the text holds, or empty: such a value would not read back.
QString containedTag(const QString& text)
{
    for (const auto& key : kPublishConfigKeys) {
        for (const char* open : {"<", "</"}) {
            const QString tag = QLatin1String(open) + keyName(key) + QLatin1Char('>');
            if (text.contains(tag))
                return tag;
        }
    }
    return {};
}

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

std::optional<ConfigProblem> unreadable(const PublishConfig& values)
{
    for (const auto& key : kPublishConfigKeys) {
        const QString& value = values.*key.value;
        const QString name = keyName(key);
        // The password is never shown back in a message.
        const QString what = name == QLatin1String("Password")
                                 ? QStringLiteral("The password")
                                 : QStringLiteral("%1 \"%2\"").arg(name, value);
        if (const QString tag = containedTag(value); !tag.isEmpty()) {
            return ConfigProblem{name, QStringLiteral("%1 cannot be kept in publish.cfg: it holds "
                                                      "\"%2\", a tag of the file.")
                                           .arg(what, tag)};
        }
        if (hasControlCharacter(value)) {
            return ConfigProblem{name, QStringLiteral("%1 cannot be kept in publish.cfg: it holds "
                                                      "a line break or another control character.")
                                           .arg(what)};
        }
    }
    return std::nullopt;
}

std::optional<ConfigProblem> topicProblem(const QString& key, const QString& value, bool oneLevel)
{
    if (value.isEmpty())
        return ConfigProblem{key, QStringLiteral("%1 must not be empty.").arg(key)};
    if (value.contains(QLatin1Char('+')) || value.contains(QLatin1Char('#'))) {
        return ConfigProblem{key, QStringLiteral("%1 \"%2\" must not hold + or #: they are "
                                                 "wildcards in MQTT topics.")
                                      .arg(key, value)};
    }
    if (oneLevel && value.contains(QLatin1Char('/'))) {
        return ConfigProblem{
            key,
            QStringLiteral("%1 \"%2\" must not hold /: it names one topic level.").arg(key, value)};
    }
    // Topics starting with $ belong to the broker ($SYS).
    if (value.startsWith(QLatin1Char('$'))) {
        return ConfigProblem{
            key,
            QStringLiteral("%1 \"%2\" must not start with $: such topics belong to the broker.")
                .arg(key, value)};
    }
    return std::nullopt;
}

} // namespace

PublishConfig defaultPublishConfig()
{
    PublishConfig values;
    values.Name = QSysInfo::machineHostName();
    if (values.Name.isEmpty())
        values.Name = QStringLiteral("plant");
    return values;
}

QString publishCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("publish.cfg"));
}

PublishConfig parsePublishConfig(QStringView text)
{
    PublishConfig values = defaultPublishConfig();
    for (const auto& key : kPublishConfigKeys) {
        if (const auto value = core::tagValue(text, keyName(key)))
            values.*key.value = *value;
    }
    return values;
}

PublishConfig readPublishConfig(const core::AppDir& app, QString* error)
{
    const QString path = publishCfgPath(app);
    if (!QFile::exists(path))
        return defaultPublishConfig();
    const auto bytes = core::readWholeFile(path, error);
    if (!bytes)
        return defaultPublishConfig();
    return parsePublishConfig(QString::fromUtf8(*bytes));
}

QByteArray publishConfigText(const PublishConfig& values)
{
    QByteArray out = kTitle;
    for (const auto& key : kPublishConfigKeys) {
        const QByteArray name(key.name);
        out += '<' + name + '>' + (values.*key.value).toUtf8() + "</" + name + ">\r\n";
    }
    return out + "\r\n";
}

bool savePublishConfig(const core::AppDir& app, const PublishConfig& values, QString* error)
{
    const QString path = publishCfgPath(app);
    return core::replaceOwnerOnlyFile(path, publishConfigText(values), error);
}

std::optional<ConfigProblem> publishConfigProblem(const PublishConfig& values)
{
    if (auto problem = unreadable(values))
        return problem;
    const QString host = values.Host.trimmed();
    if (publishingOn(values) && host.isEmpty()) {
        return ConfigProblem{QStringLiteral("Host"),
                             QStringLiteral("Host must name the MQTT broker when publishing is on "
                                            "(a name such as broker.local, or an address).")};
    }
    if (host.contains(QLatin1Char(' ')) || host != values.Host) {
        return ConfigProblem{QStringLiteral("Host"),
                             QStringLiteral("Host \"%1\" must not hold blanks.").arg(values.Host)};
    }
    if (portNumber(values) == 0) {
        return ConfigProblem{QStringLiteral("Port"),
                             QStringLiteral("Port \"%1\" must be a whole number from 1 to 65535 "
                                            "(1883 is the usual one, 8883 with TLS).")
                                 .arg(values.Port)};
    }
    if (auto problem = topicProblem(QStringLiteral("BaseTopic"), values.BaseTopic, false))
        return problem;
    if (auto problem = topicProblem(QStringLiteral("Name"), values.Name, true))
        return problem;
    if (values.User.isEmpty() && !values.Password.isEmpty()) {
        return ConfigProblem{QStringLiteral("User"),
                             QStringLiteral("A password needs a User: MQTT sends no password "
                                            "without a user name.")};
    }
    if (tlsOn(values) && !values.CAFile.isEmpty() &&
        !QFile(values.CAFile).open(QIODevice::ReadOnly)) {
        return ConfigProblem{QStringLiteral("CAFile"),
                             QStringLiteral("CAFile \"%1\" cannot be read: give the broker's CA "
                                            "certificate file (PEM), or leave it empty.")
                                 .arg(values.CAFile)};
    }
    return std::nullopt;
}

QString clearPasswordWarning(const PublishConfig& values)
{
    if (values.Password.isEmpty() || tlsOn(values))
        return {};
    return QStringLiteral("MQTT warning: the password goes to the broker without TLS, in clear "
                          "text that anyone on the network can read. Tick TLS in Publish.");
}

bool publishingOn(const PublishConfig& values)
{
    return config::flagOn(values.Enabled);
}

int portNumber(const PublishConfig& values)
{
    const auto value = core::numericValue(values.Port);
    if (!value || *value != std::floor(*value) || *value < 1 || *value > 65535)
        return 0;
    return int(*value);
}

bool tlsOn(const PublishConfig& values)
{
    return config::flagOn(values.TLS);
}

bool discoveryOn(const PublishConfig& values)
{
    return config::flagOn(values.Discovery);
}

} // namespace publish
