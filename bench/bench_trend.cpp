// The live trend drawn from a full day's ring, and the power curve's minute and yearly table.

#include "curve/aep.h"
#include "curve/powercurve.h"
#include "trend/livetrend.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

// A full ring: a reading a second for 24 hours.
void fillDay(trend::LiveTrend& t)
{
    const QDateTime start(QDate(2024, 3, 7), QTime(0, 0));
    for (qint64 s = 0; s < 24 * 3600; ++s) {
        core::QuantityValues v{};
        v[core::kVolts] = 12.5 + std::sin(double(s) / 900);
        v[core::kAmps] = 10 + 8 * std::sin(double(s) / 300);
        v[core::kWatts] = v[core::kAmps] * v[core::kVolts];
        v[core::kRpm] = 400 + 300 * std::sin(double(s) / 200);
        v[core::kWind] = 20 + 10 * std::sin(double(s) / 600);
        t.add(v, s * 1000, start.addSecs(s));
    }
}

void liveTrendRepaint(benchmark::State& state)
{
    trend::LiveTrend t;
    t.resize(640, 560);
    fillDay(t);
    t.setSpan(24 * 3600);
    for (auto _ : state)
        benchmark::DoNotOptimize(t.redraw().constBits());
}
BENCHMARK(liveTrendRepaint)->Unit(benchmark::kMillisecond);

// The same picture with its panels, ticks and labels drawn afresh, as after a scale changes.
void liveTrendPictureWithFrame(benchmark::State& state)
{
    trend::LiveTrend t;
    t.resize(640, 560);
    fillDay(t);
    const std::vector<trend::Slot> shown = t.ring().recent(24 * 3600);
    const trend::TimeAxis time{t.ring().newestSecond() / 60, trend::kMinuteSlots, 60};
    const trend::SeriesLooks looks = trend::seriesLooks(QStringLiteral("km/h"));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            trend::drawTrendPicture(shown, time, QSize(640, 538), 1.0, looks, t.font())
                .constBits());
}
BENCHMARK(liveTrendPictureWithFrame)->Unit(benchmark::kMillisecond);

// One minute of readings at a frame a second folded into its mean and into the bins.
void powerCurveMinute(benchmark::State& state)
{
    curve::PowerCurve c(0.5);
    curve::MinuteFolder folder;
    qint64 ms = 0;
    for (auto _ : state) {
        for (int k = 0; k < 60; ++k, ms += 1000) {
            const double wind = 5 + 3 * std::sin(double(ms) / 7e6);
            if (const auto done = folder.add(wind, 0.5 * wind * wind * wind, ms))
                c.addMinute(done->wind, done->watts);
        }
    }
    benchmark::DoNotOptimize(c.bins());
}
BENCHMARK(powerCurveMinute)->Unit(benchmark::kMicrosecond);

void aepTable(benchmark::State& state)
{
    curve::PowerCurve c(0.5);
    for (int b = 1; b <= 50; ++b)
        for (int n = 0; n < 20; ++n)
            c.addMinute(b * 0.5, std::min(600.0, 0.5 * std::pow(b * 0.5, 3)) + n);
    for (auto _ : state)
        benchmark::DoNotOptimize(curve::aepTable(c.bins(), 0.5));
}
BENCHMARK(aepTable)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
