// windbins.txt of any content: every count read lies within its limits, every line not empty is
// read or counted (a whole header apart), the counts added stay within a month's limit, and the
// file written of them reads back the same.
#include "curve/windbins.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const curve::WindBinsContent read = curve::parseWindBins(bytes);
    int lines = 0;
    for (const QByteArray& line : bytes.split('\n'))
        lines += line.isEmpty() ? 0 : 1;
    if (int(read.counts.size()) + read.skippedLines + (read.units ? 1 : 0) != lines)
        std::abort();
    curve::WindBins bins(size % 2 ? 0.5 : 1.0);
    for (const curve::WindCount& c : read.counts) {
        if (c.month < curve::kFirstWindYear * 12 || c.month >= (curve::kLastWindYear + 1) * 12 ||
            !(std::fabs(c.centre) <= curve::kMaxBinCentre) || c.minutes < 1 ||
            c.minutes > curve::kMaxMonthBinMinutes)
            std::abort();
        bins.add(c.month, c.centre, c.minutes);
    }
    for (const curve::WindCount& c : bins.counts()) {
        if (!std::isfinite(c.centre) || c.minutes < 1 || c.minutes > curve::kMaxMonthBinMinutes)
            std::abort();
    }
    const curve::WindBinsContent again =
        curve::parseWindBins(curve::windBinsFileBytes(bins, QStringLiteral("m/s")));
    if (again.skippedLines != 0 || again.counts != bins.counts())
        std::abort();
    return 0;
}
