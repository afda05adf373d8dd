#pragma once

#include "appdir.h"
#include "logrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <deque>
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
        Append,  // one write of the whole line, file closed at once
        Replace, // the whole file replaced through a temporary file and a rename
    };
    QString path;
    QByteArray bytes;
    Kind kind = Kind::Append;
    // Written first, in a write of its own, when the file does not exist at the time of writing.
    QByteArray headerIfNew;
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

// The writes of one record in the order they are made: the daily log line, then with saveHtml
// the history line and the web page, then with saveExcel the spreadsheet row. Reads the
// template; when it cannot be read the page is left out and warning names the file.
std::vector<FileWrite> recordWrites(const core::AppDir& app, const RecordInputs& in,
                                    QString* warning, const QLocale& locale = QLocale());

// Writes that have not reached their files yet, oldest first. They stay here until their file
// can be written, so a full disk or a missing folder never loses a record.
struct PendingWrites
{
    std::deque<FileWrite> queue;

    // A newer page for the same file supersedes one that is still waiting.
    void add(FileWrite write);
    bool empty() const { return queue.empty(); }
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
// files go on. Returns the files still failing.
std::vector<WriteFailure> writePending(PendingWrites& pending);

// The main window's warning lines for the files still failing.
QStringList failureWarnings(const std::vector<WriteFailure>& failures);

// Appends the bytes in one write and closes the file. A failed or short write is cut back off,
// so a retry never leaves half a line in the file.
bool appendToFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace logging
