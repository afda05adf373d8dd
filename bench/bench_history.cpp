#include "core/files.h"
#include "history/chartgeometry.h"
#include "history/chartpicture.h"
#include "history/graph.h"
#include "history/historystore.h"
#include "tools/daylog.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

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
        ui::setMessageHandler([](const QString& m) {
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

void checkLoaded(benchmark::State& state, const FullDay& day)
{
    if (day.store.RecordCount != history::kMaxRecords)
        state.SkipWithError("the day did not load 9,999 records");
}

// Display end to end: append, read, parse, DrawHistoryChart with five series, list reset.
void displayFullDay(benchmark::State& state, FullDay& day)
{
    for (auto _ : state)
        day.display->click();
    checkLoaded(state, day);
}

// The same, with the window's own painting of the new chart and list on screen.
void displayFullDayPainted(benchmark::State& state, FullDay& day)
{
    for (auto _ : state) {
        day.display->click();
        day.window->repaint();
    }
    checkLoaded(state, day);
}

// A series box toggled: the whole chart and list are drawn again, with four series and five in
// turn. The box is left ticked.
void toggleSeries(benchmark::State& state, FullDay& day)
{
    day.display->click();
    for (auto _ : state)
        day.windBox->toggle();
    day.windBox->setChecked(true);
    checkLoaded(state, day);
}

// The parts: reading the records out of the file's content, and one drawing of five series.
void parseFullDay(benchmark::State& state, FullDay& day)
{
    for (auto _ : state) {
        const history::DayRecords r = history::parseDayLog(day.text, 0, 1439 / 1440.0);
        benchmark::DoNotOptimize(r.records.data());
    }
}

void drawFullDay(benchmark::State& state, FullDay& day)
{
    day.windBox->setChecked(true);
    day.display->click();
    for (auto _ : state)
        day.window->DrawHistoryChart();
    checkLoaded(state, day);
}

// The chart's picture alone, as the day is drawn (from each pixel column's extent) and with
// every segment, to show what the reduction saves.
void paintFullDay(benchmark::State& state, FullDay& day, history::LineDetail detail)
{
    day.windBox->setChecked(true);
    day.display->click();
    const history::ChartPlan plan = history::planChart(day.store, day.window->seriesFlags());
    QImage picture = day.window->picture();
    for (auto _ : state) {
        picture.fill(ui::kWindowGround);
        history::paintChart(picture, plan, day.store, detail);
    }
    checkLoaded(state, day);
}

void registerAll(FullDay& day)
{
    const auto add = [&day](const char* name, auto run) {
        benchmark::RegisterBenchmark(name, [&day, run](benchmark::State& s) { run(s, day); })
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly();
    };
    add("displayFullDay", displayFullDay);
    add("displayFullDayPainted", displayFullDayPainted);
    add("toggleSeries", toggleSeries);
    add("parseFullDay", parseFullDay);
    add("drawFullDay", drawFullDay);
    add("paintFullDay",
        [](benchmark::State& s, FullDay& d) { paintFullDay(s, d, history::LineDetail::Auto); });
    add("paintFullDayEverySegment", [](benchmark::State& s, FullDay& d) {
        paintFullDay(s, d, history::LineDetail::EverySegment);
    });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installFontSubstitutes();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // The window lives in this scope, after the application object and so destroyed before it:
    // a widget that outlives the application crashes the program on its way out.
    FullDay day;
    registerAll(day);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
