#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ctime>
#include <optional>

namespace logging {

// The folders a spool may be kept in, and the spool files inside them as done through a
// descriptor of the folder. What the spool holds is spool.h's business.

// Whether the folders may be ordered by the application directory's disk. A close whose disk
// does not answer passes Untouched: the folder is never looked at, and the folders keep their
// order, those on a RAM disk last.
enum class AppFolder
{
    Look,
    Untouched,
};

// Where the spool of an application directory may be kept, preferred first: the folders the
// service manager made for the service ($CACHE_DIRECTORY, $STATE_DIRECTORY), the user's state
// folder, cache folder and temporary folder; those on another disk than the application
// directory first, then those on its disk, then those on a RAM disk. None is the application
// directory itself. From the environment; nothing is made.
QStringList spoolFolders(const core::AppDir& app, AppFolder look);

// The folder of the user's own in the temporary folder, emptied at a reboot.
QString temporarySpoolFolder();
// Whether the path (or the nearest folder above it that exists) is on a tmpfs or ramfs.
bool onRamDisk(QString path);

// A spool file read whole.
struct SpoolFile
{
    timespec modified{};
    QByteArray bytes;
};

// A spool folder as opened for use. The path may lead through links (the service manager's
// /var/cache/tessaly is one, into a folder only root may enter); what is judged is the directory
// it leads to, and everything after is done through the descriptor, so a link swapped in between
// the check and the use leads nowhere. A folder is used only when that directory is the user's
// own: owned by the user, and closed to anyone else.
class SpoolFolder
{
public:
    // make: the folder (mode 0700) and the ones above it are made when missing.
    SpoolFolder(const QString& path, bool make);
    ~SpoolFolder();
    SpoolFolder(const SpoolFolder&) = delete;
    SpoolFolder& operator=(const SpoolFolder&) = delete;

    bool usable() const { return m_fd >= 0; }
    // Not usable because nothing is there.
    bool missing() const { return m_missing; }
    // The warning naming the folder and why it is not used; empty when it is usable.
    QString warning() const;
    // The warning to the journal, once in the run for the same folder and reason.
    void warnOnce() const;

    // Replaces the file by a synced one, through a temporary file and a rename; false with the
    // reason when it could not.
    bool write(const QString& name, const QByteArray& bytes, QString* error) const;
    // Removes the file, or empties it where it cannot be removed; a link in its place is
    // removed, never followed. True when it is gone or empty.
    bool letGo(const QString& name) const;
    // Whether anything (a link too) stands under the name.
    bool contains(const QString& name) const;
    // The file when it is a file of the user's own with something in it; nullopt with no
    // reason when there is none; nullopt with the reason for anything else in its place.
    std::optional<SpoolFile> read(const QString& name, QString* reason) const;
    // Renames the file inside the folder; as best it can, nothing said.
    void rename(const QString& name, const QString& newName) const;

private:
    QString m_path;
    int m_fd = -1;
    bool m_missing = false;
    QString m_error;
};

} // namespace logging
