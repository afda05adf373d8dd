#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

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

// An append that failed with err is undone: a file the append made is
// removed, one that was there is cut back to the size it had. Closes the file.
void cutBack(OpenAppend& a, int err, QString* error)
{
    setError(error, systemError(err));
    const int fd = std::exchange(a.fd, -1);
    if (!a.existed) {
        ::close(fd);
        ::unlink(a.name.constData());
        return;
    }
    struct stat st
    {};
    if (::ftruncate(fd, off_t(a.before)) != 0 || ::fstat(fd, &st) != 0 ||
        st.st_size != off_t(a.before)) {
        setError(error,
                 systemError(err) + QStringLiteral(", and the part written could not be cut off"));
    }
    ::close(fd);
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

QString temporaryName(const QString& path)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString tail;
    for (int k = 0; k < kTemporaryTail; ++k)
        tail += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    return path + QLatin1String(kTemporaryMark) + tail;
}

namespace {

bool replace(const QString& path, const QByteArray& bytes, QString* error, bool sync)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {};
    // The new file keeps the mode of the one it replaces (publish.cfg stays owner-only).
    const mode_t mode = ::stat(name.constData(), &st) == 0 ? (st.st_mode & 07777) : 0666;
    QByteArray temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 10; ++tries) {
        temp = QFile::encodeName(temporaryName(path));
        // Never through a link, never over a file already there.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setError(error, systemError(errno));
        return false;
    }
    int err = writeAll(fd, bytes.constData(), bytes.size());
    // Only a synced file may replace the old one: a sync that fails (a full disk) would put a
    // cut file in its place.
    if (err == 0 && (::fchmod(fd, mode) != 0 || (sync && (syncing(), ::fsync(fd) != 0))))
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.constData(), name.constData()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.constData());
        setError(error, systemError(err));
        return false;
    }
    if (sync)
        syncFolder(QFileInfo(path).absolutePath());
    return true;
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& bytes, QString* error)
{
    return replace(path, bytes, error, true);
}

bool overwriteFile(const QString& path, const QByteArray& bytes, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st
    {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        if (fd >= 0)
            ::close(fd);
        return replace(path, bytes, error, false);
    }
    int err = writeAll(fd, bytes.constData(), bytes.size());
    if (err == 0 && ::ftruncate(fd, bytes.size()) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        setError(error, systemError(err));
        return false;
    }
    return true;
}

std::optional<OpenAppend> beginAppend(const QString& path, const QByteArray& bytes,
                                      const QByteArray& prefix, QString* error)
{
    OpenAppend a;
    a.name = QFile::encodeName(path);
    struct stat st
    {};
    a.existed = ::stat(a.name.constData(), &st) == 0;
    a.fd = ::open(a.name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (a.fd < 0) {
        setError(error, systemError(errno));
        return std::nullopt;
    }
    if (::fstat(a.fd, &st) != 0) {
        setError(error, systemError(errno));
        ::close(a.fd);
        return std::nullopt;
    }
    a.before = st.st_size;
    const QByteArray& data = a.before == 0 && !prefix.isEmpty() ? prefix + bytes : bytes;
    if (const int err = writeAll(a.fd, data.constData(), data.size()); err != 0) {
        cutBack(a, err, error);
        return std::nullopt;
    }
    return a;
}

void syncFileSystemOf(const OpenAppend& a)
{
    syncing();
    ::syncfs(a.fd);
}

bool finishAppend(OpenAppend& a, QString* error)
{
    // Only synced data is safe from a power cut; a sync that fails (the space a delayed
    // allocation needed) fails the whole append.
    syncing();
    if (::fdatasync(a.fd) != 0) {
        cutBack(a, errno, error);
        return false;
    }
    const int fd = std::exchange(a.fd, -1);
    if (::close(fd) != 0) {
        // Some file systems report a lost write only here.
        setError(error, systemError(errno));
        if (!a.existed)
            ::unlink(a.name.constData());
        else
            ::truncate(a.name.constData(), off_t(a.before));
        return false;
    }
    if (!a.existed)
        syncFolder(QFileInfo(QFile::decodeName(a.name)).absolutePath());
    return true;
}

bool appendWhole(const QString& path, const QByteArray& bytes, const QByteArray& prefix,
                 QString* error)
{
    std::optional<OpenAppend> a = beginAppend(path, bytes, prefix, error);
    return a && finishAppend(*a, error);
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
    const QString stem = info.fileName() + QLatin1String(kTemporaryMark);
    int removed = 0;
    const QString pattern = stem + QString(kTemporaryTail, QLatin1Char('?'));
    for (const QString& name : dir.entryList({pattern}, QDir::Files | QDir::Hidden)) {
        // Exactly replaceFile's own name: the mark, then six letters or digits.
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
