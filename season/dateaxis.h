#pragma once

#include "season/columns.h"

#include <QString>
#include <vector>

namespace season {

// A mark under the long chart: the column it stands at and its label.
struct DateTick
{
    int x = 0;
    QString label;
};

// Marks at whole hours, days or months, whichever is the finest whose marks stand at least
// `spacing` columns apart across the view: "06:00", "7 Mar", "Mar" ("Jan 2025" at a year's start).
std::vector<DateTick> dateTicks(const DayRun& run, const BucketView& view, int columns,
                                int spacing);

} // namespace season
