#include "season/summarycache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentMap>

namespace season {
namespace {

SourceStamp stampOf(const QFileInfo& info)
{
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
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

QString summaryFile(const SummarySource& source, QDate date)
{
    return source.cacheDir + QLatin1Char('/') +
           QFileInfo(source.app.dailyLog(date)).completeBaseName() + QStringLiteral(".sum");
}

std::optional<DaySummary> daySummary(const SummarySource& source, QDate date)
{
    const QFileInfo info(source.app.dailyLog(date));
    if (!info.isFile())
        return std::nullopt;
    const SourceStamp stamp = stampOf(info);
    const bool keepIt = date != source.today && !source.cacheDir.isEmpty();
    const QString kept = keepIt ? summaryFile(source, date) : QString();
    if (keepIt) {
        if (const auto bytes = readAll(kept)) {
            if (auto summary = decodeSummary(*bytes, stamp))
                return summary;
        }
    }
    const std::optional<QByteArray> content = readAll(info.filePath());
    if (!content)
        return std::nullopt;
    DaySummary summary = summarizeDay(*content);
    if (keepIt)
        keep(kept, encodeSummary(summary, stamp));
    return summary;
}

std::vector<std::optional<DaySummary>> runSummaries(const SummarySource& source, QDate from,
                                                    QDate to)
{
    std::vector<QDate> dates;
    for (QDate d = from; d.isValid() && d <= to; d = d.addDays(1))
        dates.push_back(d);
    std::function<std::optional<DaySummary>(const QDate&)> one = [&source](const QDate& d) {
        return daySummary(source, d);
    };
    return QtConcurrent::blockingMapped<std::vector<std::optional<DaySummary>>>(dates, one);
}

} // namespace season
