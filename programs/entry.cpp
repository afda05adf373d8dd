#include "entry.h"

#include "logger.h"
#include "systemsignals.h"
#include "windowlook.h"

#include <QApplication>

namespace programs {

int run(int argc, char** argv, const monitor::ProgramVariant& variant)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(variant.name);
    core::installFontSubstitutes();
    const core::AppDir dir{QCoreApplication::applicationDirPath()};
    monitor::Logger logger(variant, dir, core::Clock::system());
    core::SystemSignals endSignals;
    QObject::connect(&endSignals, &core::SystemSignals::received, &logger,
                     &monitor::Logger::endBySystem);
    logger.show();
    return app.exec();
}

} // namespace programs
