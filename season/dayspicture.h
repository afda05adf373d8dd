#pragma once

#include "season/columns.h"
#include "season/dateaxis.h"

#include <QImage>
#include <QSize>
#include <array>
#include <vector>

namespace season {

// Logical pixels between date marks at the least.
inline constexpr int kTickSpacing = 70;

// What the Days view draws, made off the window's thread: a column a device pixel and the date
// marks under them.
struct DaysDrawing
{
    std::vector<Column> columns;
    std::vector<DateTick> ticks;
};

// The run's view across `columns` device pixels, marks `spacing` device pixels apart at least.
DaysDrawing daysDrawing(const DayRun& run, const BucketView& view, int columns, int spacing);

// The picture of a drawing, `size` in device pixels at `ratio` of them a logical pixel: each
// shown series as a line from its lowest to its highest in each column, each on its own scale,
// over the date marks.
QImage pictureOfDays(const DaysDrawing& drawing, const std::array<bool, kSeries>& shown, QSize size,
                     qreal ratio);

} // namespace season
