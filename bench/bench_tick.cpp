#include "config/configfiles.h"
#include "core/files.h"
#include "logging/logfiles.h"
#include "tests/stationprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

// What a logging tick costs the window's thread: the writes done where the tick runs, as the
// main window once did, against the hand-off to the station's disk thread. The argument is how
// long each sync takes in milliseconds beyond the disk's own (0: the disk as it is).
namespace {

struct TickFolder
{
    QTemporaryDir tmp;
    core::AppDir app{tmp.path()};

    explicit TickFolder(int syncDelayMs)
    {
        for (const char* folder : {"logs", "html", "Excel"})
            QDir(tmp.path()).mkpath(QString::fromLatin1(folder));
        core::replaceFile(logging::templateFile(app),
                          QByteArray(3000, 'x') + "<VV><II><WW><WH><RR><SS><TT><MM>");
        config::ProgramConfig prog;
        prog.Port = QStringLiteral("99");
        prog.Savehtml = prog.SaveExcel = QStringLiteral("1");
        config::SaveProgramConfig(app, prog);
        if (syncDelayMs > 0)
            core::setBeforeSync([syncDelayMs] { QThread::msleep(ulong(syncDelayMs)); });
    }
    ~TickFolder() { core::setBeforeSync({}); }
};

void tickWritingHere(benchmark::State& state)
{
    TickFolder folder(int(state.range(0)));
    const logging::RecordInputs in{{13.62, 4.15, 56.52, 412.5, 18.3},
                                   1,
                                   QDateTime(QDate(2024, 3, 7), QTime(14, 5, 7)),
                                   1234.5,
                                   QStringLiteral("km/h"),
                                   true,
                                   true};
    logging::PendingWrites pending;
    for (auto _ : state) {
        for (logging::FileWrite& w : logging::recordWrites(folder.app, in, nullptr))
            pending.add(std::move(w));
        benchmark::DoNotOptimize(logging::writePending(pending));
    }
}

void tickHandedToTheDiskThread(benchmark::State& state)
{
    TickFolder folder(int(state.range(0)));
    station::Station station(folder.app, core::Clock::system());
    station.start();
    for (auto _ : state)
        station::StationProbe::logTick(station);
    station::StationProbe::waitForDisk(station);
    if (station.pendingWrites() != 0)
        state.SkipWithError("writes are waiting");
}

// A fixed count keeps the disk thread's backlog, and the wait for it at the end, bounded.
BENCHMARK(tickWritingHere)->Arg(0)->Arg(5)->Iterations(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(tickHandedToTheDiskThread)
    ->Arg(0)
    ->Arg(5)
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
