#include "daylog.h"
#include "files.h"
#include "graph.h"
#include "historystore.h"
#include "messagebox.h"
#include "windowlook.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

// A day of 9,999 full records, all inside 00:00 to 23:59, and a window showing all five series.
struct FullDay
{
    FullDay()
    {
        QDir(app.dir).mkdir(QStringLiteral("logs"));
        sim::DayLogShape shape;
        shape.records = history::kMaxRecords;
        shape.firstSecond = 60;
        shape.stepSeconds = 8;
        text = QByteArray::fromStdString(sim::dayLogText(shape));
        core::replaceFile(app.dailyLog(QDate(2024, 3, 7)), text);
        core::replaceFile(app.progCfg(),
                          "Program Config File\r\n\r\n<DisplayRPM>1</DisplayRPM>"
                          "\r\n<DisplayWS>1</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n");
        core::setMessageHandler([](const QString& m) {
            std::fprintf(stderr, "unexpected message: %s\n", qPrintable(m));
        });
        window = std::make_unique<history::Graph>(
            store, app, core::Clock::fixed(QDateTime(QDate(2024, 3, 7), QTime(12, 0))), 758,
            nullptr);
        window->show();
        QApplication::processEvents();
        display = window->findChild<QPushButton*>(QStringLiteral("Command1"));
        windBox = window->findChild<QCheckBox*>(QStringLiteral("Check5"));
    }

    QTemporaryDir tmp;
    core::AppDir app{tmp.path()};
    QByteArray text;
    history::HistoryStore store;
    std::unique_ptr<history::Graph> window;
    QPushButton* display = nullptr;
    QCheckBox* windBox = nullptr;
};

// Made at its first use and dropped by main before the application object goes: a window that
// outlives its application crashes the program at exit.
std::unique_ptr<FullDay> g_day;

FullDay& fullDay()
{
    if (!g_day)
        g_day = std::make_unique<FullDay>();
    return *g_day;
}

void checkLoaded(benchmark::State& state, const FullDay& day)
{
    if (day.store.RecordCount != history::kMaxRecords)
        state.SkipWithError("the day did not load 9,999 records");
}

// Display end to end: append, read, parse, DrawHistoryChart with five series, list reset.
void displayFullDay(benchmark::State& state)
{
    FullDay& day = fullDay();
    for (auto _ : state)
        day.display->click();
    checkLoaded(state, day);
}
BENCHMARK(displayFullDay)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

// The same, with the window's own painting of the new chart and list on screen.
void displayFullDayPainted(benchmark::State& state)
{
    FullDay& day = fullDay();
    for (auto _ : state) {
        day.display->click();
        day.window->repaint();
    }
    checkLoaded(state, day);
}
BENCHMARK(displayFullDayPainted)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// A series box toggled: the whole chart and list are drawn again.
void toggleSeries(benchmark::State& state)
{
    FullDay& day = fullDay();
    day.display->click();
    for (auto _ : state)
        day.windBox->toggle();
    checkLoaded(state, day);
}
BENCHMARK(toggleSeries)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

// The parts: reading the records out of the file's content, and one drawing.
void parseFullDay(benchmark::State& state)
{
    const FullDay& day = fullDay();
    for (auto _ : state) {
        const history::DayRecords r = history::parseDayLog(day.text, 0, 1439 / 1440.0);
        benchmark::DoNotOptimize(r.records.data());
    }
}
BENCHMARK(parseFullDay)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

void drawFullDay(benchmark::State& state)
{
    FullDay& day = fullDay();
    day.display->click();
    for (auto _ : state)
        day.window->DrawHistoryChart();
    checkLoaded(state, day);
}
BENCHMARK(drawFullDay)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    core::installFontSubstitutes();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_day.reset();
    return 0;
}
