#pragma once

#include "core/quantities.h"
#include "history/historystore.h"

#include <QString>
#include <optional>
#include <vector>

namespace history {

// The check boxes' states: one per logged quantity, and "Ref V to 0v".
struct SeriesFlags
{
    core::PerQuantity<bool> shown{};
    bool RefVZero = false;
};

// Lowest and highest value of each logged quantity in view, counting the start values.
struct Extremes
{
    core::PerQuantity<double> max{};
    core::PerQuantity<double> min{};
};

// Where each series' scale starts before the records are compared (the quantity table's start
// values). The volts minimum starts at 100, or 0 with "Ref V to 0v", so the axis fits the data
// unless a battery is over 100 V.
Extremes startExtremes(bool refVZero);

// A series' vertical scale in chart units: span is max - min; range is the chart's height, with a
// margin of span / 40 above and below (2 for a flat series).
struct SeriesScale
{
    double max = 0;
    double min = 0;
    double span = 0;
    double range = 2;
};
SeriesScale seriesScale(double max, double min);

// The ordinate of a value on its series' scale, 0 at the top edge: the highest value lies 1/42 of
// the height below the top and the lowest 1/42 above the bottom; a flat series lies at y 1.
inline double plotY(const SeriesScale& scale, double value)
{
    return scale.span > 0 ? scale.max - value + scale.span / 40 : 1;
}

// Where the value 0 lies on the scale, when the series has values strictly on both sides of it.
std::optional<double> zeroLineY(const SeriesScale& scale);

// The record slot of a position: nearest whole number, halves to even, held to 0 to 10000.
int slotOf(double position);

// The view held to the slots that exist.
struct ViewRange
{
    double start = 0;
    double end = 0;
};
ViewRange clampView(double start, double end);

// The slot of each position start, start + 1, ... up to end: one list row each.
std::vector<int> viewSlots(const ViewRange& view);

Extremes viewExtremes(const HistoryStore& store, const std::vector<int>& rowSlots, bool refVZero);

// A stretch of the chart where the load was on, in chart units across and as a share of the
// chart's height downwards from the top (it may exceed 1; it is then cut at the bottom edge).
struct ShadeRun
{
    double x1 = 0;
    double x2 = 0;
    double depth = 0;
};

// Everything one drawing of the chart needs, in chart units: x runs from 0 to width, record i of
// the view at x = i.
struct ChartPlan
{
    bool drawn = false; // false: the view is empty; chart and list are cleared, labels kept
    ViewRange view;
    double width = 0;
    std::vector<int> rowSlots;
    Extremes extremes;
    core::PerQuantity<SeriesScale> scales;
    core::PerQuantity<bool> shown{};
    // Where each series with a zero line in the quantity table crosses 0, on its own scale.
    core::PerQuantity<std::optional<double>> zeroY;
    std::vector<ShadeRun> shading;
    int startSlot = 0;
    int finishSlot = 0;
};

ChartPlan planChart(const HistoryStore& store, const SeriesFlags& flags);

// The captions under the chart, two per logged quantity: the number in plain decimal form, a
// blank and the short unit ("12.5 V"), or the wind speed unit the user typed.
struct ExtremeTexts
{
    core::PerQuantity<QString> max;
    core::PerQuantity<QString> min;
};
ExtremeTexts extremeTexts(const Extremes& e, const QString& wsUnits);

} // namespace history
