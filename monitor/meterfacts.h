#pragma once

#include "core/quantities.h"

namespace monitor {

// What the main window shows of a quantity: the name on its meter's face and the caption and
// colour of its name label, whose leading blanks centre the name.
struct MeterFacts
{
    const char* faceName = "";
    const char* captionInColumn = ""; // where the meters stand in a column
    const char* captionInRow = "";    // where they stand in a row
    core::Rgb labelColour{};
};

inline constexpr core::PerQuantity<MeterFacts> kMeterFacts{{
    {"VOLTS", "            VOLTS", "            VOLTS", {255, 0, 0}},
    {"AMPS", "           AMPS", "           AMPS", {0, 255, 0}},
    {"WATTS", "            WATTS", "            WATTS", {128, 128, 255}},
    {"WH", "   WATT HOURS", " WATT HOURS", {255, 0, 255}},
    {"RPM", "           MILL RPM", "        MILL RPM", {255, 255, 0}},
    {"WIND", "    WIND SPEED", "  WIND SPEED", {128, 128, 128}},
}};

constexpr const MeterFacts& meterFacts(core::Quantity q)
{
    return kMeterFacts[std::size_t(q)];
}

} // namespace monitor
