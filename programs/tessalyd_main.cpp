#include "core/appdir.h"
#include "core/files.h"
#include "core/systemsignals.h"
#include "core/version.h"
#include "notify/notifysend.h"
#include "plant/plant.h"
#include "programs/journal.h"
#include "programs/onecopy.h"
#include "programs/webcommand.h"
#include "publish/publishconfig.h"
#include "service/servicenotifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTextStream>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

// tessalyd: the plant with no window, for a computer with no screen. It logs as the desktop
// programs do, into the same kind of folder, and tells systemd how it is.
namespace {

void say(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

// --dir first; then the state folder systemd made for the service; then the folder the
// installed desktop programs use for this user (or the portable folder beside the program).
core::AppDirPlace chooseFolder(const QString& dirOption)
{
    const QString programDir = QCoreApplication::applicationDirPath();
    core::AppDirPlace place = core::chooseAppDir(programDir, core::userAppDir());
    QString chosen = dirOption;
    if (chosen.isEmpty()) {
        // systemd may give several, separated by colons; the first is ours.
        chosen = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    }
    if (chosen.isEmpty())
        return place;
    // A portable folder's own files are the samples a new folder starts from.
    const QString samples = place.portable ? place.dir.dir : place.samples;
    return {core::AppDir{QDir(chosen).absolutePath()}, false, samples};
}

// The data folders, and the sample settings where there are samples to take them from (a
// development build has none beside it: the folder's own settings, or the defaults, serve).
bool prepareFolder(const core::AppDirPlace& place, QString* error)
{
    if (QFileInfo::exists(place.samples + QStringLiteral("/prog.cfg")))
        return core::seedAppDir(place.dir, place.samples, error);
    for (const QString& folder : {place.dir.logsDir(), place.dir.htmlDir(), place.dir.excelDir()}) {
        if (!QDir().mkpath(folder)) {
            *error = QStringLiteral("cannot make the folder %1").arg(folder);
            return false;
        }
    }
    return true;
}

// Looks at what the plant reads from the folder as it is built: the folder's entries (for the
// temporary files a killed save left) and each settings file, stat and read. A folder that
// does not answer keeps this waiting instead of the plant's thread.
void probeFolder(const core::AppDir& dir)
{
    (void)QDir(dir.dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString& path : plant::Plant::filesReadAtStart(dir)) {
        if (QFileInfo::exists(path))
            (void)core::readWholeFile(path);
    }
}

// The start-up steps that touch the folder: prepared, claimed, looked at. The message to end
// with when the folder cannot be used.
std::optional<QString> startFolder(const core::AppDirPlace& place, QLockFile& lock)
{
    QString seedError;
    if (!place.portable && !prepareFolder(place, &seedError)) {
        return QStringLiteral("Cannot prepare the folder for the program's files, %1: %2")
            .arg(place.dir.dir, seedError);
    }
    if (auto refusal = programs::claimAppDir(lock, place.dir))
        return refusal;
    probeFolder(place.dir);
    return std::nullopt;
}

// How long the start-up steps may take before systemd is told the folder does not answer.
constexpr std::chrono::seconds kAnswerWait{3};

// tessalyd notify --test: a test by each way that is on, from this terminal, with the server's
// answer; 0 when every way took it, 1 when one did not, 2 when notify.cfg turns none on.
int notifyTest(const core::AppDir& dir)
{
    QString warning;
    const notify::NotifyConfig config = notify::readNotifyConfig(dir, &warning);
    QTextStream out(stdout);
    if (!warning.isEmpty())
        out << warning << Qt::endl;
    if (!config.anyOn()) {
        out << "notify.cfg in " << QDir::toNativeSeparators(dir.dir)
            << " turns no way of sending alarms on." << Qt::endl;
        return 2;
    }
    QString plant = publish::readPublishConfig(dir).Name;
    if (plant.isEmpty())
        plant = publish::defaultPublishConfig().Name;
    const notify::Event test = notify::testEvent(QDateTime::currentDateTime(), plant);
    bool allTaken = true;
    for (const notify::Way way : notify::kWays) {
        if (!config.on(way))
            continue;
        const notify::Answer answer = notify::send(way, config, test);
        out << notify::wayTitle(way) << (answer.ok ? ": sent, " : ": not sent, ") << answer.text
            << Qt::endl;
        allTaken = allTaken && answer.ok;
    }
    return allTaken ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessalyd"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(core::kVersion));
    // First, so an end signal during start-up still ends the program through its close steps.
    core::SystemSignals endSignals;
    // A service has no terminal to lose: SIGHUP (systemctl reload, or "tessalyd web") has the
    // plant read web.cfg again.
    endSignals.hangupReloads();
    // The close waits for the disk no longer than its deadline; whatever might wait after it (a
    // thread or a destructor on a folder that does not answer) is given a second more.
    endSignals.endWithin(
        std::chrono::duration_cast<std::chrono::seconds>(station::Station::kCloseDeadline) +
        std::chrono::seconds(1));

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Logs the wind plant's logger board with no window: daily records, "
                       "exports, the energy ledger, the power curve, alarms and MQTT, as "
                       "prog.cfg and the other settings in the folder say."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption dirOption(
        QStringLiteral("dir"),
        QStringLiteral("The folder of the settings and logs (default: $STATE_DIRECTORY under "
                       "systemd, else the desktop programs' folder for this user)."),
        QStringLiteral("folder"));
    options.addOption(dirOption);
    options.addPositionalArgument(
        QStringLiteral("web"),
        QStringLiteral("Switches the web view in the folder's web.cfg, as the Web window does, "
                       "prints the address to open (with a QR code on the network) and has a "
                       "tessalyd running on the folder serve as it now says. With no option, "
                       "shows the address."),
        QStringLiteral("[web [--network | --local | --off] [--new-token] [--port number]]"));
    const QCommandLineOption networkOption(
        QStringLiteral("network"),
        QStringLiteral("web: serve every device on the network, with a token."));
    const QCommandLineOption localOption(QStringLiteral("local"),
                                         QStringLiteral("web: serve this computer only."));
    const QCommandLineOption offOption(QStringLiteral("off"), QStringLiteral("web: serve no one."));
    const QCommandLineOption newTokenOption(
        QStringLiteral("new-token"),
        QStringLiteral("web: a new token, so the old one no longer opens the view."));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("web: the port to serve on (8470)."),
                                        QStringLiteral("number"));
    for (const auto* option :
         {&networkOption, &localOption, &offOption, &newTokenOption, &portOption})
        options.addOption(*option);
    const QCommandLineOption testOption(
        QStringLiteral("test"),
        QStringLiteral("With notify: sends a test by each way notify.cfg turns on and prints "
                       "each server's answer."));
    options.addOption(testOption);
    options.addPositionalArgument(QStringLiteral("notify"),
                                  QStringLiteral("notify --test: test the alarms' push, webhook "
                                                 "and e-mail, then end."),
                                  QStringLiteral("[notify --test]"));
    options.process(app);

    const QStringList words = options.positionalArguments();
    const bool webOptions = options.isSet(networkOption) || options.isSet(localOption) ||
                            options.isSet(offOption) || options.isSet(newTokenOption) ||
                            options.isSet(portOption);
    if (words.value(0) == QLatin1String("notify") || options.isSet(testOption)) {
        if (words != QStringList{QStringLiteral("notify")} || !options.isSet(testOption) ||
            webOptions) {
            say(QStringLiteral("Usage: tessalyd [--dir folder] notify --test"));
            return 2;
        }
        return notifyTest(chooseFolder(options.value(dirOption)).dir);
    }
    if (!words.isEmpty() || webOptions) {
        const int reaches = int(options.isSet(networkOption)) + int(options.isSet(localOption)) +
                            int(options.isSet(offOption));
        if (words != QStringList{QStringLiteral("web")} || reaches > 1) {
            say(QStringLiteral("Usage: tessalyd [--dir folder] web [--network | --local | --off] "
                               "[--new-token] [--port number]"));
            return 2;
        }
        programs::WebCommand command;
        using Reach = programs::WebCommand::Reach;
        command.reach = options.isSet(networkOption) ? Reach::Network
                        : options.isSet(localOption) ? Reach::Local
                        : options.isSet(offOption)   ? Reach::Off
                                                     : Reach::Keep;
        command.newToken = options.isSet(newTokenOption);
        if (options.isSet(portOption))
            command.port = options.value(portOption);
        return programs::runWebCommand(chooseFolder(options.value(dirOption)).dir, command, stdout,
                                       stderr);
    }

    const core::AppDirPlace place = chooseFolder(options.value(dirOption));
    const core::AppDir dir = place.dir;
    // The watchdog's pings begin here, from this thread's event loop: they go on while the
    // folder keeps the start-up waiting, and stop only if the loop itself is stuck.
    service::ServiceNotifier notifier;

    std::unique_ptr<plant::Plant> thePlant;
    std::unique_ptr<programs::Journal> journal;
    // Ready once the last run's spool has been taken in and the port opened or found missing,
    // or once the folder is known not to answer: systemd must not wait on a dead disk.
    bool ready = false;
    auto readyWhenStarted = [&](const station::StationStatus& status) {
        if (!ready && (status.writes.takenUpTo >= 1 || status.diskSilentSince)) {
            ready = true;
            notifier.ready();
        }
    };

    // The folder is prepared, claimed and looked at on a thread of its own, so that a folder
    // that does not answer (a network or FUSE folder whose server has gone) keeps only that
    // thread waiting: the event loop runs on, pings the watchdog and acts on an end signal. The
    // plant is built here once the thread is done, from the settings it has just read. What is
    // left is the moment between: a folder that stops answering after the look and before the
    // plant has read it blocks the plant's construction on this thread, the pings stop and the
    // watchdog restarts the service; an end signal then ends it through endWithin's last resort.
    QLockFile lock(programs::lockFilePath(dir));
    std::optional<QString> startError;
    std::atomic<bool> started = false;
    bool ending = false;
    std::thread starting;
    auto buildPlant = [&] {
        if (ending)
            return;
        starting.join();
        if (startError) {
            say(*startError);
            QCoreApplication::exit(1);
            return;
        }
        thePlant = std::make_unique<plant::Plant>(dir, core::Clock::system());
        journal = std::make_unique<programs::Journal>(
            *thePlant, say, [&notifier](const QString& line) { notifier.status(line); });
        QObject::connect(&thePlant->station(), &station::Station::statusChanged, &app,
                         readyWhenStarted);
        readyWhenStarted(thePlant->station().status());
    };
    starting = std::thread([&] {
        startError = startFolder(place, lock);
        started = true;
        QMetaObject::invokeMethod(&app, buildPlant, Qt::QueuedConnection);
    });
    QTimer::singleShot(kAnswerWait, &app, [&] {
        if (started || ending)
            return;
        const QString waiting =
            QStringLiteral("The folder %1 does not answer: logging starts when it does.")
                .arg(QDir::toNativeSeparators(dir.dir));
        say(waiting);
        notifier.status(waiting);
        ready = true;
        notifier.ready();
    });

    QObject::connect(&endSignals, &core::SystemSignals::received, &app, [&](int signal) {
        if (signal == SIGHUP) {
            // Before the plant is built there is nothing to do: it reads the file as it starts.
            if (thePlant && !ending) {
                say(QStringLiteral("Reading web.cfg again (signal %1).").arg(signal));
                thePlant->reloadWeb();
            }
            return;
        }
        say(QStringLiteral("Ending on signal %1.").arg(signal));
        notifier.stopping();
        if (!thePlant) {
            ending = true;
            if (!started) {
                // Joining the thread would wait on the folder; what it holds (perhaps the lock
                // file) is left to the next start, which takes a stale lock over.
                say(QStringLiteral("Ending without waiting for the folder %1, which has not "
                                   "answered: nothing was logged.")
                        .arg(QDir::toNativeSeparators(dir.dir)));
                std::_Exit(0);
            }
            if (starting.joinable())
                starting.join();
            say(QStringLiteral("Ending before the start: nothing was logged."));
            QCoreApplication::exit(0);
            return;
        }
        const station::CloseResult result = thePlant->close();
        if (!result.allWritten) {
            say(result.keptIn
                    ? QStringLiteral("Lines that could not be written are kept in %1 and "
                                     "written to their files at the next start.")
                          .arg(*result.keptIn)
                    : QStringLiteral("Lines that could not be written cannot be kept for the "
                                     "next start (%1), so they are lost.")
                          .arg(result.spoolError));
            for (const QString& line : result.warnings)
                say(line);
        }
        if (thePlant->diskLeftBehind()) {
            // The folder did not answer: the threads and destructors that may still touch it
            // (the disk thread, the web view's reads, the lock file's removal) are not waited
            // for. The lock stays behind, and the next start takes it over.
            say(QStringLiteral("Ending without waiting for the folder %1; its lock file is left "
                               "for the next start.")
                    .arg(QDir::toNativeSeparators(dir.dir)));
            std::_Exit(0);
        }
        QCoreApplication::exit(0);
    });
    const int code = app.exec();
    // Every way out of the loop has joined the thread or ended the process; this is for safety.
    if (starting.joinable())
        starting.join();
    return code;
}
