#pragma once

#include "core/appdir.h"

#include <QLockFile>
#include <QString>
#include <optional>

namespace programs {

// The lock file that lets one running copy at a time use an application directory, whichever of
// the two programs it is: two would open one port and append to the same day files.
QString lockFilePath(const core::AppDir& app);

// Takes the lock, taking over one left by a copy that was killed. When another copy holds it,
// returns the message that names the folder and that copy's process.
std::optional<QString> claimAppDir(QLockFile& lock, const core::AppDir& app);

} // namespace programs
