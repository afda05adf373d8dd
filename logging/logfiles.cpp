#include "logfiles.h"

#include "datetime.h"
#include "files.h"

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

bool writeOne(const FileWrite& w, QString* error)
{
    if (!makeFolderFor(w.path, error))
        return false;
    if (w.kind == FileWrite::Kind::Replace)
        return core::replaceFile(w.path, w.bytes, error);
    if (!w.headerIfNew.isEmpty() && !QFileInfo::exists(w.path)) {
        QFile file(w.path);
        if (!file.open(QIODevice::WriteOnly) || file.write(w.headerIfNew) != w.headerIfNew.size()) {
            if (error)
                *error = file.errorString();
            file.close();
            file.remove(); // the next try starts the file again, header first
            return false;
        }
    }
    return appendToFile(w.path, w.bytes, error);
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

std::vector<FileWrite> recordWrites(const core::AppDir& app, const RecordInputs& in,
                                    QString* warning, const QLocale& locale)
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
        QString reason;
        if (const auto templ = core::readWholeFile(templateFile(app), &reason)) {
            writes.push_back({webPageFile(app),
                              webPage(*templ, in.peaks, in.wattHourTotal, longTime, load, locale),
                              FileWrite::Kind::Replace,
                              {}});
        } else if (warning) {
            *warning = QStringLiteral("The web page is not written: cannot read its template "
                                      "%1 (%2). The history lines are still written.")
                           .arg(templateFile(app), reason);
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
    }
    queue.push_back(std::move(write));
}

std::vector<WriteFailure> writePending(PendingWrites& pending)
{
    std::vector<WriteFailure> failures;
    auto failureFor = [&](const QString& path) {
        return std::find_if(failures.begin(), failures.end(),
                            [&](const WriteFailure& f) { return f.path == path; });
    };
    std::deque<FileWrite> kept;
    for (FileWrite& w : pending.queue) {
        if (const auto f = failureFor(w.path); f != failures.end()) {
            ++f->waiting;
            kept.push_back(std::move(w));
            continue;
        }
        QString reason;
        if (!writeOne(w, &reason)) {
            failures.push_back({w.path, reason, 1});
            kept.push_back(std::move(w));
        }
    }
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

bool appendToFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    const bool whole = file.write(bytes) == bytes.size() && file.flush();
    if (!whole) {
        if (error)
            *error = file.errorString();
        file.resize(before);
    }
    file.close();
    return whole;
}

} // namespace logging
