#include "core/appdir.h"
#include "core/systemsignals.h"
#include "core/version.h"
#include "plant/plant.h"
#include "programs/journal.h"
#include "programs/onecopy.h"
#include "service/servicenotifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <chrono>
#include <cstdio>
#include <cstdlib>

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessalyd"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(core::kVersion));
    // First, so an end signal during start-up still ends the program through its close steps.
    core::SystemSignals endSignals;
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
    options.process(app);

    const core::AppDirPlace place = chooseFolder(options.value(dirOption));
    const core::AppDir dir = place.dir;
    QString seedError;
    if (!place.portable && !prepareFolder(place, &seedError)) {
        say(QStringLiteral("Cannot prepare the folder for the program's files, %1: %2")
                .arg(dir.dir, seedError));
        return 1;
    }
    QLockFile lock(programs::lockFilePath(dir));
    if (const auto refusal = programs::claimAppDir(lock, dir)) {
        say(*refusal);
        return 1;
    }

    service::ServiceNotifier notifier;
    plant::Plant plant(dir, core::Clock::system());
    programs::Journal journal(plant, say,
                              [&notifier](const QString& line) { notifier.status(line); });
    // Ready once the last run's spool has been taken in and the port opened or found missing,
    // or once the folder is known not to answer: systemd must not wait on a dead disk.
    bool ready = false;
    auto readyWhenStarted = [&](const station::StationStatus& status) {
        if (!ready && (status.writes.takenUpTo >= 1 || status.diskSilentSince)) {
            ready = true;
            notifier.ready();
        }
    };
    QObject::connect(&plant.station(), &station::Station::statusChanged, &app, readyWhenStarted);
    readyWhenStarted(plant.station().status());

    QObject::connect(&endSignals, &core::SystemSignals::received, &app, [&](int signal) {
        say(QStringLiteral("Ending on signal %1.").arg(signal));
        notifier.stopping();
        const station::CloseResult result = plant.close();
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
        if (plant.diskLeftBehind()) {
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
    return app.exec();
}
