#include "logging/spool.h"

#include "core/files.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <tuple>
#include <unistd.h>

namespace logging {
namespace {

constexpr quint32 kMagic = 0x54534c57; // "TSLW"
// Version 2 adds each append's file size before it; version 1 spools are still replayed.
constexpr quint16 kVersion = 2;

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
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

QString unsafeWarning(const QString& folder, const QString& why)
{
    return QStringLiteral("The folder %1 is not used for waiting lines: %2.").arg(folder, why);
}

// A folder that cannot be used stays so for the run: the journal hears of it once, not at every
// save.
void warnOnce(const QString& text)
{
    static std::mutex mutex;
    static QSet<QString> said;
    {
        const std::lock_guard lock(mutex);
        if (said.contains(text))
            return;
        said.insert(text);
    }
    qWarning("%s", qPrintable(text));
}

// A spool folder as opened for use. The path may lead through links (the service manager's
// /var/cache/tessaly is one, into a folder only root may enter); what is judged is the directory
// it leads to, and everything after is done through the descriptor, so a link swapped in between
// the check and the use leads nowhere.
class Folder
{
public:
    // make: the folder (mode 0700) and the ones above it are made when missing.
    Folder(const QString& path, bool make)
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
    ~Folder()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool usable() const { return m_fd >= 0; }
    bool missing() const { return m_missing; }
    const QString& error() const { return m_error; }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_missing = false;
    QString m_error;
};

// Replaces the spool file in the folder by a synced one, through a temporary file and a rename.
bool writeIn(const Folder& folder, const QString& name, const QByteArray& bytes, QString* error)
{
    const QByteArray file = QFile::encodeName(name);
    QByteArray temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 10; ++tries) {
        temp = QFile::encodeName(core::temporaryName(name));
        fd = ::openat(folder.fd(), temp.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
    if (err == 0 && ::renameat(folder.fd(), temp.constData(), folder.fd(), file.constData()) != 0)
        err = errno;
    if (err != 0) {
        ::unlinkat(folder.fd(), temp.constData(), 0);
        *error = systemError(err);
        return false;
    }
    ::fsync(folder.fd());
    return true;
}

// Removes a spool, or empties it where it cannot be removed: an empty spool is a spool done.
// A link in its place is removed, never followed.
bool letGo(const Folder& folder, const QString& name)
{
    const QByteArray file = QFile::encodeName(name);
    if (::unlinkat(folder.fd(), file.constData(), 0) == 0 || errno == ENOENT)
        return true;
    const int fd = ::openat(folder.fd(), file.constData(),
                            O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool existsIn(const Folder& folder, const QString& name)
{
    struct stat st
    {};
    return ::fstatat(folder.fd(), QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) ==
           0;
}

// A spool file found in a folder, read whole.
struct Found
{
    QString file;
    QString name;
    QString folder;
    timespec modified{};
    QByteArray bytes;
};

// The spool file's bytes when it is a file of our own with something in it; nullopt with no
// reason when there is none; nullopt with the reason for anything else in its place.
std::optional<Found> readIn(const Folder& folder, const QString& dir, const QString& name,
                            QString* reason)
{
    const int fd = ::openat(folder.fd(), QFile::encodeName(name).constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            *reason = errno == ELOOP ? QStringLiteral("a link, left alone") : systemError(errno);
        return std::nullopt;
    }
    std::optional<Found> out;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0) {
        *reason = systemError(errno);
    } else if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        *reason = QStringLiteral("not a file of this account, left alone");
    } else if (st.st_size > 0) {
        Found f{dir + QLatin1Char('/') + name, name, dir, st.st_mtim, {}};
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

QString spoolName(const core::AppDir& app)
{
    const QByteArray key = QFileInfo(app.dir).absoluteFilePath().toUtf8();
    return QStringLiteral("waiting-%1.bin")
        .arg(QString::fromLatin1(
            QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16)));
}

// Only a file of the application directory may be written from a spool.
bool insideApp(const core::AppDir& app, const QString& path)
{
    const QString root = QDir::cleanPath(QFileInfo(app.dir).absoluteFilePath()) + QLatin1Char('/');
    return QDir::cleanPath(path) == path && path.startsWith(root);
}

// The first of the folders a variable names (systemd separates several with colons), when it
// is an absolute path.
QString folderFrom(const char* variable)
{
    const QString folder = qEnvironmentVariable(variable).section(QLatin1Char(':'), 0, 0);
    return QDir::isAbsolutePath(folder) ? QDir::cleanPath(folder) : QString();
}

QString temporaryFolder()
{
    return QDir::cleanPath(QDir::tempPath()) + QStringLiteral("/tessaly-%1").arg(::getuid());
}

// The folders the spool may go to, in the order they are named; from the environment alone.
QStringList spoolFolders(const core::AppDir& app)
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
    folders << temporaryFolder();
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

QStringList spoolCandidates(const core::AppDir& app, AppFolder look)
{
    const QStringList folders = spoolFolders(app);
    const std::optional<dev_t> appDevice =
        look == AppFolder::Look ? std::optional(deviceOf(app.dir)) : std::nullopt;
    // A RAM disk loses what it holds at a reboot: after every folder on a disk.
    QStringList other, same, ram;
    for (const QString& folder : folders)
        (onRamDisk(folder)                             ? ram
         : appDevice && deviceOf(folder) == *appDevice ? same
                                                       : other)
            << folder + QLatin1Char('/') + spoolName(app);
    return other + same + ram;
}

QByteArray spoolBytes(const core::AppDir& app, const PendingWrites& pending)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_6_0);
    s << kMagic << kVersion << QFileInfo(app.dir).absoluteFilePath()
      << quint32(pending.queue.size());
    for (const FileWrite& w : pending.queue) {
        s << w.path << qint8(w.kind) << w.bytes << w.headerIfNew << quint32(w.records.size());
        for (const qsizetype size : w.records)
            s << qint64(size);
        // What the file looked like before the write, so a replay finds what already got there;
        // -1 for one that never reached it.
        s << qint64(w.sizeBefore);
    }
    return out;
}

std::optional<std::deque<FileWrite>> parseSpool(const core::AppDir& app, const QByteArray& bytes,
                                                QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QDataStream s(bytes);
    s.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, count = 0;
    quint16 version = 0;
    QString dir;
    s >> magic >> version >> dir >> count;
    if (s.status() != QDataStream::Ok || magic != kMagic || version < 1 || version > kVersion)
        return fail(QStringLiteral("not a spool of this program"));
    if (dir != QFileInfo(app.dir).absoluteFilePath())
        return fail(QStringLiteral("kept for another folder, %1").arg(dir));
    std::deque<FileWrite> writes;
    for (quint32 n = 0; n < count && s.status() == QDataStream::Ok; ++n) {
        FileWrite w;
        qint8 kind = 0;
        quint32 records = 0;
        s >> w.path >> kind >> w.bytes >> w.headerIfNew >> records;
        if (kind != qint8(FileWrite::Kind::Append) && kind != qint8(FileWrite::Kind::Replace))
            return fail(QStringLiteral("damaged"));
        w.kind = FileWrite::Kind(kind);
        qint64 total = 0;
        for (quint32 r = 0; r < records && s.status() == QDataStream::Ok; ++r) {
            qint64 size = 0;
            s >> size;
            // Each record is a piece of the bytes: a size past what is left of them is damage
            // (and would overflow the sum).
            if (size <= 0 || size > w.bytes.size() - total)
                return fail(QStringLiteral("damaged"));
            total += size;
            w.records.push_back(size);
        }
        if (version >= 2)
            s >> w.sizeBefore;
        if (w.kind == FileWrite::Kind::Append && (records == 0 || total != w.bytes.size()))
            return fail(QStringLiteral("damaged"));
        if (!insideApp(app, w.path))
            return fail(QStringLiteral("names a file outside the folder, %1").arg(w.path));
        writes.push_back(std::move(w));
    }
    if (s.status() != QDataStream::Ok || !s.atEnd())
        return fail(QStringLiteral("damaged"));
    return writes;
}

std::optional<QString> saveSpool(const core::AppDir& app, const PendingWrites& pending,
                                 const QStringList& candidates, QString* error)
{
    const QByteArray bytes = spoolBytes(app, pending);
    QStringList reasons;
    for (const QString& file : candidates) {
        const QFileInfo info(file);
        const Folder folder(info.path(), true);
        if (!folder.usable()) {
            warnOnce(unsafeWarning(info.path(), folder.error()));
            reasons << unsafeWarning(info.path(), folder.error());
            continue;
        }
        QString reason;
        if (writeIn(folder, info.fileName(), bytes, &reason)) {
            for (const QString& other : candidates) {
                const QFileInfo otherInfo(other);
                if (other == file)
                    continue;
                // Nothing is made here, and nothing touched in a folder that is not ours.
                const Folder otherFolder(otherInfo.path(), false);
                if (otherFolder.usable())
                    letGo(otherFolder, otherInfo.fileName());
            }
            return file;
        }
        reasons << QStringLiteral("%1: %2").arg(file, reason);
    }
    if (error)
        *error = reasons.join(QStringLiteral("; "));
    return std::nullopt;
}

std::optional<QString> saveSpool(const core::AppDir& app, const PendingWrites& pending,
                                 QString* error)
{
    PendingWrites kept = pending;
    noteSizesBefore(kept.queue);
    return saveSpool(app, kept, spoolCandidates(app), error);
}

QString removeSpool(const QStringList& candidates)
{
    QStringList stuck;
    for (const QString& file : candidates) {
        const QFileInfo info(file);
        // Nothing is made here, and nothing touched in a folder that is not the user's own.
        const Folder folder(info.path(), false);
        if (folder.usable() && existsIn(folder, info.fileName()) && !letGo(folder, info.fileName()))
            stuck << file;
    }
    if (stuck.isEmpty())
        return {};
    return QStringLiteral("The spool %1 can be neither removed nor emptied: remove it by hand, "
                          "or its lines are checked against their files at every start.")
        .arg(stuck.join(QStringLiteral(", ")));
}

QString removeSpool(const core::AppDir& app)
{
    return removeSpool(spoolCandidates(app));
}

QString spoolPlaceNote(const QString& file)
{
    if (file.isEmpty())
        return {};
    // The temporary folder is emptied at a reboot, and a service's own at every stop; where it
    // is the service's own cannot be told from inside, so it is said either way.
    if (QFileInfo(file).path() == temporaryFolder()) {
        return QStringLiteral("The waiting lines are kept in %1, in the temporary folder: they "
                              "are lost at a reboot or a service stop if they are not written "
                              "before.")
            .arg(file);
    }
    if (!onRamDisk(file))
        return {};
    return QStringLiteral("The waiting lines are kept in %1, on a RAM disk: they are lost if the "
                          "computer stops before they are written.")
        .arg(file);
}

QString spoolStatusNote(const QString& file)
{
    if (file.isEmpty())
        return {};
    if (QString note = spoolPlaceNote(file); !note.isEmpty())
        return note;
    return QStringLiteral("The waiting lines are kept in %1 until they are written.").arg(file);
}

SpooledWrites loadSpool(const core::AppDir& app, const QStringList& candidates)
{
    std::vector<Found> found;
    SpooledWrites out;
    for (const QString& file : candidates) {
        const QFileInfo info(file);
        const Folder folder(info.path(), false);
        if (!folder.usable()) {
            // A spool in a folder another account can reach, or planted by someone else, is
            // not ours to replay.
            if (!folder.missing() && (info.exists() || info.isSymLink()))
                out.problems << unsafeWarning(info.path(), folder.error());
            continue;
        }
        QString reason;
        if (auto one = readIn(folder, info.path(), info.fileName(), &reason))
            found.push_back(std::move(*one));
        else if (!reason.isEmpty())
            out.problems << QStringLiteral("%1 (%2)").arg(file, reason);
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.modified.tv_sec, a.modified.tv_nsec) <
               std::tie(b.modified.tv_sec, b.modified.tv_nsec);
    });
    for (const Found& f : found) {
        QString reason;
        const auto writes = parseSpool(app, f.bytes, &reason);
        if (!writes) {
            // Set aside, not removed: what it holds may still be read by hand.
            const QString asideName = f.name + QStringLiteral(".damaged");
            const Folder folder(f.folder, false);
            if (folder.usable()) {
                ::renameat(folder.fd(), QFile::encodeName(f.name).constData(), folder.fd(),
                           QFile::encodeName(asideName).constData());
            }
            out.problems << QStringLiteral("%1 (%2), set aside as %3")
                                .arg(f.file, reason, f.folder + QLatin1Char('/') + asideName);
            continue;
        }
        out.files << f.file;
        out.writes.insert(out.writes.end(), writes->begin(), writes->end());
    }
    return out;
}

SpooledWrites loadSpool(const core::AppDir& app)
{
    return loadSpool(app, spoolCandidates(app));
}

} // namespace logging
