// powercurve.txt of any content: every bin read lies within its limits, every line not empty is
// read or counted (a whole header apart), its altitude within range, and the bins added to a
// curve stay finite.
#include "curve/curvesettings.h"
#include "curve/powercurve.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const curve::PowerCurveContent read = curve::parsePowerCurve(bytes);
    int lines = 0;
    for (const QByteArray& line : bytes.split('\n'))
        lines += line.isEmpty() ? 0 : 1;
    if (int(read.bins.size()) + read.skippedLines + (read.units ? 1 : 0) != lines)
        std::abort();
    if (!(read.altitude >= curve::kLowestAltitude && read.altitude <= curve::kHighestAltitude))
        std::abort();
    curve::PowerCurve curve(size % 2 ? 0.5 : 1.0);
    for (const curve::Bin& b : read.bins) {
        if (!(std::fabs(b.centre) <= curve::kMaxBinCentre) || b.minutes < 1 ||
            b.minutes > curve::kMaxBinMinutes || !(std::fabs(b.meanWatts) <= curve::kMaxBinWatts) ||
            !(b.sdWatts >= 0 && b.sdWatts <= curve::kMaxBinWatts))
            std::abort();
        curve.addBin(b);
    }
    for (const curve::Bin& b : curve.bins()) {
        if (!std::isfinite(b.centre) || !std::isfinite(b.meanWatts) || !std::isfinite(b.sdWatts))
            std::abort();
    }
    return 0;
}
