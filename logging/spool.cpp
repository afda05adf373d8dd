#include "logging/spool.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <tuple>

namespace logging {
namespace {

constexpr quint32 kMagic = 0x54534c57; // "TSLW"
// Version 2 adds each append's file size before it; version 1 spools are still replayed.
constexpr quint16 kVersion = 2;

// A spool file found in a folder, read whole.
struct Found
{
    QString file;
    QString name;
    QString folder;
    SpoolFile spool;
};

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

QStringList spoolCandidates(const core::AppDir& app, AppFolder look)
{
    QStringList out;
    for (const QString& folder : spoolFolders(app, look))
        out << folder + QLatin1Char('/') + spoolName(app);
    return out;
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
        const SpoolFolder folder(info.path(), true);
        if (!folder.usable()) {
            folder.warnOnce();
            reasons << folder.warning();
            continue;
        }
        QString reason;
        if (folder.write(info.fileName(), bytes, &reason)) {
            for (const QString& other : candidates) {
                const QFileInfo otherInfo(other);
                if (other == file)
                    continue;
                // Nothing is made here, and nothing touched in a folder that is not ours.
                const SpoolFolder otherFolder(otherInfo.path(), false);
                if (otherFolder.usable())
                    otherFolder.letGo(otherInfo.fileName());
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
        const SpoolFolder folder(info.path(), false);
        if (folder.usable() && folder.contains(info.fileName()) && !folder.letGo(info.fileName()))
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
    if (QFileInfo(file).path() == temporarySpoolFolder()) {
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
        const SpoolFolder folder(info.path(), false);
        if (!folder.usable()) {
            // A spool in a folder another account can reach, or planted by someone else, is
            // not ours to replay.
            if (!folder.missing() && (info.exists() || info.isSymLink()))
                out.problems << folder.warning();
            continue;
        }
        QString reason;
        if (auto one = folder.read(info.fileName(), &reason))
            found.push_back({file, info.fileName(), info.path(), std::move(*one)});
        else if (!reason.isEmpty())
            out.problems << QStringLiteral("%1 (%2)").arg(file, reason);
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.spool.modified.tv_sec, a.spool.modified.tv_nsec) <
               std::tie(b.spool.modified.tv_sec, b.spool.modified.tv_nsec);
    });
    for (const Found& f : found) {
        QString reason;
        const auto writes = parseSpool(app, f.spool.bytes, &reason);
        if (!writes) {
            // Set aside, not removed: what it holds may still be read by hand.
            const QString asideName = f.name + QStringLiteral(".damaged");
            const SpoolFolder folder(f.folder, false);
            if (folder.usable())
                folder.rename(f.name, asideName);
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
