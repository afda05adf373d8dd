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
#include <sys/stat.h>
#include <unistd.h>

namespace logging {
namespace {

constexpr quint32 kMagic = 0x54534c57; // "TSLW"
constexpr quint16 kVersion = 1;

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
    QStringList other, same;
    for (const QString& folder : folders)
        (deviceOf(folder) == appDevice ? same : other)
            << folder + QLatin1Char('/') + spoolName(app);
    return other + same;
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
    if (s.status() != QDataStream::Ok || magic != kMagic || version != kVersion)
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
        QString reason;
        if (QDir().mkpath(QFileInfo(file).absolutePath()) &&
            core::replaceFile(file, bytes, &reason)) {
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
            for (const QString& other : candidates) {
                if (other != file)
                    QFile::remove(other);
            }
            return file;
        }
        reasons << QStringLiteral("%1: %2").arg(
            file, reason.isEmpty() ? QStringLiteral("cannot make its folder") : reason);
    }
    if (error)
        *error = reasons.join(QStringLiteral("; "));
    return std::nullopt;
}

void removeSpool(const core::AppDir& app)
{
    for (const QString& file : spoolCandidates(app))
        QFile::remove(file);
}

SpooledWrites loadSpool(const core::AppDir& app)
{
    QList<QFileInfo> found;
    for (const QString& file : spoolCandidates(app)) {
        const QFileInfo info(file);
        // A spool planted by someone else in a shared folder is not ours to replay.
        if (info.isFile() && info.ownerId() == ::getuid())
            found << info;
    }
    std::sort(found.begin(), found.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() < b.lastModified();
    });
    SpooledWrites out;
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
