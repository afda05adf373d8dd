#pragma once

#include "core/quantities.h"
#include "history/historystore.h"

#include <QString>
#include <optional>

namespace history {

// A press on the chart at x (chart units): before a zoom it marks where the selection starts,
// kept in ViewStart.
void pressAt(HistoryStore& store, int& buttonDown, float x);

// A release at x: zooms into the press position to x when x lies to the right of it, once per
// load, the view held to the slots that exist. True when the view changed and must be drawn.
bool releaseAt(HistoryStore& store, int& buttonDown, float x);

// The record under the pointer, as the readout captions show it: each logged quantity's value
// to 2 decimals, a blank and its long unit ("12.5 Volts"), and the time.
struct Readout
{
    core::PerQuantity<QString> values;
    QString vt;
};

// chartWidth is the width, in chart units, of the chart on screen. Nothing while fewer than two
// records are loaded, or for a position off the chart's left or right edge.
std::optional<Readout> readoutAt(const HistoryStore& store, float x, double chartWidth,
                                 const QString& wsUnits);

// The selection line along the top edge, from the press position to x, while dragging before a
// zoom.
struct Selection
{
    double from = 0;
    double to = 0;
};
std::optional<Selection> selectionAt(const HistoryStore& store, int buttonDown, float x);

} // namespace history
