#include "history/pointer.h"

#include "core/numbers.h"

#include <algorithm>
#include <cmath>

namespace history {

void pressAt(HistoryStore& store, int& buttonDown, float x)
{
    buttonDown = 1;
    if (store.Zoomed == 0 && store.RecordCount > 1)
        store.ViewStart = x;
}

bool releaseAt(HistoryStore& store, int& buttonDown, float x)
{
    buttonDown = 0;
    if (store.Zoomed != 0 || store.RecordCount <= 1 || !(float(store.ViewStart) < x))
        return false;
    // A release far right of the chart would name slots that do not exist.
    store.ViewEnd = std::min(double(x), double(kLastSlot));
    store.Zoomed = 1;
    return true;
}

std::optional<Readout> readoutAt(const HistoryStore& store, float x, double chartWidth,
                                 const QString& wsUnits)
{
    if (store.RecordCount < 2 || !std::isfinite(x) || x < 0 || double(x) > chartWidth)
        return std::nullopt;
    const double timeSlot = std::floor(double(x) + store.ViewStart);
    const double valueSlot = std::nearbyint(std::floor(double(x)) + store.ViewStart);
    if (timeSlot < 0 || timeSlot > kLastSlot || valueSlot < 0 || valueSlot > kLastSlot)
        return std::nullopt;
    const int t = int(timeSlot);
    const int k = int(valueSlot);
    Readout r;
    for (const core::Quantity q : core::kLogged) {
        r.values[q] = core::plainNumberText(core::roundTo(store.Values[q][k], 2)) +
                      QLatin1Char(' ') + core::unitText(core::facts(q).longUnit, wsUnits);
    }
    r.vt = timeText(store.Time[t]);
    return r;
}

std::optional<Selection> selectionAt(const HistoryStore& store, int buttonDown, float x)
{
    if (store.RecordCount < 2 || store.Zoomed != 0 || buttonDown != 1 || !std::isfinite(x))
        return std::nullopt;
    return Selection{store.ViewStart, double(x)};
}

} // namespace history
