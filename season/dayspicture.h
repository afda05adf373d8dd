#pragma once

#include "season/columns.h"

#include <QImage>
#include <QSize>
#include <array>
#include <vector>

namespace season {

// Logical pixels between date marks at the least.
inline constexpr int kTickSpacing = 70;

// The Days view as drawn off the window's thread: a column a device pixel, and their picture.
struct DaysPicture
{
    std::vector<Column> columns;
    QImage image;
};

// The run's view across the picture's width, `size` in device pixels at `ratio` of them a
// logical pixel: each shown series as a line from its lowest to its highest in each column, each
// on its own scale, over date marks kTickSpacing logical pixels apart at least. QPainter on a
// QImage, so any thread may make it.
DaysPicture makeDaysPicture(const DayRun& run, const BucketView& view,
                            const std::array<bool, kSeries>& shown, QSize size, qreal ratio);

} // namespace season
