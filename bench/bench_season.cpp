// The Season window's data on a year of day files at a 10 s interval, made by the simulated
// board's day writer: summaries kept (warm) and made (cold), reduced to 1200 pixel columns, and a
// year of ledger lines to monthly bars. TESSALY_SEASON_DAYS makes the year shorter (the smoke run).
#include "season/columns.h"
#include "season/energybars.h"
#include "season/summarycache.h"
#include "tools/daylog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QDate kFirst(2024, 1, 1);

int dayCount()
{
    const int asked = qEnvironmentVariableIntValue("TESSALY_SEASON_DAYS");
    return asked > 0 ? std::min(asked, 366) : 365;
}

// The year's day files, written once for the whole program.
struct Year
{
    QTemporaryDir tmp;
    season::SummarySource source;
    int days = dayCount();

    Year()
    {
        source = {core::AppDir{tmp.path()}, tmp.filePath(QStringLiteral("cache")), {}};
        QDir().mkpath(source.app.logsDir());
        for (int d = 0; d < days; ++d) {
            const std::string text = sim::dayLogText({std::uint32_t(d + 1), 8640, 0, 10});
            QFile f(source.app.dailyLog(kFirst.addDays(d)));
            if (!f.open(QIODevice::WriteOnly) || f.write(text.data(), qint64(text.size())) < 0)
                qFatal("cannot write the day files");
        }
    }
    QDate last(int n) const { return kFirst.addDays(std::min(n, days) - 1); }
};

Year& year()
{
    static Year y;
    return y;
}

qint64 cacheBytes(const QString& dir)
{
    qint64 sum = 0;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::Files))
        sum += f.size();
    return sum;
}

void loadAndReduce(benchmark::State& state, int days)
{
    Year& y = year();
    season::runSummaries(y.source, kFirst, y.last(days)); // made once: warm from here on
    for (auto _ : state) {
        season::DayRun run{kFirst, season::runSummaries(y.source, kFirst, y.last(days))};
        const auto columns = season::reduceColumns(run, {0, double(run.bucketCount())}, 1200);
        benchmark::DoNotOptimize(columns.data());
    }
    state.counters["cache_bytes"] = double(cacheBytes(y.source.cacheDir));
}

void seasonYearWarm(benchmark::State& state)
{
    loadAndReduce(state, 366);
}

void seasonMonthWarm(benchmark::State& state)
{
    loadAndReduce(state, 31);
}

void seasonYearCold(benchmark::State& state)
{
    Year& y = year();
    for (auto _ : state) {
        state.PauseTiming();
        QDir(y.source.cacheDir).removeRecursively();
        state.ResumeTiming();
        season::DayRun run{kFirst, season::runSummaries(y.source, kFirst, y.last(366))};
        benchmark::DoNotOptimize(run.days.data());
    }
}

void energyYear(benchmark::State& state)
{
    QByteArray ledger;
    for (int d = 0; d < 365; ++d) {
        for (int h = 0; h < 24; ++h)
            ledger += season::lineFor({kFirst.addDays(d), h, 12.5 + d * 0.25 + h, 3600});
    }
    for (auto _ : state) {
        const season::LedgerContent content = season::parseLedger(ledger);
        const season::EnergyBars bars =
            season::energyBars(content, season::EnergySpan::Year, 2024, 0);
        benchmark::DoNotOptimize(bars.totalKWh);
    }
}

} // namespace

BENCHMARK(seasonYearWarm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(seasonYearCold)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(seasonMonthWarm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(energyYear)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
