// The turbine's health in the running plant: a reference curve and frames at half of it raise
// Power curve low once and clear it when the power returns, never while the battery is full; a
// curve file of another unit is kept aside by the plant alone, with no window to ask; a site's
// altitude moves a minute to the bin of its wind at sea level's density; a restart after a disk
// that stood still at close starts from every curve minute and alarm line it kept.

#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "alarms/alarmmqtt.h"
#include "alarms/alarmtexts.h"
#include "curve/curvesettings.h"
#include "curve/refcurve.h"
#include "tests/envguard.h"
#include "tests/logger_window.h"

#include <QSemaphore>
#include <QThread>
#include <atomic>

namespace {

// With kSettings: 5 m/s of wind and 12.8 V at 9 A (115.2 W), 14.4 V at 9 A (129.6 W, the bank
// full) or 12.8 V at 18 A (230.4 W).
const std::string kHalf = "[<V>512</V><I>530</I><R>10</R><M>0</M><S>25</S>]\r\n";
const std::string kFull = "[<V>576</V><I>530</I><R>10</R><M>0</M><S>25</S>]\r\n";
const std::string kWhole = "[<V>512</V><I>548</I><R>10</R><M>0</M><S>25</S>]\r\n";
// 11.6 V at 18 A, below BattLow's 11.8 V.
const std::string kLow = "[<V>464</V><I>548</I><R>10</R><M>0</M><S>25</S>]\r\n";

// The reference promises 230.4 W at 5 m/s.
const QByteArray kReference = "Reference Power Curve\r\n<Units>m/s</Units>\r\n"
                              "<V>3</V><W>0</W>\r\n<V>5</V><W>230.4</W>\r\n<V>10</V><W>600</W>\r\n";

int minutesIn(const curve::PowerCurve& curve)
{
    int minutes = 0;
    for (const curve::Bin& bin : curve.bins())
        minutes += bin.minutes;
    return minutes;
}

// A disk that stops answering for good: the first station disk thread to sync once it is made
// stands still in that sync until the process ends, as on a folder that hangs; the disk threads
// of later runs write as usual. What it waits on is never freed, since the thread never leaves.
class LostDisk
{
public:
    LostDisk()
        : m_held(new Held)
    {
        Held* held = m_held;
        core::setBeforeSync([held] {
            const QThread* self = QThread::currentThread();
            if (self->objectName() != u"StationDisk")
                return;
            const QThread* first = nullptr;
            if (!held->thread.compare_exchange_strong(first, self) && first != self)
                return;
            ++held->syncs;
            held->never.acquire();
        });
    }
    ~LostDisk() { core::setBeforeSync({}); }
    LostDisk(const LostDisk&) = delete;
    LostDisk& operator=(const LostDisk&) = delete;
    int syncs() const { return m_held->syncs; }

private:
    struct Held
    {
        std::atomic<const QThread*> thread{nullptr};
        std::atomic<int> syncs{0};
        QSemaphore never{0};
    };
    Held* m_held;
};

class Health : public LoggerWindow
{
protected:
    void SetUp() override
    {
        LoggerWindow::SetUp();
        writeProg(ProgFile{.WSUnits = "m/s"});
    }
    // CurveLow on at 70 % with 10 % hysteresis over 10 minutes of wind.
    void curveLowOn()
    {
        QByteArray cfg =
            *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
        cfg.replace("<CurveLowOn>0</CurveLowOn>", "<CurveLowOn>1</CurveLowOn>");
        cfg.replace("<CurveLowDelay>120</CurveLowDelay>", "<CurveLowDelay>10</CurveLowDelay>");
        cfg.replace("<Notify>1</Notify>", "<Notify>0</Notify>");
        ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), cfg));
        ASSERT_TRUE(core::replaceFile(curve::refCurvePath(m_app), kReference));
    }
    // BattLow on with a 10 s delay.
    void battLowOn()
    {
        QByteArray cfg =
            *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
        cfg.replace("<BattLowOn>0</BattLowOn>", "<BattLowOn>1</BattLowOn>");
        cfg.replace("<BattLowDelay>60</BattLowDelay>", "<BattLowDelay>10</BattLowDelay>");
        cfg.replace("<Notify>1</Notify>", "<Notify>0</Notify>");
        ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), cfg));
    }
    // Three frames a minute of the fake clock, each decoded before the clock moves on.
    void minutesOf(monitor::Logger& w, sim::PseudoTerminal& pty, const std::string& frame,
                   int minutes)
    {
        int frames = 0;
        const QMetaObject::Connection counting = QObject::connect(
            &w.station(), &station::Station::freshReading, [&frames] { ++frames; });
        for (int k = 0; k < minutes * 3; ++k) {
            ASSERT_TRUE(pty.write(frame));
            ASSERT_TRUE(waitFor([&] { return frames > k; }));
            m_now = m_now.addSecs(20);
        }
        QObject::disconnect(counting);
    }
};

TEST_F(Health, HalfTheReferencesPowerRaisesCurveLowOnceButNotWhileTheBatteryIsFull)
{
    curveLowOn();
    auto pty = line(1);
    auto w = start();
    EXPECT_TRUE(w->watchers().alarmsWarning().isEmpty())
        << w->watchers().alarmsWarning().toStdString();
    ASSERT_TRUE(w->watchers().curve().reference());
    auto* button = child<QPushButton>(*w, "Alarms");

    // A full bank: its 56 % is the charge controller's doing, left out and counted.
    minutesOf(*w, *pty, kFull, 15);
    EXPECT_EQ(w->watchers().raisedCount(), 0u);
    EXPECT_GE(w->watchers().curve().heldBackMinutes(), 14);
    EXPECT_FALSE(w->watchers().alarms().known(alarms::Kind::CurveLow));

    minutesOf(*w, *pty, kHalf, 12);
    ASSERT_TRUE(w->watchers().alarms().isRaised(alarms::Kind::CurveLow));
    EXPECT_EQ(button->text(), QStringLiteral("Alarms (1)"));
    EXPECT_TRUE(w->statusText().contains(u"Power curve low 50 %")) << w->statusText().toStdString();

    minutesOf(*w, *pty, kWhole, 12);
    EXPECT_FALSE(w->watchers().alarms().isRaised(alarms::Kind::CurveLow));
    EXPECT_EQ(button->text(), QStringLiteral("Alarms"));
    station::StationProbe::waitForDisk(w->station());
    const QByteArray log = fileBytes(alarms::alarmLogPath(m_app));
    EXPECT_EQ(log.count("<A>CurveLow</A><S>on</S>"), 1) << log.toStdString();
    EXPECT_EQ(log.count("<A>CurveLow</A><S>off</S>"), 1) << log.toStdString();
    EXPECT_TRUE(log.contains("<A>CurveLow</A><S>on</S><D>2024_3_7</D>"));
    EXPECT_TRUE(log.contains("<VAL>50</VAL>")) << log.toStdString();
}

// Without a reference the alarm cannot weigh anything, and the status line says so.
TEST_F(Health, CurveLowWithoutAReferenceIsSaid)
{
    curveLowOn();
    QFile::remove(curve::refCurvePath(m_app));
    auto w = start();
    EXPECT_TRUE(w->watchers().alarmsWarning().contains(u"no reference curve"));
    ASSERT_TRUE(core::replaceFile(curve::refCurvePath(m_app), "Reference Power Curve\r\n"));
    w->watchers().reload();
    EXPECT_TRUE(w->watchers().alarmsWarning().contains(u"The reference power curve is off"))
        << w->watchers().alarmsWarning().toStdString();
}

// An alarms.cfg written before CurveLow was known keeps every alarm it sets.
TEST(HealthAlarms, AFileWithoutCurveLowKeysKeepsTheOthers)
{
    QByteArray cfg =
        *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
    for (const char* key : {"On", "Level", "Hysteresis", "Delay"}) {
        const qsizetype at = cfg.indexOf(QByteArray("<CurveLow") + key);
        ASSERT_GE(at, 0);
        cfg.remove(at, cfg.indexOf('\n', at) + 1 - at);
    }
    cfg.replace("<BattLowOn>0</BattLowOn>", "<BattLowOn>1</BattLowOn>");
    QStringList problems;
    const alarms::AlarmsConfig read =
        alarms::parseAlarmsConfig(QString::fromLatin1(cfg), &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u';').toStdString();
    EXPECT_TRUE(read[alarms::Kind::BattLow].on);
    EXPECT_FALSE(read[alarms::Kind::CurveLow].on);
    // And a Delay of minutes is refused beyond the 30 days the plant keeps.
    EXPECT_TRUE(alarms::settingsProblem(alarms::Kind::CurveLow, {true, 70, 10, 0}));
    EXPECT_TRUE(alarms::settingsProblem(alarms::Kind::CurveLow, {true, 70, 10, 50000}));
    EXPECT_FALSE(alarms::settingsProblem(alarms::Kind::CurveLow, {true, 70, 10, 120}));
}

// Power curve low goes where the others go: its retained state topic, Home Assistant's discovery
// while it is on, and a notification that says the per cent.
TEST(HealthAlarms, CurveLowHasItsTopicDiscoveryAndNotification)
{
    using alarms::Kind;
    EXPECT_EQ(alarms::alarmStateMessage(QStringLiteral("tessaly"), QStringLiteral("mill"),
                                        Kind::CurveLow, true),
              (publish::Message{"tessaly/mill/alarm/CurveLow", "ON", 1, true}));
    alarms::AlarmsConfig config = alarms::defaultAlarmsConfig();
    const publish::DiscoveryInputs in{QStringLiteral("tessaly"), QStringLiteral("mill"),
                                      QStringLiteral("m/s"), QStringLiteral("Tessaly")};
    const auto payloadOf = [&in](const alarms::AlarmsConfig& c) {
        for (const publish::Message& m : alarms::alarmDiscovery(in, c, true)) {
            if (m.topic.endsWith("/alarm_curvelow/config"))
                return m.payload;
        }
        return QByteArray("none");
    };
    EXPECT_EQ(payloadOf(config), QByteArray()); // off: Home Assistant forgets it
    config[Kind::CurveLow].on = true;
    const QByteArray payload = payloadOf(config);
    EXPECT_TRUE(payload.contains("\"name\":\"Power curve low\"")) << payload.toStdString();
    EXPECT_TRUE(payload.contains("\"state_topic\":\"tessaly/mill/alarm/CurveLow\""));
    const alarms::Notification n =
        alarms::notificationFor(Kind::CurveLow, true, 50, config[Kind::CurveLow], {},
                                QDateTime(QDate(2024, 3, 7), QTime(14, 5, 7)), QLocale::c());
    EXPECT_EQ(n.summary, QStringLiteral("Power curve low: 50 %"));
    EXPECT_EQ(n.body, QStringLiteral("Raised at 14:05:07; the level is 70 %."));
}

// The plant alone, as tessalyd runs it: a curve measured in the user's own unit cannot become
// m/s bins, so it is kept whole as powercurve-<date>.txt, a new curve begins, and the status
// line says so.
TEST_F(Health, ACurveOfAnotherUnitIsKeptAsideByThePlantWithoutAWindow)
{
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    const QByteArray old = "<Units>WIND</Units><Width>1</Width>\r\n"
                           "<B>5</B><N>20</N><P>100</P><SD>0</SD>\r\n";
    ASSERT_TRUE(core::replaceFile(curve::powerCurvePath(m_app), old));
    plant::Plant plant(m_app, core::Clock{[this] {
                           return m_now;
                       }});
    // The curve is read behind the start's spool, and what it sets aside is kept behind that.
    ASSERT_TRUE(waitFor([&] { return plant.watchers().filesRead(); }));
    station::StationProbe::waitForDisk(plant.station());
    EXPECT_EQ(fileBytes(m_app.logsDir() + QStringLiteral("powercurve-2024-03-07.txt")), old);
    EXPECT_EQ(fileBytes(curve::powerCurvePath(m_app)),
              QByteArray("<Units>m/s</Units><Width>0.5</Width>\r\n"));
    EXPECT_TRUE(plant.watchers().alarmsWarning().contains(u"kept as powercurve-2024-03-07.txt"))
        << plant.watchers().alarmsWarning().toStdString();
    plant.close();
}

// At 2000 m a minute of 5 m/s makes the power of 4.68 m/s at sea level's density: it falls in
// the bin of 4.5, not of 5; the curve kept before, of winds as measured, is set aside.
TEST_F(Health, ASetAltitudeMovesAMinuteToTheBinOfItsSeaLevelWind)
{
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    const QByteArray old = "<Units>m/s</Units><Width>0.5</Width>\r\n"
                           "<B>5</B><N>20</N><P>100</P><SD>0</SD>\r\n";
    const struct
    {
        QByteArray metres;
        double centre;
    } runs[] = {{"0", 5}, {"2000", 4.5}};
    for (const auto& run : runs) {
        ASSERT_TRUE(
            core::replaceFile(curve::curveCfgPath(m_app), "Power Curve Settings\r\n\r\n<Altitude>" +
                                                              run.metres + "</Altitude>\r\n\r\n"));
        QFile::remove(curve::powerCurvePath(m_app));
        if (run.metres != "0") {
            ASSERT_TRUE(core::replaceFile(curve::powerCurvePath(m_app), old));
        }
        auto pty = line(1);
        auto w = start();
        minutesOf(*w, *pty, kWhole, 3);
        const std::vector<curve::Bin> bins = w->watchers().curve().curve().bins();
        ASSERT_EQ(bins.size(), 1u) << run.metres.toStdString();
        EXPECT_EQ(bins[0].centre, run.centre) << run.metres.toStdString();
        EXPECT_EQ(bins[0].minutes, 2);
        if (run.metres == "0")
            continue;
        station::StationProbe::waitForDisk(w->station());
        EXPECT_EQ(fileBytes(m_app.logsDir() + QStringLiteral("powercurve-2024-03-07.txt")), old);
        EXPECT_TRUE(w->watchers().alarmsWarning().contains(u"curve.cfg now asks"))
            << w->watchers().alarmsWarning().toStdString();
        w->watchers().saveCurve();
        station::StationProbe::waitForDisk(w->station());
        EXPECT_TRUE(fileBytes(curve::powerCurvePath(m_app))
                        .startsWith("<Units>m/s</Units><Width>0.5</Width><Altitude>2000</Altitude>"
                                    "\r\n<B>4.5</B><N>2</N>"));
    }
}

// The disk stands still at close with curve minutes and a BattLow line behind it: they are kept
// in the spool, and the next run reads the curve and the alarm log only once the spool has been
// written back. It starts from every minute (its next save keeps them all, not the older file's
// plus its own) and with BattLow raised as the last line says.
TEST_F(Health, ARestartAfterAStuckDiskStartsFromEveryCurveMinuteAndAlarmLine)
{
    const EnvGuard stateHome("XDG_STATE_HOME", m_app.path(QStringLiteral("state")).toUtf8());
    battLowOn();
    const QString curveFile = curve::powerCurvePath(m_app);
    auto pty = line(1);
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return w->station().status().writes.takenUpTo >= 1; }));
    minutesOf(*w, *pty, kWhole, 3);
    w->watchers().saveCurve();
    station::StationProbe::waitForDisk(w->station());
    const int saved = minutesIn(curve::loadPowerCurve(curveFile, 0.5));
    ASSERT_GT(saved, 0);

    LostDisk disk;
    station::StationProbe::logTick(w->station());
    ASSERT_TRUE(waitFor([&] { return disk.syncs() > 0; }));
    minutesOf(*w, *pty, kLow, 3);
    ASSERT_TRUE(w->watchers().alarms().isRaised(alarms::Kind::BattLow));
    const int kept = minutesIn(w->watchers().curve().curve());
    ASSERT_GT(kept, saved);
    const station::CloseResult result = w->plant().close(std::chrono::milliseconds(600));
    ASSERT_TRUE(result.diskSilent);
    ASSERT_TRUE(result.keptIn) << result.spoolError.toStdString();
    w.reset();
    ASSERT_EQ(minutesIn(curve::loadPowerCurve(curveFile, 0.5)), saved);
    ASSERT_FALSE(fileBytes(alarms::alarmLogPath(m_app)).contains("<A>BattLow</A>"));

    auto again = start();
    EXPECT_TRUE(waitFor([&] { return minutesIn(again->watchers().curve().curve()) == kept; }))
        << minutesIn(again->watchers().curve().curve()) << " minutes, not " << kept;
    EXPECT_TRUE(again->watchers().alarms().isRaised(alarms::Kind::BattLow));
    minutesOf(*again, *pty, kWhole, 3);
    const int total = minutesIn(again->watchers().curve().curve());
    EXPECT_GT(total, kept);
    again->plant().close();
    EXPECT_EQ(minutesIn(curve::loadPowerCurve(curveFile, 0.5)), total);
    const QByteArray log = fileBytes(alarms::alarmLogPath(m_app));
    EXPECT_EQ(log.count("<A>BattLow</A><S>on</S>"), 1) << log.toStdString();
}

// The spool's lines cannot be written back at the restart (the logs' disk is read-only): the
// curve and the alarm log are read with what still waits laid over them, so the next run starts
// from every minute and line all the same, and they reach the files once the disk takes writes.
TEST_F(Health, ARestartOnADiskThatRefusesWritesStartsFromWhatWaits)
{
    const EnvGuard stateHome("XDG_STATE_HOME", m_app.path(QStringLiteral("state")).toUtf8());
    battLowOn();
    SmallDisk logs(m_app.logsDir(), 1024);
    if (!logs.mounted())
        SKIP_OR_FAIL_IN_CI("no tmpfs: " << logs.error().toStdString());
    const QString curveFile = curve::powerCurvePath(m_app);
    auto pty = line(1);
    auto w = start();
    ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
    minutesOf(*w, *pty, kWhole, 3);
    w->watchers().saveCurve();
    station::StationProbe::waitForDisk(w->station());
    const int saved = minutesIn(curve::loadPowerCurve(curveFile, 0.5));
    ASSERT_GT(saved, 0);

    ASSERT_TRUE(logs.readOnly());
    minutesOf(*w, *pty, kLow, 3);
    ASSERT_TRUE(w->watchers().alarms().isRaised(alarms::Kind::BattLow));
    const int kept = minutesIn(w->watchers().curve().curve());
    ASSERT_GT(kept, saved);
    const station::CloseResult result = w->plant().close();
    ASSERT_FALSE(result.allWritten);
    ASSERT_TRUE(result.keptIn) << result.spoolError.toStdString();
    w.reset();

    auto again = start();
    ASSERT_TRUE(waitFor([&] { return again->watchers().filesRead(); }));
    EXPECT_EQ(minutesIn(again->watchers().curve().curve()), kept);
    EXPECT_TRUE(again->watchers().alarms().isRaised(alarms::Kind::BattLow));
    EXPECT_EQ(minutesIn(curve::loadPowerCurve(curveFile, 0.5)), saved) << "nothing written yet";
    ASSERT_TRUE(logs.readWrite());
    minutesOf(*again, *pty, kWhole, 3);
    const int total = minutesIn(again->watchers().curve().curve());
    EXPECT_GT(total, kept);
    EXPECT_TRUE(again->plant().close().allWritten);
    EXPECT_EQ(minutesIn(curve::loadPowerCurve(curveFile, 0.5)), total);
    const QByteArray log = fileBytes(alarms::alarmLogPath(m_app));
    EXPECT_EQ(log.count("<A>BattLow</A><S>on</S>"), 1) << log.toStdString();
}

} // namespace
