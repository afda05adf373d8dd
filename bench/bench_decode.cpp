#include "config/options.h"
#include "core/serialline.h"
#include "monitor/readingtexts.h"

#include <benchmark/benchmark.h>

namespace {

// One frame as it comes off the line, in three reads, through framing, decoding and conversion.
void decodeAndConvert(benchmark::State& state)
{
    config::CalibrationSettings settings{QStringLiteral("38.46"), QStringLiteral("0.52"),
                                         QStringLiteral("10.3"), QStringLiteral("2"),
                                         QStringLiteral("1.6")};
    const core::Conversion conversion = config::makeConversion(settings);
    const QString pieces[] = {QStringLiteral("[<V>512</V><I>1"),
                              QStringLiteral("30</I><R>10</R><M>1</M>"),
                              QStringLiteral("<S>25</S>]\r\n")};
    QString buffer;
    station::IntervalPeaks peaks;
    for (auto _ : state) {
        for (const QString& piece : pieces) {
            if (const auto frame = core::takeFrame(buffer, piece)) {
                const station::Reading r =
                    station::computeReading(station::decodeFrame(*frame), conversion);
                station::raisePeaks(peaks, r);
                benchmark::DoNotOptimize(monitor::titleText(r));
            }
        }
    }
}
BENCHMARK(decodeAndConvert);

} // namespace

BENCHMARK_MAIN();
