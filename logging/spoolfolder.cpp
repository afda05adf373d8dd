#include "logging/spoolfolder.h"

#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace logging {
namespace {

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// The device of the nearest folder that exists, so a folder not yet made still compares.
dev_t deviceOf(QString path)
{
    struct stat st
    {};
    while (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path)
            return 0;
        path = parent;
    }
    return st.st_dev;
}

// The first of the folders a variable names (systemd separates several with colons), when it
// is an absolute path.
QString folderFrom(const char* variable)
{
    const QString folder = qEnvironmentVariable(variable).section(QLatin1Char(':'), 0, 0);
    return QDir::isAbsolutePath(folder) ? QDir::cleanPath(folder) : QString();
}

// The folders the spool may go to, in the order they are named; from the environment alone.
QStringList namedFolders(const core::AppDir& app)
{
    QStringList folders;
    // The service manager's own folders for the service, kept across stops: the spool goes
    // straight into them.
    folders << folderFrom("CACHE_DIRECTORY") << folderFrom("STATE_DIRECTORY");
    // The user's, as the desktop names them; with no home (a service's dynamic user) none.
    const QString home = qEnvironmentVariable("HOME");
    QString state = folderFrom("XDG_STATE_HOME");
    if (state.isEmpty() && QDir::isAbsolutePath(home))
        state = QDir::cleanPath(home + QStringLiteral("/.local/state"));
    QString cache = folderFrom("XDG_CACHE_HOME");
    if (cache.isEmpty() && QDir::isAbsolutePath(home))
        cache = QDir::cleanPath(home + QStringLiteral("/.cache"));
    for (const QString& base : {state, cache}) {
        if (!base.isEmpty())
            folders << base + QStringLiteral("/tessaly");
    }
    folders << temporarySpoolFolder();
    // A spool in the folder it waits for is no help when that folder stops answering: under the
    // service manager the state folder is the application directory itself.
    const QString root = QDir::cleanPath(QFileInfo(app.dir).absoluteFilePath());
    QStringList out;
    for (const QString& folder : folders) {
        if (!folder.isEmpty() && !out.contains(folder) && folder != root)
            out << folder;
    }
    return out;
}

} // namespace

QStringList spoolFolders(const core::AppDir& app, AppFolder look)
{
    const QStringList folders = namedFolders(app);
    const std::optional<dev_t> appDevice =
        look == AppFolder::Look ? std::optional(deviceOf(app.dir)) : std::nullopt;
    // A RAM disk loses what it holds at a reboot: after every folder on a disk.
    QStringList other, same, ram;
    for (const QString& folder : folders)
        (onRamDisk(folder)                             ? ram
         : appDevice && deviceOf(folder) == *appDevice ? same
                                                       : other)
            << folder;
    return other + same + ram;
}

QString temporarySpoolFolder()
{
    return QDir::cleanPath(QDir::tempPath()) + QStringLiteral("/tessaly-%1").arg(::getuid());
}

bool onRamDisk(QString path)
{
    struct statfs fs
    {};
    while (::statfs(QFile::encodeName(path).constData(), &fs) != 0) {
        const QString parent = QFileInfo(path).absolutePath();
        if (parent == path)
            return false;
        path = parent;
    }
    return fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC;
}

SpoolFolder::SpoolFolder(const QString& path, bool make)
    : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    if (make) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
            m_error = systemError(errno);
            return;
        }
    }
    m_fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_missing = errno == ENOENT;
        m_error = errno == ENOTDIR ? QStringLiteral("not a folder") : systemError(errno);
        return;
    }
    struct stat st
    {};
    if (::fstat(m_fd, &st) != 0)
        m_error = systemError(errno);
    else if (st.st_uid != ::getuid())
        m_error = QStringLiteral("owned by another account");
    // A folder of our own that others may enter (the service manager makes its folders
    // 0755 unless told otherwise) is closed to them rather than passed over: passing it over
    // would put the spool in the temporary folder, lost at the stop. Whatever another
    // account could have left in it is no spool of ours: a spool file is read only when it
    // is a file of our own, and never through a link.
    else if ((st.st_mode & 077) != 0 && ::fchmod(m_fd, 0700) != 0)
        m_error = QStringLiteral("other accounts have access to it");
    if (!m_error.isEmpty()) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SpoolFolder::~SpoolFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SpoolFolder::warning() const
{
    if (usable())
        return {};
    return QStringLiteral("The folder %1 is not used for waiting lines: %2.").arg(m_path, m_error);
}

// A folder that cannot be used stays so for the run: the journal hears of it once, not at every
// save.
void SpoolFolder::warnOnce() const
{
    static std::mutex mutex;
    static QSet<QString> said;
    const QString text = warning();
    {
        const std::lock_guard lock(mutex);
        if (text.isEmpty() || said.contains(text))
            return;
        said.insert(text);
    }
    qWarning("%s", qPrintable(text));
}

bool SpoolFolder::write(const QString& name, const QByteArray& bytes, QString* error) const
{
    const QByteArray file = QFile::encodeName(name);
    QByteArray temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 10; ++tries) {
        temp = QFile::encodeName(core::temporaryName(name));
        fd = ::openat(m_fd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    int err = 0;
    for (qsizetype done = 0; err == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            err = errno;
    }
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::renameat(m_fd, temp.constData(), m_fd, file.constData()) != 0)
        err = errno;
    if (err != 0) {
        ::unlinkat(m_fd, temp.constData(), 0);
        *error = systemError(err);
        return false;
    }
    ::fsync(m_fd);
    return true;
}

bool SpoolFolder::letGo(const QString& name) const
{
    const QByteArray file = QFile::encodeName(name);
    if (::unlinkat(m_fd, file.constData(), 0) == 0 || errno == ENOENT)
        return true;
    const int fd =
        ::openat(m_fd, file.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool SpoolFolder::contains(const QString& name) const
{
    struct stat st
    {};
    return ::fstatat(m_fd, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<SpoolFile> SpoolFolder::read(const QString& name, QString* reason) const
{
    const int fd = ::openat(m_fd, QFile::encodeName(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            *reason = errno == ELOOP ? QStringLiteral("a link, left alone") : systemError(errno);
        return std::nullopt;
    }
    std::optional<SpoolFile> out;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0) {
        *reason = systemError(errno);
    } else if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        *reason = QStringLiteral("not a file of this account, left alone");
    } else if (st.st_size > 0) {
        SpoolFile f{st.st_mtim, {}};
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
            if (n > 0)
                f.bytes.append(buffer, n);
        }
        if (n < 0)
            *reason = systemError(errno);
        else
            out = std::move(f);
    }
    ::close(fd);
    return out;
}

void SpoolFolder::rename(const QString& name, const QString& newName) const
{
    ::renameat(m_fd, QFile::encodeName(name).constData(), m_fd,
               QFile::encodeName(newName).constData());
}

} // namespace logging
