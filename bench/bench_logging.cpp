#include "core/files.h"
#include "logging/logfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// One logging tick's files with both exports on: the day's log line, the history line, the web
// page from the shipped-size template and the spreadsheet row, each opened, written and closed.
void recordTick(benchmark::State& state)
{
    QTemporaryDir tmp;
    const core::AppDir app{tmp.path()};
    QDir(tmp.path()).mkpath(QStringLiteral("html"));
    QByteArray templ(3000, 'x');
    templ += "<VV><II><WW><WH><RR><SS><TT><MM><TT>";
    core::replaceFile(logging::templateFile(app), templ);
    logging::RecordInputs in{{13.62, 4.15, 56.52, 412.5, 18.3},
                             1,
                             QDateTime(QDate(2024, 3, 7), QTime(14, 5, 7)),
                             1234.56789,
                             QStringLiteral("km/h"),
                             true,
                             true};
    logging::PendingWrites pending;
    for (auto _ : state) {
        for (logging::FileWrite& w : logging::recordWrites(app, in, nullptr, QLocale::c()))
            pending.add(std::move(w));
        benchmark::DoNotOptimize(logging::writePending(pending));
    }
    if (!pending.empty())
        state.SkipWithError("writes are waiting");
}
BENCHMARK(recordTick)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
