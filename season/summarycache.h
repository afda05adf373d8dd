#pragma once

#include "core/appdir.h"
#include "season/daysummary.h"

#include <QDate>
#include <QString>
#include <atomic>
#include <optional>
#include <vector>

namespace season {

// Where the summaries of one logs folder are kept: the user's cache folder
// ($XDG_CACHE_HOME, ~/.cache), "tessaly/summary/" and a name made from the logs folder's path,
// so two application directories never share summaries.
QString summaryCacheDir(const core::AppDir& app);

// Where a day's summaries are read from and kept.
struct SummarySource
{
    core::AppDir app;
    QString cacheDir;
    QDate today; // its file is still being written: read from the file itself, never kept
};

// The cache file of the summaries of a day's month.
QString summaryFile(const SummarySource& source, QDate date);

// The stamp of a day's file as the packs check it (size and modification time), or nullopt when
// there is no such file.
std::optional<SourceStamp> dayFileStamp(const core::AppDir& app, QDate date);

// The summary of a day, or nullopt when it has no day file. A kept summary is used when it is
// whole and was made from the file as it is now (size and modification time); otherwise it is
// made from the file and kept (a cache that cannot be written is only slower).
std::optional<DaySummary> daySummary(const SummarySource& source, QDate date);

// The summaries of every day from `from` to `to`, both included, a month a task on a thread pool
// kept for them (never the global one); it blocks until they are all made, so a window calls it
// from a thread of its own. When *cancel is set it stops after the day each month is on (the rest
// come back nullopt, and the days already made are kept).
std::vector<std::optional<DaySummary>> runSummaries(const SummarySource& source, QDate from,
                                                    QDate to,
                                                    const std::atomic<bool>* cancel = nullptr);

} // namespace season
