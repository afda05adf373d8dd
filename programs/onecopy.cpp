#include "programs/onecopy.h"

#include <QDir>
#include <QSysInfo>

namespace programs {

QString lockFilePath(const core::AppDir& app)
{
    return app.path(QStringLiteral("tessaly.lock"));
}

std::optional<QString> claimAppDir(QLockFile& lock, const core::AppDir& app)
{
    // A lock is stale only when its process is gone, never by its age: the program runs for
    // months.
    lock.setStaleLockTime(0);
    if (lock.tryLock(0))
        return std::nullopt;
    const QString folder = QDir::toNativeSeparators(app.dir);
    qint64 pid = 0;
    QString host, name;
    if (lock.error() == QLockFile::LockFailedError && lock.getLockInfo(&pid, &host, &name)) {
        const QString where = host == QSysInfo::machineHostName()
                                  ? QString()
                                  : QStringLiteral(" on the computer %1").arg(host);
        return QStringLiteral("%1 is already running on the folder %2 (process %3%4). Only one "
                              "copy may use a folder at a time, so this one ends.")
            .arg(name.isEmpty() ? QStringLiteral("Another copy") : name, folder)
            .arg(pid)
            .arg(where);
    }
    return QStringLiteral("Cannot take the lock file %1 of the folder %2, so this copy ends: %3")
        .arg(lockFilePath(app), folder,
             lock.error() == QLockFile::PermissionError
                 ? QStringLiteral("the folder may not be written to")
                 : QStringLiteral("the lock is held, but by whom cannot be read"));
}

} // namespace programs
