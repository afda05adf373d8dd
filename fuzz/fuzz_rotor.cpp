// turbulence.txt and rotor.txt of any content: every bin read lies within its format's limits,
// every line not empty is read or counted (a whole header apart), and the bins added to a curve
// and written again read back without a skipped line.
#include "curve/binsfile.h"
#include "curve/rotor.h"
#include "curve/turbulence.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    int lines = 0;
    for (const QByteArray& line : bytes.split('\n'))
        lines += line.isEmpty() ? 0 : 1;
    for (const curve::BinsFormat& format : {curve::kTurbulenceFormat, curve::kRotorFormat}) {
        const curve::PowerCurveContent read = curve::parseBinsFile(bytes, format);
        if (int(read.bins.size()) + read.skippedLines + (read.units ? 1 : 0) != lines)
            std::abort();
        curve::PowerCurve bins(size % 2 ? 0.5 : 1.0);
        for (const curve::Bin& b : read.bins) {
            if (!(std::fabs(b.centre) <= curve::kMaxBinCentre) || b.minutes < 1 ||
                b.minutes > curve::kMaxBinMinutes ||
                !(b.meanWatts >= format.lowest && b.meanWatts <= format.highest) ||
                !(b.sdWatts >= 0 && b.sdWatts <= format.highest - format.lowest))
                std::abort();
            bins.addBin(b);
        }
        const QByteArray written = curve::binsFileBytes(bins, format, QStringLiteral("m/s"));
        if (curve::parseBinsFile(written, format).skippedLines != 0)
            std::abort();
    }
    return 0;
}
