#pragma once

#include "config/configfiles.h"
#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace publish {

// The values of "publish.cfg", each exactly the text found between its tags, as prog.cfg's are.
// A missing file, or a missing key, gives these defaults: publishing off.
struct PublishConfig
{
    QString Enabled = QStringLiteral("0");
    QString Host;
    QString Port = QStringLiteral("1883");
    QString User;
    QString Password;
    QString TLS = QStringLiteral("0");
    QString CAFile; // a PEM file of the user's own certificate authority, for TLS; empty: none
    QString BaseTopic = QStringLiteral("tessaly");
    QString Name; // defaultPublishConfig() puts the host name here
    QString Discovery = QStringLiteral("1");

    bool operator==(const PublishConfig&) const = default;
};

// The keys in the order they are written; the same list serves reading, writing and the check
// that no value holds a tag.
inline constexpr config::ConfigKey<PublishConfig> kPublishConfigKeys[] = {
    {"Enabled", &PublishConfig::Enabled},   {"Host", &PublishConfig::Host},
    {"Port", &PublishConfig::Port},         {"User", &PublishConfig::User},
    {"Password", &PublishConfig::Password}, {"TLS", &PublishConfig::TLS},
    {"CAFile", &PublishConfig::CAFile},     {"BaseTopic", &PublishConfig::BaseTopic},
    {"Name", &PublishConfig::Name},         {"Discovery", &PublishConfig::Discovery},
};

// The defaults with Name set to this computer's host name ("plant" when it has none).
PublishConfig defaultPublishConfig();

// "publish.cfg" in the application directory.
QString publishCfgPath(const core::AppDir& app);

// The values found in a text by prog.cfg's tag rule; a key whose tags are missing keeps its
// default.
PublishConfig parsePublishConfig(QStringView text);

// Reads the file whole; a missing or unreadable file gives the defaults (publishing off), with
// the reason in error when the file is there but cannot be read.
PublishConfig readPublishConfig(const core::AppDir& app, QString* error = nullptr);

// The exact bytes written: a title line, an empty line, one tagged line per key and an empty
// line, CR LF line ends, UTF-8 (host names, user names and passwords are UTF-8 in MQTT).
QByteArray publishConfigText(const PublishConfig& values);

// Writes the file through a temporary file and a rename, readable by its owner only (0600: it
// may hold a password). It checks nothing; false with the reason in error.
bool savePublishConfig(const core::AppDir& app, const PublishConfig& values,
                       QString* error = nullptr);

// Why the values cannot be used or saved, and the key to put right.
struct ConfigProblem
{
    QString key; // as in kPublishConfigKeys
    QString message;
};

// Checks everything that needs no network: a port from 1 to 65535, a host (when publishing is
// on) without blanks, topic parts without the wildcards + and # (and a Name without /), a User
// for a Password, a readable CAFile (when TLS is on), and that every text reads back as typed (no
// tag of the file, no line break or other control character). Whether the host resolves is checked
// by the window, off the user interface thread.
std::optional<ConfigProblem> publishConfigProblem(const PublishConfig& values);

// The status line's and the connection test's warning when a password would go to the broker
// without TLS, readable by anyone on the network; empty otherwise.
QString clearPasswordWarning(const PublishConfig& values);

// The typed values of a config that has no problem.
bool publishingOn(const PublishConfig& values);
int portNumber(const PublishConfig& values); // 0 when the text is no port
bool tlsOn(const PublishConfig& values);
bool discoveryOn(const PublishConfig& values);

} // namespace publish
