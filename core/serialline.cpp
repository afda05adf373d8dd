#include "serialline.h"

#include <QFileInfo>

namespace core {

QString portDevice(const AppDir& app, int port)
{
    const QFileInfo link(app.comLink(port));
    if (link.isSymLink() || link.exists()) {
        const QString target = link.canonicalFilePath();
        return target.isEmpty() ? link.absoluteFilePath() : target;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

} // namespace core
