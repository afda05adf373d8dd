#include "core/ownerfile.h"

#include "core/files.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

bool replaceOwnerOnlyFile(const QString& path, const QByteArray& bytes, QString* error)
{
    constexpr QFileDevice::Permissions kOwnerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    bool made = false;
    if (!QFile::exists(path)) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL,
                              S_IRUSR | S_IWUSR);
        if (fd >= 0) {
            ::close(fd);
            made = true;
        }
    }
    QFile::setPermissions(path, kOwnerOnly);
    if (!replaceFile(path, bytes, error)) {
        if (made)
            QFile::remove(path);
        return false;
    }
    if (!QFile::setPermissions(path, kOwnerOnly)) {
        if (error)
            *error = QStringLiteral("cannot make %1 readable by its owner only").arg(path);
        return false;
    }
    return true;
}

} // namespace core
