#pragma once

#include "config/configfiles.h"
#include "core/appdir.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

namespace web {

// The values of "web.cfg", each exactly the text between its tags. A missing file gives these
// defaults: the web view off, on this computer only.
struct WebConfig
{
    QString WebOn = QStringLiteral("0");
    QString Address = QStringLiteral("127.0.0.1");
    QString Port = QStringLiteral("8470");
    QString Token;

    bool operator==(const WebConfig&) const = default;
};

inline constexpr config::ConfigKey<WebConfig> kWebConfigKeys[] = {
    {"WebOn", &WebConfig::WebOn},
    {"Address", &WebConfig::Address},
    {"Port", &WebConfig::Port},
    {"Token", &WebConfig::Token},
};

// A viewer token is at least this many bits from the system's random source, as hex digits.
inline constexpr int kTokenBits = 192;
inline constexpr int kMinTokenHexDigits = 32; // 128 bits: the least a token read back may have

// "web.cfg" in the application directory.
QString webCfgPath(const core::AppDir& app);

// What the server is to do, read from a web.cfg that has no problem.
struct WebSettings
{
    bool on = false;
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 8470;
    QByteArray token; // empty on a loopback address: none is asked there
    // 0.0.0.0 serves IPv6 too ("every device on my network").
    bool everyDevice() const { return address == QHostAddress::AnyIPv4; }
    bool loopback() const { return address.isLoopback(); }
};

// The values found by prog.cfg's tag rule; a key without its tags keeps its default. A text
// without the title line "Web Settings" first is damaged: missing says so.
WebConfig parseWebConfig(QStringView text, bool* titleMissing = nullptr);

// Why values cannot be served, in words for the status line; empty when they can. Checked: the
// flag is 0 or 1, the address is 127.0.0.1, ::1, 0.0.0.0 or another address of the form, the
// port a whole number from 1 to 65535, and a token of at least kMinTokenHexDigits hex digits on
// any address but a loopback one.
QString webConfigProblem(const WebConfig& values);

// The settings of values that have no problem; off otherwise.
WebSettings webSettings(const WebConfig& values);

// Reads the file: a missing file is the defaults with no warning; a file that cannot be read,
// lacks its title, holds bad values, or can be read by other users while it holds a token gives
// the web view off, with the warning line saying why and what to do.
struct WebLoad
{
    WebConfig config;
    WebSettings settings;
    QString warning;
};
WebLoad readWebConfig(const core::AppDir& app);

// The exact bytes written: the title line, an empty line, a tagged line per key and an empty
// line, CR LF line ends.
QByteArray webConfigText(const WebConfig& values);

// Writes the file through a temporary file and a rename, readable by its owner only (it holds
// the token). False with the reason in error.
bool saveWebConfig(const core::AppDir& app, const WebConfig& values, QString* error = nullptr);

// A new viewer token: kTokenBits from the system's random source, as lower-case hex digits.
QString newToken();

// The token the network is served with: the one given while it is long enough, else a new one
// (the network needs one before anyone may look).
QString networkToken(const QString& token);

} // namespace web
