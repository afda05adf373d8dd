#include "history/graphlayout.h"

#include "ui/windowlook.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace history {
namespace {

constexpr int kStandardWidth = 758;
constexpr int kWideWidth = 974;
constexpr int kStandardHeight = 8250;
constexpr int kWideHeight = 8355;

// In twips: left, top, width, height of the standard window, then left, width and height of the
// wide one.
struct Twips
{
    GraphControlId id;
    int x, y, w, h;
    int wideX, wideW, wideH;
};

using C = GraphControl;
using core::kAmps;
using core::kRpm;
using core::kVolts;
using core::kWatts;
using core::kWind;

// clang-format off
constexpr Twips kPlaces[] = {
    {{C::Readout, kVolts},   600,    0, 1230,  195,   600, 1230,  195},
    {{C::Readout, kAmps},   2040,    0, 1230,  195,  2688, 1230,  195},
    {{C::Readout, kWatts},  3480,    0, 1230,  195,  4776, 1230,  195},
    {{C::Readout, kRpm},    4920,    0, 1230,  195,  6864, 1230,  195},
    {{C::Readout, kWind},   6360,    0, 1230,  195,  8952, 1230,  195},
    {{C::vt},               8040,    0, 1230,  195, 11280, 1230,  195},
    {{C::stime},             120,   45, 1005,  285,   120, 1005,  285},
    {{C::ftime},           10350,   45,  870,  240, 13560,  870,  240},
    {{C::Line3},               0,   45,   15,  270,     0,   15,  270},
    {{C::Line9},           11340,   45,   15,  270, 14520,   15,  270},
    {{C::Plot},                0,  240, 11355, 5235,    0, 14535, 5235},
    {{C::Min, kVolts},         0, 5520, 1455,  195,     0, 1455,  195},
    {{C::Min, kAmps},       2280, 5520, 1455,  195,  2599, 1455,  195},
    {{C::Min, kWatts},      4560, 5520, 1410,  195,  5243, 1410,  195},
    {{C::Min, kRpm},        6840, 5520, 1455,  195,  7796, 1455,  195},
    {{C::Min, kWind},       9120, 5520, 1410,  195, 10440, 1410,  195},
    {{C::Max, kVolts},         0, 5760, 1455,  195,     0, 1455,  195},
    {{C::Max, kAmps},       2160, 5760, 1575,  195,  2479, 1575,  195},
    {{C::Max, kWatts},      4560, 5760, 1410,  195,  5243, 1410,  195},
    {{C::Max, kRpm},        6840, 5760, 1455,  195,  7796, 1455,  195},
    {{C::Max, kWind},       9000, 5760, 1530,  195, 10320, 1530,  195},
    {{C::SeriesBox, kVolts}, 1485, 5520, 780,  375,  1485,  780,  375},
    {{C::SeriesBox, kAmps}, 3765, 5520,  780,  375,  4084,  780,  375},
    {{C::SeriesBox, kWatts}, 6000, 5520, 780,  375,  6683,  780,  375},
    {{C::SeriesBox, kRpm},  8325, 5520,  780,  375,  9281,  780,  375},
    {{C::SeriesBox, kWind}, 10560, 5520, 780,  375, 11880,  780,  375},
    {{C::RefVBox},           960, 6120, 1185,  240,   960, 1185,  240},
    {{C::ListView1},        3120, 6120, 5055, 2025,  3994, 5055, 2130},
    {{C::Label12},           630, 6600, 1650,  210,   630, 1650,  210},
    {{C::Label1},            120, 6885,  480,  210,   120,  480,  210},
    {{C::DateY1},            630, 6840,  555,  285,   630,  555,  285},
    {{C::Label13},          1185, 6885,  120,  210,  1185,  120,  210},
    {{C::DateM1},           1305, 6840,  375,  285,  1305,  375,  285},
    {{C::Label14},          1680, 6885,  120,  210,  1680,  120,  210},
    {{C::DateD1},           1800, 6840,  360,  285,  1800,  360,  285},
    {{C::Label2},            120, 7455,  480,  210,   120,  480,  210},
    {{C::Time1h},            630, 7410,  300,  285,   630,  300,  285},
    {{C::Label4},            930, 7455,   75,  210,   930,   75,  210},
    {{C::Time1m},           1005, 7410,  300,  285,  1005,  300,  285},
    {{C::Label3},           1320, 7455,  225,  210,  1320,  225,  210},
    {{C::Time2h},           1545, 7410,  300,  285,  1545,  300,  285},
    {{C::Label5},           1845, 7455,   75,  210,  1845,   75,  210},
    {{C::Time2m},           1920, 7410,  300,  285,  1920,  300,  285},
    {{C::Command1},         8880, 6360, 1980,  495, 11367, 1980,  495},
    {{C::Command2},         9360, 7440, 1050,  375, 11981, 1050,  375},
};
// clang-format on

constexpr int placesOf(GraphControlId id)
{
    int count = 0;
    for (const Twips& p : kPlaces)
        count += p.id == id ? 1 : 0;
    return count;
}

// Each control has exactly one place: the per-series ones one for every logged quantity, so a
// quantity added to the table cannot go without its readout, extremes and box.
constexpr bool everyControlPlacedOnce()
{
    for (int r = 0; r < kGraphControlCount; ++r) {
        const GraphControl role = GraphControl(r);
        if (!isPerSeries(role)) {
            if (placesOf({role}) != 1)
                return false;
            continue;
        }
        for (const core::Quantity q : core::kLogged) {
            if (placesOf({role, q}) != 1)
                return false;
        }
    }
    // Nor any place left over, for a quantity that is not logged or twice for one control.
    std::size_t controls = 0;
    for (int r = 0; r < kGraphControlCount; ++r)
        controls += isPerSeries(GraphControl(r)) ? core::kLogged.size() : 1;
    return std::size(kPlaces) == controls;
}
static_assert(everyControlPlacedOnce(), "every control of the history window needs one place");

// Save CSV's place beside Exit, in room the layout leaves free.
QRect besideExit(const QRect& exit)
{
    return QRect(exit.x() - 72, exit.y(), 66, exit.height());
}

// 0 for the standard window, 1 for the wide one.
double share(int width)
{
    return double(width - kStandardWidth) / double(kWideWidth - kStandardWidth);
}

int between(int standard, int wide, double t)
{
    return ui::twipsToPixels(standard + (wide - standard) * t);
}

} // namespace

QSize graphClientSize(int width)
{
    return QSize(width, between(kStandardHeight, kWideHeight, share(width)));
}

QRect graphPlace(int width, GraphControlId id)
{
    if (id.role == C::SaveCsv)
        return besideExit(graphPlace(width, {C::Command2}));
    const double t = share(width);
    for (const Twips& p : kPlaces) {
        if (p.id == id)
            return QRect(between(p.x, p.wideX, t), between(p.y, p.y, t), between(p.w, p.wideW, t),
                         between(p.h, p.wideH, t));
    }
    return {};
}

QRect graphPlace(int width, QSize client, GraphControlId id)
{
    if (id.role == C::SaveCsv)
        return besideExit(graphPlace(width, client, {C::Command2}));
    const QRect design = graphPlace(width, id);
    const QSize designSize = graphClientSize(width);
    const int extraWidth = std::max(0, client.width() - designSize.width());
    const int extraHeight = std::max(0, client.height() - designSize.height());
    if (extraWidth == 0 && extraHeight == 0)
        return design;

    const QRect chart = graphPlace(width, {C::Plot});
    const QRect list = graphPlace(width, {C::ListView1});
    const int chartExtra = int(
        std::lround(double(extraHeight) * chart.height() / double(chart.height() + list.height())));
    QRect place = design;
    switch (id.role) {
    case C::Plot:
        place.setSize(design.size() + QSize(extraWidth, chartExtra));
        return place;
    case C::Line9:
    case C::ftime:
        place.moveLeft(design.left() + extraWidth);
        return place;
    case C::ListView1:
        place.setHeight(design.height() + extraHeight - chartExtra);
        break;
    default:
        break;
    }
    place.moveLeft(graphPlace(width + extraWidth, id).left());
    if (design.top() >= chart.top() + chart.height())
        place.translate(0, chartExtra);
    return place;
}

} // namespace history
