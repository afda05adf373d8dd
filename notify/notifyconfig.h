#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>

namespace notify {

// The three ways an alarm leaves the plant: a push server in the ntfy protocol, a webhook that
// takes one JSON object per event, and e-mail over SMTP.
enum class Way
{
    Push,
    Hook,
    Mail
};
inline constexpr std::array<Way, 3> kWays{Way::Push, Way::Hook, Way::Mail};

// "push", "hook", "mail": the way's name in the queue file and on the command line.
const char* wayKey(Way way);
// "Push", "Webhook", "E-mail": as the window and the status line say it.
QString wayTitle(Way way);

// The values of "notify.cfg", each way off unless the file turns it on and its settings are
// usable. It holds tokens and a password, so it is kept readable by its owner alone.
struct NotifyConfig
{
    bool pushOn = false;
    QString pushUrl; // the topic's URL: "https://ntfy.example/tessaly-shed"
    QString pushToken;
    bool hookOn = false;
    QString hookUrl;
    QString hookToken;
    bool mailOn = false;
    QString smtpUrl; // "smtp://host:587" (STARTTLS required) or "smtps://host:465"
    QString smtpUser;
    QString smtpPassword;
    QString mailFrom;
    QString mailTo; // one address, or several with commas between
    QString caFile; // a PEM file of a home server's own authority; empty: the system's store
    bool reportOn = false;
    int reportHour = 8; // 0 to 23, the plant's local time

    bool on(Way way) const;
    bool anyOn() const { return pushOn || hookOn || mailOn; }
    bool operator==(const NotifyConfig&) const = default;
};

// "notify.cfg" beside prog.cfg.
QString notifyCfgPath(const core::AppDir& app);

// The exact bytes: "Notify Settings", an empty line, one tagged line per key (<PushOn>,
// <PushUrl>, <PushToken>, <HookOn>, <HookUrl>, <HookToken>, <MailOn>, <SmtpUrl>, <SmtpUser>,
// <SmtpPassword>, <MailFrom>, <MailTo>, <CaFile>, <ReportOn>, <ReportHour>) and an empty line,
// CR LF line ends, UTF-8.
QByteArray notifyConfigText(const NotifyConfig& config);

// Why a way's settings cannot be used, or empty when they can (or the way is off): a URL of its
// scheme (push and webhook: https, or http meant for a loopback or private address; mail: smtp
// or smtps) with a host, addresses that look like one, no value that holds a line break or a tag
// of the file. The texts name the key to put right.
QString wayProblem(const NotifyConfig& config, Way way);
// The same for what is common to the ways: a readable CaFile, a ReportHour from 0 to 23.
QString commonProblem(const NotifyConfig& config);

// The values of a file's text. Another title (the first line, "Notify Settings", CR LF or LF)
// turns everything off; a flag other than 0 or 1, or a way whose settings have a problem, turns
// that way off; a ReportHour out of range turns the report off. Keys the program does not know
// are ignored. problems (when given) gets one text per thing not taken as written.
NotifyConfig parseNotifyConfig(QStringView text, QStringList* problems = nullptr);

// Reads the file. Missing: everything off, no warning. Unreadable, readable by others than its
// owner (it holds secrets), or damaged: what could be used of it (nothing for the first two),
// with the status line's warning in warning (empty when the file was used as written).
NotifyConfig readNotifyConfig(const core::AppDir& app, QString* warning = nullptr);

// Writes through a temporary file and a rename, owner-only. False with the reason in error.
bool saveNotifyConfig(const core::AppDir& app, const NotifyConfig& config,
                      QString* error = nullptr);

// Whether a host (a name or an address literal, as a URL holds it) is loopback or private:
// "localhost", 127.0.0.0/8, ::1, 10/8, 172.16/12, 192.168/16, 169.254/16, fc00::/7, fe80::/10.
// Plain http goes only there; a name is checked again at the send, against the address it
// connects to.
bool isLocalAddress(const QString& host);

} // namespace notify
