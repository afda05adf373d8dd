#pragma once

#include "core/appdir.h"
#include "trend/trendring.h"

#include <QByteArrayView>
#include <QDateTime>
#include <vector>

namespace trend {

// One record of a day file, at its wall time.
struct PastReading
{
    QDateTime wall;
    core::QuantityValues values{};
};

// The records of a day file's content for the given day, in file order, as the history window
// reads each line (lines without a readable time are skipped). Read line by line, so a day
// logged every second is taken whole.
std::vector<PastReading> readDayForTrend(QByteArrayView content, QDate day);

// Today's day file (logs/<year>_<month>_<day>.txt) read and taken apart; nothing when it is
// missing or unreadable. Slow for a day logged every second: run it off the window's thread.
std::vector<PastReading> readTodayForTrend(const core::AppDir& app, QDate today);

// Folds the readings of the last 24 hours before now into the ring, each at the monotonic time
// it had (nowMonotonicMs less its age); later ones and those older than a day are left out, and
// none takes the place of a newer reading already in the ring. Returns how many were folded.
int foldPast(TrendRing& ring, const std::vector<PastReading>& past, const QDateTime& now,
             qint64 nowMonotonicMs);

} // namespace trend
