#include "alarms/alarmconfig.h"
#include "alarms/alarmmonitor.h"
#include "alarms/alarmswindow.h"
#include "tests/envguard.h"
#include "tests/fixture.h"

#include <QCheckBox>

// alarms.cfg as it is found: the sample, files of older and newer versions, files written by
// hand, damaged in part or whole, and numbers of any size; and the Alarms window's checks.
namespace {

using alarms::AlarmSettings;
using alarms::Kind;

using AlarmsFile = AppDirTest;

TEST_F(AlarmsFile, SampleReadsAllOffWithTheIssuedDefaults)
{
    const auto sample =
        core::readWholeFile(QStringLiteral(TESSALY_SOURCE "/programs/appdir/alarms.cfg"));
    ASSERT_TRUE(sample);
    QStringList problems;
    const alarms::AlarmsConfig c =
        alarms::parseAlarmsConfig(QString::fromLatin1(*sample), &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
    EXPECT_FALSE(c.anyOn());
    EXPECT_EQ(c[Kind::BattLow], (AlarmSettings{false, 11.8, 0.3, 60}));
    EXPECT_EQ(c[Kind::BattHigh].level, 14.8);
    EXPECT_EQ(c[Kind::NoData].level, 120);
    EXPECT_EQ(c.silenceMinutes, 60);
    EXPECT_EQ(alarms::alarmsConfigText(c), *sample);
}

TEST_F(AlarmsFile, SavedAndReadBackThroughTheFile)
{
    alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
    c[Kind::BattLow].on = true;
    c[Kind::WindHigh] = {true, 62.5, 4, 12};
    ASSERT_TRUE(alarms::saveAlarmsConfig(m_app, c));
    QString warning;
    EXPECT_EQ(alarms::readAlarmsConfig(m_app, &warning), c);
    EXPECT_TRUE(warning.isEmpty());
    EXPECT_TRUE(fileBytes(alarms::alarmsCfgPath(m_app))
                    .startsWith("Alarm Settings\r\n\r\n<BattLowOn>1</BattLowOn>\r\n"));
}

TEST_F(AlarmsFile, MissingUnreadableOrAnotherFileTurnsEveryAlarmOff)
{
    QString warning;
    EXPECT_FALSE(alarms::readAlarmsConfig(m_app, &warning).anyOn());
    EXPECT_TRUE(warning.contains("Alarms are off")) << "a missing file is said";
    alarms::AlarmsConfig on = alarms::defaultAlarmsConfig();
    on[Kind::BattLow].on = true;
    QByteArray titled = alarms::alarmsConfigText(on);
    titled.replace("Alarm Settings", "Alarm Setting");
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", QByteArray()},
        {"another file", ProgFile{}.bytes()},
        {"another title", titled},
        {"binary", QByteArray("\0\xff\xfe<BattLowOn>1</BattLowOn>", 27)},
    };
    for (const auto& [what, bytes] : cases) {
        ASSERT_TRUE(core::replaceFile(alarms::alarmsCfgPath(m_app), bytes));
        EXPECT_FALSE(alarms::readAlarmsConfig(m_app, &warning).anyOn()) << what;
        EXPECT_TRUE(warning.contains("first line")) << what << ": " << warning.toStdString();
    }
}

// One file as found, what it must read as and the keys its warning must name (none: no warning).
struct FoundFile
{
    const char* what;
    std::function<QByteArray(QByteArray)> edit; // from the file of BattLow, BattHigh and NoData on
    std::function<void(alarms::AlarmsConfig&)> expected; // from that file's values
    std::vector<const char*> named;
};

void off(alarms::AlarmsConfig& c, Kind k)
{
    c[k] = alarms::facts(k).defaults;
}

QByteArray without(QByteArray text, const char* key)
{
    const int from = int(text.indexOf(QByteArray("<") + key + ">"));
    const int to = int(text.indexOf("\r\n", from));
    return text.remove(from, to + 2 - from);
}

QByteArray with(QByteArray text, const char* key, const char* value)
{
    const QByteArray open = QByteArray("<") + key + ">";
    const int from = int(text.indexOf(open)) + int(open.size());
    return text.replace(from, text.indexOf("</", from) - from, value);
}

class AlarmsFileAsFound : public AppDirTest, public ::testing::WithParamInterface<FoundFile>
{};

TEST_P(AlarmsFileAsFound, ReadsAsExpectedAndNamesWhatIsNotUsed)
{
    alarms::AlarmsConfig written = alarms::defaultAlarmsConfig();
    written[Kind::BattLow].on = true;
    written[Kind::BattHigh].on = true;
    written[Kind::NoData].on = true;
    const FoundFile& f = GetParam();
    ASSERT_TRUE(
        core::replaceFile(alarms::alarmsCfgPath(m_app), f.edit(alarms::alarmsConfigText(written))));
    alarms::AlarmsConfig expected = written;
    f.expected(expected);
    QString warning;
    EXPECT_EQ(alarms::readAlarmsConfig(m_app, &warning), expected);
    if (f.named.empty()) {
        EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
    }
    for (const char* name : f.named)
        EXPECT_TRUE(warning.contains(QLatin1String(name))) << name << ": " << warning.toStdString();
}

const FoundFile kFoundFiles[] = {
    {"ByHandForTheLowBatteryAloneWithLfLineEnds",
     [](QByteArray) {
         return QByteArray("Alarm Settings\n<BattLowOn>1</BattLowOn>\n<BattLowLevel>11.5"
                           "</BattLowLevel>\n<BattLowHysteresis>0.4</BattLowHysteresis>\n"
                           "<BattLowDelay>30</BattLowDelay>\n");
     },
     [](alarms::AlarmsConfig& c) {
         c = alarms::defaultAlarmsConfig();
         c[Kind::BattLow] = {true, 11.5, 0.4, 30};
     },
     {}},
    {"OfAVersionBeforeNoData",
     [](QByteArray t) {
         for (const char* key : {"NoDataOn", "NoDataLevel", "NoDataHysteresis", "NoDataDelay"})
             t = without(t, key);
         return t;
     },
     [](alarms::AlarmsConfig& c) { off(c, Kind::NoData); },
     {}},
    {"OfALaterVersionWithAKindNotKnownHere",
     [](QByteArray t) {
         return t.replace("<Notify>", "<CurveLowOn>1</CurveLowOn>\r\n<CurveLowLevel>0.8"
                                      "</CurveLowLevel>\r\n<Notify>");
     },
     [](alarms::AlarmsConfig&) {},
     {}},
    {"OneKeyMissing",
     [](QByteArray t) { return without(t, "BattLowDelay"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::BattLow); },
     {"Battery low is off", "<BattLowDelay>"}},
    {"TwoKeysMissing",
     [](QByteArray t) { return without(without(t, "BattHighOn"), "BattHighLevel"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::BattHigh); },
     {"<BattHighOn>", "<BattHighLevel>"}},
    {"LettersForALevel",
     [](QByteArray t) { return with(t, "BattLowLevel", "low"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::BattLow); },
     {"<BattLowLevel>"}},
    {"AFlagOfTwo",
     [](QByteArray t) { return with(t, "NoDataOn", "2"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::NoData); },
     {"<NoDataOn>"}},
    {"AHysteresisAboveWhatVoltsReach",
     [](QByteArray t) { return with(t, "BattLowHysteresis", "90"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::BattLow); },
     {"<BattLowHysteresis>", "could never clear"}},
    {"AHysteresisBelowZeroRpm",
     [](QByteArray t) { return with(with(t, "RpmHighOn", "1"), "RpmHighHysteresis", "600"); },
     [](alarms::AlarmsConfig&) {},
     {"<RpmHighHysteresis>", "could never clear"}},
    {"ANegativeHysteresis",
     [](QByteArray t) { return with(t, "BattHighHysteresis", "-1"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::BattHigh); },
     {"<BattHighHysteresis>"}},
    {"AHugeLevel",
     [](QByteArray t) { return with(t, "BattHighLevel", "1e308"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::BattHigh); },
     {"<BattHighLevel>"}},
    {"AHugeDelay",
     [](QByteArray t) { return with(t, "BattLowDelay", "1e308"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::BattLow); },
     {"<BattLowDelay>"}},
    {"ANoDataLevelOfZero",
     [](QByteArray t) { return with(t, "NoDataLevel", "0"); },
     [](alarms::AlarmsConfig& c) { off(c, Kind::NoData); },
     {"<NoDataLevel>"}},
    {"AHugeSilenceLastsADay",
     [](QByteArray t) { return with(t, "Silence", "1e308"); },
     [](alarms::AlarmsConfig& c) { c.silenceMinutes = alarms::kMaxSilenceMinutes; },
     {"<Silence>"}},
    {"ASilenceOfZero",
     [](QByteArray t) { return with(t, "Silence", "0"); },
     [](alarms::AlarmsConfig&) {},
     {"<Silence>"}},
    {"NotifyAndSilenceMissing",
     [](QByteArray t) { return without(without(t, "Notify"), "Silence"); },
     [](alarms::AlarmsConfig&) {},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Found, AlarmsFileAsFound, ::testing::ValuesIn(kFoundFiles),
                         [](const auto& info) { return std::string(info.param.what); });

// The rule's own check, which the window and the reader share: a hysteresis that keeps the
// clearing value within the readings is taken, one that does not is refused.
TEST(AlarmSettingsRange, AHysteresisIsTakenOnlyWhileTheAlarmCanClear)
{
    const struct
    {
        Kind kind;
        AlarmSettings s;
        bool usable;
    } cases[] = {
        {Kind::BattLow, {true, 11.8, 0.3, 60}, true},
        {Kind::BattLow, {true, 11.8, 88, 60}, true},
        {Kind::BattLow, {true, 11.8, 88.5, 60}, false}, // would clear above 100 V
        {Kind::BattHigh, {true, 14.8, 14.7, 60}, true},
        {Kind::BattHigh, {true, 14.8, 14.8, 60}, false}, // would clear below 0 V
        {Kind::AmpsHigh, {true, 30, 60, 10}, true},      // the current runs both ways
        {Kind::AmpsHigh, {true, 30, 530, 10}, false},
        {Kind::WindHigh, {true, 50, 50, 10}, false},
        {Kind::WindHigh, {true, 501, 5, 10}, false},
        {Kind::NoData, {true, 120, 0, 0}, true},
        {Kind::NoData, {true, 0.5, 0, 0}, false},
        {Kind::RpmHigh, {true, 600, 50, 86401}, false},
    };
    for (const auto& c : cases) {
        const auto problem = alarms::settingsProblem(c.kind, c.s);
        EXPECT_EQ(!problem, c.usable)
            << alarms::facts(c.kind).key << " " << c.s.level << " " << c.s.hysteresis << ": "
            << problem.value_or(QString()).toStdString();
    }
}

// A silence of any length set by hand lasts a day at most, and counts right to its end.
TEST(AlarmSilence, AHandSetSilenceOfAnyLengthLastsADay)
{
    alarms::AlarmMonitor monitor;
    alarms::AlarmsConfig c = alarms::defaultAlarmsConfig();
    c[Kind::BattLow] = {true, 11.8, 0.3, 0};
    c.silenceMinutes = 1e308;
    monitor.setConfig(c);
    const QDateTime start(QDate(2024, 3, 7), QTime(14, 5, 0));
    core::QuantityValues low{};
    low[core::kVolts] = 11.6;
    monitor.onReading(low, 0, start);
    monitor.onReading(low, 1000, start.addSecs(1));
    ASSERT_TRUE(monitor.isRaised(Kind::BattLow));
    monitor.silence(Kind::BattLow);
    EXPECT_TRUE(monitor.silenced(Kind::BattLow));
    const qint64 day = 1440LL * 60000;
    monitor.onTick(day, start.addSecs(day / 1000));
    EXPECT_TRUE(monitor.silenced(Kind::BattLow)) << "1000 ms short of a day";
    monitor.onTick(day + 1000, start.addSecs(day / 1000 + 1));
    EXPECT_FALSE(monitor.silenced(Kind::BattLow));
}

using AlarmsWindowChecks = AppDirTest;

// The window refuses what the reader would refuse, and says why.
TEST_F(AlarmsWindowChecks, AHysteresisThatNeverClearsOrALongSilenceIsRefused)
{
    const EnvGuard home("XDG_CONFIG_HOME", QFile::encodeName(m_tmp.path()));
    const EnvGuard bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    alarms::Alarms window(m_app);
    const alarms::AlarmsControls& c = window.controls();
    const alarms::AlarmRowControls& low = c.rows[std::size_t(Kind::BattLow)];
    low.On->setChecked(true);
    low.Hysteresis->setText("95");
    c.Save->click();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("<BattLowHysteresis>")) << m_messages[0].toStdString();
    EXPECT_TRUE(m_messages[0].contains("could never clear")) << m_messages[0].toStdString();
    EXPECT_TRUE(low.Hysteresis->hasFocus() || !window.isActiveWindow());
    low.Hysteresis->setText("0.3");
    c.Silence->setText("100000");
    c.Save->click();
    ASSERT_EQ(m_messages.size(), 2);
    EXPECT_TRUE(m_messages[1].contains("<Silence>")) << m_messages[1].toStdString();
    EXPECT_FALSE(QFile::exists(alarms::alarmsCfgPath(m_app)));
    c.Silence->setText("1440");
    c.Save->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(alarms::readAlarmsConfig(m_app).silenceMinutes, 1440);
}

} // namespace
