#include "entry.h"

#include "logger.h"
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
    logger.show();
    return app.exec();
}

} // namespace programs
