#pragma once

#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

namespace logging {

// Writes still waiting when the program ends are kept in a spool file outside the application
// directory, on another disk where there is one, and are written first at the next start. One
// spool file per application directory, in a folder of the user's own.

// Where the spool of an application directory may be kept, preferred first: the user's state
// folder, cache folder and temporary folder, those on another disk than the application
// directory first, then those on its disk, then those on a RAM disk. A folder is used only when
// it is the user's own (made 0700, a real folder owned by the user that no other account can
// reach); another is skipped with a warning naming it.
QStringList spoolCandidates(const core::AppDir& app);

QByteArray spoolBytes(const core::AppDir& app, const PendingWrites& pending);
// The waiting writes held in a spool's bytes; nullopt (with the reason) when the bytes are not
// a whole spool of this application directory, or name a file outside it.
std::optional<std::deque<FileWrite>> parseSpool(const core::AppDir& app, const QByteArray& bytes,
                                                QString* error = nullptr);

// Keeps the waiting writes in the first candidate that takes them and removes any other spool
// of the folder. Returns the file used, or nullopt with the reasons when none took them.
std::optional<QString> saveSpool(const core::AppDir& app, const PendingWrites& pending,
                                 QString* error = nullptr);

// Removes every spool of the application directory; one that cannot be removed is emptied (an
// empty spool is done). The status line's text when neither worked, else empty.
QString removeSpool(const core::AppDir& app);

// The status line's note when the spool file is kept on a RAM disk (tmpfs, ramfs); else empty.
QString spoolPlaceNote(const QString& file);

// What the spools of the application directory held, oldest spool first.
struct SpooledWrites
{
    std::deque<FileWrite> writes;
    QStringList files;    // the spool files read
    QStringList problems; // a spool that could not be read, with the reason
};
SpooledWrites loadSpool(const core::AppDir& app);

} // namespace logging
