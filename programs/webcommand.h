#pragma once

#include "core/appdir.h"

#include <QString>
#include <cstdio>
#include <optional>

namespace programs {

// "tessalyd web": web.cfg switched from a terminal, as the Web window saves it.
struct WebCommand
{
    enum class Reach
    {
        Keep,    // as the file says
        Network, // every device on the network, with a token
        Local,   // this computer only
        Off,
    };
    Reach reach = Reach::Keep;
    bool newToken = false;
    std::optional<QString> port;
};

// Writes the folder's web.cfg with the command's changes (owner-only, and owned by the folder's
// owner when run as root for a service's folder), prints the address to type with its QR code,
// and has a tessalyd running on the folder read the file again (SIGHUP), or says what to do.
// The exit code: 0 done, 1 not.
int runWebCommand(const core::AppDir& dir, const WebCommand& command, std::FILE* out,
                  std::FILE* err);

} // namespace programs
