#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {
namespace {

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// A write may be cut short by a signal or by the space left; goes on until all is written or
// the system refuses. Returns 0, or the error number that stopped it.
int writeAll(int fd, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        done += n;
    }
    return 0;
}

std::function<void()>& beforeSync()
{
    static std::function<void()> hook;
    return hook;
}

void syncing()
{
    if (beforeSync())
        beforeSync()();
}

} // namespace

void setBeforeSync(std::function<void()> hook)
{
    beforeSync() = std::move(hook);
}

std::optional<QByteArray> readWholeFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
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
        (syncing(), !file.commit())) {
        setError(error, file.errorString());
        return false;
    }
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool appendWhole(const QString& path, const QByteArray& bytes, const QByteArray& prefix,
                 QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {};
    const bool existed = ::stat(name.constData(), &st) == 0;
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        setError(error, systemError(errno));
        return false;
    }
    if (::fstat(fd, &st) != 0) {
        setError(error, systemError(errno));
        ::close(fd);
        return false;
    }
    const off_t before = st.st_size;
    const QByteArray& data = before == 0 && !prefix.isEmpty() ? prefix + bytes : bytes;
    int err = writeAll(fd, data.constData(), data.size());
    // Only synced data is safe from a power cut; a sync that fails (the space a delayed
    // allocation needed) fails the whole append.
    if (err == 0)
        syncing();
    if (err == 0 && ::fdatasync(fd) != 0)
        err = errno;
    if (err != 0) {
        setError(error, systemError(err));
        if (!existed) {
            ::close(fd);
            ::unlink(name.constData());
            return false;
        }
        if (::ftruncate(fd, before) != 0 || ::fstat(fd, &st) != 0 || st.st_size != before) {
            setError(error, systemError(err) +
                                QStringLiteral(", and the part written could not be cut off"));
        }
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        // Some file systems report a lost write only here.
        setError(error, systemError(errno));
        if (!existed)
            ::unlink(name.constData());
        else
            ::truncate(name.constData(), before);
        return false;
    }
    if (!existed)
        syncFolder(QFileInfo(path).absolutePath());
    return true;
}

bool syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

int removeLeftoverTemporaries(const QString& path)
{
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    const QString stem = info.fileName() + QLatin1Char('.');
    int removed = 0;
    for (const QString& name : dir.entryList({stem + QStringLiteral("??????")}, QDir::Files)) {
        // The temporary file's own name pattern: six letters or digits after the file's name.
        const QStringView tail = QStringView(name).sliced(stem.size());
        const bool pattern = std::all_of(tail.begin(), tail.end(), [](QChar c) {
            return c.unicode() < 128 && c.isLetterOrNumber();
        });
        if (pattern && dir.remove(name))
            ++removed;
    }
    return removed;
}

} // namespace core
