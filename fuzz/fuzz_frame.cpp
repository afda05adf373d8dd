// Line traffic through the receive buffer and every frame through the decoder: the buffer stays
// within its bound and no reading holds an infinity or a NaN.
#include "core/serialline.h"
#include "station/telemetry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString buffer;
    core::Conversion c;
    c.voltDivider = 1e-300;
    c.voltOffset = -1e308;
    for (qsizetype at = 0; at < text.size(); at += 7) {
        const auto frame = core::takeFrame(buffer, QStringView(text).mid(at, 7));
        if (buffer.size() > core::kReceiveBufferLimit)
            std::abort();
        if (!frame)
            continue;
        const station::Reading r = station::computeReading(station::decodeFrame(*frame), c);
        for (const core::Quantity q : core::kAllQuantities) {
            if (!std::isfinite(r[q]))
                std::abort();
        }
    }
    return 0;
}
