// A turbine stopped in a good wind and one running away without charge: the rule's edges, their
// keys in alarms.cfg (a file without them, one written with them, damaged values), their texts,
// topics and row in the Alarms window, and both raised and cleared once through the running
// plant and its main window, on to the alarm log, the banner and the webhook.

#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "alarms/alarmmonitor.h"
#include "alarms/alarmmqtt.h"
#include "alarms/alarmswindow.h"
#include "alarms/alarmtexts.h"
#include "curve/refcurve.h"
#include "notify/notifyevent.h"
#include "publish/publishconfig.h"
#include "tests/envguard.h"
#include "tests/logger_window.h"
#include "tests/notifyreceivers.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

using alarms::AlarmSettings;
using alarms::Kind;

const QDateTime kStart(QDate(2024, 3, 7), QTime(14, 5, 0));

// ---- the rule, on a fake clock ---------------------------------------------------------------

// One reading a second for a number of seconds, after seconds of ticks without one.
struct Step
{
    double wind, rpm, amps, watts;
    int seconds;
    bool raisedAfter;
    int quietBefore = 0;
};

struct RuleCase
{
    const char* name;
    Kind kind;
    AlarmSettings settings;
    std::vector<Step> steps;
};

// Stopped at 6 m/s (1 of hysteresis) for 2 minutes; Runaway at 500 RPM (50 of hysteresis) below
// 0.5 A for 30 s. A run is counted from its first reading, so a Delay of d seconds raises at the
// reading d seconds after it: the (d + 1)th.
const AlarmSettings kStopped{true, 6, 1, 2};
const AlarmSettings kRunaway{true, 500, 50, 30, 0.5};

const RuleCase kRuleCases[] = {
    {"StoppedRaisedAfterItsMinutesAndClearedBelowTheHysteresis",
     Kind::Stopped,
     kStopped,
     {{10, 0, 0, 0, 120, false},
      {10, 0, 0, 0, 1, true},
      {5.5, 0, 0, 0, 60, true}, // within the hysteresis
      {4.9, 0, 0, 0, 1, false}}},
    {"StoppedNotAtTheLevelItself", Kind::Stopped, kStopped, {{6, 0, 0, 0, 600, false}}},
    {"StoppedClearedOnceTheRotorTurns",
     Kind::Stopped,
     kStopped,
     {{10, 0.5, 0.1, 1.3, 121, true}, {10, 4.9, 0, 0, 30, true}, {10, 5, 0, 0, 1, false}}},
    {"StoppedClearedOnceThereIsPower",
     Kind::Stopped,
     kStopped,
     {{10, 0, 0, 0, 121, true}, {10, 0, 0.4, 5, 1, false}}},
    // A load drawing on the bank is no power from the turbine.
    {"StoppedWithTheLoadDrawing", Kind::Stopped, kStopped, {{10, 0, -8, -100, 121, true}}},
    // One reading of a turning rotor, or of a calm, starts the minutes again.
    {"StoppedsDelayRestartsWhenTheRotorTurns",
     Kind::Stopped,
     kStopped,
     {{10, 0, 0, 0, 100, false},
      {10, 300, 9, 115, 1, false},
      {10, 0, 0, 0, 100, false},
      {10, 0, 0, 0, 20, false},
      {10, 0, 0, 0, 1, true}}},
    {"StoppedsDelayRestartsInACalm",
     Kind::Stopped,
     kStopped,
     {{10, 0, 0, 0, 100, false}, {3, 0, 0, 0, 1, false}, {10, 0, 0, 0, 120, false}}},
    // Frames stop coming for longer than the line's stale time: what came before does not count.
    {"StoppedsDelayRestartsAfterStaleFrames",
     Kind::Stopped,
     kStopped,
     {{10, 0, 0, 0, 100, false}, {10, 0, 0, 0, 120, false, 31}, {10, 0, 0, 0, 1, true}}},
    {"RunawayRaisedAfterItsSecondsAndClearedBelowTheHysteresis",
     Kind::Runaway,
     kRunaway,
     {{15, 900, 0.1, 1.2, 30, false},
      {15, 900, 0.1, 1.2, 1, true},
      {15, 460, 0.1, 1.2, 30, true}, // within the hysteresis
      {15, 449, 0.1, 1.2, 1, false}}},
    {"RunawayNotWithTheChargeAtItsAmps", Kind::Runaway, kRunaway, {{15, 900, 0.5, 6, 300, false}}},
    {"RunawayClearedOnceTheChargeFlows",
     Kind::Runaway,
     kRunaway,
     {{15, 900, -3, -36, 31, true}, {15, 900, 0.49, 6, 10, true}, {15, 900, 0.5, 6, 1, false}}},
    {"RunawaysDelayRestartsWhenTheChargeFlows",
     Kind::Runaway,
     kRunaway,
     {{15, 900, 0, 0, 20, false},
      {15, 900, 9, 115, 1, false},
      {15, 900, 0, 0, 30, false},
      {15, 900, 0, 0, 1, true}}},
    {"RunawaysDelayRestartsAfterStaleFrames",
     Kind::Runaway,
     kRunaway,
     {{15, 900, 0, 0, 25, false}, {15, 900, 0, 0, 30, false, 40}, {15, 900, 0, 0, 1, true}}},
};

class TurbineRule : public ::testing::TestWithParam<RuleCase>
{};

TEST_P(TurbineRule, RaisedAndClearedOnceOnFreshReadings)
{
    const RuleCase& c = GetParam();
    alarms::AlarmMonitor monitor;
    alarms::AlarmsConfig config = alarms::defaultAlarmsConfig();
    config[c.kind] = c.settings;
    monitor.setConfig(config);
    std::vector<std::pair<Kind, bool>> seen;
    QObject::connect(
        &monitor, &alarms::AlarmMonitor::changed,
        [&](Kind k, bool raised, double, const QDateTime&) { seen.emplace_back(k, raised); });
    int s = 0;
    std::vector<std::pair<Kind, bool>> expected;
    for (const Step& step : c.steps) {
        for (const int end = s + step.quietBefore; s < end; ++s)
            monitor.onTick(s * 1000LL, kStart.addSecs(s));
        for (const int end = s + step.seconds; s < end; ++s) {
            core::QuantityValues v{};
            v[core::kVolts] = 12.8;
            v[core::kWind] = step.wind;
            v[core::kRpm] = step.rpm;
            v[core::kAmps] = step.amps;
            v[core::kWatts] = step.watts;
            monitor.onReading(v, s * 1000LL, kStart.addSecs(s));
            monitor.onTick(s * 1000LL + 500, kStart.addSecs(s));
        }
        ASSERT_EQ(monitor.isRaised(c.kind), step.raisedAfter) << "to " << s << " s";
        if (expected.empty() ? step.raisedAfter : expected.back().second != step.raisedAfter)
            expected.emplace_back(c.kind, step.raisedAfter);
    }
    EXPECT_EQ(seen, expected) << "each change said once, nothing else";
}

INSTANTIATE_TEST_SUITE_P(Edges, TurbineRule, ::testing::ValuesIn(kRuleCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- alarms.cfg ------------------------------------------------------------------------------

using TurbineFile = AppDirTest;

QByteArray sample()
{
    return *core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
}

// The file without the keys of the two, as the version before them wrote it.
QByteArray withoutTurbineKeys(QByteArray text)
{
    for (const QString& key : alarms::keysOf(Kind::Stopped) + alarms::keysOf(Kind::Runaway)) {
        const qsizetype at = text.indexOf('<' + key.toLatin1() + '>');
        if (at >= 0)
            text.remove(at, text.indexOf('\n', at) + 1 - at);
    }
    return text;
}

QByteArray with(QByteArray text, const char* key, const char* value)
{
    const QByteArray open = QByteArray("<") + key + ">";
    const qsizetype from = text.indexOf(open) + open.size();
    return text.replace(from, text.indexOf("</", from) - from, value);
}

TEST_F(TurbineFile, AnOlderFileReadsAsBeforeAndOneWrittenWithThemKeepsTheOthersBytes)
{
    alarms::AlarmsConfig before = alarms::defaultAlarmsConfig();
    before[Kind::BattLow] = {true, 11.5, 0.4, 30};
    before[Kind::CurveLow].on = true;
    const QByteArray older = withoutTurbineKeys(alarms::alarmsConfigText(before));
    ASSERT_FALSE(older.contains("Stopped") || older.contains("Runaway"));
    QStringList problems;
    EXPECT_EQ(alarms::parseAlarmsConfig(QString::fromLatin1(older), &problems), before);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u';').toStdString();

    alarms::AlarmsConfig after = before;
    after[Kind::Stopped] = {true, 21.5, 3.5, 15};
    after[Kind::Runaway] = {true, 650, 40, 20, 1.5};
    ASSERT_TRUE(alarms::saveAlarmsConfig(m_app, after));
    const QByteArray written = fileBytes(alarms::alarmsCfgPath(m_app));
    EXPECT_EQ(withoutTurbineKeys(written), older);
    EXPECT_TRUE(written.contains("<CurveLowDelay>120</CurveLowDelay>\r\n<StoppedOn>1</StoppedOn>"
                                 "\r\n<StoppedLevel>21.5</StoppedLevel>\r\n<StoppedHysteresis>3.5"
                                 "</StoppedHysteresis>\r\n<StoppedDelay>15</StoppedDelay>\r\n"
                                 "<RunawayOn>1</RunawayOn>\r\n<RunawayLevel>650</RunawayLevel>\r\n"
                                 "<RunawayHysteresis>40</RunawayHysteresis>\r\n<RunawayDelay>20"
                                 "</RunawayDelay>\r\n<RunawayAmps>1.5</RunawayAmps>\r\n<Notify>"))
        << written.toStdString();
    QString warning;
    EXPECT_EQ(alarms::readAlarmsConfig(m_app, &warning), after);
    EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();

    // The sample holds both, off.
    const alarms::AlarmsConfig shipped = alarms::parseAlarmsConfig(QString::fromLatin1(sample()));
    EXPECT_EQ(shipped[Kind::Stopped], (AlarmSettings{false, 6, 1, 10}));
    EXPECT_EQ(shipped[Kind::Runaway], (AlarmSettings{false, 500, 50, 30, 0.5}));
}

TEST_F(TurbineFile, DamagedValuesTurnTheirAlarmOffAndAreNamed)
{
    const struct
    {
        const char* what;
        std::function<QByteArray(QByteArray)> edit;
        Kind off;
        std::vector<const char*> named;
    } cases[] = {
        {"the second level missing",
         [](QByteArray t) {
             return t.remove(t.indexOf("<RunawayAmps>"),
                             t.indexOf("<Notify>") - t.indexOf("<RunawayAmps>"));
         },
         Kind::Runaway,
         {"Turbine running away is off", "<RunawayAmps> is missing"}},
        {"letters for amps",
         [](QByteArray t) { return with(t, "RunawayAmps", "low"); },
         Kind::Runaway,
         {"<RunawayAmps> is \"low\""}},
        {"amps beyond the current's range",
         [](QByteArray t) { return with(t, "RunawayAmps", "1e308"); },
         Kind::Runaway,
         {"<RunawayAmps>", "outside -500 to 500"}},
        {"RPM beyond any mill's",
         [](QByteArray t) { return with(t, "RunawayLevel", "20000"); },
         Kind::Runaway,
         {"<RunawayLevel>"}},
        {"more than a day of minutes",
         [](QByteArray t) { return with(t, "StoppedDelay", "1441"); },
         Kind::Stopped,
         {"<StoppedDelay> is 1441, outside 0 to 1440 minutes"}},
        {"a hysteresis down to no wind",
         [](QByteArray t) { return with(t, "StoppedHysteresis", "6"); },
         Kind::Stopped,
         {"<StoppedHysteresis>", "could never clear"}},
        {"a negative wind",
         [](QByteArray t) { return with(t, "StoppedLevel", "-1"); },
         Kind::Stopped,
         {"<StoppedLevel>"}},
    };
    QByteArray on = with(with(sample(), "StoppedOn", "1"), "RunawayOn", "1");
    on = with(on, "BattLowOn", "1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QStringList problems;
        const alarms::AlarmsConfig read =
            alarms::parseAlarmsConfig(QString::fromLatin1(c.edit(on)), &problems);
        EXPECT_FALSE(read[c.off].on);
        EXPECT_EQ(read[c.off], alarms::facts(c.off).defaults);
        EXPECT_TRUE(read[Kind::BattLow].on) << "the others are kept";
        const Kind other = c.off == Kind::Stopped ? Kind::Runaway : Kind::Stopped;
        EXPECT_TRUE(read[other].on);
        const QString all = problems.join(u';');
        for (const char* name : c.named)
            EXPECT_TRUE(all.contains(QLatin1String(name))) << name << ": " << all.toStdString();
    }
}

// Stopped starts 3 m/s above the cut-in, in the user's unit.
TEST(TurbineDefaults, StoppedStartsThreeMetresASecondAboveTheCutIn)
{
    const struct
    {
        std::optional<double> cutIn;
        const char* units;
        double level, hysteresis;
    } cases[] = {
        {std::nullopt, "m/s", 6, 1}, {std::nullopt, "km/h", 21.6, 3.6}, {2.5, "m/s", 5.5, 1},
        {8, "mph", 14.7, 2.2},       {std::nullopt, "kn", 11.7, 1.9},   {4, "WIND", 7, 1},
    };
    for (const auto& c : cases) {
        const AlarmSettings s = alarms::stoppedDefaults(c.cutIn, QString::fromLatin1(c.units));
        EXPECT_EQ(s.level, c.level) << c.units;
        EXPECT_EQ(s.hysteresis, c.hysteresis) << c.units;
        EXPECT_FALSE(s.on);
        EXPECT_FALSE(alarms::settingsProblem(Kind::Stopped, s)) << c.units;
    }
}

// ---- texts, topics, the window ---------------------------------------------------------------

TEST(TurbineTexts, LineNotificationEventAndDiscovery)
{
    const QDateTime at(QDate(2024, 3, 7), QTime(14, 5, 7));
    const QLocale c = QLocale::c();
    EXPECT_EQ(alarms::alarmLine({{Kind::Stopped, 8.2, at}, {Kind::Runaway, 620, at}}, "m/s",
                                at.date(), c),
              "Alarm: Turbine stopped in wind 8.2 m/s since 14:05:07; Turbine running away "
              "620 RPM since 14:05:07");
    alarms::AlarmSettings stopped = kStopped;
    const alarms::Notification raised =
        alarms::notificationFor(Kind::Stopped, true, 8.2, stopped, "m/s", at, c);
    EXPECT_EQ(raised.summary, "Turbine stopped in wind: 8.2 m/s");
    EXPECT_EQ(
        raised.body,
        "Raised at 14:05:07; the level is 6 m/s, with the rotor still (below 5 RPM and 5 W).");
    EXPECT_FALSE(raised.critical);
    const alarms::Notification runaway =
        alarms::notificationFor(Kind::Runaway, true, 620, kRunaway, "m/s", at, c);
    EXPECT_EQ(runaway.summary, "Turbine running away: 620 RPM");
    EXPECT_EQ(runaway.body,
              "Raised at 14:05:07; the level is 500 RPM, with less than 0.5 A of charge.");
    EXPECT_TRUE(runaway.critical) << "an unloaded rotor may wreck itself";
    EXPECT_EQ(alarms::notificationFor(Kind::Runaway, false, 300, kRunaway, "m/s", at, c).summary,
              "Turbine running away cleared: 300 RPM");

    const notify::Event e =
        notify::alarmEvent(Kind::Stopped, true, 8.2, stopped, "km/h", at, "mill");
    EXPECT_EQ(e.kind, "Stopped");
    EXPECT_EQ(e.unit, "km/h");
    EXPECT_EQ(e.title, "Turbine stopped in wind: 8.2 km/h");

    EXPECT_EQ(alarms::alarmLogLine(Kind::Runaway, true, 620, at, c),
              "<A>Runaway</A><S>on</S><D>2024_3_7</D><T>14:05:07</T><VAL>620</VAL>\r\n");
    EXPECT_EQ(alarms::lastLoggedStates(alarms::alarmLogLine(Kind::Stopped, true, 8.2, at, c)),
              (std::vector<alarms::LoggedState>{{Kind::Stopped, true, 8.2, at}}));

    alarms::AlarmsConfig config = alarms::defaultAlarmsConfig();
    config[Kind::Stopped].on = true;
    const publish::DiscoveryInputs in{"tessaly", "mill", "m/s", "Tessaly"};
    QByteArray stoppedPayload, runawayPayload = "none";
    for (const publish::Message& m : alarms::alarmDiscovery(in, config, true)) {
        if (m.topic.endsWith("/alarm_stopped/config"))
            stoppedPayload = m.payload;
        if (m.topic.endsWith("/alarm_runaway/config"))
            runawayPayload = m.payload;
    }
    EXPECT_TRUE(stoppedPayload.contains("\"name\":\"Turbine stopped in wind\""))
        << stoppedPayload.toStdString();
    EXPECT_TRUE(stoppedPayload.contains("\"state_topic\":\"tessaly/mill/alarm/Stopped\""));
    EXPECT_EQ(runawayPayload, QByteArray()) << "off: Home Assistant forgets it";
    EXPECT_EQ(alarms::alarmStateMessage("tessaly", "mill", Kind::Runaway, true),
              (publish::Message{"tessaly/mill/alarm/Runaway", "ON", 1, true}));
}

using TurbineWindow = AppDirTest;

// Without the keys, or at the sample's values, the window shows Stopped at the reference's cut-in
// plus 3 m/s in km/h; as the owner set it, as set. Its delay says minutes; Runaway's amps have
// their own box, checked like the rest and saved.
TEST_F(TurbineWindow, ShowsTheirRowsChecksTheAmpsAndSaves)
{
    const EnvGuard home("XDG_CONFIG_HOME", QFile::encodeName(m_tmp.path()));
    const EnvGuard bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    ASSERT_TRUE(core::replaceFile(curve::refCurvePath(m_app),
                                  "Reference Power Curve\r\n<Units>m/s</Units>\r\n<V>2</V><W>0</W>"
                                  "\r\n<V>3</V><W>20</W>\r\n<V>10</V><W>600</W>\r\n"));
    const std::pair<QByteArray, const char*> files[] = {
        {withoutTurbineKeys(sample()), "21.6"},
        {with(sample(), "StoppedLevel", "30"), "30"},
        {sample(), "21.6"},
    };
    for (const auto& [file, level] : files) {
        ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), file));
        const alarms::Alarms shown(m_app);
        EXPECT_EQ(shown.controls().rows[std::size_t(Kind::Stopped)].Level->text(), level);
    }
    alarms::Alarms window(m_app);
    const alarms::AlarmsControls& c = window.controls();
    const alarms::AlarmRowControls& stopped = c.rows[std::size_t(Kind::Stopped)];
    const alarms::AlarmRowControls& runaway = c.rows[std::size_t(Kind::Runaway)];
    EXPECT_EQ(stopped.On->text(), "Turbine stopped in wind");
    EXPECT_EQ(stopped.Level->text(), "21.6"); // 3 m/s + 3 m/s
    EXPECT_EQ(stopped.Hysteresis->text(), "3.6");
    EXPECT_EQ(stopped.Unit->text(), "km/h");
    EXPECT_EQ(child<QLabel>(window, "StoppedDelayUnit")->text(), "min");
    EXPECT_TRUE(stopped.Delay->accessibleName().endsWith("delay in minutes"));
    EXPECT_EQ(runaway.Unit->text(), "RPM");
    EXPECT_EQ(c.RunawayAmps->text(), "0.5");
    for (QWidget* box : {static_cast<QWidget*>(stopped.Level), static_cast<QWidget*>(c.RunawayAmps),
                         static_cast<QWidget*>(c.Save)})
        EXPECT_TRUE(window.rect().contains(box->geometry())) << box->objectName().toStdString();

    runaway.On->setChecked(true);
    c.RunawayAmps->setText("900");
    c.Save->click();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("<RunawayAmps> is 900")) << m_messages[0].toStdString();
    EXPECT_TRUE(c.RunawayAmps->hasFocus() || !window.isActiveWindow());
    c.RunawayAmps->setText("1.5");
    stopped.On->setChecked(true);
    c.Save->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    const alarms::AlarmsConfig saved = alarms::readAlarmsConfig(m_app);
    EXPECT_EQ(saved[Kind::Stopped], (AlarmSettings{true, 21.6, 3.6, 10}));
    EXPECT_EQ(saved[Kind::Runaway], (AlarmSettings{true, 500, 50, 30, 1.5}));
}

// ---- the running plant -----------------------------------------------------------------------

// With kSettings and WSUnits m/s: 10 m/s of wind, no turn and no current; 10 m/s, 300 RPM and
// 9 A (115.2 W); 15 m/s, 900 RPM and no current.
const std::string kStill = "[<V>512</V><I>512</I><R>0</R><M>0</M><S>50</S>]\r\n";
const std::string kTurning = "[<V>512</V><I>530</I><R>10</R><M>0</M><S>50</S>]\r\n";
const std::string kRunawayFrame = "[<V>512</V><I>512</I><R>30</R><M>0</M><S>75</S>]\r\n";

class TurbinePlant : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        if (const QString why = NotifyReceivers::missing(); !why.isEmpty())
            SKIP_OR_FAIL_IN_CI(why.toStdString());
        ASSERT_TRUE(m_receivers.start());
        writeProg(ProgFile{.WSUnits = "m/s"});
    }
    // The plant and its main window on the test's clock, which the notify worker reads too.
    RunningLogger start()
    {
        RunningLogger w(std::make_unique<plant::Plant>(m_app, m_clock.clock()),
                        programs::tessaly());
        w->show();
        return w;
    }
    // A frame every 10 s of the clock, each decoded before the clock moves on.
    void feed(monitor::Logger& w, sim::PseudoTerminal& pty, const std::string& frame, int seconds)
    {
        int frames = 0;
        const QMetaObject::Connection counting = QObject::connect(
            &w.station(), &station::Station::freshReading, [&frames] { ++frames; });
        for (int k = 0; k < seconds / 10; ++k) {
            ASSERT_TRUE(pty.write(frame));
            ASSERT_TRUE(waitFor([&] { return frames > k; }));
            m_clock.advanceS(10);
        }
        QObject::disconnect(counting);
    }
    // Every webhook body so far, one after another.
    QString hookBodies() const
    {
        QString out;
        for (const QJsonObject& r : m_receivers.onPath(QStringLiteral("/mill-hook")))
            out += r[QStringLiteral("body")].toString();
        return out;
    }

    NotifyReceivers m_receivers;
    MovingClock m_clock;
};

TEST_F(TurbinePlant, StoppedAndRunawayRaisedAndClearedOnceThroughTheMainWindow)
{
    QByteArray cfg = with(with(sample(), "StoppedOn", "1"), "StoppedDelay", "2");
    cfg = with(with(cfg, "RunawayOn", "1"), "Notify", "0");
    ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), cfg));
    notify::NotifyConfig ways = m_receivers.config(QStringLiteral("mill"));
    ways.pushOn = ways.mailOn = false;
    ASSERT_TRUE(notify::saveNotifyConfig(m_app, ways));
    auto pty = line(1);
    auto w = start();
    EXPECT_TRUE(w->watchers().alarmsWarning().isEmpty())
        << w->watchers().alarmsWarning().toStdString();
    auto* button = child<QPushButton>(*w, "Alarms");
    auto* banner = child<QLabel>(*w, "AlarmBanner");

    // 6 m/s is Stopped's level: 10 m/s with the rotor still for 2 minutes raises it.
    feed(*w, *pty, kTurning, 60);
    feed(*w, *pty, kStill, 110);
    EXPECT_EQ(w->watchers().raisedCount(), 0u) << "110 s of a 2 minute delay";
    feed(*w, *pty, kStill, 20);
    ASSERT_TRUE(w->watchers().alarms().isRaised(Kind::Stopped));
    EXPECT_EQ(button->text(), QStringLiteral("Alarms (1)"));
    ASSERT_TRUE(waitFor([&] { return banner->isVisible(); }));
    EXPECT_TRUE(banner->text().contains(u"Turbine stopped in wind 10 m/s since"))
        << banner->text().toStdString();
    feed(*w, *pty, kStill, 60);
    feed(*w, *pty, kTurning, 10);
    EXPECT_FALSE(w->watchers().alarms().isRaised(Kind::Stopped)) << "the rotor turns again";
    EXPECT_EQ(button->text(), QStringLiteral("Alarms"));

    // 900 RPM without charge for Runaway's 30 s.
    feed(*w, *pty, kRunawayFrame, 30);
    EXPECT_EQ(w->watchers().raisedCount(), 0u) << "20 s of a 30 s delay";
    feed(*w, *pty, kRunawayFrame, 20);
    ASSERT_TRUE(w->watchers().alarms().isRaised(Kind::Runaway));
    ASSERT_TRUE(waitFor([&] { return banner->isVisible(); }));
    EXPECT_TRUE(banner->text().contains(u"Turbine running away 900 RPM since"))
        << banner->text().toStdString();
    feed(*w, *pty, kRunawayFrame, 60);
    feed(*w, *pty, kTurning, 10);
    EXPECT_EQ(w->watchers().raisedCount(), 0u);
    ASSERT_TRUE(waitFor([&] { return !banner->isVisible(); }));

    station::StationProbe::waitForDisk(w->station());
    const QByteArray log = fileBytes(alarms::alarmLogPath(m_app));
    for (const char* line : {"<A>Stopped</A><S>on</S>", "<A>Stopped</A><S>off</S>",
                             "<A>Runaway</A><S>on</S>", "<A>Runaway</A><S>off</S>"})
        EXPECT_EQ(log.count(line), 1) << line << "\n" << log.toStdString();
    EXPECT_TRUE(log.contains("<A>Stopped</A><S>on</S><D>2024_3_7</D><T>14:03:00</T><VAL>10</VAL>"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("<A>Runaway</A><S>on</S><D>2024_3_7</D>"));
    EXPECT_TRUE(log.contains("<VAL>900</VAL>"));

    // The same four changes by webhook, in the notify ways' words.
    const QStringList titles{
        "Turbine stopped in wind: 10 m/s", "Turbine stopped in wind cleared: 10 m/s",
        "Turbine running away: 900 RPM", "Turbine running away cleared: 300 RPM"};
    EXPECT_TRUE(waitFor(
        [&] {
            const QString bodies = hookBodies();
            return std::all_of(titles.begin(), titles.end(),
                               [&](const QString& t) { return bodies.contains(t); });
        },
        60000))
        << hookBodies().toStdString();
    w->plant().close();
}

// The daily report weighs the turbine over the local day it is of, not the 24 hours before it
// is made, and names the plant as Publish calls it when the report is made.
TEST_F(TurbinePlant, TheDailyReportWeighsItsOwnDayAndTheNameOfThen)
{
    // 230.4 W promised at 10 m/s, where kTurning makes 115.2 W.
    ASSERT_TRUE(core::replaceFile(curve::refCurvePath(m_app),
                                  "Reference Power Curve\r\n<Units>m/s</Units>\r\n"
                                  "<V>3</V><W>0</W>\r\n<V>10</V><W>230.4</W>\r\n"
                                  "<V>15</V><W>600</W>\r\n"));
    notify::NotifyConfig ways = m_receivers.config(QStringLiteral("day"));
    ways.pushOn = ways.mailOn = false;
    ways.reportOn = true;
    ways.reportHour = 8;
    ASSERT_TRUE(notify::saveNotifyConfig(m_app, ways));
    publish::PublishConfig publish = publish::defaultPublishConfig();
    publish.Name = QStringLiteral("shed");
    ASSERT_TRUE(publish::savePublishConfig(m_app, publish));
    const auto report = [&](const QString& day) -> std::optional<QJsonObject> {
        for (const QJsonObject& r : m_receivers.onPath(QStringLiteral("/day-hook"))) {
            const QJsonObject json =
                QJsonDocument::fromJson(r[QStringLiteral("body")].toString().toUtf8()).object();
            if (json[QStringLiteral("title")].toString().startsWith(
                    QStringLiteral("Daily report of ") + day))
                return json;
        }
        return std::nullopt;
    };
    auto pty = line(1);
    auto w = start();
    // Ten minutes from 14:00 on the 7th at half the promise; five more on the 8th from 07:50,
    // within the 24 hours before the report but not of its day.
    feed(*w, *pty, kTurning, 600);
    m_clock.advanceS((17 * 60 + 40) * 60);
    feed(*w, *pty, kTurning, 300);
    publish.Name = QStringLiteral("barn");
    ASSERT_TRUE(publish::savePublishConfig(m_app, publish));
    w->watchers().reload();
    m_clock.advanceS(300);
    ASSERT_TRUE(waitFor([&] { return report(QStringLiteral("2024-03-07")).has_value(); }))
        << hookBodies().toStdString();
    const QJsonObject json = *report(QStringLiteral("2024-03-07"));
    EXPECT_EQ(json[QStringLiteral("plant")], QStringLiteral("barn"));
    EXPECT_TRUE(json[QStringLiteral("text")].toString().contains(
        u"On 2024-03-07: the reference promises 0.04 kWh for the winds measured, the turbine "
        u"made 0.02 kWh: 0.02 kWh (50.0 %) short."))
        << json[QStringLiteral("text")].toString().toStdString();
    w->plant().close();
}

} // namespace
