#pragma once

#include "monitor/variant.h"

namespace programs {

// Meters in one column with the compact readout panel.
monitor::ProgramVariant tessaly();
// Meters in one row, no compact panel, a wider history window.
monitor::ProgramVariant corvenna();

} // namespace programs
