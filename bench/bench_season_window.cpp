// The Season window's own path, offscreen, on a year of day files at a 10 s interval with a year
// of ledger lines: the real window, its real reading off its thread, and the painting of what it
// shows. From the click on "This year" to the year's picture painted, with the summaries kept
// (warm) and with none (cold); and from the opening to the month's bars painted. Set beside
// bench_season's kernel figures. TESSALY_SEASON_DAYS makes the year shorter (the smoke run).
#include "season/energyledger.h"
#include "season/season.h"
#include "tools/daylog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

const QDate kFirst(2024, 1, 1);

int dayCount()
{
    const int asked = qEnvironmentVariableIntValue("TESSALY_SEASON_DAYS");
    return asked > 0 ? std::min(asked, 366) : 366;
}

// The year's day files and its ledger, written once for the whole program.
struct Year
{
    QTemporaryDir tmp;
    core::AppDir app{tmp.path()};
    int days = dayCount();

    Year()
    {
        QDir().mkpath(app.logsDir());
        QByteArray ledger;
        for (int d = 0; d < days; ++d) {
            const std::string text = sim::dayLogText({std::uint32_t(d + 1), 8640, 0, 10});
            QFile f(app.dailyLog(kFirst.addDays(d)));
            if (!f.open(QIODevice::WriteOnly) || f.write(text.data(), qint64(text.size())) < 0)
                qFatal("cannot write the day files");
            for (int h = 0; h < 24; ++h)
                ledger += season::lineFor({kFirst.addDays(d), h, 20.0 + (d * 7 + h) % 300, 3600});
        }
        QFile f(season::energyLedgerFile(app));
        if (!f.open(QIODevice::WriteOnly) || f.write(ledger) < 0)
            qFatal("cannot write the ledger");
    }
    QDate last() const { return kFirst.addDays(days - 1); }
};

Year& year()
{
    static Year y;
    return y;
}

// A summary cache of its own, empty until the window fills it.
struct Cache
{
    QTemporaryDir dir;
    Cache() { qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path())); }
};

// Runs the loop until the signal, then paints the plot: the milliseconds since `clock` started.
template <typename Signal>
double untilPainted(season::Season& w, Signal shown, const char* plot, const QElapsedTimer& clock)
{
    QEventLoop loop;
    QObject::connect(&w, shown, &loop, &QEventLoop::quit);
    loop.exec();
    w.findChild<QLabel*>(QLatin1String(plot))->repaint();
    return double(clock.nsecsElapsed()) / 1e6;
}

// Opens the window as it opens the first time (no view.cfg), its month's bars painted.
std::unique_ptr<season::Season> open(double* ms = nullptr)
{
    const Year& y = year();
    QFile::remove(y.app.path(QStringLiteral("view.cfg")));
    QElapsedTimer clock;
    clock.start();
    auto w = std::make_unique<season::Season>(
        y.app, core::Clock::fixed(QDateTime(y.last(), QTime(12, 0))), nullptr);
    w->show();
    const double painted = untilPainted(*w, &season::Season::energyShown, "EnergyPlot", clock);
    if (ms)
        *ms = painted;
    return w;
}

double clickThisYear(season::Season& w)
{
    QElapsedTimer clock;
    clock.start();
    w.findChild<QPushButton*>(QStringLiteral("ThisYear"))->click();
    return untilPainted(w, &season::Season::daysShown, "DaysPlot", clock);
}

void seasonOpens(benchmark::State& state)
{
    open(); // the fonts and the style loaded, as the main window has them
    for (auto _ : state) {
        double ms = 0;
        const auto w = open(&ms);
        state.SetIterationTime(ms / 1000);
    }
}

void thisYearWarm(benchmark::State& state)
{
    const Cache cache;
    const auto w = open();
    clickThisYear(*w); // the summaries made once: warm from here on
    for (auto _ : state)
        state.SetIterationTime(clickThisYear(*w) / 1000);
    state.counters["days"] = year().days;
}

void thisYearCold(benchmark::State& state)
{
    const auto w = open();
    for (auto _ : state) {
        const Cache cache;
        state.SetIterationTime(clickThisYear(*w) / 1000);
    }
    state.counters["days"] = year().days;
}

} // namespace

BENCHMARK(seasonOpens)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(thisYearWarm)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(thisYearCold)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
