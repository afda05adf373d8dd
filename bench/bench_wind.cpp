// The site's wind on a year of counts: the Weibull fit to the last 12 months, and the fit with
// the site's yearly energy of the measured curve and the reference under it.

#include "curve/windstats.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

namespace {

// 12 months of 43,200 minutes each drawn from a Weibull of k = 2 and c = 6 m/s.
curve::WindBins aYearOfWind()
{
    std::mt19937 rng(7);
    std::weibull_distribution<double> weibull(2, 6);
    curve::WindBins wind(0.5);
    const int first = 2025 * 12;
    for (int month = first; month < first + 12; ++month)
        for (int minute = 0; minute < 43200; ++minute)
            wind.add(month, weibull(rng));
    return wind;
}

// A turbine of 600 W: v³ from 3 m/s, held at 600 W from 12 m/s, bins up to 25 m/s.
std::vector<curve::Bin> aCurve()
{
    std::vector<curve::Bin> bins;
    for (int b = 1; b <= 50; ++b) {
        const double v = b * 0.5;
        bins.push_back({v, 20, v < 3 ? 0 : std::min(600.0, 0.35 * v * v * v), 5});
    }
    return bins;
}

const QDate kDay(2025, 12, 20);

void weibullFit(benchmark::State& state)
{
    const curve::WindBins wind = aYearOfWind();
    const curve::MonthSpan span = curve::lastTwelveMonths(kDay);
    const std::vector<curve::WindBin> histogram = wind.histogram(span.first, span.last);
    std::optional<curve::WeibullFit> fit;
    for (auto _ : state) {
        fit = curve::fitWeibull(histogram, 0.5);
        benchmark::DoNotOptimize(fit);
    }
    state.counters["k"] = fit ? fit->k : 0;
    state.counters["c"] = fit ? fit->c : 0;
}
BENCHMARK(weibullFit)->Unit(benchmark::kMicrosecond);

// From the counts: the year's histogram, its fit, the yearly energy of both curves.
void siteEnergy(benchmark::State& state)
{
    const curve::WindBins wind = aYearOfWind();
    const std::vector<curve::Bin> bins = aCurve();
    const curve::RefCurve reference{QStringLiteral("m/s"), {}, {{3, 0}, {12, 600}, {25, 600}}};
    curve::SiteEnergy year;
    for (auto _ : state) {
        year = curve::siteEnergy(wind, kDay, bins, 0.97, reference);
        benchmark::DoNotOptimize(year);
    }
    state.counters["kWh"] = year.measured ? year.measured->kWh : 0;
}
BENCHMARK(siteEnergy)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
