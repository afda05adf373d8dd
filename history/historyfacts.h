#pragma once

#include "core/quantities.h"

namespace history {

// Which history check box shows a series when the window opens: always, or when a flag of
// prog.cfg is on.
enum class ShownAtStart
{
    Always,
    IfDisplayRPM,
    IfDisplayWS
};

// What the history window, and the charts drawn like it, know of a logged quantity.
struct HistoryFacts
{
    char extremePrefix = '\0'; // "VMax1", and "vv" for the pointer readout
    const char* checkCaption = "";
    core::Rgb checkGround{};
    core::Rgb seriesColour{};
    double startMax = 0, startMin = 0; // the extremes before the records are compared
    bool zeroLine = false; // a dashed line where the value is 0, when the series crosses it
    ShownAtStart shownAtStart = ShownAtStart::Always;
};

// clang-format off
inline constexpr core::PerQuantity<HistoryFacts> kHistoryFacts{{
    {'V', "Volts", {255, 0, 0}, {255, 0, 0}, 0, 100, false, ShownAtStart::Always},
    {'A', "Amps", {0, 255, 0}, {0, 255, 0}, -500, 500, true, ShownAtStart::Always},
    {'W', "Watts", {128, 128, 255}, {0, 0, 255}, -2000, 2000, true, ShownAtStart::Always},
    {}, // watt-hours are never logged
    {'R', "RPM", {255, 255, 0}, {255, 255, 0}, 0, 1000, false, ShownAtStart::IfDisplayRPM},
    {'S', "Wind Speed", {255, 255, 255}, {255, 255, 255}, 0, 1000, false,
     ShownAtStart::IfDisplayWS},
}};
// clang-format on

constexpr const HistoryFacts& historyFacts(core::Quantity q)
{
    return kHistoryFacts[std::size_t(q)];
}

// A logged quantity without its row would leave the window's controls without a name.
static_assert(
    [] {
        for (const core::Quantity q : core::kLogged) {
            if (historyFacts(q).extremePrefix == '\0')
                return false;
        }
        return true;
    }(),
    "every logged quantity needs its row in kHistoryFacts");

} // namespace history
