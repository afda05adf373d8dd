#include "season/summarycache.h"

#include "season/viewjobs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace season {
namespace {

// The months are mapped on a pool of their own: Qt's painting splits large fills over the global
// pool and waits for them, so a year queued there would hold up every window's painting.
Q_GLOBAL_STATIC(QThreadPool, monthPool)

// The day files of the logs folder by name, with their stamps.
using Stamps = QHash<QString, SourceStamp>;

// One stat a file, without a local-time conversion, which a year's listing would otherwise
// spend most of its time on.
std::optional<SourceStamp> stampOf(const char* path)
{
    struct stat info
    {};
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return SourceStamp{qint64(info.st_size),
                       qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000};
}

std::optional<QByteArray> readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// Not synced: a summary lost in a power cut is made again from its day file.
void keep(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        file.commit();
}

} // namespace

QString summaryCacheDir(const core::AppDir& app)
{
    const QString logs = QDir::cleanPath(QFileInfo(app.logsDir()).absoluteFilePath());
    const QByteArray hash =
        QCryptographicHash::hash(logs.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/tessaly/summary/") + QString::fromLatin1(hash);
}

std::optional<SourceStamp> dayFileStamp(const core::AppDir& app, QDate date)
{
    return stampOf(QFile::encodeName(app.dailyLog(date)).constData());
}

QString summaryFile(const SummarySource& source, QDate date)
{
    return source.cacheDir + QStringLiteral("/%1_%2.pack").arg(date.year()).arg(date.month());
}

namespace {

// One month's part of a run: the days from `from` to `to` and where their summaries go.
struct MonthPart
{
    QDate from;
    QDate to;
    std::optional<DaySummary>* out;
};

std::optional<DaySummary> fromDayFile(const QString& path)
{
    const std::optional<QByteArray> content = readAll(path);
    if (!content)
        return std::nullopt;
    return summarizeDay(*content);
}

// The month's pack again: the days just made or found, and the kept days outside the part whose
// files are unchanged.
// A day of the part that goes into the pack, copied only when the pack is written again.
struct KeptDay
{
    QDate date;
    SourceStamp stamp;
    const DaySummary* summary;
};

std::vector<PackedDay> repacked(const MonthPart& part, const std::vector<KeptDay>& kept,
                                const std::vector<PackedDay>& old, const Stamps& stamps,
                                const SummarySource& source)
{
    std::vector<PackedDay> fresh;
    for (const KeptDay& k : kept)
        fresh.push_back({k.date, k.stamp, *k.summary});
    for (const PackedDay& d : old) {
        const bool outside = d.date < part.from || d.date > part.to;
        const auto now = stamps.constFind(QFileInfo(source.app.dailyLog(d.date)).fileName());
        if (outside && d.date != source.today && now != stamps.constEnd() && *now == d.stamp)
            fresh.push_back(d);
    }
    std::sort(fresh.begin(), fresh.end(),
              [](const PackedDay& a, const PackedDay& b) { return a.date < b.date; });
    return fresh;
}

// The pack's days, read rather than mapped: a pack cut short by another program while mapped
// (a network home folder) would end the program with SIGBUS, to save one copy of a month.
std::vector<PackedDay> readPack(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return {};
    auto days = decodePack(QByteArrayView(bytes));
    return days ? std::move(*days) : std::vector<PackedDay>{};
}

void summarizeMonth(MonthPart part, const Stamps& stamps, const SummarySource& source,
                    const std::atomic<bool>* cancel)
{
    const bool keepAny = !source.cacheDir.isEmpty();
    const QString pack = summaryFile(source, part.from);
    std::vector<PackedDay> old;
    if (keepAny && !(cancel && *cancel))
        old = readPack(pack);
    std::vector<KeptDay> kept;
    bool changed = false;
    std::optional<DaySummary>* out = part.out;
    for (QDate d = part.from; d <= part.to; d = d.addDays(1), ++out) {
        // Stopped early, the part ends at the last day made, so the pack keeps its later days.
        if (cancel && *cancel) {
            part.to = d.addDays(-1);
            break;
        }
        const QString path = source.app.dailyLog(d);
        const auto stamp = stamps.constFind(QFileInfo(path).fileName());
        if (stamp == stamps.constEnd())
            continue;
        if (d == source.today) {
            *out = fromDayFile(path);
            continue;
        }
        const auto found = std::find_if(old.begin(), old.end(), [&](const PackedDay& p) {
            return p.date == d && p.stamp == *stamp;
        });
        if (found != old.end()) {
            *out = found->summary;
        } else {
            *out = fromDayFile(path);
            changed = true;
        }
        if (*out)
            kept.push_back({d, *stamp, &**out});
    }
    if (keepAny && changed)
        keep(pack, encodePack(repacked(part, kept, old, stamps, source)));
}

Stamps listDayFiles(const core::AppDir& app)
{
    Stamps out;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(
             QFile::encodeName(app.logsDir()).toStdString(), error)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".txt"))
            continue;
        if (const auto stamp = stampOf(entry.path().c_str()))
            out.insert(QFile::decodeName(name.c_str()), *stamp);
    }
    return out;
}

void summarizeRun(const SummarySource& source, const Stamps& stamps, QDate from, QDate to,
                  std::vector<std::optional<DaySummary>>& out, const std::atomic<bool>* cancel)
{
    std::vector<MonthPart> parts;
    for (QDate d = from; d <= to;) {
        const QDate monthEnd = std::min(to, QDate(d.year(), d.month(), d.daysInMonth()));
        parts.push_back({d, monthEnd, out.data() + from.daysTo(d)});
        d = monthEnd.addDays(1);
    }
    QtConcurrent::blockingMap(monthPool(), parts, [&](const MonthPart& part) {
        giveWayToTheWindows();
        summarizeMonth(part, stamps, source, cancel);
    });
}

} // namespace

// The whole folder's stamps even for one day: the day's month pack keeps its other days.
std::optional<DaySummary> daySummary(const SummarySource& source, QDate date)
{
    const auto run = runSummaries(source, date, date);
    return run.empty() ? std::nullopt : run.front();
}

// The day files' stamps come from one listing of the logs folder; each month is one pack read.
std::vector<std::optional<DaySummary>> runSummaries(const SummarySource& source, QDate from,
                                                    QDate to, const std::atomic<bool>* cancel)
{
    if (!from.isValid() || !to.isValid() || to < from)
        return {};
    std::vector<std::optional<DaySummary>> out(std::size_t(from.daysTo(to) + 1));
    summarizeRun(source, listDayFiles(source.app), from, to, out, cancel);
    return out;
}

} // namespace season
