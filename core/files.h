#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace core {

// The whole file, or nullopt (with the reason in error) when it cannot be read.
std::optional<QByteArray> readWholeFile(const QString& path, QString* error = nullptr);

// The temporary file a replaceFile writes beside path: "prog.cfg.~" and six letters or digits.
inline constexpr const char* kTemporaryMark = ".~";
inline constexpr int kTemporaryTail = 6;
QString temporaryName(const QString& path);

// Replaces the file through a temporary file (made new, never through a link) and a rename, so
// a crash mid-write never leaves a truncated file; the temporary is synced, and only when the
// sync succeeded renamed, then the folder is synced, so the new content survives a power cut.
// The file keeps the mode of the one it replaces. False (with the reason in error) when it
// could not be written; the old file is then untouched.
bool replaceFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Writes the bytes over the file where it stands, cut to their length, without a sync: for a file
// rebuilt so often that the disk's wear counts for more than the file at a power cut (the web page
// while records are held). No new file, no rename: the disk sees the changed blocks and the file's
// size, where a replace costs a new inode, a directory entry and their bitmaps. A reader at that
// moment, a crash of the program or a power cut may find it torn, until the next write. A file
// that is not there, not a plain file of its own (a link, a second name) is replaced as
// replaceFile does, without its syncs, so nothing outside it is ever written.
bool overwriteFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Appends the bytes at the end of the file, all or nothing, and syncs them to the disk before
// it returns. A file that is absent or empty gets prefix first, in the same write, so it never
// exists with a line but without its prefix. A short or failed write (a full disk) is cut back
// to the size the file had, and a file made by the call is removed again, so a retry neither
// leaves half a line nor writes one twice. False with the reason in error.
bool appendWhole(const QString& path, const QByteArray& bytes, const QByteArray& prefix = {},
                 QString* error = nullptr);

// appendWhole in two halves, so that the appends to several files share the disk's commits: each
// file's bytes are written first (beginAppend, which cuts a failed write back as appendWhole
// does), then each is synced and closed (finishAppend, which cuts the file back when its sync
// fails). Every append begun is to be finished.
struct OpenAppend
{
    int fd = -1;
    QByteArray name; // the path as the system takes it
    qint64 before = 0;
    bool existed = false;
};
std::optional<OpenAppend> beginAppend(const QString& path, const QByteArray& bytes,
                                      const QByteArray& prefix = {}, QString* error = nullptr);
bool finishAppend(OpenAppend& append, QString* error = nullptr);
// Writes everything waiting for the file system the append is on, in one commit of its journal:
// the finishAppends after it then find their data on the disk already, where each alone would
// have made a commit of its own (with delayed allocation every file's sync is one). Their own
// syncs still tell each file's failure.
void syncFileSystemOf(const OpenAppend& append);

// Called before each sync of appendWhole and replaceFile, on the thread that writes; tests set
// it to make the disk slow or to see which thread syncs. Empty by default.
void setBeforeSync(std::function<void()> hook);

// Syncs a folder's entries (a file made or renamed in it) to the disk. False where the file
// system cannot.
bool syncFolder(const QString& folder);

// Removes what a replaceFile killed before its rename left beside path, exactly its own
// temporary name ("prog.cfg.~" and six letters or digits; "prog.cfg.backup" is left alone).
// Returns how many it removed.
int removeLeftoverTemporaries(const QString& path);

} // namespace core
