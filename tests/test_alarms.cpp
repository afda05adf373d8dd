#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "alarms/alarmmonitor.h"
#include "alarms/alarmmqtt.h"
#include "alarms/alarmswindow.h"
#include "alarms/alarmtexts.h"
#include "alarms/autostart.h"
#include "tests/envguard.h"
#include "tests/fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

using alarms::Kind;

const QDateTime kStart(QDate(2024, 3, 7), QTime(14, 5, 0));

// ---- the rule, on a fake clock -------------------------------------------------------------

struct Seen
{
    Kind kind;
    bool raised;
    double value;
};

class Monitor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
        c[Kind::BattLow] = {true, 11.8, 0.3, 10};
        c[Kind::NoData] = {true, 120, 0, 0};
        m_monitor.setConfig(c);
        QObject::connect(&m_monitor, &alarms::AlarmMonitor::changed,
                         [this](Kind k, bool raised, double value, const QDateTime&) {
                             m_seen.push_back({k, raised, value});
                         });
    }
    // Frames every second at volts from fromS to toS (exclusive).
    void frames(int fromS, int toS, const std::function<double(int)>& volts)
    {
        for (int s = fromS; s < toS; ++s) {
            core::QuantityValues v{};
            v[core::kVolts] = volts(s);
            m_monitor.onReading(v, s * 1000LL, kStart.addSecs(s));
            m_monitor.onTick(s * 1000LL + 500, kStart.addSecs(s));
        }
    }
    alarms::AlarmMonitor m_monitor;
    std::vector<Seen> m_seen;
};

TEST_F(Monitor, RaisedAfterItsDelayOnceNoFlappingAndClearedPastTheHysteresis)
{
    frames(0, 9, [](int) { return 11.6; });
    EXPECT_TRUE(m_seen.empty()) << "9 s of a 10 s delay";
    frames(9, 15, [](int) { return 11.6; });
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(m_seen[0].kind, Kind::BattLow);
    EXPECT_TRUE(m_seen[0].raised);
    EXPECT_EQ(m_seen[0].value, 11.6);
    frames(15, 300, [](int s) { return s % 3 == 0 ? 11.7 : (s % 3 == 1 ? 11.9 : 12.1); });
    EXPECT_EQ(m_seen.size(), 1u) << "a value wandering around the level changes nothing";
    frames(300, 301, [](int) { return 12.2; });
    ASSERT_EQ(m_seen.size(), 2u);
    EXPECT_FALSE(m_seen[1].raised);
    EXPECT_EQ(m_seen[1].value, 12.2);
    EXPECT_TRUE(m_monitor.raised().empty());
}

TEST_F(Monitor, WanderingBelowAndAboveNeverRaises)
{
    frames(0, 600, [](int s) { return s % 2 ? 11.7 : 11.9; });
    EXPECT_TRUE(m_seen.empty());
}

TEST_F(Monitor, StaleDataRaisesNothingButNoData)
{
    frames(0, 5, [](int) { return 11.0; });
    for (int s = 5; s < 400; ++s)
        m_monitor.onTick(s * 1000LL, kStart.addSecs(s));
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(m_seen[0].kind, Kind::NoData);
    EXPECT_TRUE(m_seen[0].raised);
    EXPECT_EQ(m_seen[0].value, 120);
    frames(400, 401, [](int) { return 12.5; });
    ASSERT_EQ(m_seen.size(), 2u);
    EXPECT_EQ(m_seen[1].kind, Kind::NoData);
    EXPECT_FALSE(m_seen[1].raised);
}

TEST_F(Monitor, SilenceHoldsBackNotificationsForItsMinutes)
{
    frames(0, 11, [](int) { return 11.6; });
    EXPECT_TRUE(m_monitor.notifies(Kind::BattLow));
    m_monitor.silenceRaised();
    EXPECT_FALSE(m_monitor.notifies(Kind::BattLow));
    EXPECT_TRUE(m_monitor.notifies(Kind::NoData));
    frames(11, 11 + 59 * 60, [](int) { return 11.6; });
    EXPECT_FALSE(m_monitor.notifies(Kind::BattLow));
    frames(11 + 59 * 60, 11 + 61 * 60, [](int) { return 11.6; });
    EXPECT_TRUE(m_monitor.notifies(Kind::BattLow));
    EXPECT_EQ(m_monitor.raised().size(), 1u) << "the line stays while silenced";
}

// Setup or Calibrate has the line: nothing is evaluated, and the quiet counts from its return.
TEST_F(Monitor, WhileTheLineIsAwayNothingIsRaisedAndNoDataCountsFromItsReturn)
{
    frames(0, 10, [](int) { return 12.5; });
    m_monitor.setLineAway(true, 10000);
    for (int s = 10; s < 400; ++s)
        m_monitor.onTick(s * 1000LL, kStart.addSecs(s));
    EXPECT_TRUE(m_seen.empty()) << "390 s away, 120 s the level";
    m_monitor.setLineAway(false, 400000);
    for (int s = 400; s < 520; ++s)
        m_monitor.onTick(s * 1000LL, kStart.addSecs(s));
    EXPECT_TRUE(m_seen.empty()) << "119 s since the line came back";
    m_monitor.onTick(520000, kStart.addSecs(520));
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(m_seen[0].kind, Kind::NoData);
    EXPECT_EQ(m_seen[0].value, 120);
}

// A state is known from the first reading that decides it, and said once; a reading beyond
// Level still within its Delay decides nothing.
TEST_F(Monitor, AStateIsKnownFromItsFirstEvaluationOnly)
{
    std::vector<std::pair<Kind, bool>> evaluated;
    QObject::connect(&m_monitor, &alarms::AlarmMonitor::evaluated,
                     [&](Kind k, bool raised) { evaluated.emplace_back(k, raised); });
    m_monitor.onTick(0, kStart);
    EXPECT_FALSE(m_monitor.known(Kind::NoData)) << "a tick before any frame decides nothing";
    frames(0, 5, [](int) { return 11.6; });
    EXPECT_FALSE(m_monitor.known(Kind::BattLow)) << "low for 5 s of a 10 s delay";
    EXPECT_TRUE(m_monitor.known(Kind::NoData));
    EXPECT_FALSE(m_monitor.known(Kind::BattHigh)) << "off";
    frames(5, 6, [](int) { return 12.5; });
    EXPECT_TRUE(m_monitor.known(Kind::BattLow));
    EXPECT_EQ(evaluated,
              (std::vector<std::pair<Kind, bool>>{{Kind::NoData, false}, {Kind::BattLow, false}}));
    EXPECT_TRUE(m_seen.empty());
}

// A state restored from the log stands until the readings clear it, which is a change of its own.
TEST_F(Monitor, ARestoredAlarmStandsUntilTheReadingsClearIt)
{
    std::vector<std::pair<Kind, bool>> evaluated;
    QObject::connect(&m_monitor, &alarms::AlarmMonitor::evaluated,
                     [&](Kind k, bool raised) { evaluated.emplace_back(k, raised); });
    const QDateTime since = kStart.addSecs(-600);
    m_monitor.restore(Kind::BattLow, true, 11.5, since);
    m_monitor.restore(Kind::BattHigh, true, 15.5, since);
    EXPECT_EQ(evaluated, (std::vector<std::pair<Kind, bool>>{{Kind::BattLow, true}}))
        << "an alarm that is off is not restored";
    EXPECT_EQ(m_monitor.raised(), (std::vector<alarms::RaisedAlarm>{{Kind::BattLow, 11.5, since}}));
    frames(0, 30, [](int) { return 11.9; });
    EXPECT_TRUE(m_seen.empty()) << "within the hysteresis";
    frames(30, 31, [](int) { return 12.2; });
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_FALSE(m_seen[0].raised);
}

// The alarms raised above their Level, each fed its own quantity once a second: raised once its
// value has been beyond Level (strictly) for Delay seconds of readings that keep coming, held
// while the value stays within Hysteresis of Level, cleared past it. Readings further apart than
// the line's stale time (30 s) break the run, so the Delay counts again from the first reading
// after the gap.
TEST(MonitorAboveLevel, EachKindRaisedClearedAndItsRunBrokenByAGapInTheReadings)
{
    struct Step
    {
        double value;
        int seconds;
        bool raisedAfter;
        int quietBefore = 0; // seconds of ticks without a reading before this step
    };
    struct Row
    {
        const char* name;
        Kind kind;
        core::Quantity quantity;
        alarms::AlarmSettings settings;
        std::vector<Step> steps;
        const char* wsUnits;
        const char* shownWhenRaised; // the main window's line has this while it is raised
    };
    const Row rows[] = {
        {"BattHigh",
         Kind::BattHigh,
         core::kVolts,
         {true, 14.8, 0.3, 10},
         {{14.8, 30, false}, // at Level is not above it
          {15.1, 10, false},
          {15.1, 1, true},
          {14.6, 20, true}, // within the hysteresis
          {14.4, 1, false}},
         "km/h",
         "Battery high 15.1 V"},
        {"AmpsHigh charging",
         Kind::AmpsHigh,
         core::kAmps,
         {true, 30, 2, 10},
         {{31, 10, false}, {31, 1, true}, {28.5, 20, true}, {27.9, 1, false}},
         "km/h",
         "Current high 31 A"},
        // The current runs both ways: a heavy discharge is below Level, not above it, and a
        // hysteresis that reaches below 0 A is cleared only by a discharge past it.
        {"AmpsHigh negative current",
         Kind::AmpsHigh,
         core::kAmps,
         {true, 30, 60, 10},
         {{-45, 30, false}, {35, 10, false}, {35, 1, true}, {-29, 20, true}, {-31, 1, false}},
         "km/h",
         "Current high 35 A"},
        {"RpmHigh",
         Kind::RpmHigh,
         core::kRpm,
         {true, 600, 50, 10},
         {{650, 10, false}, {650, 1, true}, {560, 20, true}, {549, 1, false}},
         "km/h",
         "Mill RPM high 650 RPM"},
        // The wind is compared as the reading has it, in the user's unit, and said in it.
        {"WindHigh in mph",
         Kind::WindHigh,
         core::kWind,
         {true, 50, 5, 10},
         {{50, 20, false}, {55, 10, false}, {55, 1, true}, {46, 20, true}, {44.9, 1, false}},
         "mph",
         "Wind high 55 mph"},
        // 8 s above Level, then 32 s between two readings: the run starts again after the gap.
        {"BattHigh across a gap",
         Kind::BattHigh,
         core::kVolts,
         {true, 14.8, 0.3, 10},
         {{15.1, 8, false}, {15.1, 10, false, 31}, {15.1, 1, true}},
         "km/h",
         "Battery high 15.1 V"},
        // Readings 30 s apart still make one run: raised at the first reading after the quiet.
        {"BattHigh across the stale time",
         Kind::BattHigh,
         core::kVolts,
         {true, 14.8, 0.3, 10},
         {{15.1, 8, false}, {15.1, 1, true, 29}},
         "km/h",
         "Battery high 15.1 V"},
        // The same after a longer quiet, in another unit.
        {"WindHigh across a gap",
         Kind::WindHigh,
         core::kWind,
         {true, 50, 5, 10},
         {{60, 9, false}, {60, 10, false, 40}, {60, 1, true}},
         "m/s",
         "Wind high 60 m/s"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        alarms::AlarmMonitor monitor;
        alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
        c[row.kind] = row.settings;
        monitor.setConfig(c);
        std::vector<Seen> seen;
        QObject::connect(&monitor, &alarms::AlarmMonitor::changed,
                         [&](Kind k, bool raised, double value, const QDateTime&) {
                             seen.push_back({k, raised, value});
                         });
        int s = 0;
        int changes = 0;
        bool raised = false;
        std::optional<double> raisedBy;
        for (const Step& step : row.steps) {
            for (const int end = s + step.quietBefore; s < end; ++s)
                monitor.onTick(s * 1000LL, kStart.addSecs(s));
            for (const int end = s + step.seconds; s < end; ++s) {
                core::QuantityValues v{};
                v[row.quantity] = step.value;
                monitor.onReading(v, s * 1000LL, kStart.addSecs(s));
                monitor.onTick(s * 1000LL + 500, kStart.addSecs(s));
            }
            ASSERT_EQ(monitor.isRaised(row.kind), step.raisedAfter)
                << step.value << " for " << step.seconds << " s, to " << s << " s";
            if (step.raisedAfter != raised) {
                ++changes;
                if (step.raisedAfter) {
                    raisedBy = step.value;
                    const QString line =
                        alarms::alarmLine(monitor.raised(), QString::fromLatin1(row.wsUnits),
                                          kStart.date(), QLocale::c());
                    EXPECT_TRUE(line.contains(QString::fromLatin1(row.shownWhenRaised)))
                        << line.toStdString();
                }
                raised = step.raisedAfter;
            }
        }
        ASSERT_EQ(seen.size(), std::size_t(changes)) << "each change said once, nothing else";
        for (std::size_t k = 0; k < seen.size(); ++k) {
            EXPECT_EQ(seen[k].kind, row.kind);
            EXPECT_EQ(seen[k].raised, k % 2 == 0);
        }
        ASSERT_TRUE(raisedBy);
        EXPECT_EQ(seen[0].value, *raisedBy);
    }
}

// ---- texts, log, MQTT -----------------------------------------------------------

TEST(AlarmTexts, LogLineLineCaptionAndNotification)
{
    QLocale::setDefault(QLocale::c());
    const QDateTime at(QDate(2024, 3, 7), QTime(14, 5, 7));
    EXPECT_EQ(
        alarms::alarmLogLine(Kind::BattLow, true, 11.62, at),
        QByteArray("<A>BattLow</A><S>on</S><D>2024_3_7</D><T>14:05:07</T><VAL>11.62</VAL>\r\n"));
    EXPECT_EQ(
        alarms::alarmLogLine(Kind::NoData, false, 125, at),
        QByteArray("<A>NoData</A><S>off</S><D>2024_3_7</D><T>14:05:07</T><VAL>125</VAL>\r\n"));
    EXPECT_EQ(
        alarms::alarmLine({{Kind::BattLow, 11.62, at}, {Kind::NoData, 125, at}}, "km/h", at.date()),
        "Alarm: Battery low 11.62 V since 14:05:07; No data 125 s since 14:05:07");
    EXPECT_EQ(alarms::alarmsCaption(0), "Alarms");
    EXPECT_EQ(alarms::alarmsCaption(2), "Alarms (2)");
    const alarms::Notification n =
        alarms::notificationFor(Kind::BattLow, true, 11.62, {true, 11.8, 0.3, 10}, "km/h", at);
    EXPECT_EQ(n.summary, "Battery low: 11.62 V");
    EXPECT_TRUE(n.critical);
    EXPECT_FALSE(alarms::notificationFor(Kind::WindHigh, true, 70, {}, "km/h", at).critical);
}

using AlarmLog = AppDirTest;

TEST_F(AlarmLog, AppendedWholeInOrder)
{
    const QDateTime at(QDate(2024, 3, 7), QTime(14, 5, 7));
    ASSERT_TRUE(alarms::appendAlarmLog(m_app, Kind::BattLow, true, 11.62, at));
    ASSERT_TRUE(alarms::appendAlarmLog(m_app, Kind::BattLow, false, 12.2, at.addSecs(60)));
    EXPECT_EQ(
        fileBytes(m_app.logsDir() + "alarms.txt"),
        QByteArray("<A>BattLow</A><S>on</S><D>2024_3_7</D><T>14:05:07</T><VAL>11.62</VAL>\r\n"
                   "<A>BattLow</A><S>off</S><D>2024_3_7</D><T>14:06:07</T><VAL>12.2</VAL>\r\n"));
    const logging::FileWrite w = alarms::alarmLogWrite(m_app, Kind::BattLow, true, 11.62, at);
    EXPECT_EQ(w.kind, logging::FileWrite::Kind::Append);
    EXPECT_EQ(w.path, m_app.logsDir() + "alarms.txt");
}

TEST_F(AlarmLog, TheLatestLineOfEachKindIsReadFromTheLogsEnd)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime at(QDate(2024, 3, 7), QTime(14, 5, 7));
    QByteArray log;
    // Old lines enough that the reader starts inside one of them.
    while (log.size() < alarms::kLogTailBytes + 100)
        log += alarms::alarmLogLine(Kind::BattHigh, true, 15, at.addDays(-30));
    log += alarms::alarmLogLine(Kind::BattLow, true, 11.62, at);
    log += "<A>BattLow</A><S>off</S><D>2024_13_7</D><T>14:06:00</T><VAL>12</VAL>\r\n";
    log += "<A>SolarLow</A><S>on</S><D>2024_3_7</D><T>14:06:00</T><VAL>1</VAL>\r\n";
    log += "<A>NoData</A><S>maybe</S><D>2024_3_7</D><T>14:06:00</T><VAL>1</VAL>\r\n";
    log += alarms::alarmLogLine(Kind::NoData, false, 125, at.addSecs(60));
    log += alarms::alarmLogLine(Kind::BattHigh, false, 14.2, at.addSecs(70)).chopped(2);
    QDir().mkpath(m_app.logsDir());
    ASSERT_TRUE(core::replaceFile(alarms::alarmLogPath(m_app), log));
    const std::vector<alarms::LoggedState> expected{
        {Kind::BattLow, true, 11.62, at},
        {Kind::BattHigh, false, 14.2, at.addSecs(70)},
        {Kind::NoData, false, 125, at.addSecs(60)},
    };
    EXPECT_EQ(alarms::readLastLoggedStates(m_app), expected);
    QLocale::setDefault(QLocale::c());
}

TEST(AlarmMqtt, StatesAndDiscoveryOfTheAlarmsThatAreOn)
{
    const publish::Message on = alarms::alarmStateMessage("tessaly", "plant", Kind::BattLow, true);
    EXPECT_EQ(on, (publish::Message{"tessaly/plant/alarm/BattLow", "ON", 1, true}));
    alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
    c[Kind::BattLow].on = true;
    c[Kind::RpmHigh].on = true;
    const auto messages = alarms::alarmDiscovery({"tessaly", "plant", "km/h", "Tessaly"}, c, true);
    ASSERT_EQ(messages.size(), alarms::kKindCount);
    EXPECT_EQ(messages[0].topic, "homeassistant/binary_sensor/tessaly_plant/alarm_battlow/config");
    EXPECT_TRUE(messages[0].payload.contains("\"device_class\":\"battery\""));
    EXPECT_TRUE(messages[3].payload.contains("\"device_class\":\"problem\""));
    EXPECT_TRUE(messages[1].payload.isEmpty()) << "an alarm that is off is removed";
    for (const auto& m : alarms::alarmDiscovery({"tessaly", "plant", "km/h", "Tessaly"}, c, false))
        EXPECT_TRUE(m.payload.isEmpty() && m.retain);
}

using AlarmsWindow = AppDirTest;

TEST_F(AlarmsWindow, RefusesBadInputSavesAndWritesThenRemovesTheAutostartEntry)
{
    QTemporaryDir home;
    const EnvGuard config("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    // No session bus here: the window says so instead of notifying. The guard puts the address
    // back for the tests after this one, however this one ends.
    const EnvGuard bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    {
        alarms::Alarms window(m_app);
        const alarms::AlarmsControls& c = window.controls();
        EXPECT_TRUE(c.Status->text().contains("Alarms are off")) << "the missing file is said";
        EXPECT_TRUE(c.Status->text().contains("No desktop notifications"))
            << c.Status->text().toStdString();
        const alarms::AlarmRowControls& low = c.rows[std::size_t(Kind::BattLow)];
        low.On->setChecked(true);
        low.Level->setText("eleven");
        c.Save->click();
        ASSERT_EQ(m_messages.size(), 1);
        EXPECT_TRUE(m_messages[0].contains("BattLowLevel")) << m_messages[0].toStdString();
        EXPECT_FALSE(QFile::exists(alarms::alarmsCfgPath(m_app)));
        low.Level->setText("11.9");
        c.Autostart->setChecked(true);
        c.Save->click();
        EXPECT_EQ(window.result(), QDialog::Accepted);
    }
    const alarms::AlarmsConfig saved = alarms::readAlarmsConfig(m_app);
    EXPECT_EQ(saved[Kind::BattLow], (alarms::AlarmSettings{true, 11.9, 0.3, 60}));
    const QString entry = alarms::autostartPath(QCoreApplication::applicationName());
    EXPECT_TRUE(QFile::exists(entry));
    {
        alarms::Alarms window(m_app);
        EXPECT_TRUE(window.controls().Autostart->isChecked());
        window.controls().Autostart->setChecked(false);
        window.controls().Save->click();
    }
    EXPECT_FALSE(QFile::exists(entry));
}

// CurveLow's delay is minutes of wind while the header says seconds: its row says so itself,
// and no other row does.
TEST_F(AlarmsWindow, CurveLowsDelaySaysMinutes)
{
    const EnvGuard bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    alarms::Alarms window(m_app);
    window.show();
    const auto* head = window.findChild<QLabel*>(QStringLiteral("Head3"));
    ASSERT_TRUE(head);
    EXPECT_EQ(head->text(), QStringLiteral("Delay (s)"));
    const auto* unit = window.findChild<QLabel*>(QStringLiteral("CurveLowDelayUnit"));
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->text(), QStringLiteral("min"));
    EXPECT_TRUE(unit->isVisible());
    const QLineEdit* delay = window.controls().rows[std::size_t(Kind::CurveLow)].Delay;
    EXPECT_FALSE(delay->geometry().intersects(unit->geometry()));
    EXPECT_LE(unit->fontMetrics().horizontalAdvance(unit->text()), unit->width());
    EXPECT_TRUE(delay->accessibleName().endsWith(u"delay in minutes"));
    // CurveLow's and Stopped's, whose delays are minutes.
    EXPECT_EQ(window.findChildren<QLabel*>(QRegularExpression(QStringLiteral("DelayUnit$"))).size(),
              2);
}

} // namespace
