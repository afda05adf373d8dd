#pragma once

#include "monitor/variant.h"

namespace programs {

// Starts the main window of the given build in the folder that holds the program.
int run(int argc, char** argv, const monitor::ProgramVariant& variant);

} // namespace programs
