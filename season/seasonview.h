#pragma once

#include "core/appdir.h"
#include "season/daysummary.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <array>

namespace season {

// How the Season window was left, kept in view.cfg beside the live trend's key.
struct SeasonView
{
    int tab = 0;        // the tab shown, counted from Energy's
    int energySpan = 0; // the energy view: days of a month, months of a year, all years
    // The run of days: "7" or "30" for the last days, "year" for this year, otherwise
    // "2024-03-01..2024-03-30" as typed.
    QString days = QStringLiteral("30");
    std::array<bool, kSeries> series{true, true, true, true, true};
    bool robust = true;
    QSize size{900, 560};

    bool operator==(const SeasonView&) const = default;
};

// The view the bytes hold: each key read on its own, and a missing or damaged one (a tab past 9,
// a size under 200 x 150 or over 10000, series other than five 0s and 1s) left as the default.
SeasonView seasonViewFrom(const QByteArray& bytes);
SeasonView readSeasonView(const core::AppDir& app);
// Sets Season's keys in view.cfg, keeping every other key there.
bool writeSeasonView(const core::AppDir& app, const SeasonView& view);

} // namespace season
