#include "programs/webcommand.h"

#include "programs/onecopy.h"
#include "web/webaddress.h"
#include "web/webconfig.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QLockFile>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace programs {
namespace {

void print(std::FILE* to, const QString& text)
{
    std::fputs(text.toUtf8().constData(), to);
    std::fflush(to);
}

web::WebConfig changed(web::WebConfig values, const WebCommand& command)
{
    using Reach = WebCommand::Reach;
    switch (command.reach) {
    case Reach::Network:
        values.WebOn = QStringLiteral("1");
        values.Address = QStringLiteral("0.0.0.0");
        break;
    case Reach::Local:
        values.WebOn = QStringLiteral("1");
        values.Address = QStringLiteral("127.0.0.1");
        break;
    case Reach::Off:
        values.WebOn = QStringLiteral("0");
        break;
    case Reach::Keep:
        break;
    }
    if (command.port)
        values.Port = *command.port;
    if (command.newToken)
        values.Token = web::newToken();
    // As in the Web window: the network gets a token as soon as it is chosen.
    const QHostAddress address(values.Address);
    if (!address.isNull() && !address.isLoopback())
        values.Token = web::networkToken(values.Token);
    return values;
}

// Run as root on a service's folder (systemd's user for it owns the folder), the file is given
// to the folder's owner, or the service could not read it.
std::optional<QString> giveToFolderOwner(const core::AppDir& dir)
{
    struct stat folder
    {};
    if (::geteuid() != 0 || ::stat(QFile::encodeName(dir.dir).constData(), &folder) != 0 ||
        folder.st_uid == 0)
        return std::nullopt;
    const QByteArray path = QFile::encodeName(web::webCfgPath(dir));
    if (::chown(path.constData(), folder.st_uid, folder.st_gid) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return std::nullopt;
}

// Has the tessalyd running on the folder read web.cfg again; the line that says how it went.
QString tellRunningCopy(const core::AppDir& dir)
{
    QLockFile lock(lockFilePath(dir));
    qint64 pid = 0;
    QString host, name;
    if (!lock.getLockInfo(&pid, &host, &name) || pid <= 0)
        return QStringLiteral("No copy runs on this folder: the next start serves as it says.");
    if (host != QSysInfo::machineHostName()) {
        return QStringLiteral("The copy running on this folder is on the computer %1: restart it "
                              "there.")
            .arg(host);
    }
    // The lock names the program; the process's own name says it is still that program (a lock
    // left by a killed copy may name a number that now belongs to another process).
    QFile procName(QStringLiteral("/proc/%1/comm").arg(pid));
    const bool same = procName.open(QIODevice::ReadOnly) &&
                      procName.readAll().trimmed() == name.toLocal8Bit().left(15);
    if (!same)
        return QStringLiteral("No copy runs on this folder: the next start serves as it says.");
    if (name != QLatin1String("tessalyd")) {
        return QStringLiteral("%1 runs on this folder (process %2): it serves as web.cfg now says "
                              "once it is started again.")
            .arg(name)
            .arg(pid);
    }
    if (::kill(pid_t(pid), SIGHUP) != 0) {
        return QStringLiteral("tessalyd runs on this folder (process %1) but cannot be told "
                              "(%2): run systemctl reload tessalyd, or restart it.")
            .arg(pid)
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return QStringLiteral("tessalyd, running on this folder (process %1), now serves as it says.")
        .arg(pid);
}

} // namespace

int runWebCommand(const core::AppDir& dir, const WebCommand& command, std::FILE* out,
                  std::FILE* err)
{
    const web::WebLoad load = web::readWebConfig(dir);
    const web::WebConfig values = changed(load.config, command);
    if (const QString problem = web::webConfigProblem(values); !problem.isEmpty()) {
        print(err, problem + u'\n');
        return 1;
    }
    // With no change asked for, the file stays as it is and its address is shown.
    const bool write =
        command.reach != WebCommand::Reach::Keep || command.newToken || command.port.has_value();
    if (write) {
        QString error;
        if (!QDir().mkpath(dir.dir) || !web::saveWebConfig(dir, values, &error)) {
            print(err, QStringLiteral("web.cfg cannot be saved in %1: %2\n")
                           .arg(QDir::toNativeSeparators(dir.dir), error));
            return 1;
        }
        if (const auto failed = giveToFolderOwner(dir)) {
            print(err, QStringLiteral("web.cfg cannot be given to the owner of %1: %2\n")
                           .arg(QDir::toNativeSeparators(dir.dir), *failed));
            return 1;
        }
    }
    const web::WebSettings settings = web::webSettings(values);
    QString text;
    if (!settings.on) {
        text = QStringLiteral("The web view is off.\n");
    } else {
        const QString host = web::networkAddress();
        text = web::addressSentence(values, host) + u'\n';
        if (!settings.loopback())
            text += web::qrText(web::viewAddress(values, host).toUtf8(), ::isatty(::fileno(out)));
    }
    print(out, text);
    if (write)
        print(out, tellRunningCopy(dir) + u'\n');
    return 0;
}

} // namespace programs
