#include "history/chartgeometry.h"

#include "core/numbers.h"
#include "history/historyfacts.h"

#include <algorithm>
#include <cmath>

namespace history {
namespace {

// The zero lines set the chart's scale one after the other, so the last of them is still in
// force when the first load-on box is drawn.
constexpr core::Quantity kLastZeroLine = [] {
    core::Quantity last = core::kQuantityCount;
    for (const core::Quantity q : core::kLogged) {
        if (historyFacts(q).zeroLine)
            last = q;
    }
    return last;
}();
static_assert(kLastZeroLine != core::kQuantityCount, "the load-on boxes need a zero line's scale");

} // namespace

Extremes startExtremes(bool refVZero)
{
    Extremes e;
    for (const core::Quantity q : core::kLogged) {
        e.max[q] = historyFacts(q).startMax;
        e.min[q] = historyFacts(q).startMin;
    }
    // Only the battery voltage has a box to pin its axis to 0 V.
    if (refVZero)
        e.min[core::kVolts] = 0;
    return e;
}

SeriesScale seriesScale(double max, double min)
{
    SeriesScale s;
    s.max = max;
    s.min = min;
    s.span = max - min;
    s.range = s.span > 0 ? s.span + s.span / 20 : 2;
    return s;
}

std::optional<double> zeroLineY(const SeriesScale& scale)
{
    if (scale.max > 0 && scale.min < 0)
        return scale.max + (scale.max - scale.min) / 40;
    return std::nullopt;
}

int slotOf(double position)
{
    if (!std::isfinite(position))
        return 0;
    return int(std::clamp(std::nearbyint(position), 0.0, double(kLastSlot)));
}

ViewRange clampView(double start, double end)
{
    ViewRange v;
    v.start = std::isfinite(start) ? std::clamp(start, 0.0, double(kLastSlot)) : 0.0;
    v.end = std::isfinite(end) ? std::clamp(end, 0.0, double(kLastSlot)) : 0.0;
    return v;
}

std::vector<int> viewSlots(const ViewRange& view)
{
    std::vector<int> rowSlots;
    if (view.end < view.start)
        return rowSlots;
    rowSlots.reserve(std::size_t(view.end - view.start) + 1);
    for (int i = 0; view.start + i <= view.end; ++i)
        rowSlots.push_back(slotOf(view.start + i));
    return rowSlots;
}

Extremes viewExtremes(const HistoryStore& store, const std::vector<int>& rowSlots, bool refVZero)
{
    Extremes e = startExtremes(refVZero);
    for (const core::Quantity q : core::kLogged) {
        const std::vector<double>& values = store.Values[q];
        double& max = e.max[q];
        double& min = e.min[q];
        for (const int k : rowSlots) {
            if (values[k] > max)
                max = values[k];
            if (values[k] < min)
                min = values[k];
        }
    }
    return e;
}

ChartPlan planChart(const HistoryStore& store, const SeriesFlags& flags)
{
    ChartPlan plan;
    plan.view = clampView(store.ViewStart, store.ViewEnd);
    if (!(plan.view.start < plan.view.end))
        return plan;
    plan.drawn = true;
    plan.width = plan.view.end - plan.view.start;
    plan.rowSlots = viewSlots(plan.view);
    plan.extremes = viewExtremes(store, plan.rowSlots, flags.RefVZero);
    plan.startSlot = slotOf(plan.view.start);
    plan.finishSlot = slotOf(plan.view.end);
    for (const core::Quantity q : core::kLogged) {
        plan.scales[q] = seriesScale(plan.extremes.max[q], plan.extremes.min[q]);
        plan.shown[q] = flags.shown[q];
        if (historyFacts(q).zeroLine)
            plan.zeroY[q] = zeroLineY(plan.scales[q]);
    }

    // The load-on box reaches down to the highest volts measured on the scale in force when it is
    // drawn, not on the volts scale: that of the last zero line for the first record, then that of
    // the last series drawn for the record before.
    const double firstRange = plan.scales[kLastZeroLine].range;
    double laterRange = firstRange;
    for (const core::Quantity q : core::kLogged) {
        if (plan.shown[q])
            laterRange = plan.scales[q].range;
    }
    for (std::size_t i = 1; i < plan.rowSlots.size(); ++i) {
        if (store.Mode[plan.rowSlots[i]] != 1)
            continue;
        const double range = i == 1 ? firstRange : laterRange;
        const double depth = plan.extremes.max[core::kVolts] / range;
        const double x1 = double(i - 1);
        if (!plan.shading.empty() && plan.shading.back().x2 == x1 &&
            plan.shading.back().depth == depth) {
            plan.shading.back().x2 = double(i);
        } else {
            plan.shading.push_back({x1, double(i), depth});
        }
    }
    return plan;
}

ExtremeTexts extremeTexts(const Extremes& e, const QString& wsUnits)
{
    ExtremeTexts t;
    for (const core::Quantity q : core::kLogged) {
        const QString unit = QLatin1Char(' ') + core::unitText(core::facts(q).shortUnit, wsUnits);
        t.max[q] = core::plainNumberText(e.max[q]) + unit;
        t.min[q] = core::plainNumberText(e.min[q]) + unit;
    }
    return t;
}

} // namespace history
