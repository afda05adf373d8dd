#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "season/completeness.h"
#include "season/energybars.h"
#include "season/energyledger.h"
#include "season/seasonview.h"
#include "tests/envguard.h"
#include "tests/logger_window.h"
#include "tests/watchersprobe.h"
#include "trend/livetrend.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QTabBar>
#include <QTabWidget>
#include <array>

// The main window with what watches the plant beside the records: the hourly energy ledger,
// the alarms and the live trend, through a real line, real files and the real disk thread.
namespace {

using Watchers = LoggerWindow;

const std::string k1200W = "[<V>960</V><I>612</I>]\r\n"; // 24 V, 50 A with kSettings

// Frames every 5 s of the fake clock with the energy tick after each.
void framesFor(monitor::Logger& w, sim::PseudoTerminal& pty, const std::string& frame, int seconds,
               QDateTime& now)
{
    int frames = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&w.station(), &station::Station::freshReading, [&] { ++frames; });
    for (int s = 0; s < seconds; s += 5) {
        ASSERT_TRUE(pty.write(frame));
        // The frame is decoded before the clock moves on.
        ASSERT_TRUE(waitFor([&] { return frames > s / 5; }));
        now = now.addSecs(5);
        station::StationProbe::energyTick(w.station());
    }
    QObject::disconnect(counting);
}

// An hour's energy reaches the ledger when the hour ends, and the hour so far at close; the
// lines add up to what the watt-hour total grew by.
TEST_F(Watchers, TheLedgerHoldsEachHoursEnergy)
{
    m_now = QDateTime(QDate(2024, 3, 7), QTime(14, 59, 0));
    auto pty = line(1);
    auto w = start();
    framesFor(*w, *pty, k1200W, 60, m_now);
    const double firstHour = w->wattHourTotal();
    EXPECT_GT(firstHour, 15.0);
    framesFor(*w, *pty, k1200W, 30, m_now);
    const double total = w->wattHourTotal();
    w->close();
    const season::LedgerContent ledger = season::readLedger(m_app);
    EXPECT_EQ(ledger.badLines, 0);
    ASSERT_EQ(ledger.days.count(QDate(2024, 3, 7)), 1u);
    const season::DayEnergy& day = ledger.days.at(QDate(2024, 3, 7));
    EXPECT_GT(day[14], 0.0);
    EXPECT_GT(day[15], 0.0);
    EXPECT_NEAR(day[14] + day[15], total, 0.01);
}

// Each clock hour's fresh minutes and records reach logs/completeness.txt when the hour ends,
// and the hour so far at close: three minutes of frames from 14:58 with a record each minute.
TEST_F(Watchers, TheCompletenessFileHoldsEachHoursMinutesAndRecords)
{
    writeProg(ProgFile{.LogDelay = "600", .LogOn = "1"});
    m_now = QDateTime(QDate(2024, 3, 7), QTime(14, 58, 0));
    auto pty = line(1);
    auto w = start();
    for (int minute = 0; minute < 3; ++minute) {
        framesFor(*w, *pty, k1200W, 60, m_now);
        logTick(*w);
    }
    w->close();
    const season::CompletenessContent read = season::readCompleteness(m_app);
    EXPECT_EQ(read.badLines, 0);
    ASSERT_EQ(read.days.count(QDate(2024, 3, 7)), 1u);
    const auto& hours = read.days.at(QDate(2024, 3, 7));
    ASSERT_EQ(hours.size(), 2u);
    const season::CompletenessLine& first = hours.begin()->second;
    const season::CompletenessLine& second = std::next(hours.begin())->second;
    EXPECT_EQ(first.hour, 14);
    EXPECT_EQ(first.freshMinutes, 2);
    EXPECT_EQ(first.records, 1); // the tick at 15:00 is the next hour's
    EXPECT_EQ(first.intervalSeconds, 600);
    EXPECT_EQ(second.hour, 15);
    EXPECT_EQ(second.freshMinutes, 1);
    EXPECT_EQ(second.records, 2);
}

// The two days in Berlin when the clocks change, walked for 40 minutes across the change at
// 1200 W, a frame and the energy tick every 5 s and a record every minute: the day file has one
// record a minute, at the time the wall clock shows (in spring no 02:xx, in autumn the 02:xx
// minutes twice), and the ledger one line for each real hour with its offset, the spring day's
// hour 2 empty.
TEST_F(Watchers, TheDaysTheClocksChangeInTheDayFileAndTheLedger)
{
    const LocalZone berlin("Europe/Berlin");
    if (QDateTime(QDate(2024, 7, 1), QTime(12, 0)).offsetFromUtc() != 7200) {
        SKIP_OR_FAIL_IN_CI("the time zone Europe/Berlin is not installed (Debian: tzdata)");
    }
    struct Minutes
    {
        QTime first;
        int count;
    };
    struct Row
    {
        const char* name;
        QDateTime startUtc;
        std::array<Minutes, 2> records;    // the record times, before and after the change
        std::array<const char*, 2> ledger; // the start of each hour's line
    };
    const Row rows[] = {
        {"spring, 23 hours",
         QDateTime(QDate(2024, 3, 31), QTime(0, 40), Qt::UTC), // 01:40 +0100
         {{{QTime(1, 41), 19}, {QTime(3, 0), 21}}},
         {"<D>2024_3_31</D><H>1</H><Z>+0100</Z><WH>", "<D>2024_3_31</D><H>3</H><Z>+0200</Z><WH>"}},
        {"autumn, 25 hours",
         QDateTime(QDate(2024, 10, 27), QTime(0, 40), Qt::UTC), // 02:40 +0200
         {{{QTime(2, 41), 19}, {QTime(2, 0), 21}}},
         {"<D>2024_10_27</D><H>2</H><Z>+0200</Z><WH>",
          "<D>2024_10_27</D><H>2</H><Z>+0100</Z><WH>"}},
    };
    // Logging on from the start, so the records carry the peaks; its own timer's 10 minutes never
    // pass while the test runs, so every record is one of the test's ticks.
    writeProg(ProgFile{.LogDelay = "600", .LogOn = "1"});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_now = row.startUtc.toLocalTime();
        const QDate day = m_now.date();
        auto pty = line(1);
        auto w = start();
        for (int minute = 0; minute < 40; ++minute) {
            framesFor(*w, *pty, k1200W, 60, m_now);
            logTick(*w);
        }
        EXPECT_EQ(m_now, row.startUtc.addSecs(40 * 60));
        const double total = w->wattHourTotal();
        w->close();
        QByteArray records;
        for (const Minutes& m : row.records) {
            for (int k = 0; k < m.count; ++k) {
                records += "<V>24</V><I>50</I><W>1200</W><R>0</R><S>0</S><M>0</M><T>" +
                           m.first.addSecs(60 * k).toString(u"HH:mm").toLatin1() + "</T>\r\n";
            }
        }
        EXPECT_EQ(fileBytes(m_app.dailyLog(day)), records);

        const QList<QByteArray> lines = fileBytes(season::energyLedgerFile(m_app)).split('\n');
        ASSERT_EQ(lines.size(), 3) << "two lines, each ended";
        for (std::size_t k = 0; k < row.ledger.size(); ++k) {
            const QByteArray& l = lines[qsizetype(k)];
            ASSERT_TRUE(l.startsWith(row.ledger[k])) << l.toStdString();
            // 20 minutes at 1200 W, give or take the one 5 s tick at the turn of the hour.
            const double wh = l.mid(l.indexOf("<WH>") + 4).split('<').front().toDouble();
            EXPECT_NEAR(wh, 400, 1200.0 / 720 + 1e-9) << l.toStdString();
        }
        const season::LedgerContent ledger = season::readLedger(m_app);
        EXPECT_EQ(ledger.badLines, 0);
        ASSERT_EQ(ledger.days.count(day), 1u);
        EXPECT_NEAR(season::dayWattHours(ledger.days.at(day)), total, 1e-9);
        if (day.month() == 3) {
            EXPECT_EQ(ledger.days.at(day)[2], 0.0) << "the hour the spring day has not";
        }
        ASSERT_TRUE(QFile::remove(m_app.dailyLog(day)));
        ASSERT_TRUE(QFile::remove(season::energyLedgerFile(m_app)));
    }
}

// BattLow at 11.8 V with 0.3 V hysteresis and 10 s delay: 11.6 V for 15 s raises it once, in
// the log, on the status line and on the button; 12.2 V clears it.
TEST_F(Watchers, ALowBatteryIsRaisedLoggedAndCleared)
{
    QByteArray cfg =
        *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
    cfg.replace("<BattLowOn>0</BattLowOn>", "<BattLowOn>1</BattLowOn>");
    cfg.replace("<BattLowDelay>60</BattLowDelay>", "<BattLowDelay>10</BattLowDelay>");
    cfg.replace("<Notify>1</Notify>", "<Notify>0</Notify>");
    ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), cfg));
    auto pty = line(1);
    auto w = start();
    auto* button = child<QPushButton>(*w, "Alarms");
    EXPECT_EQ(button->text(), QStringLiteral("Alarms"));
    framesFor(*w, *pty, "[<V>464</V><I>530</I>]\r\n", 20, m_now); // 11.6 V
    ASSERT_TRUE(waitFor([&] { return button->text() == QStringLiteral("Alarms (1)"); }));
    EXPECT_TRUE(w->statusText().contains(u"11.6")) << w->statusText().toStdString();
    auto* silence = child<QPushButton>(*w, "Silence");
    ASSERT_TRUE(silence->isEnabled());
    silence->click();
    EXPECT_TRUE(w->watchers().alarms().silenced(alarms::Kind::BattLow));
    framesFor(*w, *pty, "[<V>488</V><I>530</I>]\r\n", 10, m_now); // 12.2 V
    ASSERT_TRUE(waitFor([&] { return button->text() == QStringLiteral("Alarms"); }));
    EXPECT_FALSE(silence->isEnabled());
    station::StationProbe::waitForDisk(w->station());
    const QByteArray log = fileBytes(alarms::alarmLogPath(m_app));
    EXPECT_EQ(log.count("<S>on</S>"), 1) << log.toStdString();
    EXPECT_EQ(log.count("<S>off</S>"), 1) << log.toStdString();
}

// A raised alarm stands in a banner across the window, above the status line, in both programs;
// every designed control stays where it was, and the banner goes when the alarm clears.
TEST_F(Watchers, ARaisedAlarmShowsInABannerAboveTheStatusLine)
{
    QByteArray cfg =
        *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
    cfg.replace("<BattLowOn>0</BattLowOn>", "<BattLowOn>1</BattLowOn>");
    cfg.replace("<BattLowDelay>60</BattLowDelay>", "<BattLowDelay>10</BattLowDelay>");
    cfg.replace("<Notify>1</Notify>", "<Notify>0</Notify>");
    ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), cfg));
    for (const auto& variant : {programs::tessaly(), programs::corvenna()}) {
        const std::string name = variant.name.toStdString();
        auto pty = line(1);
        auto w = start(variant);
        auto* banner = child<QLabel>(*w, "AlarmBanner");
        auto* status = child<QLabel>(*w, "Status");
        EXPECT_FALSE(banner->isVisible()) << name;
        framesFor(*w, *pty, "[<V>464</V><I>530</I>]\r\n", 20, m_now); // 11.6 V
        ASSERT_TRUE(waitFor([&] { return banner->isVisible(); })) << name;
        const QString text = banner->text();
        EXPECT_TRUE(text.contains(u"Battery low") && text.contains(u"11.6 V") &&
                    text.contains(u"since 14:0"))
            << name << ": " << text.toStdString();
        EXPECT_TRUE(banner->font().bold()) << name;
        EXPECT_GE(QFontInfo(banner->font()).pixelSize(), 24) << name;
        EXPECT_EQ(banner->palette().color(QPalette::Window), QColor(192, 0, 0)) << name;
        EXPECT_TRUE(banner->autoFillBackground()) << name;
        // Whole, above the status line, below everything designed.
        EXPECT_GE(banner->height(), banner->heightForWidth(banner->width())) << name;
        EXPECT_LE(banner->geometry().bottom(), status->y()) << name;
        for (const monitor::ControlPlace& c : variant.controls) {
            EXPECT_FALSE(banner->geometry().intersects(c.rect))
                << name << " " << c.name.toStdString();
            const QString object =
                c.index >= 0 ? QStringLiteral("%1_%2").arg(c.name).arg(c.index) : c.name;
            EXPECT_EQ(child<QWidget>(*w, object.toLatin1().constData())->geometry(), c.rect)
                << name << " " << object.toStdString();
        }
        EXPECT_FALSE(banner->geometry().intersects(variant.trend)) << name;
        framesFor(*w, *pty, "[<V>488</V><I>530</I>]\r\n", 10, m_now); // 12.2 V
        ASSERT_TRUE(waitFor([&] { return !banner->isVisible(); })) << name;
        EXPECT_EQ(status->y(), w->findChild<QWidget*>(QStringLiteral("LoggerContent"))->height() -
                                   status->height())
            << name;
        w->close();
    }
}

// While Setup or Calibrate has the line, the seconds keep ticking but NoData is not raised; its
// quiet counts from the line's return.
TEST_F(Watchers, WhileAnotherWindowHasTheLineNoDataIsNotRaised)
{
    QByteArray cfg =
        *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
    cfg.replace("<NoDataOn>0</NoDataOn>", "<NoDataOn>1</NoDataOn>");
    cfg.replace("<Notify>1</Notify>", "<Notify>0</Notify>");
    ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), cfg));
    auto pty = line(1);
    auto w = start();
    int frames = 0;
    QObject::connect(&w->station(), &station::Station::freshReading, [&] { ++frames; });
    ASSERT_TRUE(pty->write(k1200W));
    ASSERT_TRUE(waitFor([&] { return frames == 1; }));
    w->station().handOver();
    for (int s = 0; s < 300; ++s) {
        m_now = m_now.addSecs(1);
        plant::WatchersProbe::secondTick(w->watchers());
    }
    EXPECT_EQ(w->watchers().raisedCount(), 0u) << "300 s with the line away";
    w->station().takeBack(false);
    m_now = m_now.addSecs(119);
    plant::WatchersProbe::secondTick(w->watchers());
    EXPECT_EQ(w->watchers().raisedCount(), 0u) << "119 s since the line came back";
    m_now = m_now.addSecs(1);
    plant::WatchersProbe::secondTick(w->watchers());
    ASSERT_EQ(w->watchers().raisedCount(), 1u);
    EXPECT_TRUE(w->watchers().alarmLine().contains(u"No data 120 s"))
        << w->watchers().alarmLine().toStdString();
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(fileBytes(alarms::alarmLogPath(m_app)).count("<S>on</S>"), 1);
}

// The trend stands in free room: every designed control looks the same with it shown and
// hidden, in both programs.
TEST_F(Watchers, TheTrendMovesNoDesignedControl)
{
    for (const auto& variant : {programs::tessaly(), programs::corvenna()}) {
        auto pty = line(1);
        auto w = start(variant);
        send(*pty, k1200W);
        ASSERT_TRUE(waitFor([&] { return w->windowTitle().contains(u"1200"); }));
        auto* content = child<QWidget>(*w, "LoggerContent");
        auto* trend = child<trend::LiveTrend>(*w, "LiveTrend");
        ASSERT_TRUE(trend->isVisible());
        const QImage shown = content->grab().toImage();
        child<QCheckBox>(*w, "ShowTrend")->click();
        ASSERT_TRUE(waitFor([&] { return !trend->isVisible(); }));
        const QImage hidden = content->grab().toImage();
        for (const monitor::ControlPlace& c : variant.controls) {
            const QRect r(c.rect.topLeft() * shown.devicePixelRatio(),
                          c.rect.size() * shown.devicePixelRatio());
            EXPECT_EQ(shown.copy(r), hidden.copy(r))
                << variant.name.toStdString() << " " << c.name.toStdString() << c.index;
        }
        for (const monitor::ControlPlace& c : variant.controls)
            EXPECT_FALSE(variant.trend.intersects(c.rect)) << c.name.toStdString();
        child<QCheckBox>(*w, "ShowTrend")->click();
        w->close();
    }
}

// After a restart the trend has the day so far from today's day file, and keeps its ring while
// the history window is open and after it closes.
TEST_F(Watchers, TheTrendStartsWithTodaysDayFileAndKeepsItsRing)
{
    QByteArray day;
    for (int m = 0; m < 14 * 60; m += 10)
        day += "<V>12.5</V><I>3</I><W>37.5</W><R>100</R><S>10</S><M>0</M><T>" +
               QByteArray::number(m / 60) + ":" + QByteArray::number(m % 60) + "</T>\r\n";
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    ASSERT_TRUE(core::replaceFile(m_app.logsDir() + "2024_3_7.txt", day));
    auto w = start();
    auto* trend = child<trend::LiveTrend>(*w, "LiveTrend");
    ASSERT_TRUE(waitFor([&] { return trend->ring().recent(24 * 3600).size() == 14 * 6; }))
        << trend->ring().recent(24 * 3600).size();
    onModal([](QWidget& history) { history.close(); });
    child<QPushButton>(*w, "ShowLogs")->click();
    EXPECT_EQ(trend->ring().recent(24 * 3600).size(), std::size_t(14 * 6));
    w->close();
}

// Corvenna's band below the design: over 150 pixels of chart under the trend's own row, and
// its controls (Silence, Web and the trend's box) on one row above it.
TEST_F(Watchers, CorvennasBandHasRoomToReadAndOneRowOfControls)
{
    auto w = start(programs::corvenna());
    auto* trend = child<trend::LiveTrend>(*w, "LiveTrend");
    EXPECT_GE(trend->height() - 22, 150);
    const QRect silence = child<QWidget>(*w, "Silence")->geometry();
    for (const char* name : {"Web", "ShowTrend"}) {
        const QRect r = child<QWidget>(*w, name)->geometry();
        EXPECT_TRUE(r.top() < silence.bottom() && r.bottom() > silence.top()) << name;
        EXPECT_LT(r.bottom(), trend->y()) << name;
    }
    w->close();
}

// The new buttons open their windows; the season's has the power curve, the reference, the
// battery's days and the site's wind beside its own views.
TEST_F(Watchers, SeasonAndAlarmsOpenTheirWindows)
{
    auto w = start();
    QStringList lastTabs;
    onModal([&](QWidget& season) {
        auto* tabs = season.findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        for (int k = std::max(0, tabs->count() - 4); k < tabs->count(); ++k)
            lastTabs << tabs->tabText(k);
    });
    child<QPushButton>(*w, "Season")->click();
    EXPECT_EQ(lastTabs, QStringList({"Power curve", "Reference", "Battery", "Wind"}));
    QString title;
    onModal([&](QWidget& window) { title = window.objectName(); });
    child<QPushButton>(*w, "Alarms")->click();
    EXPECT_FALSE(title.isEmpty());
}

// The Season window opened by its button reopens on the tab it was left on: the tab clicked on
// its bar with the mouse, the window left with Exit.
TEST_F(Watchers, SeasonReopensOnTheTabClickedBeforeExit)
{
    auto w = start();
    for (const int tab : {1, 5, 4, 0, 2}) {
        onModal([tab](QWidget& season) {
            QTabBar* bar = season.findChild<QTabWidget*>(QStringLiteral("Views"))->tabBar();
            const QPointF at = bar->tabRect(tab).center();
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent e(type, at, bar->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
                QApplication::sendEvent(bar, &e);
            }
            ASSERT_EQ(bar->currentIndex(), tab);
            child<QPushButton>(season, "Exit")->click();
        });
        child<QPushButton>(*w, "Season")->click();
        EXPECT_EQ(season::readSeasonView(m_app).tab, tab);
        int shown = -1;
        onModal([&shown](QWidget& season) {
            shown = season.findChild<QTabWidget*>(QStringLiteral("Views"))->currentIndex();
        });
        child<QPushButton>(*w, "Season")->click();
        EXPECT_EQ(shown, tab);
    }
}

} // namespace
