#include "files.h"

#include <QFile>
#include <QSaveFile>

namespace core {

std::optional<QByteArray> readWholeFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    // The flush is checked on its own: commit() renames the temporary file over the old one even
    // when its own flush failed (a full disk), which would replace a good file with a cut one.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace core
