#include "logging/spool.h"

#include "core/files.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace logging {
namespace {

constexpr quint32 kMagic = 0x54534c57; // "TSLW"
// Version 2 adds each append's file size before it; version 1 spools are still replayed.
constexpr quint16 kVersion = 2;

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

// A folder is the user's own when it is a real directory (no link), owned by the user, with no
// access for group or others. Made with mode 0700 when missing; empty when usable, otherwise why.
QString ownFolder(const QString& folder)
{
    QDir().mkpath(QFileInfo(folder).absolutePath());
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return QString::fromLocal8Bit(std::strerror(errno));
    struct stat st
    {};
    if (::lstat(name.constData(), &st) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("not a folder of its own (a link or a file)");
    if (st.st_uid != ::getuid())
        return QStringLiteral("owned by another account");
    if ((st.st_mode & 077) != 0)
        return QStringLiteral("other accounts have access to it");
    return {};
}

QString unsafeWarning(const QString& folder, const QString& why)
{
    return QStringLiteral("The folder %1 is not used for waiting lines: %2.").arg(folder, why);
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

// Removes a spool, or empties it where it cannot be removed: an empty spool is a spool done.
bool letGo(const QString& file)
{
    const QByteArray name = QFile::encodeName(file);
    if (::unlink(name.constData()) == 0 || errno == ENOENT)
        return true;
    const int fd = ::open(name.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace

QStringList spoolCandidates(const core::AppDir& app)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    const QStringList folders{
        state + QStringLiteral("/tessaly"),
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
            QStringLiteral("/tessaly"),
        QDir::tempPath() + QStringLiteral("/tessaly-%1").arg(::getuid()),
    };
    const dev_t appDevice = deviceOf(app.dir);
    // A RAM disk loses what it holds at a reboot: after every folder on a disk.
    QStringList other, same, ram;
    for (const QString& folder : folders)
        (onRamDisk(folder)               ? ram
         : deviceOf(folder) == appDevice ? same
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
        // What the file looked like before the write, so a replay finds what already got there.
        qint64 before = w.sizeBefore;
        if (before < 0 && w.kind == FileWrite::Kind::Append)
            before = QFileInfo(w.path).exists() ? QFileInfo(w.path).size() : 0;
        s << before;
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
            if (size <= 0)
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
                                 QString* error)
{
    const QByteArray bytes = spoolBytes(app, pending);
    QStringList reasons;
    const QStringList candidates = spoolCandidates(app);
    for (const QString& file : candidates) {
        const QString folder = QFileInfo(file).absolutePath();
        if (const QString why = ownFolder(folder); !why.isEmpty()) {
            qWarning("%s", qPrintable(unsafeWarning(folder, why)));
            reasons << unsafeWarning(folder, why);
            continue;
        }
        QString reason;
        if (core::replaceFile(file, bytes, &reason)) {
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
            for (const QString& other : candidates) {
                if (other != file && QFileInfo::exists(other) &&
                    ownFolder(QFileInfo(other).absolutePath()).isEmpty())
                    letGo(other);
            }
            return file;
        }
        reasons << QStringLiteral("%1: %2").arg(file, reason);
    }
    if (error)
        *error = reasons.join(QStringLiteral("; "));
    return std::nullopt;
}

QString removeSpool(const core::AppDir& app)
{
    QStringList stuck;
    for (const QString& file : spoolCandidates(app)) {
        const QFileInfo info(file);
        // Nothing is made here, and nothing touched in a folder that is not the user's own.
        if ((info.exists() || info.isSymLink()) && ownFolder(info.absolutePath()).isEmpty() &&
            !letGo(file))
            stuck << file;
    }
    if (stuck.isEmpty())
        return {};
    return QStringLiteral("The spool %1 can be neither removed nor emptied: remove it by hand, "
                          "or its lines are checked against their files at every start.")
        .arg(stuck.join(QStringLiteral(", ")));
}

QString spoolPlaceNote(const QString& file)
{
    if (file.isEmpty() || !onRamDisk(file))
        return {};
    return QStringLiteral("The waiting lines are kept in %1, on a RAM disk: they are lost if the "
                          "computer stops before they are written.")
        .arg(file);
}

SpooledWrites loadSpool(const core::AppDir& app)
{
    QList<QFileInfo> found;
    SpooledWrites out;
    for (const QString& file : spoolCandidates(app)) {
        const QFileInfo info(file);
        if (!info.exists() && !info.isSymLink())
            continue;
        // A spool in a folder another account can reach, or planted by someone else, is not
        // ours to replay.
        const QString folder = info.absolutePath();
        if (const QString why = ownFolder(folder); !why.isEmpty()) {
            out.problems << unsafeWarning(folder, why);
            continue;
        }
        if (info.isFile() && !info.isSymLink() && info.ownerId() == ::getuid() && info.size() > 0)
            found << info;
    }
    std::sort(found.begin(), found.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() < b.lastModified();
    });
    for (const QFileInfo& info : found) {
        QString reason;
        const auto bytes = core::readWholeFile(info.filePath(), &reason);
        const auto writes = bytes ? parseSpool(app, *bytes, &reason) : std::nullopt;
        if (!writes) {
            // Set aside, not removed: what it holds may still be read by hand.
            const QString aside = info.filePath() + QStringLiteral(".damaged");
            QFile::remove(aside);
            QFile::rename(info.filePath(), aside);
            out.problems
                << QStringLiteral("%1 (%2), set aside as %3").arg(info.filePath(), reason, aside);
            continue;
        }
        out.files << info.filePath();
        out.writes.insert(out.writes.end(), writes->begin(), writes->end());
    }
    return out;
}

} // namespace logging
