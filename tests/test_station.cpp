#include "core/files.h"
#include "tests/logger_window.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

#include <atomic>

namespace {

using Station = LoggerWindow;

// The disk is the disk thread's: with every sync taking 1.5 s, the title follows each frame
// within a second, and no sync runs on the window's thread.
TEST_F(Station, TheTitleFollowsFramesWhileTheDiskIsSlow)
{
    writeProg(ProgFile{.Savehtml = "1", .SaveExcel = "1"});
    auto pty = line(1);
    auto w = start();
    std::atomic<int> syncs{0};
    std::atomic<bool> syncedOnWindowThread{false};
    const QThread* windowThread = QThread::currentThread();
    core::setBeforeSync([&] {
        if (QThread::currentThread() == windowThread)
            syncedOnWindowThread = true;
        ++syncs;
        QThread::msleep(1500);
    });
    const auto restore = qScopeGuard([&] {
        station::StationProbe::waitForDisk(w->station());
        core::setBeforeSync({});
    });
    station::StationProbe::logTick(w->station());
    ASSERT_TRUE(waitFor([&] { return syncs > 0; }));
    for (int volts : {10, 11, 12}) {
        const std::string frame = "[<V>" + std::to_string(volts * 40) + "</V><I>530</I>]\r\n";
        const QString title = QStringLiteral("Logger  %1 V  ").arg(volts);
        QElapsedTimer since;
        since.start();
        send(*pty, frame);
        ASSERT_TRUE(waitFor([&] { return w->windowTitle().startsWith(title); }));
        EXPECT_LT(since.elapsed(), 1000) << volts;
    }
    // The log, history and spreadsheet lines (no template here, so no page): not all done yet.
    EXPECT_LT(syncs, 3);
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(syncs, 3);
    EXPECT_FALSE(syncedOnWindowThread);
    EXPECT_EQ(fileBytes(m_app.dailyLog(m_now.date())),
              "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:05</T>\r\n");
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

} // namespace
