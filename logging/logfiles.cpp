#include "logging/logfiles.h"

#include "core/datetime.h"
#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace logging {
namespace {

bool makeFolderFor(const QString& path, QString* error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QFileInfo(folder).isDir() || QDir().mkpath(folder))
        return true;
    if (error)
        *error = QStringLiteral("cannot make the folder %1").arg(folder);
    return false;
}

// Drops the records of a kept append that already stand in its file where it would have put
// them (a run killed between the append and letting its spool go), so none is written twice.
void skipWhatIsThere(FileWrite& w)
{
    if (w.kind != FileWrite::Kind::Append || w.sizeBefore < 0)
        return;
    QFile file(w.path);
    const qint64 at = w.sizeBefore + (w.sizeBefore == 0 ? w.headerIfNew.size() : 0);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= at || !file.seek(at))
        return;
    const QByteArray there = file.read(w.bytes.size());
    qsizetype matched = 0;
    std::size_t records = 0;
    for (const qsizetype size : w.records) {
        if (there.size() < matched + size || QByteArrayView(there).sliced(matched, size) !=
                                                 QByteArrayView(w.bytes).sliced(matched, size))
            break;
        matched += size;
        ++records;
    }
    w.bytes.remove(0, matched);
    w.records.erase(w.records.begin(), w.records.begin() + std::ptrdiff_t(records));
    w.sizeBefore = -1;
}

bool writeOne(FileWrite& w, QString* error)
{
    if (!makeFolderFor(w.path, error))
        return false;
    skipWhatIsThere(w);
    if (w.kind == FileWrite::Kind::Append && w.records.empty())
        return true;
    if (w.kind == FileWrite::Kind::Replace)
        return w.sync ? core::replaceFile(w.path, w.bytes, error)
                      : core::overwriteFile(w.path, w.bytes, error);
    return core::appendWhole(w.path, w.bytes, w.headerIfNew, error);
}

qsizetype recordCount(const FileWrite& w)
{
    return w.kind == FileWrite::Kind::Append ? qsizetype(w.records.size()) : 0;
}

// Drops the oldest record of the oldest append; false when no append waits.
bool dropOldest(std::deque<FileWrite>& queue)
{
    const auto oldest = std::find_if(queue.begin(), queue.end(),
                                     [](const FileWrite& w) { return recordCount(w) > 0; });
    if (oldest == queue.end())
        return false;
    oldest->bytes.remove(0, oldest->records.front());
    oldest->records.pop_front();
    if (oldest->records.empty())
        queue.erase(oldest);
    return true;
}

} // namespace

QString historyFile(const core::AppDir& app, const QString& shortDate)
{
    QString name = shortDate;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return app.htmlDir() + QStringLiteral("history") + name + QStringLiteral(".txt");
}

QString webPageFile(const core::AppDir& app)
{
    return app.htmlDir() + QStringLiteral("log.asp");
}

QString templateFile(const core::AppDir& app)
{
    return app.htmlDir() + QStringLiteral("template.asp");
}

QString spreadsheetFile(const core::AppDir& app, QDate date)
{
    return app.excelDir() + core::datePart(date) + QStringLiteral(".xls");
}

PageTemplate readTemplate(const core::AppDir& app)
{
    PageTemplate out;
    out.bytes = core::readWholeFile(templateFile(app), &out.error);
    return out;
}

std::vector<FileWrite> recordWrites(const core::AppDir& app, const RecordInputs& in,
                                    QString* warning, const QLocale& locale)
{
    return recordWrites(app, in, in.saveHtml ? readTemplate(app) : PageTemplate{}, warning, locale);
}

std::vector<FileWrite> recordWrites(const core::AppDir& app, const RecordInputs& in,
                                    const PageTemplate& pageTemplate, QString* warning,
                                    const QLocale& locale)
{
    const QDate date = in.now.date();
    const QString load = loadText(in.mode);
    const QString longTime = core::longTimeText(in.now.time(), locale);
    std::vector<FileWrite> writes;
    writes.push_back(
        {app.dailyLog(date), logRecordLine(in.peaks, in.mode, in.now.time(), locale), {}, {}});
    if (in.saveHtml) {
        writes.push_back({historyFile(app, core::shortDateText(date, locale)),
                          historyLine(in.peaks, in.wsUnits, load, longTime, locale),
                          {},
                          {}});
        if (const auto& templ = pageTemplate.bytes) {
            writes.push_back({webPageFile(app),
                              webPage(*templ, in.peaks, in.wattHourTotal, longTime, load, locale),
                              FileWrite::Kind::Replace,
                              {}});
        } else if (warning) {
            *warning = QStringLiteral("The web page is not written: cannot read its template "
                                      "%1 (%2). The history lines are still written.")
                           .arg(templateFile(app), pageTemplate.error);
        }
    }
    if (in.saveExcel) {
        writes.push_back({spreadsheetFile(app, date),
                          spreadsheetRow(in.peaks, load, longTime, locale),
                          {},
                          spreadsheetHeader(in.wsUnits)});
    }
    return writes;
}

void PendingWrites::add(FileWrite write)
{
    if (write.kind == FileWrite::Kind::Replace) {
        std::erase_if(queue, [&](const FileWrite& w) {
            return w.kind == FileWrite::Kind::Replace && w.path == write.path;
        });
        queue.push_back(std::move(write));
        return;
    }
    if (write.records.empty())
        write.records.push_back(write.bytes.size());
    const auto same = std::find_if(queue.rbegin(), queue.rend(), [&](const FileWrite& w) {
        return w.kind == FileWrite::Kind::Append && w.path == write.path;
    });
    if (same != queue.rend()) {
        same->bytes += write.bytes;
        same->records.insert(same->records.end(), write.records.begin(), write.records.end());
    } else {
        queue.push_back(std::move(write));
    }
    for (std::size_t waiting = records(); waiting > limit && dropOldest(queue); --waiting)
        ++dropped;
}

std::size_t PendingWrites::records() const
{
    std::size_t n = 0;
    for (const FileWrite& w : queue)
        n += std::size_t(recordCount(w));
    return n;
}

qsizetype PendingWrites::bytes() const
{
    qsizetype n = 0;
    for (const FileWrite& w : queue)
        n += w.bytes.size();
    return n;
}

void noteSizesBefore(std::deque<FileWrite>& writes)
{
    for (FileWrite& w : writes) {
        if (w.kind == FileWrite::Kind::Append && w.sizeBefore < 0) {
            const QFileInfo file(w.path);
            w.sizeBefore = file.exists() ? file.size() : 0;
        }
    }
}

std::vector<WriteFailure> writePending(PendingWrites& pending, const std::function<bool()>& stop,
                                       bool shareSyncs)
{
    std::vector<WriteFailure> failures;
    auto failureFor = [&](const QString& path) {
        return std::find_if(failures.begin(), failures.end(),
                            [&](const WriteFailure& f) { return f.path == path; });
    };
    auto fail = [&](FileWrite& w, const QString& reason, std::deque<FileWrite>& kept) {
        failures.push_back({w.path, reason, int(std::max<qsizetype>(1, recordCount(w)))});
        kept.push_back(std::move(w));
    };
    // With shareSyncs the appends written but not yet synced, each with its write, oldest first.
    std::vector<std::pair<core::OpenAppend, FileWrite>> open;
    std::deque<FileWrite> kept;
    // Syncs the open appends, all in one go first; one whose sync fails is cut back and stays,
    // behind what stays before it.
    auto finishOpen = [&] {
        if (open.size() > 1)
            core::syncFileSystemOf(open.front().first);
        for (auto& [append, w] : open) {
            QString reason;
            if (!core::finishAppend(append, &reason))
                fail(w, reason, kept);
        }
        open.clear();
    };
    bool stopped = false;
    for (FileWrite& w : pending.queue) {
        if (!stopped && stop && stop()) {
            stopped = true;
            // What is open is finished first: one whose sync fails stays ahead of the rest.
            finishOpen();
        }
        if (stopped) {
            kept.push_back(std::move(w));
            continue;
        }
        // A second append to a file already open waits for the first one's sync, and stays
        // behind it when that sync fails.
        if (shareSyncs && w.kind == FileWrite::Kind::Append &&
            std::any_of(open.begin(), open.end(),
                        [&](const auto& o) { return o.second.path == w.path; }))
            finishOpen();
        if (const auto f = failureFor(w.path); f != failures.end()) {
            f->waiting += int(std::max<qsizetype>(1, recordCount(w)));
            kept.push_back(std::move(w));
            continue;
        }
        QString reason;
        if (!shareSyncs || w.kind != FileWrite::Kind::Append) {
            if (!writeOne(w, &reason))
                fail(w, reason, kept);
            continue;
        }
        if (!makeFolderFor(w.path, &reason)) {
            fail(w, reason, kept);
            continue;
        }
        skipWhatIsThere(w);
        if (w.records.empty())
            continue;
        if (std::optional<core::OpenAppend> append =
                core::beginAppend(w.path, w.bytes, w.headerIfNew, &reason))
            open.emplace_back(std::move(*append), std::move(w));
        else
            fail(w, reason, kept);
    }
    finishOpen();
    pending.queue = std::move(kept);
    return failures;
}

QStringList failureWarnings(const std::vector<WriteFailure>& failures)
{
    QStringList lines;
    for (const WriteFailure& f : failures) {
        lines << QStringLiteral("Cannot write %1 (%2): %3 waiting, kept until it can be written.")
                     .arg(f.path, f.reason,
                          f.waiting == 1 ? QStringLiteral("1 line")
                                         : QStringLiteral("%1 lines").arg(f.waiting));
    }
    return lines;
}

QString droppedWarning(std::size_t dropped)
{
    return QStringLiteral("%1 of the oldest waiting lines were dropped, so that no more than 30 "
                          "days of records wait.")
        .arg(dropped);
}

} // namespace logging
