#pragma once

#include "core/appdir.h"
#include "logging/logfiles.h"
#include "logging/spoolfolder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

namespace logging {

// Writes still waiting when the program ends are kept in a spool file outside the application
// directory, on another disk where there is one, and are written first at the next start. One
// spool file per application directory, in a folder of the user's own.

// Where the spool of an application directory may be kept, preferred first: its file in each of
// spoolFolders(), in that order. A folder is used only when the directory it leads to is the
// user's own (SpoolFolder); another is skipped with a warning naming it, said once.
QStringList spoolCandidates(const core::AppDir& app, AppFolder look = AppFolder::Look);

// The spool's bytes. An append whose sizeBefore is unknown (-1) is kept as one that has not
// reached its file: the replay writes it whole. Reads no file.
QByteArray spoolBytes(const core::AppDir& app, const PendingWrites& pending);
// The waiting writes held in a spool's bytes; nullopt (with the reason) when the bytes are not
// a whole spool of this application directory, or name a file outside it.
std::optional<std::deque<FileWrite>> parseSpool(const core::AppDir& app, const QByteArray& bytes,
                                                QString* error = nullptr);

// Keeps the waiting writes in the first candidate that takes them and removes any other spool
// of the folder. Returns the file used, or nullopt with the reasons when none took them. The
// spool file is made, replaced and removed only inside the folder as it was checked, never
// through a link.
std::optional<QString> saveSpool(const core::AppDir& app, const PendingWrites& pending,
                                 const QStringList& candidates, QString* error = nullptr);
// The same, with the candidates ordered by the application directory's disk and each append
// given its file's size now (noteSizesBefore): only where the folder may be waited on.
std::optional<QString> saveSpool(const core::AppDir& app, const PendingWrites& pending,
                                 QString* error = nullptr);

// Removes every spool of the application directory; one that cannot be removed is emptied (an
// empty spool is done). The status line's text when neither worked, else empty.
QString removeSpool(const QStringList& candidates);
QString removeSpool(const core::AppDir& app);

// The note when the spool file is lost at a stop: in the temporary folder (emptied at a
// reboot, and a service's own at its stop) or on a RAM disk (tmpfs, ramfs); else empty.
QString spoolPlaceNote(const QString& file);
// The status line's note naming where the spool file is, with the above when it applies.
QString spoolStatusNote(const QString& file);

// What the spools of the application directory held, oldest spool first.
struct SpooledWrites
{
    std::deque<FileWrite> writes;
    QStringList files;    // the spool files read
    QStringList problems; // a spool that could not be read, with the reason
};
SpooledWrites loadSpool(const core::AppDir& app, const QStringList& candidates);
SpooledWrites loadSpool(const core::AppDir& app);

} // namespace logging
