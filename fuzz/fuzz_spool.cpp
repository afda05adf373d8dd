// Spool files of any content: refused, or read back into writes inside the folder only.
#include "logging/spool.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const core::AppDir app{QStringLiteral("/srv/plant")};
    const auto writes = logging::parseSpool(
        app, QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!writes)
        return 0;
    for (const logging::FileWrite& w : *writes) {
        if (!w.path.startsWith(QStringLiteral("/srv/plant/")) || w.path.contains(u"/../"))
            std::abort();
    }
    return 0;
}
