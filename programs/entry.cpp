#include "programs/entry.h"

#include "core/systemsignals.h"
#include "monitor/logger.h"
#include "plant/plant.h"
#include "programs/onecopy.h"
#include "publish/publishwindow.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QApplication>

namespace programs {

int run(int argc, char** argv, const monitor::ProgramVariant& variant)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(variant.name);
    ui::installFontSubstitutes();
    // First, so an end signal that comes during start-up still ends the program through its
    // close steps once the window is up.
    core::SystemSignals endSignals;
    const core::AppDirPlace place =
        core::chooseAppDir(QCoreApplication::applicationDirPath(), core::userAppDir());
    const core::AppDir dir = place.dir;
    QString seedError;
    if (!place.portable && !core::seedAppDir(dir, place.samples, &seedError)) {
        ui::showMessage(nullptr, QStringLiteral("Cannot prepare the folder for the program's "
                                                "files, %1: %2")
                                     .arg(dir.dir, seedError));
        return 1;
    }
    QLockFile lock(lockFilePath(dir));
    if (const auto refusal = claimAppDir(lock, dir)) {
        // Before the window: this copy touches neither the port nor any file.
        QObject::connect(&endSignals, &core::SystemSignals::received, &app,
                         [] { QCoreApplication::exit(1); });
        ui::showMessage(nullptr, *refusal);
        return 1;
    }
    // The plant first, for the life of the program; the main window is its view.
    plant::Plant plant(dir, core::Clock::system());
    monitor::Logger logger(variant, plant);
    logger.setPublishWindow([&dir](QWidget* parent) {
        publish::Publish window(dir, parent);
        window.exec();
    });
    QObject::connect(&endSignals, &core::SystemSignals::received, &logger,
                     &monitor::Logger::endBySystem);
    logger.show();
    return app.exec();
}

} // namespace programs
