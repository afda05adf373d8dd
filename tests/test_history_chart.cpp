// The history chart's picture: a long view drawn from a reduction against every segment, and the
// window growing with its chart.

#include "core/quantities.h"
#include "history/chartgeometry.h"
#include "history/chartpicture.h"
#include "history/graph.h"
#include "history/graphlayout.h"
#include "history/historystore.h"
#include "tests/fixture.h"
#include "tools/daylog.h"

#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <cmath>
#include <map>
#include <memory>
#include <random>

namespace {

using history::Graph;
using history::HistoryStore;

const QColor kGround{0, 64, 0};

QByteArray logNumber(double v)
{
    return QByteArray::fromStdString(sim::logNumberText(v));
}

// Each logged quantity: its tag in the daily log, its box in the window and its line's colour.
struct Series
{
    core::Quantity q;
    const char* tag;
    const char* box;
    QRgb colour;
};
const Series kSeries[] = {{core::kVolts, "V", "Check1", qRgb(255, 0, 0)},
                          {core::kAmps, "I", "Check2", qRgb(0, 255, 0)},
                          {core::kWatts, "W", "Check3", qRgb(0, 0, 255)},
                          {core::kRpm, "R", "Check4", qRgb(255, 255, 0)},
                          {core::kWind, "S", "Check5", qRgb(255, 255, 255)}};

// A record line as the logger writes it, at minute m of the day.
QByteArray record(const core::QuantityValues& v, int mode, int minute)
{
    QByteArray line;
    for (const Series& s : kSeries)
        line += QByteArray("<") + s.tag + ">" + logNumber(v[s.q]) + "</" + s.tag + ">";
    const QByteArray time = QStringLiteral("%1:%2")
                                .arg(minute / 60, 2, 10, QLatin1Char('0'))
                                .arg(minute % 60, 2, 10, QLatin1Char('0'))
                                .toLatin1();
    return line + "<M>" + QByteArray::number(mode) + "</M><T>" + time + "</T>\r\n";
}

// Records that make a line jump about: noise with spikes, steps and a sign that changes, so
// each pixel column holds records far apart.
QByteArray rough(int count, std::uint32_t seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    QByteArray text;
    for (int k = 0; k < count; ++k) {
        core::QuantityValues v{};
        const double spike = unit(gen) < 0.01 ? 40 * (unit(gen) - 0.5) : 0;
        v[core::kVolts] = 12 + 2 * unit(gen) + spike;
        v[core::kAmps] = (k / 700 % 2 ? 5 : -3) + 4 * (unit(gen) - 0.5);
        v[core::kWatts] = v[core::kVolts] * v[core::kAmps];
        v[core::kRpm] = std::round(800 * std::abs(std::sin(k / 300.0)) + 50 * unit(gen));
        v[core::kWind] = std::round(10 * (k % 97) / 9.7) / 10;
        text += record(v, k / 250 % 2, 1 + k * 1430 / count);
    }
    return text;
}

class HistoryChart : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir(m_app.dir).mkdir(QStringLiteral("logs")));
        writeProg(ProgFile{.DisplayRPM = "1", .DisplayWS = "1"});
    }

    std::unique_ptr<Graph> open(const QByteArray& day, int width = 758)
    {
        EXPECT_TRUE(core::replaceFile(m_app.logsDir() + QStringLiteral("2024_3_7.txt"), day));
        auto g = std::make_unique<Graph>(m_store, m_app, core::Clock::fixed(m_now), width, nullptr);
        g->show();
        return g;
    }
    static void display(Graph& g) { child<QPushButton>(g, "Command1")->click(); }
    // Shows one series alone, or none with nullopt.
    static void showOnly(Graph& g, std::optional<core::Quantity> series)
    {
        for (const Series& s : kSeries)
            child<QCheckBox>(g, s.box)->setChecked(series == s.q);
    }

    QDateTime m_now{QDate(2024, 3, 7), QTime(14, 5, 7)};
    HistoryStore m_store;
};

// The same chart with every segment drawn.
QImage everySegment(const Graph& g, const HistoryStore& store)
{
    QImage out(g.picture().size(), g.picture().format());
    out.setDevicePixelRatio(g.picture().devicePixelRatio());
    out.fill(kGround);
    history::paintChart(out, history::planChart(store, g.seriesFlags()), store,
                        history::LineDetail::EverySegment);
    return out;
}

// Where a picture shows one colour, pixel by pixel, row after row.
struct Mask
{
    int width = 0;
    int height = 0;
    std::vector<char> on;

    Mask(const QImage& picture, QRgb colour)
        : width(picture.width())
        , height(picture.height())
        , on(std::size_t(width * height))
    {
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            for (int x = 0; x < width; ++x)
                on[std::size_t(y * width + x)] = (line[x] | 0xff000000u) == (colour | 0xff000000u);
        }
    }
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height && on[std::size_t(y * width + x)];
    }
    // The colour where it is and at each of its eight neighbours.
    Mask grown() const
    {
        Mask out = *this;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                bool any = false;
                for (int dy = -1; dy <= 1 && !any; ++dy)
                    any = at(x - 1, y + dy) || at(x, y + dy) || at(x + 1, y + dy);
                out.on[std::size_t(y * width + x)] = any;
            }
        }
        return out;
    }
    int columnsWithAny() const
    {
        int count = 0;
        for (int x = 0; x < width; ++x) {
            for (int y = 0; y < height; ++y) {
                if (at(x, y)) {
                    ++count;
                    break;
                }
            }
        }
        return count;
    }
};

// The most pixels of a line, in any one column, that one drawing has further than one pixel from
// any of the other's: the difference between them, with a line moved by one pixel counted as the
// same line. Pixel for pixel two drawings of the same records differ here and there even when
// both are Qt's: where records lie closer than a pixel, Qt starts a segment from an earlier
// record, which moves a steep run one column over.
int mostStrayInAColumn(const Mask& a, const Mask& b)
{
    const Mask nearA = a.grown();
    const Mask nearB = b.grown();
    int most = 0;
    for (int x = 0; x < a.width; ++x) {
        int column = 0;
        for (int y = 0; y < a.height; ++y)
            column += (a.at(x, y) && !nearB.at(x, y)) + (b.at(x, y) && !nearA.at(x, y));
        most = std::max(most, column);
    }
    return most;
}

TEST_F(HistoryChart, ALongViewLooksAsIfEverySegmentWereDrawn)
{
    struct Case
    {
        const char* name;
        QByteArray day;
        int width;
    };
    sim::DayLogShape full;
    full.records = history::kMaxRecords;
    full.firstSecond = 60;
    full.stepSeconds = 8;
    const Case cases[] = {
        {"board's day", QByteArray::fromStdString(sim::dayLogText(full)), 758},
        {"rough", rough(history::kMaxRecords, 7), 758},
        {"rough, wide", rough(history::kMaxRecords, 8), 974},
        {"rough, 1600 records", rough(1600, 9), 758},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto g = open(c.day, c.width);
        display(*g);
        ASSERT_GT(m_store.RecordCount, 1);
        ASSERT_TRUE(history::drawsReduced(std::size_t(m_store.RecordCount), g->picture().width()));
        for (const Series& s : kSeries) {
            SCOPED_TRACE(s.box);
            showOnly(*g, s.q);
            const QImage reference = everySegment(*g, m_store);
            const Mask reduced(g->picture(), s.colour);
            const Mask every(reference, s.colour);
            EXPECT_GT(every.columnsWithAny(), reference.width() * 9 / 10);
            EXPECT_EQ(mostStrayInAColumn(reduced, every), 0);
        }
    }
}

// ---- The window growing with its chart ----

// Ten records, 10:01 to 10:10, each series rising; the load on for the middle ones.
QByteArray tenRecords()
{
    QByteArray text;
    for (int k = 1; k <= 10; ++k) {
        core::QuantityValues v{};
        v[core::kVolts] = 10 + k;
        v[core::kAmps] = k - 5;
        v[core::kWatts] = 20 * k;
        v[core::kRpm] = 100 * k;
        v[core::kWind] = k / 2.0;
        text += record(v, k >= 4 && k <= 6 ? 1 : 0, 600 + k);
    }
    return text;
}

// Every control of the window with its place in the layout.
std::vector<std::pair<QWidget*, history::GraphControlId>> controlsOf(const Graph& g)
{
    using history::GraphControl;
    std::vector<std::pair<QWidget*, history::GraphControlId>> out;
    for (int r = 0; r < history::kGraphControlCount; ++r) {
        const auto role = GraphControl(r);
        std::vector<history::GraphControlId> ids;
        if (history::isPerSeries(role)) {
            for (const core::Quantity q : core::kLogged)
                ids.push_back({role, q});
        } else {
            ids.push_back({role});
        }
        for (const history::GraphControlId id : ids) {
            const QString name = history::graphControlName(id);
            out.emplace_back(g.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly), id);
            EXPECT_NE(out.back().first, nullptr) << name.toStdString();
        }
    }
    return out;
}

// Where the design puts the window's controls, in pixels (its twips at 15 a pixel): the whole
// standard window, and what the wide one moves further apart or widens.
struct Designed
{
    int width;
    const char* name;
    QRect place;
};
const Designed kDesigned[] = {
    {758, "vv", {40, 0, 82, 13}},           {758, "av", {136, 0, 82, 13}},
    {758, "wv", {232, 0, 82, 13}},          {758, "rv", {328, 0, 82, 13}},
    {758, "sv", {424, 0, 82, 13}},          {758, "vt", {536, 0, 82, 13}},
    {758, "stime", {8, 3, 67, 19}},         {758, "ftime", {690, 3, 58, 16}},
    {758, "Plot", {0, 16, 757, 349}},       {758, "Check1", {99, 368, 52, 25}},
    {758, "Check2", {251, 368, 52, 25}},    {758, "Check3", {400, 368, 52, 25}},
    {758, "Check4", {555, 368, 52, 25}},    {758, "Check5", {704, 368, 52, 25}},
    {758, "Check6", {64, 408, 79, 16}},     {758, "ListView1", {208, 408, 337, 135}},
    {758, "Command1", {592, 424, 132, 33}}, {758, "Command2", {624, 496, 70, 25}},
    {974, "Plot", {0, 16, 969, 349}},       {974, "Check5", {792, 368, 52, 25}},
    {974, "ftime", {904, 3, 58, 16}},       {974, "vt", {752, 0, 82, 13}},
};

bool resizeTo(Graph& g, QSize size)
{
    g.resize(size);
    return waitFor([&] { return g.size() == size; });
}

TEST_F(HistoryChart, TheWindowGrowsWithItsChartAndKeepsItsDesignAtTheDesignSize)
{
    using history::GraphControl;
    for (const int width : {758, 974}) {
        SCOPED_TRACE(width);
        auto g = open(tenRecords(), width);
        display(*g);
        ASSERT_EQ(m_store.RecordCount, 10);
        // The design's client area: 11370 x 8250 twips, the wide window's 14610 x 8355.
        const QSize design = width == 758 ? QSize(758, 550) : QSize(974, 557);
        EXPECT_EQ(g->size(), design);
        EXPECT_EQ(g->minimumSize(), design);
        for (const Designed& d : kDesigned) {
            if (d.width == width) {
                EXPECT_EQ(child<QWidget>(*g, d.name)->geometry(), d.place) << d.name;
            }
        }
        const auto controls = controlsOf(*g);
        std::map<QWidget*, QRect> before;
        for (const auto& [w, id] : controls) {
            ASSERT_NE(w, nullptr);
            before[w] = w->geometry();
        }
        auto* plot = child<QLabel>(*g, "Plot");
        auto* list = child<QTableView>(*g, "ListView1");
        const QRect plot0 = plot->geometry();
        const QRect list0 = list->geometry();

        const QSize grown = design + QSize(300, 200);
        ASSERT_TRUE(resizeTo(*g, grown));
        // The chart takes the extra width and, with the list, the extra height.
        EXPECT_EQ(plot->width(), plot0.width() + 300);
        const int chartGrew = plot->height() - plot0.height();
        EXPECT_GT(chartGrew, 100);
        EXPECT_GT(list->height(), list0.height());
        EXPECT_EQ(chartGrew + list->height() - list0.height(), 200);
        for (const auto& [w, id] : controls) {
            SCOPED_TRACE(history::graphControlName(id).toStdString());
            const QRect was = before[w];
            const QRect now = w->geometry();
            EXPECT_TRUE(QRect(QPoint(0, 0), grown).contains(now));
            if (was.top() < plot0.bottom()) {
                EXPECT_EQ(now.top(), was.top()); // the row above the chart stays
            } else {
                EXPECT_EQ(now.top(), was.top() + chartGrew); // what is under it moves down
            }
            if (id.role == GraphControl::Line9 || id.role == GraphControl::ftime) {
                EXPECT_EQ(now.left(), was.left() + 300); // the chart's right end
            }
        }
        // The controls keep their order: down, and across within a row.
        for (const auto& [a, ida] : controls) {
            for (const auto& [b, idb] : controls) {
                const bool sameRow = before[a].top() == before[b].top();
                if (sameRow && before[a].left() < before[b].left()) {
                    EXPECT_LT(a->x(), b->x());
                }
                if (before[a].top() < before[b].top()) {
                    EXPECT_LT(a->y(), b->y());
                }
            }
        }
        // Drawn again at once, at the new size, as a drawing at that size would be.
        const qreal dpr = plot->devicePixelRatioF();
        EXPECT_EQ(g->picture().devicePixelRatio(), dpr);
        EXPECT_EQ(g->picture().size(), (QSizeF(plot->size()) * dpr).toSize());
        QImage fresh(g->picture().size(), QImage::Format_RGB32);
        fresh.setDevicePixelRatio(dpr);
        fresh.fill(kGround);
        history::paintChart(fresh, history::planChart(m_store, g->seriesFlags()), m_store);
        EXPECT_TRUE(g->picture() == fresh);
        EXPECT_EQ(plot->pixmap().size(), g->picture().size());
        // The volts line where its scale puts record 5 at the new size: x 4 of the chart's 9,
        // y (20 - 15 + 0.5) / 21 of the height (11 to 20 V, from 0 V as "Ref V to 0v" is ticked).
        const QImage grownChart = plot->grab().toImage();
        const QPoint record5(int(std::lround(4.0 / 9 * plot->width())),
                             int(std::lround(5.5 / 21 * plot->height())));
        bool red = false;
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy)
                red = red || grownChart.pixelColor(record5 + QPoint(dx, dy)) == QColor(255, 0, 0);
        }
        EXPECT_TRUE(red) << "at " << record5.x() << "," << record5.y();
        // The pointer reads the chart at its new size.
        const QPointF at(4.7 / g->chartWidth() * plot->width(), 20);
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        EXPECT_EQ(textOf(*g, "vt"), QStringLiteral("10:05"));

        // Back at the design size every control is where it was, and it goes no smaller.
        ASSERT_TRUE(resizeTo(*g, design));
        for (const auto& [w, id] : controls)
            EXPECT_EQ(w->geometry(), before[w]) << history::graphControlName(id).toStdString();
        EXPECT_EQ(g->picture().size(), (QSizeF(plot0.size()) * dpr).toSize());
        g->resize(design - QSize(100, 100));
        QCoreApplication::processEvents();
        EXPECT_EQ(g->size(), design);
    }
}

TEST_F(HistoryChart, ASelectionLineSurvivesTheWindowGrowing)
{
    auto g = open(tenRecords());
    display(*g);
    auto* plot = child<QLabel>(*g, "Plot");
    const auto send = [&](QEvent::Type type, double x, Qt::MouseButtons held) {
        const QPointF at(x / g->chartWidth() * plot->width(), 20);
        QMouseEvent e(type, at, plot->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &e);
    };
    send(QEvent::MouseButtonPress, 2, Qt::LeftButton);
    send(QEvent::MouseMove, 6, Qt::LeftButton);
    ASSERT_TRUE(resizeTo(*g, history::graphClientSize(758) + QSize(240, 0)));
    const QImage& p = g->picture();
    const auto red = [&](double x) {
        return p.pixelColor(int(x / g->chartWidth() * p.width()), 0) == QColor(255, 0, 0);
    };
    EXPECT_TRUE(red(2.5));
    EXPECT_TRUE(red(5.5));
    EXPECT_FALSE(red(7));
    send(QEvent::MouseButtonRelease, 6, Qt::NoButton);
    EXPECT_EQ(m_store.Zoomed, 1);
    EXPECT_FALSE(red(0.5)); // a zoom draws anew, without the line
}

// At a device pixel ratio of 2 both drawings fill the picture's device pixels, with lines one
// device pixel wide, where the same chart at ratio 1 has them at half the coordinates.
TEST(ChartPicture, DrawsAtTheDevicePixelRatio)
{
    for (const int records : {20, 4000}) {
        SCOPED_TRACE(records);
        HistoryStore store;
        store.RecordCount = std::int16_t(records);
        store.ViewStart = 1;
        store.ViewEnd = records;
        for (int k = 1; k <= records; ++k)
            store.Values[core::kVolts][k] = 12.5; // flat: along the middle
        history::SeriesFlags flags;
        flags.shown[core::kVolts] = true;
        const history::ChartPlan plan = history::planChart(store, flags);
        QImage picture(QSize(757, 349) * 2, QImage::Format_RGB32);
        picture.setDevicePixelRatio(2);
        picture.fill(kGround);
        history::paintChart(picture, plan, store);
        EXPECT_EQ(history::drawsReduced(std::size_t(records), picture.width()), records > 3028);
        const Mask red(picture, qRgb(255, 0, 0));
        EXPECT_EQ(red.columnsWithAny(), picture.width());
        for (int x : {0, 700, picture.width() - 1}) {
            SCOPED_TRACE(x);
            for (int y = 0; y < picture.height(); ++y)
                EXPECT_EQ(red.at(x, y), y == 349) << y;
        }
    }
}

// The window on a screen at 200 %: this test runs itself again on such a screen (the offscreen
// platform's own, from a screen file), where the chart must be drawn at twice the pixels.
TEST_F(HistoryChart, DrawsAtTheScreensPixelRatio)
{
    const bool again = qEnvironmentVariableIsSet("HISTORY_CHART_ON_DOUBLE_SCREEN");
    if (QGuiApplication::primaryScreen()->devicePixelRatio() != 2) {
        ASSERT_FALSE(again) << "the screen file gave no screen at 200 %";
        QTemporaryDir dir;
        const QString screens = dir.filePath(QStringLiteral("double.json"));
        ASSERT_TRUE(core::replaceFile(
            screens, R"({"screens": [{"name": "double", "x": 0, "y": 0, "width": 3840,
                         "height": 2160, "logicalDpi": 96, "dpr": 2}]})"));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"),
                   QStringLiteral("offscreen:configfile=") + screens);
        env.insert(QStringLiteral("HISTORY_CHART_ON_DOUBLE_SCREEN"), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--gtest_filter=HistoryChart.DrawsAtTheScreensPixelRatio")});
        ASSERT_TRUE(run.waitForFinished(30000));
        const QByteArray output = run.readAll();
        EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }
    for (const QByteArray& day : {tenRecords(), rough(history::kMaxRecords, 3)}) {
        auto g = open(day);
        display(*g);
        auto* plot = child<QLabel>(*g, "Plot");
        ASSERT_EQ(plot->devicePixelRatioF(), 2);
        EXPECT_EQ(g->picture().devicePixelRatio(), 2);
        EXPECT_EQ(g->picture().size(), plot->size() * 2);
        QImage fresh(g->picture().size(), QImage::Format_RGB32);
        fresh.setDevicePixelRatio(2);
        fresh.fill(kGround);
        history::paintChart(fresh, history::planChart(m_store, g->seriesFlags()), m_store);
        EXPECT_TRUE(g->picture() == fresh);
        // Positions are still read in the chart's own pixels.
        const QPointF at(4.7 / g->chartWidth() * plot->width(), 20);
        QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        EXPECT_EQ(textOf(*g, "vt"), history::timeText(m_store.Time[5]));
    }
}

} // namespace
