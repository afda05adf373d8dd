#pragma once

#include "core/quantities.h"
#include "history/chartgeometry.h"
#include "history/pointer.h"
#include "ui/windowlook.h"

#include <QColor>
#include <QImage>

namespace history {

inline const QColor kShadeColour{128, 128, 255};
// Dim and dashed, so the zero lines never pass for one of the series.
inline const QColor kZeroLineColour{112, 144, 112};
inline const QColor kSelectionColour{255, 0, 0};

// How the series lines are drawn. A view of many more records than the picture has pixel columns
// is drawn column by column, from how high and how low the line reaches in each (its records'
// highest and lowest, and where the segments from its first and last record cross its edges):
// the line lies where every segment would put it, give or take a pixel, at a tenth of the cost.
enum class LineDetail
{
    Auto,        // reduced when the view holds more than twice as many records as columns
    EverySegment // one segment per pair of neighbouring records, whatever the view
};

// Whether Auto reduces a view of this many records in a picture of this many device pixels
// across.
bool drawsReduced(std::size_t records, int pixelColumns);

// Draws a planned chart into the picture, which the caller has cleared, over the picture's size
// in device-independent pixels (its pixels at the picture's device pixel ratio): the load-on
// shading, then the zero lines, then the series lines, one device pixel wide.
void paintChart(QImage& picture, const ChartPlan& plan, const HistoryStore& store,
                LineDetail detail = LineDetail::Auto);

// Adds the selection line along the top edge of a chart width chart units wide.
void paintSelection(QImage& picture, double chartWidth, const Selection& selection);

} // namespace history
