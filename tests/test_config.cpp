#include "config/configfiles.h"
#include "core/numbers.h"
#include "tests/fixture.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QByteArray kProgExample =
    "Program Config File\r\n\r\n<Port>2</Port>\r\n<Savehtml>1</Savehtml>"
    "\r\n<SaveExcel>0</SaveExcel>\r\n<LogDelay>60</LogDelay>\r\n"
    "<LogOn>1</LogOn>\r\n<DisplayRPM>1</DisplayRPM>\r\n"
    "<DisplayWS>0</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n\r\n";
const QByteArray kSettingsExample =
    "Calibration Settings\r\n\r\n\r\n<VoltDivider>38.46</VoltDivider>\r\n"
    "<VoltOffset>0.52</VoltOffset>\r\n<AmpDivider>10.3</AmpDivider>\r\n"
    "<RPMDivider>2</RPMDivider>\r\n<WSDivider>1.6</WSDivider>\r\n";

const config::ProgramConfig kProgValues{.Port = "2",
                                        .Savehtml = "1",
                                        .SaveExcel = "0",
                                        .LogDelay = "60",
                                        .LogOn = "1",
                                        .DisplayRPM = "1",
                                        .DisplayWS = "0",
                                        .WSUnits = "km/h"};

// The application directory starts with the fixture's two files; these tests start without.
class ConfigFiles : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QFile::remove(m_app.progCfg()));
        ASSERT_TRUE(QFile::remove(m_app.settingsCfg()));
    }
};

TEST_F(ConfigFiles, WorkedExamplesAreWrittenByteForByte)
{
    ASSERT_TRUE(config::SaveProgramConfig(m_app, kProgValues));
    EXPECT_EQ(fileBytes(m_app.progCfg()), kProgExample);
    ASSERT_TRUE(config::SaveCalibrationSettings(m_app, {.VoltDivider = "38.46",
                                                        .VoltOffset = "0.52",
                                                        .AmpDivider = "10.3",
                                                        .RPMDivider = "2",
                                                        .WSDivider = "1.6"}));
    EXPECT_EQ(fileBytes(m_app.settingsCfg()), kSettingsExample);
    // Nothing of the temporary file stays behind.
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(ConfigFiles, RoundTrip)
{
    const config::ProgramConfig prog{" 2 ", "0", "1", "abc", "0", "0", "1", ""};
    ASSERT_TRUE(config::SaveProgramConfig(m_app, prog));
    QStringList warnings;
    EXPECT_EQ(config::ReadProgramConfig(m_app, &warnings), prog);
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_TRUE(fileBytes(m_app.progCfg()).contains("<WSUnits></WSUnits>"));

    // The offset is handed in as number text: -0.25, and 0 as the digit 0.
    for (const double offset : {-0.25, 0.0}) {
        const config::CalibrationSettings settings{"40", core::numberText(offset), "2", "2",
                                                   "2.50"};
        ASSERT_TRUE(config::SaveCalibrationSettings(m_app, settings));
        EXPECT_EQ(config::ReadCalibrationSettings(m_app), settings);
    }
    EXPECT_TRUE(fileBytes(m_app.settingsCfg()).contains("<VoltOffset>0</VoltOffset>"));
    ASSERT_TRUE(config::SaveCalibrationSettings(m_app, {.VoltOffset = core::numberText(-0.25)}));
    EXPECT_TRUE(fileBytes(m_app.settingsCfg()).contains("<VoltOffset>-0.25</VoltOffset>"));
}

TEST_F(ConfigFiles, OneKeyListForReadingAndWriting)
{
    // Each key's value lands between its own tags and reads back from there alone.
    config::ProgramConfig prog;
    for (const auto& key : config::kProgramConfigKeys)
        prog.*key.value = QStringLiteral("value of %1").arg(QLatin1String(key.name));
    const QByteArray text = config::programConfigText(prog);
    for (const auto& key : config::kProgramConfigKeys) {
        const QByteArray name(key.name);
        EXPECT_TRUE(text.contains('<' + name + ">value of " + name + "</" + name + ">\r\n"))
            << key.name;
    }
    EXPECT_EQ(config::parseProgramConfig(QString::fromLatin1(text)), prog);

    config::CalibrationSettings settings;
    for (const auto& key : config::kCalibrationSettingsKeys)
        settings.*key.value = QString::fromLatin1(key.name).toLower();
    EXPECT_EQ(config::parseCalibrationSettings(
                  QString::fromLatin1(config::calibrationSettingsText(settings))),
              settings);
}

TEST_F(ConfigFiles, TagsAnywhereFirstWinsCaseMatters)
{
    const QString oneLine = QStringLiteral(
        "changed title<WSUnits>m/s</WSUnits><Port>3</Port><Port>4</Port><savehtml>1</savehtml>");
    QStringList warnings;
    const config::ProgramConfig c = config::parseProgramConfig(oneLine, &warnings);
    EXPECT_EQ(c.Port, QStringLiteral("3"));
    EXPECT_EQ(c.WSUnits, QStringLiteral("m/s"));
    EXPECT_EQ(c.Savehtml, QStringLiteral("0")); // lower-case tag not found: default
    EXPECT_TRUE(warnings.join('\n').contains(QStringLiteral("<Savehtml>")));
}

TEST_F(ConfigFiles, MissingFilesAndTagsGiveDefaultsWithWarnings)
{
    QStringList warnings;
    EXPECT_EQ(config::ReadProgramConfig(m_app, &warnings), config::ProgramConfig{});
    EXPECT_EQ(config::ReadCalibrationSettings(m_app, &warnings), config::CalibrationSettings{});
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_TRUE(warnings[0].contains(m_app.progCfg()));
    EXPECT_TRUE(warnings[1].contains(m_app.settingsCfg()));

    writeSettings("<VoltDivider>40</VoltDivider><AmpDivider>2</AmpDivider>"
                  "</RPMDivider>2<RPMDivider>");
    warnings.clear();
    const auto s = config::ReadCalibrationSettings(m_app, &warnings);
    EXPECT_EQ(s.VoltDivider, QStringLiteral("40"));
    // Closing tag before opening: absent. A missing divider reads empty, so its quantity reads
    // 0 until it is calibrated instead of showing raw counts.
    EXPECT_EQ(s.RPMDivider, QString());
    EXPECT_EQ(warnings, (QStringList{"settings.cfg has no <VoltOffset> value; using \"0\"",
                                     "settings.cfg has no <RPMDivider> value",
                                     "settings.cfg has no <WSDivider> value"}));
}

TEST_F(ConfigFiles, ProblemsForAWindowThatWordsItsOwnWarnings)
{
    config::ReadProblems problems;
    EXPECT_EQ(config::ReadProgramConfig(m_app, problems), config::ProgramConfig{});
    ASSERT_TRUE(problems.unreadable);
    EXPECT_FALSE(problems.unreadable->isEmpty());
    EXPECT_TRUE(problems.missingKeys.isEmpty());

    writeProg("<WSUnits>m/s</WSUnits><LogOn>1</LogOn>");
    problems = {};
    const config::ProgramConfig c = config::ReadProgramConfig(m_app, problems);
    EXPECT_FALSE(problems.unreadable);
    EXPECT_EQ(problems.missingKeys, (QStringList{"Port", "Savehtml", "SaveExcel", "LogDelay",
                                                 "DisplayRPM", "DisplayWS"}));
    EXPECT_EQ(c, (config::ProgramConfig{.LogOn = "1", .WSUnits = "m/s"}));
}

TEST(Flags, NumericComparison)
{
    struct Case
    {
        const char* text;
        bool on;
    } cases[] = {{"1", true},  {" 1", true}, {" 1 ", true}, {"1.0", true}, {"0", false},
                 {"2", false}, {"", false},  {"on", false}, {"01", true}};
    for (const Case& c : cases)
        EXPECT_EQ(config::flagOn(QString::fromLatin1(c.text)), c.on) << c.text;
}

// A limit the process runs under for a while: RLIMIT_NOFILE at the lowest free descriptor lets
// it open no file, whoever it runs as.
class ProcessLimit
{
public:
    ProcessLimit(int resource, rlim_t value)
        : m_resource(resource)
    {
        getrlimit(m_resource, &m_old);
        rlimit low = m_old;
        low.rlim_cur = value;
        m_limited = setrlimit(m_resource, &low) == 0;
    }
    ~ProcessLimit() { setrlimit(m_resource, &m_old); }
    bool limited() const { return m_limited; }

    static rlim_t lowestFreeDescriptor()
    {
        const int fd = dup(0);
        close(fd);
        return rlim_t(fd);
    }

private:
    int m_resource;
    rlimit m_old{};
    bool m_limited = false;
};

TEST_F(ConfigFiles, FailedWriteLeavesTheOldFile)
{
    struct Case
    {
        const char* why;
        QString dir;       // the application directory written to
        QByteArray before; // its prog.cfg, or nothing
        int resource;      // a limit to write under, or -1
        rlim_t limit;
    } cases[] = {
        {"the folder is missing", m_tmp.filePath(QStringLiteral("missing")), {}, -1, 0},
        {"no temporary file can be made", m_tmp.path(), kProgExample, RLIMIT_NOFILE,
         ProcessLimit::lowestFreeDescriptor()},
        // A file may grow to 16 bytes only, as on a disk that fills up during the write.
        {"the disk fills up mid-write", m_tmp.path(), kProgExample, RLIMIT_FSIZE, 16},
    };
    // Past the size limit a write fails with EFBIG instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const core::AppDir app{c.dir};
        if (!c.before.isEmpty())
            writeProg(c.before);
        const QByteArray before = fileBytes(app.progCfg());
        QString error;
        bool saved = true;
        {
            std::optional<ProcessLimit> limit;
            if (c.resource >= 0) {
                limit.emplace(c.resource, c.limit);
                ASSERT_TRUE(limit->limited());
            }
            saved = config::SaveProgramConfig(app, config::ProgramConfig{}, &error);
        }
        EXPECT_FALSE(saved);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(fileBytes(app.progCfg()), before);
    }
    // Nor does a temporary file stay behind.
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files), QStringList{"prog.cfg"});
}

} // namespace
