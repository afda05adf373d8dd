#pragma once

namespace core {

// The program's version, "0.1": set once, as the project's version in the top CMakeLists.txt,
// and written into the build's version.cpp.
extern const char kVersion[];

} // namespace core
