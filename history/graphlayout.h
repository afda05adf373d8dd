#pragma once

#include "core/quantities.h"

#include <QRect>
#include <QSize>

namespace history {

// What a control of the history window is for. The first four stand once for each logged
// quantity (vv, VMax1, VMin1, Check1 for volts), RefVBox is "Ref V to 0v" (Check6), the others
// are named as their control.
enum class GraphControl
{
    Readout,
    Max,
    Min,
    SeriesBox,
    vt,
    stime,
    ftime,
    Line3,
    Line9,
    Plot,
    RefVBox,
    ListView1,
    Label12,
    Label1,
    Label2,
    Label3,
    Label13,
    Label14,
    Label4,
    Label5,
    DateY1,
    DateM1,
    DateD1,
    Time1h,
    Time1m,
    Time2h,
    Time2m,
    Command1,
    Command2,
    // Save CSV stands beside Exit and follows it, so it has no place of its own in the layout.
    SaveCsv,
};
// Command2 stays the last role with a place of its own.
inline constexpr int kGraphControlCount = int(GraphControl::Command2) + 1;

constexpr bool isPerSeries(GraphControl role)
{
    return role == GraphControl::Readout || role == GraphControl::Max ||
           role == GraphControl::Min || role == GraphControl::SeriesBox;
}

// One control: its role and, for a per-series role, the logged quantity (kQuantityCount for the
// others).
struct GraphControlId
{
    GraphControl role;
    core::Quantity quantity = core::kQuantityCount;

    constexpr bool operator==(const GraphControlId&) const = default;
};

// The window laid out for a client width: 758 pixels for the standard window, 974 for the wide
// one, whose controls sit further apart to follow the wider chart. Other widths fall between or
// beyond the two in proportion.
QSize graphClientSize(int width);
// Where a control stands, in pixels of the client area; every control of the window has a place.
QRect graphPlace(int width, GraphControlId id);

// Where a control stands when the window laid out for width has grown to client (never less
// than graphClientSize(width), which gives graphPlace(width, id) itself). The chart takes all the
// extra width and, with the record list, the extra height, shared in proportion to their
// heights; the controls under the chart keep their order and move down with its bottom edge;
// across, the controls spread as they do in a wider window, and the marks and time at the
// chart's right end follow it.
QRect graphPlace(int width, QSize client, GraphControlId id);

} // namespace history
