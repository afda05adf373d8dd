#include "configfiles.h"
#include "files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

class ConfigFiles : public ::testing::Test
{
protected:
    QTemporaryDir m_tmp;
    core::AppDir m_app{m_tmp.path()};

    QByteArray bytes(const QString& path) { return core::readWholeFile(path).value_or("?"); }
    void write(const QString& path, const QByteArray& data)
    {
        ASSERT_TRUE(core::replaceFile(path, data));
    }
};

TEST_F(ConfigFiles, WorkedExamplesAreWrittenByteForByte)
{
    ASSERT_TRUE(config::SaveProgramConfig(m_app, QStringLiteral("2"), 1, 0, QStringLiteral("60"), 1,
                                          1, 0, QStringLiteral("km/h")));
    EXPECT_EQ(bytes(m_app.progCfg()), kProgExample);
    ASSERT_TRUE(config::SaveCalibrationSettings(m_app, QStringLiteral("38.46"), 0.52,
                                                QStringLiteral("10.3"), QStringLiteral("2"),
                                                QStringLiteral("1.6")));
    EXPECT_EQ(bytes(m_app.settingsCfg()), kSettingsExample);
    // Nothing of the temporary file stays behind.
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(ConfigFiles, RoundTrip)
{
    ASSERT_TRUE(config::SaveProgramConfig(m_app, QStringLiteral(" 2 "), 0, 1, QStringLiteral("abc"),
                                          0, 0, 1, QString()));
    QStringList warnings;
    const config::ProgramConfig c = config::ReadProgramConfig(m_app, &warnings);
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_EQ(c, (config::ProgramConfig{" 2 ", "0", "1", "abc", "0", "0", "1", ""}));

    ASSERT_TRUE(config::SaveCalibrationSettings(m_app, QStringLiteral("40"), -0.25,
                                                QStringLiteral("2"), QStringLiteral("2"),
                                                QStringLiteral("2.50")));
    EXPECT_TRUE(bytes(m_app.settingsCfg()).contains("<VoltOffset>-0.25</VoltOffset>"));
    EXPECT_EQ(config::ReadCalibrationSettings(m_app),
              (config::CalibrationSettings{"40", "-0.25", "2", "2", "2.50"}));
    ASSERT_TRUE(config::SaveCalibrationSettings(m_app, QStringLiteral("40"), 0.0,
                                                QStringLiteral("2"), QStringLiteral("2"),
                                                QStringLiteral("5")));
    EXPECT_TRUE(bytes(m_app.settingsCfg()).contains("<VoltOffset>0</VoltOffset>"));
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

    write(m_app.settingsCfg(), "<VoltDivider>40</VoltDivider><AmpDivider>2</AmpDivider>"
                               "</RPMDivider>2<RPMDivider>");
    warnings.clear();
    const auto s = config::ReadCalibrationSettings(m_app, &warnings);
    EXPECT_EQ(s.VoltDivider, QStringLiteral("40"));
    EXPECT_EQ(s.RPMDivider, QStringLiteral("1")); // closing tag before opening: absent
    EXPECT_EQ(warnings.size(), 3);                // VoltOffset, RPMDivider, WSDivider
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

TEST_F(ConfigFiles, FailedWriteLeavesTheOldFile)
{
    write(m_app.progCfg(), kProgExample);
    // A folder standing where the temporary file's folder should be makes the write fail.
    const core::AppDir gone{m_tmp.filePath(QStringLiteral("missing"))};
    QString error;
    EXPECT_FALSE(config::SaveProgramConfig(gone, QStringLiteral("1"), 0, 0, QStringLiteral("60"), 0,
                                           0, 0, QString(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(bytes(m_app.progCfg()), kProgExample);
}

} // namespace
