#pragma once

#include "appdir.h"

#include <QString>

namespace core {

// The device that port number n opens: the application directory's "com<n>" link when it is
// there (resolved to its target, so each device gets its own lock), otherwise the platform's
// n-th serial port (/dev/ttyS<n-1>, COM<n>).
QString portDevice(const AppDir& app, int port);

} // namespace core
