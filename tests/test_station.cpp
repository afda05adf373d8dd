#include "core/files.h"
#include "season/season.h"
#include "tests/logger_window.h"
#include "tests/notifysocket.h"
#include "tools/daylog.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThread>

#include <atomic>

namespace {

using Station = LoggerWindow;

// A disk that holds each sync of the station's disk thread until the test lets it go: the
// writer's calls stand still there while the plant goes on.
class HeldDisk
{
public:
    HeldDisk()
    {
        core::setBeforeSync([this] {
            if (QThread::currentThread() == m_plantThread)
                m_syncedOnPlantThread = true;
            // Only the station's disk thread meets the held disk: the spool's place is another.
            if (QThread::currentThread()->objectName() != u"StationDisk")
                return;
            ++m_syncs;
            m_gate.acquire();
            m_gate.release();
        });
    }
    ~HeldDisk()
    {
        release();
        core::setBeforeSync({});
    }
    void release()
    {
        if (!m_released.exchange(true))
            m_gate.release();
    }
    int syncs() const { return m_syncs; }
    bool syncedOnPlantThread() const { return m_syncedOnPlantThread; }

private:
    const QThread* m_plantThread = QThread::currentThread();
    QSemaphore m_gate{0};
    std::atomic<bool> m_released{false};
    std::atomic<int> m_syncs{0};
    std::atomic<bool> m_syncedOnPlantThread{false};
};

// The disk is the disk thread's: while a sync stands still, the title follows every frame and
// no sync runs on the plant's thread.
TEST_F(Station, TheTitleFollowsFramesWhileTheDiskIsHeld)
{
    writeProg(ProgFile{.Savehtml = "1", .SaveExcel = "1"});
    auto pty = line(1);
    auto w = start();
    HeldDisk disk;
    station::StationProbe::logTick(w->station());
    ASSERT_TRUE(waitFor([&] { return disk.syncs() > 0; }));
    for (int volts : {10, 11, 12}) {
        const std::string frame = "[<V>" + std::to_string(volts * 40) + "</V><I>530</I>]\r\n";
        const QString title = QStringLiteral("Logger  %1 V  ").arg(volts);
        send(*pty, frame);
        ASSERT_TRUE(waitFor([&] { return w->windowTitle().startsWith(title); })) << volts;
    }
    // The log, history and spreadsheet lines (no template here, so no page): the first waits.
    EXPECT_EQ(disk.syncs(), 1);
    disk.release();
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(disk.syncs(), 3);
    EXPECT_FALSE(disk.syncedOnPlantThread());
    EXPECT_EQ(fileBytes(m_app.dailyLog(m_now.date())),
              "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:05</T>\r\n");
}

// A disk that stops answering at close: the close ends at its deadline, what waited (the record
// stuck in its sync and the two behind it) is kept from a snapshot, and the next start writes
// each record once, although the stuck one reached its file meanwhile.
TEST_F(Station, AStuckDiskAtCloseCostsNoRecordAndNoHang)
{
    const QString state = m_app.path(QStringLiteral("state"));
    const ScopedEnv stateHome("XDG_STATE_HOME", state.toUtf8());
    auto pty = line(1);
    const QString log = m_app.dailyLog(m_now.date());
    auto w = start();
    // The start's own request (the last run's spool) has been answered.
    ASSERT_TRUE(waitFor([&] { return w->station().status().writes.takenUpTo >= 1; }));
    {
        HeldDisk disk;
        child<QPushButton>(*w, "StartLogging")->click();
        station::StationProbe::logTick(w->station());
        ASSERT_TRUE(waitFor([&] { return disk.syncs() > 0; }));
        m_now = m_now.addSecs(60);
        station::StationProbe::logTick(w->station());
        m_now = m_now.addSecs(60);
        station::StationProbe::logTick(w->station());
        // The plant says so once the disk has been silent long enough.
        m_monotonicShiftMs += station::Station::kDiskSilentMs;
        ASSERT_TRUE(
            waitFor([&] { return w->statusText().contains(u"has not answered since"); }, 5000))
            << w->statusText().toStdString();
        const station::CloseResult result = w->plant().close(std::chrono::milliseconds(600));
        EXPECT_TRUE(result.diskSilent);
        EXPECT_FALSE(result.allWritten);
        ASSERT_TRUE(result.keptIn) << result.spoolError.toStdString();
        EXPECT_TRUE(result.keptIn->startsWith(state)) << result.keptIn->toStdString();
        EXPECT_TRUE(w->plant().diskLeftBehind());
        // The disk comes back before the program has ended: the stuck append lands, and the
        // writer writes nothing more (the rest is the snapshot's) and leaves its spool alone.
        disk.release();
        station::StationProbe::waitForDisk(w->station());
        EXPECT_EQ(fileBytes(log).count("\r\n"), 1) << fileBytes(log).data();
        ASSERT_TRUE(QFileInfo::exists(*result.keptIn));
    }
    w.reset();
    auto again = start();
    station::StationProbe::waitForDisk(again->station());
    EXPECT_EQ(fileBytes(log), "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:05</T>\r\n"
                              "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:06</T>\r\n"
                              "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:07</T>\r\n");
}

// Energy comes only from fresh data: a pulled line at 1200 W adds nothing more, however long
// the energy ticks go on.
TEST_F(Station, APulledLineAddsNoEnergy)
{
    auto pty = line(1);
    auto w = start();
    double announced = 0;
    QObject::connect(&w->station(), &station::Station::energyAdded,
                     [&](const QDateTime&, double wattHours) { announced += wattHours; });
    send(*pty, "[<V>960</V><I>612</I>]\r\n"); // 24 V, 50 A
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kWatts] == 1200; }));
    m_now = m_now.addSecs(5);
    station::StationProbe::energyTick(w->station());
    EXPECT_DOUBLE_EQ(w->wattHourTotal(), 1200.0 / 720);
    pty->close();
    ASSERT_TRUE(waitFor([&] { return !w->portOpen(); }));
    for (int tick = 0; tick < 12; ++tick) {
        m_now = m_now.addSecs(5);
        station::StationProbe::energyTick(w->station());
    }
    EXPECT_DOUBLE_EQ(w->wattHourTotal(), 1200.0 / 720);
    EXPECT_DOUBLE_EQ(announced, 1200.0 / 720);
    // The same while the line is handed to another window.
    pty = line(1);
    ASSERT_TRUE(waitFor([&] { return w->portOpen(); }));
    send(*pty, "[<V>960</V><I>612</I>]\r\n");
    ASSERT_TRUE(waitFor([&] { return w->statusText().contains(u"No data") == false; }));
    m_now = m_now.addSecs(5);
    station::StationProbe::energyTick(w->station());
    EXPECT_DOUBLE_EQ(w->wattHourTotal(), 2 * 1200.0 / 720);
    w->station().handOver();
    m_now = m_now.addSecs(60);
    station::StationProbe::energyTick(w->station());
    EXPECT_DOUBLE_EQ(w->wattHourTotal(), 2 * 1200.0 / 720);
}

// A logging tick that comes first on a new date restarts the total, so yesterday's energy never
// reaches the new day's page.
TEST_F(Station, TheFirstTickOfANewDateRestartsTheTotal)
{
    writeProg(ProgFile{.Savehtml = "1"});
    auto pty = line(1);
    auto w = start();
    m_now = QDateTime(QDate(2024, 3, 7), QTime(23, 59, 50));
    send(*pty, "[<V>960</V><I>612</I>]\r\n");
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kWatts] == 1200; }));
    m_now = m_now.addSecs(5);
    station::StationProbe::energyTick(w->station());
    EXPECT_GT(w->wattHourTotal(), 0);
    m_now = QDateTime(QDate(2024, 3, 8), QTime(0, 0, 12)); // the first seconds were missed
    logTick(*w);
    EXPECT_EQ(w->wattHourTotal(), 0);
}

// The stale-data watch measures on the monotonic clock: setting the wall clock back an hour
// does not suspend it.
TEST_F(Station, TheStaleWatchGoesOnWhenTheClockIsSetBack)
{
    auto pty = line(1);
    auto w = start();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));
    m_now = m_now.addSecs(-3600);
    m_monotonicShiftMs += 3600 * 1000 + station::Station::kStaleAfterMs;
    ASSERT_TRUE(waitFor([&] { return w->statusText().contains(u"No data since 14:05:07"); }))
        << w->statusText().toStdString();
}

// The views' work is not the plant's: with the Season window reading a year of day files with
// no summaries kept yet, the title follows every frame. (That the reading leaves the loop
// turning throughout is SeasonColdYear.TheLoopTurnsWhileAYearIsRead.)
TEST_F(Station, TheTitleFollowsFramesWhileSeasonReadsAYearCold)
{
    const QDate newYear(2024, 1, 1);
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    const std::string day = sim::dayLogText({1, 1440, 0, 60});
    for (int d = 0; d < 366; ++d) {
        QFile f(m_app.dailyLog(newYear.addDays(d)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(day.data(), qint64(day.size())), qint64(day.size()));
    }
    m_now = QDateTime(QDate(2024, 12, 31), QTime(12, 0));
    auto pty = line(1);
    auto w = start();
    bool followed = false;
    bool shown = false;
    onModal(
        [&](QWidget& modal) {
            auto* season = qobject_cast<season::Season*>(&modal);
            ASSERT_NE(season, nullptr);
            QObject::connect(season, &season::Season::daysShown, [&] { shown = true; });
            child<QPushButton>(modal, "ThisYear")->click();
            for (int volts : {10, 11, 12}) {
                const std::string frame =
                    "[<V>" + std::to_string(volts * 40) + "</V><I>530</I>]\r\n";
                send(*pty, frame);
                ASSERT_TRUE(waitFor([&] {
                    return w->windowTitle().startsWith(QStringLiteral("Logger  %1 V  ").arg(volts));
                })) << volts;
            }
            followed = true;
            EXPECT_TRUE(waitFor([&] { return shown; }, 90000));
            modal.close();
        },
        10000);
    child<QPushButton>(*w, "Season")->click();
    EXPECT_TRUE(followed);
    EXPECT_TRUE(shown);
}

} // namespace
