#pragma once

#include "core/appdir.h"
#include "core/serialline.h"
#include "station/diskwriter.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace station {

// What the plant's state is made of, as values: each view words it for its own place (the main
// window's status line, the service's journal).
struct StationStatus
{
    core::LineStatus line;
    int portNumber = 1;
    QString portText;        // the port setting as written, for one that is no number
    bool handedOver = false; // another window has the line
    QString publishing;      // the broker; empty while publishing is off
    // The time of the last fresh values, while they are no longer fresh.
    std::optional<QDateTime> staleSince;
    // Since when the disk thread has not finished what it was handed, once that has lasted
    // Station::kDiskSilentMs; empty while it keeps up.
    std::optional<QDateTime> diskSilentSince;
    WriteState writes;
    QStringList configWarnings;
};

// The line in words: open, lost and why, or retrying. openAdvice follows a port that cannot be
// opened, with %1 for its number; accessProblem tells that this account may not open it.
QString lineText(const StationStatus& status, const QString& openAdvice,
                 bool* accessProblem = nullptr);

// "No data since 14:05:07", with " on 2024-03-06" when that was another day than today.
QString staleText(const QDateTime& since, QDate today);

// Why records wait in memory while the disk thread does not answer; empty while it does.
QString diskSilentText(const StationStatus& status, const core::AppDir& app);

} // namespace station
