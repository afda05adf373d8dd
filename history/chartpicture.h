#pragma once

#include "chartgeometry.h"
#include "pointer.h"
#include "quantities.h"
#include "windowlook.h"

#include <QColor>
#include <QImage>

namespace history {

inline const QColor kShadeColour{128, 128, 255};
// Dim and dashed, so the zero lines never pass for one of the series.
inline const QColor kZeroLineColour{112, 144, 112};
inline const QColor kSelectionColour{255, 0, 0};

// Draws a planned chart into the picture, which the caller has cleared, at the picture's own
// pixel size: the load-on shading, then the zero lines, then the series lines, one pixel wide.
void paintChart(QImage& picture, const ChartPlan& plan, const HistoryStore& store);

// Adds the selection line along the top edge of a chart width chart units wide.
void paintSelection(QImage& picture, double chartWidth, const Selection& selection);

} // namespace history
