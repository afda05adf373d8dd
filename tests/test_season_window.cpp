// The Season window as an owner reads it, offscreen with real widgets and real day files: a size
// the pointer never changes, panels with their own scales, "no data" where nothing was logged,
// readable labels, and the view kept in view.cfg beside the live trend's key.
#include "core/files.h"
#include "core/keyedsettings.h"
#include "history/historyfacts.h"
#include "season/completeness.h"
#include "season/energyledger.h"
#include "season/season.h"
#include "season/seasonview.h"
#include "season/ticks.h"
#include "tests/fixture.h"
#include "tools/daylog.h"
#include "trend/trendring.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <functional>
#include <random>

namespace {

const QDate kToday(2024, 3, 8);
constexpr std::size_t kWind = 4;
constexpr std::size_t kWatts = 2;

template <typename Signal> bool until(season::Season& window, Signal shown, auto ask)
{
    bool done = false;
    const auto connection = QObject::connect(&window, shown, [&done] { done = true; });
    ask();
    const bool ok = waitFor([&done] { return done; }, 60000);
    QObject::disconnect(connection);
    return ok;
}

void mouse(QWidget* w, QEvent::Type type, QPointF at)
{
    QMouseEvent e(type, at, w->mapToGlobal(at),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Moves the pointer across the whole widget and lets every layout request that follows run.
void sweep(QWidget* w)
{
    for (int x = 0; x < w->width(); x += 2)
        mouse(w, QEvent::MouseMove, QPointF(x, w->height() / 2.0));
    mouse(w, QEvent::MouseMove, QPointF(w->width() / 2.0, w->height() / 2.0));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class SeasonWindow : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    // A day's records ten minutes apart; record(minute) gives each one's values.
    void writeDay(QDate d, const std::function<sim::LogValues(int)>& record)
    {
        std::string text;
        for (int m = 0; m < 1440; m += 10) {
            sim::LogValues v = record(m);
            v.secondOfDay = m * 60 + 30;
            text += sim::logRecordText(v);
        }
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(d), QByteArray::fromStdString(text)));
    }
    static sim::LogValues calm(int m)
    {
        return {12.5, 2 + m % 3 * 0.1, 100.0 + m % 7, 300, 8, 0, 0};
    }
    // Ledger lines: the watt-hours of each day of March given, none for the others.
    void writeLedger(const std::function<std::optional<double>(int)>& wattHours)
    {
        QByteArray text;
        for (int d = 1; d <= 31; ++d) {
            if (const auto wh = wattHours(d))
                text += season::lineFor({QDate(2024, 3, d), 12, *wh, 3600});
        }
        ASSERT_TRUE(core::replaceFile(season::energyLedgerFile(m_app), text));
    }
    std::unique_ptr<season::Season> open(QDate today = kToday)
    {
        auto w = std::make_unique<season::Season>(
            m_app, core::Clock::fixed(QDateTime(today, QTime(12, 0))), nullptr);
        return w;
    }
};

TEST_F(SeasonWindow, ThePointerAcrossEachViewNeverChangesTheWindowsSize)
{
    writeLedger([](int d) { return 1000.0 + d * 50; });
    for (int d = 0; d < 30; ++d)
        writeDay(kToday.addDays(-d), calm);
    auto w = open();
    ASSERT_TRUE(until(*w, &season::Season::energyShown, [&] { w->show(); }));
    const QSize before = w->size();
    auto* energy = child<QLabel>(*w, "EnergyPlot");
    sweep(energy);
    EXPECT_FALSE(textOf(*w, "BarText").isEmpty());
    EXPECT_EQ(w->size(), before);
    EXPECT_LE(w->minimumSizeHint().width(), before.width());

    ASSERT_TRUE(
        until(*w, &season::Season::daysShown, [&] { child<QPushButton>(*w, "Last30")->click(); }));
    auto* days = child<QLabel>(*w, "DaysPlot");
    const int plotWidth = days->width();
    sweep(days);
    EXPECT_FALSE(textOf(*w, "DaysText").isEmpty());
    EXPECT_EQ(w->size(), before);
    EXPECT_EQ(days->width(), plotWidth);
    EXPECT_LE(w->minimumSizeHint().width(), before.width());
    // Switching views leaves no readout of the other behind.
    w->findChild<QTabWidget*>(QStringLiteral("Views"))->setCurrentIndex(season::kEnergyTab);
    EXPECT_TRUE(textOf(*w, "DaysText").isEmpty());
    EXPECT_TRUE(textOf(*w, "BarText").isEmpty());
}

TEST_F(SeasonWindow, ADoubleClickOpensTheDayUnderThePointer)
{
    for (int d = 0; d < 30; ++d)
        writeDay(kToday.addDays(-d), calm);
    auto w = open();
    w->show();
    ASSERT_TRUE(
        until(*w, &season::Season::daysShown, [&] { child<QPushButton>(*w, "Last30")->click(); }));
    const QDate aimed(2024, 3, 6);
    std::vector<std::size_t> ofDay;
    for (std::size_t x = 0; x < w->columns().size(); ++x) {
        if (season::columnDay(w->run(), w->columns()[x]) == aimed)
            ofDay.push_back(x);
    }
    ASSERT_FALSE(ofDay.empty());
    auto* plot = child<QLabel>(*w, "DaysPlot");
    const qreal ratio = w->devicePixelRatioF();
    for (const std::size_t x : {ofDay.front(), ofDay[ofDay.size() / 2], ofDay.back()}) {
        QString shown;
        onModal([&](QWidget& modal) {
            shown = textOf(modal, "DateM1") + QLatin1Char('-') + textOf(modal, "DateD1");
        });
        mouse(plot, QEvent::MouseButtonDblClick,
              QPointF((double(w->days().left) + double(x) + 0.5) / ratio, plot->height() / 2.0));
        EXPECT_EQ(shown, QStringLiteral("3-6")) << x;
    }
}

// The panel of a series in the picture shown.
const season::DaysPanel& panelOf(const season::Season& w, std::size_t series)
{
    for (const season::DaysPanel& p : w.days().panels) {
        if (p.series == series)
            return p;
    }
    static const season::DaysPanel none;
    ADD_FAILURE() << "no panel for series " << series;
    return none;
}

// Whether a column's top eighth of the panel holds the colour.
bool topHolds(const season::Season& w, std::size_t series, std::size_t column, QColor colour)
{
    const season::DaysPanel& p = panelOf(w, series);
    const int x = w.days().left + int(column);
    for (int y = p.top; y < p.top + std::max(3, (p.bottom - p.top) / 8); ++y) {
        if (w.daysPicture().pixelColor(x, y) == colour)
            return true;
    }
    return false;
}

std::size_t columnWhere(const season::Season& w, std::size_t series, float max)
{
    const auto& c = w.columns();
    const auto it = std::find_if(
        c.begin(), c.end(), [&](const auto& col) { return !col.empty && col.max[series] == max; });
    EXPECT_NE(it, c.end()) << "no column reaches " << max;
    return std::size_t(it - c.begin());
}

TEST_F(SeasonWindow, AOneRecordSpikeShowsInItsPanelAndAGlitchNoLongerSetsTheRange)
{
    const QDate first(2024, 1, 1);
    for (int d = 0; d < 366; ++d) {
        writeDay(first.addDays(d), [d](int m) {
            sim::LogValues v = calm(m);
            if (d == 100 && m == 700)
                v.watts = 5000; // one record
            if (d == 200 || d == 201)
                v.windSpeed = 100 + m / 40; // a storm of two days, up to 135
            if (d == 300 && m == 300)
                v.windSpeed = 199.9; // a glitch
            return v;
        });
    }
    auto w = open(QDate(2024, 12, 31));
    w->show();
    ASSERT_TRUE(until(*w, &season::Season::daysShown,
                      [&] { child<QPushButton>(*w, "ThisYear")->click(); }));
    ASSERT_EQ(w->days().panels.size(), 5u);
    const season::Ticks& wind = panelOf(*w, kWind).ticks;
    EXPECT_GE(wind.high, 120); // the storm fills its panel, its last hours marked at the edge
    EXPECT_LT(wind.high, 199.9);
    EXPECT_TRUE(topHolds(*w, kWind, columnWhere(*w, kWind, 199.9f), season::kBeyondRange));
    EXPECT_TRUE(topHolds(*w, kWatts, columnWhere(*w, kWatts, 5000), season::kBeyondRange));

    ASSERT_TRUE(until(*w, &season::Season::daysShown,
                      [&] { child<QCheckBox>(*w, "RobustScale")->setChecked(false); }));
    EXPECT_GE(panelOf(*w, kWind).ticks.high, 199.9);
    const QColor watts = ui::toColour(history::historyFacts(core::kWatts).checkGround);
    EXPECT_TRUE(topHolds(*w, kWatts, columnWhere(*w, kWatts, 5000), watts));
}

TEST_F(SeasonWindow, MissingDaysAreShadedAsNoDataAcrossEveryPanel)
{
    for (int d = 0; d < 30; ++d) {
        if (d < 10 || d > 14)
            writeDay(kToday.addDays(-d), calm);
    }
    auto w = open();
    w->show();
    ASSERT_TRUE(
        until(*w, &season::Season::daysShown, [&] { child<QPushButton>(*w, "Last30")->click(); }));
    const QDate missing = kToday.addDays(-12);
    std::size_t x = 0;
    while (x < w->columns().size() && season::columnDay(w->run(), w->columns()[x]) != missing)
        ++x;
    ASSERT_LT(x, w->columns().size());
    EXPECT_TRUE(w->columns()[x + 5].empty);
    // Just inside each panel's top: the words "no data" stand at the gap's middle, where a
    // glyph's pixel would depend on the font.
    for (const season::DaysPanel& p : w->days().panels) {
        EXPECT_EQ(w->daysPicture().pixelColor(w->days().left + int(x) + 5, p.top + 1),
                  season::kNoData);
    }
}

TEST_F(SeasonWindow, EveryLabelOfAMonthIsWholeAndNoDataDaysAreNotDrawnAsZero)
{
    // 10 March calm (a line of 0 Wh), 11 to 19 March without a line.
    writeLedger([](int d) -> std::optional<double> {
        if (d >= 11 && d <= 19)
            return std::nullopt;
        return d == 10 ? 0 : 1500;
    });
    auto w = open();
    ASSERT_TRUE(until(*w, &season::Season::energyShown, [&] { w->show(); }));
    const season::EnergyPicture& e = w->energyPicture();
    ASSERT_EQ(w->bars().bars.size(), 31u);
    EXPECT_EQ(e.labelled.size(), 31u);
    EXPECT_EQ(e.unit.name, QStringLiteral("kWh"));
    EXPECT_DOUBLE_EQ(e.ticks.step, 0.5);
    const auto middle = [&](std::size_t bar) {
        const QRect s = e.barSlots[bar];
        const qreal r = e.image.devicePixelRatio();
        return e.image.pixelColor(int(s.center().x() * r), int((s.top() + s.height() / 3) * r));
    };
    EXPECT_TRUE(w->bars().bars[14].noData());
    EXPECT_FALSE(w->bars().bars[9].noData());
    EXPECT_EQ(middle(14), season::kNoData);
    EXPECT_EQ(middle(9), ui::kWindowGround);

    // Narrow, the labels thin out evenly and stay whole.
    const auto thin = season::makeEnergyPicture(w->bars(), QSize(300, 200), 1, w->font()).labelled;
    ASSERT_GE(thin.size(), 2u);
    EXPECT_LT(thin.size(), 31u);
    for (std::size_t i = 1; i < thin.size(); ++i)
        EXPECT_EQ(thin[i] - thin[i - 1], thin[1] - thin[0]);

    // The box redraws at once: the year, March partial and the other months without data.
    ASSERT_TRUE(until(*w, &season::Season::energyShown,
                      [&] { child<QComboBox>(*w, "Span")->setCurrentIndex(1); }));
    ASSERT_EQ(w->bars().bars.size(), 12u);
    EXPECT_TRUE(w->bars().bars[2].partial());
    EXPECT_TRUE(w->bars().bars[0].noData());
    ASSERT_TRUE(until(*w, &season::Season::energyShown,
                      [&] { child<QPushButton>(*w, "Previous")->click(); }));
    EXPECT_EQ(textOf(*w, "Year"), QStringLiteral("2023"));
    EXPECT_TRUE(w->bars().bars[2].noData());
}

// A day the plant saw less than 90 % of is marked at the top of its slot, with the shares in
// its readout; days before the completeness file began, and days to come, are not judged.
TEST_F(SeasonWindow, ADayThePlantSawLessThanNinetyPerCentIsMarked)
{
    writeLedger([](int) -> std::optional<double> { return 1500; });
    QByteArray seen;
    for (int d = 2; d <= 7; ++d) {
        const QDate date(2024, 3, d);
        for (int hour = 0; hour < (d == 3 ? 12 : 24); ++hour)
            seen += season::completenessLineFor(
                {date, hour, date.startOfDay().offsetFromUtc(), 60, 60, 60});
    }
    ASSERT_TRUE(core::replaceFile(season::completenessFile(m_app), seen));
    auto w = open();
    ASSERT_TRUE(until(*w, &season::Season::energyShown, [&] { w->show(); }));
    const auto& bars = w->bars().bars;
    ASSERT_EQ(bars.size(), 31u);
    const season::EnergyPicture& e = w->energyPicture();
    const qreal r = e.image.devicePixelRatio();
    auto top = [&](std::size_t bar) {
        const QRect s = e.barSlots[bar];
        return e.image.pixelColor(int(s.center().x() * r), int((s.top() + 2) * r));
    };
    const struct
    {
        int day;
        bool marked;
    } rows[] = {{1, false}, {2, false}, {3, true}, {7, false}, {8, true}, {9, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.day);
        const std::size_t i = std::size_t(row.day - 1);
        EXPECT_EQ(season::lessThanComplete(bars[i].seen), row.marked);
        EXPECT_EQ(top(i) == QColor(200, 80, 0), row.marked);
    }
    EXPECT_DOUBLE_EQ(bars[2].seen.freshShare, 0.5);
    EXPECT_EQ(bars[7].seen.minutes, 12 * 60) << "today, up to noon";
}

TEST_F(SeasonWindow, ItsViewIsKeptInViewCfgAndTheTrendBoxKeepsItsOwnKey)
{
    for (int d = 0; d < 7; ++d)
        writeDay(kToday.addDays(-d), calm);
    ASSERT_TRUE(trend::writeShowTrend(m_app, false));
    {
        auto w = open();
        w->show();
        ASSERT_TRUE(until(*w, &season::Season::daysShown,
                          [&] { child<QPushButton>(*w, "Last7")->click(); }));
        child<QCheckBox>(*w, "ShowVolts")->setChecked(false);
        child<QCheckBox>(*w, "RobustScale")->setChecked(false);
        {
            const QSignalBlocker quiet(child<QComboBox>(*w, "Span"));
            child<QComboBox>(*w, "Span")->setCurrentIndex(2);
        }
        w->resize(1000, 700);
        w->close();
    }
    EXPECT_FALSE(trend::readShowTrend(m_app));
    season::SeasonView kept;
    kept.tab = season::kDaysTab;
    kept.energySpan = 2;
    kept.days = QStringLiteral("7");
    kept.series[0] = false;
    kept.robust = false;
    kept.size = QSize(1000, 700);
    EXPECT_EQ(season::readSeasonView(m_app), kept);
    ASSERT_TRUE(trend::writeShowTrend(m_app, true));
    EXPECT_EQ(season::readSeasonView(m_app), kept);
    EXPECT_TRUE(trend::readShowTrend(m_app));

    auto w = open();
    // Kept at 1000 x 700, it opens within this screen (offscreen: 800 x 600).
    const QSize screen = w->screen()->availableGeometry().size();
    EXPECT_EQ(w->size(), QSize(1000, 700).boundedTo(screen));
    EXPECT_LE(w->width(), screen.width());
    EXPECT_LE(w->height(), screen.height());
    EXPECT_FALSE(child<QCheckBox>(*w, "ShowVolts")->isChecked());
    EXPECT_FALSE(child<QCheckBox>(*w, "RobustScale")->isChecked());
    EXPECT_EQ(child<QComboBox>(*w, "Span")->currentIndex(), 2);
    EXPECT_EQ(textOf(*w, "From"), QStringLiteral("2024-03-02"));
    ASSERT_TRUE(until(*w, &season::Season::daysShown, [&] { w->show(); }));
    EXPECT_EQ(w->findChild<QTabWidget*>(QStringLiteral("Views"))->currentIndex(), season::kDaysTab);
    EXPECT_EQ(w->days().panels.size(), 4u);
}

// Under a small and a large desktop font (and, run on the doubled screen, at 200 %), every
// caption of the window has the room its text needs.
TEST_F(SeasonWindow, EveryCaptionFitsItsControl)
{
    const QFont desktop = QApplication::font();
    for (const int points : {9, 16}) {
        QFont font = desktop;
        font.setPointSize(points);
        QApplication::setFont(font);
        auto w = open();
        ASSERT_TRUE(until(*w, &season::Season::energyShown, [&] { w->show(); }));
        for (const int tab : {season::kEnergyTab, season::kDaysTab}) {
            auto* views = w->findChild<QTabWidget*>(QStringLiteral("Views"));
            views->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            for (QWidget* c : w->findChildren<QWidget*>()) {
                const bool caption =
                    qobject_cast<QPushButton*>(c) || qobject_cast<QCheckBox*>(c) ||
                    qobject_cast<QComboBox*>(c) ||
                    (qobject_cast<QLabel*>(c) && !static_cast<QLabel*>(c)->wordWrap() &&
                     c->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored);
                if (!caption || !c->isVisible())
                    continue;
                EXPECT_LE(c->sizeHint().width(), c->width())
                    << points << " pt " << c->objectName().toStdString();
            }
            const QTabBar* bar = views->tabBar();
            for (int i = 0; i < views->count(); ++i) {
                EXPECT_LT(bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                          bar->tabRect(i).width());
            }
        }
    }
    QApplication::setFont(desktop);
}

TEST(SeasonView, DamagedKeysReadAsTheirDefaults)
{
    const season::SeasonView standard;
    for (const char* bytes :
         {"", "<SeasonTab>12</SeasonTab>", "<SeasonTab>-1</SeasonTab>",
          "<SeasonEnergy>3</SeasonEnergy>", "<SeasonSeries>1101</SeasonSeries>",
          "<SeasonSeries>11a11</SeasonSeries>", "<SeasonRobust>2</SeasonRobust>",
          "<SeasonWidth>90</SeasonWidth><SeasonHeight>700</SeasonHeight>",
          "<SeasonWidth>900</SeasonWidth>", "<SeasonDays>2024-03-09..2024-03-01</SeasonDays>",
          "<SeasonDays>2023-01-01..2024-03-01</SeasonDays>", "<SeasonDays>31</SeasonDays>"})
        EXPECT_EQ(season::seasonViewFrom(bytes), standard) << bytes;
    EXPECT_EQ(season::seasonViewFrom("<SeasonDays> 2024-03-01..2024-03-09 </SeasonDays>").days,
              QStringLiteral("2024-03-01..2024-03-09"));
}

TEST(KeyedSettings, OnlyTheGivenKeysChangeAndEveryOtherLineStays)
{
    EXPECT_EQ(core::withKeys({}, QStringLiteral("View Settings"), {{QStringLiteral("A"), "1"}}),
              QByteArray("View Settings\r\n\r\n<A>1</A>\r\n"));
    const QByteArray before("View Settings\r\n\r\n<ShowTrend>0</ShowTrend>\r\nodd line\n<B>x</B>");
    EXPECT_EQ(core::withKeys(before, QStringLiteral("View Settings"),
                             {{QStringLiteral("B"), "y"}, {QStringLiteral("C"), "z"}}),
              QByteArray("View Settings\r\n\r\n<ShowTrend>0</ShowTrend>\r\nodd line\n<B>y</B>\r\n"
                         "<C>z</C>\r\n"));
    // A closing tag before the opening one reads as no value: the stray tags go, the key is added.
    EXPECT_EQ(
        core::withKeys("x\r\n</B><B>1\r\n", QStringLiteral("V"), {{QStringLiteral("B"), "2"}}),
        QByteArray("x\r\n1\r\n<B>2</B>\r\n"));
    // Stray tags nested in each other: taking one out must not leave another behind.
    EXPECT_EQ(core::withKeys("</B</B>><<B>B>", QStringLiteral("V"), {{QStringLiteral("B"), "2"}}),
              QByteArray("\r\n<B>2</B>\r\n"));
}

struct TickCase
{
    double low, high;
    int atMost;
    double step, first, last;
};

TEST(Ticks, RoundStepsCoverTheRange)
{
    for (const TickCase& c :
         {TickCase{0, 2.05, 6, 0.5, 0, 2.5}, TickCase{0, 56050, 6, 20000, 0, 60000},
          TickCase{11.8, 14.3, 5, 1, 11, 15}, TickCase{-480, 950, 4, 500, -500, 1000},
          TickCase{5, 5, 4, 0.5, 4.5, 5.5}, TickCase{0, 0, 4, 1, -1, 1}}) {
        const season::Ticks t = season::roundTicks(c.low, c.high, c.atMost);
        EXPECT_DOUBLE_EQ(t.step, c.step) << c.low << ".." << c.high;
        EXPECT_DOUBLE_EQ(t.values.front(), c.first) << c.low << ".." << c.high;
        EXPECT_DOUBLE_EQ(t.values.back(), c.last) << c.low << ".." << c.high;
    }
    // The robust range is a sorted array's 0.1st and 99.9th percentile, whatever the order fed.
    std::mt19937 random(7);
    for (const std::size_t n : {1u, 2u, 999u, 1001u, 52704u}) {
        std::vector<float> lows(n), highs(n);
        season::PanelRange robust(n, true), all(n, false);
        for (std::size_t i = 0; i < n; ++i) {
            lows[i] = float(random() % 1000);
            highs[i] = lows[i] + float(random() % 50);
            robust.add(lows[i], highs[i]);
            all.add(lows[i], highs[i]);
        }
        std::sort(lows.begin(), lows.end());
        std::sort(highs.begin(), highs.end());
        EXPECT_EQ(robust.range().low, lows[std::size_t(0.001 * double(n - 1))]) << n;
        EXPECT_EQ(robust.range().high, highs[std::size_t(0.999 * double(n - 1))]) << n;
        EXPECT_EQ(all.range().low, lows.front()) << n;
        EXPECT_EQ(all.range().high, highs.back()) << n;
    }
    const season::Ticks inside = season::insideTicks(8, 128, 3);
    EXPECT_EQ(inside.values, (std::vector<double>{50, 100}));
    EXPECT_DOUBLE_EQ(inside.high, 134);
    EXPECT_GE(season::insideTicks(12.5, 12.5, 3).values.size(), 2u);
    EXPECT_EQ(season::tickText(0.5, 0.5), QStringLiteral("0.5"));
    EXPECT_EQ(season::tickText(20000, 20000), QStringLiteral("20000"));
    EXPECT_EQ(season::energyUnit(0.68).name, QStringLiteral("Wh"));
    EXPECT_EQ(season::energyUnit(2.05).name, QStringLiteral("kWh"));
}

} // namespace
