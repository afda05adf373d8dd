#pragma once

#include "season/columns.h"
#include "season/ticks.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <array>
#include <vector>

namespace season {

// Logical pixels between date marks at the least.
inline constexpr int kTickSpacing = 70;

// How the Days view is drawn: which series, on what scale, the wind speed in what unit.
struct DaysLook
{
    std::array<bool, kSeries> shown{true, true, true, true, true};
    bool robust = true; // each panel's range from the 0.1 and 99.9 percentiles
    QString windUnit;   // the user's WSUnits; empty: none named
};

// One series' panel: its rows of the picture and its value axis.
struct DaysPanel
{
    std::size_t series = 0;
    int top = 0; // device pixels, [top, bottom)
    int bottom = 0;
    Ticks ticks; // the axis runs from ticks.low at the bottom to ticks.high at the top
};

// The Days view as drawn off the window's thread: a column a device pixel from `left` on, and
// their picture.
struct DaysPicture
{
    std::vector<Column> columns;
    QImage image;
    int left = 0; // the device pixel of the first column
    std::vector<DaysPanel> panels;
};

// The run's view across the picture's width, `size` in device pixels at `ratio` of them a
// logical pixel: a panel per shown series, stacked over one date axis, each with its own value
// axis at round marks and its unit; in each column a band from the series' lowest to its
// highest, a mark at the panel's edge where the band goes beyond the range, and columns without
// records shaded as "no data". QPainter on a QImage, so any thread may make it.
DaysPicture makeDaysPicture(const DayRun& run, const BucketView& view, const DaysLook& look,
                            QSize size, qreal ratio);

// Beyond a panel's range: the mark at its edge.
inline const QColor kBeyondRange{255, 0, 255};
// Where no record is: the shade.
inline const QColor kNoData{70, 70, 70};

} // namespace season
