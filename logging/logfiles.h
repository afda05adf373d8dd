#pragma once

#include "core/appdir.h"
#include "logging/logrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace logging {

// "html/history3_7_2024.txt": the short date text with each "/" made "_".
QString historyFile(const core::AppDir& app, const QString& shortDate);
QString webPageFile(const core::AppDir& app);
QString templateFile(const core::AppDir& app);
// "Excel/2024_3_7.xls".
QString spreadsheetFile(const core::AppDir& app, QDate date);

// One write that a record makes to one file.
struct FileWrite
{
    enum class Kind
    {
        Append,  // the whole line added at the end in one write, all or nothing
        Replace, // the whole file replaced through a temporary file and a rename
    };
    QString path;
    QByteArray bytes;
    Kind kind = Kind::Append;
    // Written first, in the same write, when the file is absent or empty.
    QByteArray headerIfNew;
    // The size of each record in bytes, oldest first: appends to one file that wait together
    // are kept as one write, and these let the oldest records be dropped one by one.
    std::deque<qsizetype> records = {};
    // For a write kept from an earlier run: the file's size before it (-1: not known). The
    // records already found there at that place, whole, are not written again.
    qint64 sizeBefore = -1;
    // Written over in place without a sync (core::overwriteFile): the web page while records are
    // held in memory. Not kept in the spool: a page kept for the next start is synced.
    bool sync = true;
};

// What one logging tick hands to the files.
struct RecordInputs
{
    IntervalPeaks peaks;
    std::int16_t mode = 0;
    QDateTime now;
    double wattHourTotal = 0;
    QString wsUnits;
    bool saveHtml = false;
    bool saveExcel = false;
};

// The web page's template as read, or why it could not be.
struct PageTemplate
{
    std::optional<QByteArray> bytes;
    QString error;
};
PageTemplate readTemplate(const core::AppDir& app);

// The writes of one record in the order they are made: the daily log line, then with saveHtml
// the history line and the web page, then with saveExcel the spreadsheet row. When the template
// could not be read the page is left out and warning names the file. Reads no file: a close
// whose folder does not answer builds them from the template kept in memory.
std::vector<FileWrite> recordWrites(const core::AppDir& app, const RecordInputs& in,
                                    const PageTemplate& pageTemplate, QString* warning,
                                    const QLocale& locale = QLocale());
// The same, with the template read now.
std::vector<FileWrite> recordWrites(const core::AppDir& app, const RecordInputs& in,
                                    QString* warning, const QLocale& locale = QLocale());

// Writes that have not reached their files yet, oldest first. They stay here until their file
// can be written, so a full disk or a missing folder never loses a record.
struct PendingWrites
{
    // 30 days of records at the shortest interval, for each of the three appended files.
    static constexpr std::size_t kDefaultLimit = 30 * 24 * 360 * 3;

    std::deque<FileWrite> queue;
    // The most records that may wait; beyond it the oldest are dropped and counted.
    std::size_t limit = kDefaultLimit;
    std::size_t dropped = 0;

    // Appends join the records already waiting for the same file, so they reach it in one
    // write; a newer page for the same file supersedes one that is still waiting.
    void add(FileWrite write);
    bool empty() const { return queue.empty(); }
    // Records waiting, all files together.
    std::size_t records() const;
    qsizetype bytes() const;
};

// A file that could not be written, with how many writes wait for it.
struct WriteFailure
{
    QString path;
    QString reason;
    int waiting = 0;
};

// Makes the missing folder, then writes what waits, oldest first. A write that fails stays, and
// so does every later write to the same file, so each file keeps its order; writes to other
// files go on. Returns the files still failing. When stop is given it is asked before each
// write: once it says so, nothing more is written and the rest stays. With shareSyncs every
// append is written first, then the file system is synced once and each append synced, so that
// one commit of the file system carries them all (and the unsynced page written among them)
// rather than one commit each; each append is still whole or undone.
std::vector<WriteFailure> writePending(PendingWrites& pending,
                                       const std::function<bool()>& stop = {},
                                       bool shareSyncs = false);

// Gives each waiting append that does not know it the size its file has now: what a replay of a
// spool compares against, so that what reached the file meanwhile is not written twice. Looks
// at the files, so only where waiting on the disk is fine.
void noteSizesBefore(std::deque<FileWrite>& writes);

// The main window's warning lines for the files still failing.
QStringList failureWarnings(const std::vector<WriteFailure>& failures);

// The status line's warning for records dropped to keep within the limit.
QString droppedWarning(std::size_t dropped);

} // namespace logging
