#include "configfiles.h"

#include "files.h"
#include "numbers.h"
#include "tags.h"

namespace config {
namespace {

const QString kProgCfg = QStringLiteral("prog.cfg");
const QString kSettingsCfg = QStringLiteral("settings.cfg");
const QByteArray kCrLf = QByteArrayLiteral("\r\n");

// The files are 8-bit text; Latin-1 keeps every byte as it was on the way in and out.
QString fromFile(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray toFile(const QString& text)
{
    return text.toLatin1();
}

void take(QStringView text, const char* key, QString& field, const QString& file,
          QStringList* warnings)
{
    const QString name = QString::fromLatin1(key);
    if (const auto value = core::tagValue(text, name)) {
        field = *value;
    } else if (warnings) {
        *warnings << QStringLiteral("%1 has no <%2> value; using \"%3\"").arg(file, name, field);
    }
}

QByteArray line(const char* key, const QString& value)
{
    return '<' + QByteArray(key) + '>' + toFile(value) + "</" + QByteArray(key) + '>' + kCrLf;
}

QString missingFileWarning(const QString& file, const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot read %1 (%2): %3; using the defaults").arg(file, path, reason);
}

} // namespace

bool flagOn(const QString& text)
{
    const auto value = core::numericValue(text);
    return value && *value == 1.0;
}

ProgramConfig parseProgramConfig(QStringView text, QStringList* warnings)
{
    ProgramConfig c;
    take(text, "Port", c.Port, kProgCfg, warnings);
    take(text, "Savehtml", c.Savehtml, kProgCfg, warnings);
    take(text, "SaveExcel", c.SaveExcel, kProgCfg, warnings);
    take(text, "LogDelay", c.LogDelay, kProgCfg, warnings);
    take(text, "LogOn", c.LogOn, kProgCfg, warnings);
    take(text, "DisplayRPM", c.DisplayRPM, kProgCfg, warnings);
    take(text, "DisplayWS", c.DisplayWS, kProgCfg, warnings);
    take(text, "WSUnits", c.WSUnits, kProgCfg, warnings);
    return c;
}

CalibrationSettings parseCalibrationSettings(QStringView text, QStringList* warnings)
{
    CalibrationSettings s;
    take(text, "VoltDivider", s.VoltDivider, kSettingsCfg, warnings);
    take(text, "VoltOffset", s.VoltOffset, kSettingsCfg, warnings);
    take(text, "AmpDivider", s.AmpDivider, kSettingsCfg, warnings);
    take(text, "RPMDivider", s.RPMDivider, kSettingsCfg, warnings);
    take(text, "WSDivider", s.WSDivider, kSettingsCfg, warnings);
    return s;
}

ProgramConfig ReadProgramConfig(const core::AppDir& app, QStringList* warnings)
{
    QString reason;
    const auto bytes = core::readWholeFile(app.progCfg(), &reason);
    if (!bytes) {
        if (warnings)
            *warnings << missingFileWarning(kProgCfg, app.progCfg(), reason);
        return ProgramConfig{};
    }
    return parseProgramConfig(fromFile(*bytes), warnings);
}

CalibrationSettings ReadCalibrationSettings(const core::AppDir& app, QStringList* warnings)
{
    QString reason;
    const auto bytes = core::readWholeFile(app.settingsCfg(), &reason);
    if (!bytes) {
        if (warnings)
            *warnings << missingFileWarning(kSettingsCfg, app.settingsCfg(), reason);
        return CalibrationSettings{};
    }
    return parseCalibrationSettings(fromFile(*bytes), warnings);
}

QByteArray programConfigText(const QString& port, std::int16_t savehtml, std::int16_t saveExcel,
                             const QString& logDelay, std::int16_t logOn, std::int16_t displayRPM,
                             std::int16_t displayWS, const QString& wsUnits)
{
    const auto flag = [](std::int16_t v) {
        return QString::number(v);
    };
    QByteArray out = "Program Config File" + kCrLf + kCrLf;
    out += line("Port", port);
    out += line("Savehtml", flag(savehtml));
    out += line("SaveExcel", flag(saveExcel));
    out += line("LogDelay", logDelay);
    out += line("LogOn", flag(logOn));
    out += line("DisplayRPM", flag(displayRPM));
    out += line("DisplayWS", flag(displayWS));
    out += line("WSUnits", wsUnits);
    return out + kCrLf;
}

QByteArray calibrationSettingsText(const QString& voltDivider, double voltOffset,
                                   const QString& ampDivider, const QString& rpmDivider,
                                   const QString& wsDivider)
{
    QByteArray out = "Calibration Settings" + kCrLf + kCrLf + kCrLf;
    out += line("VoltDivider", voltDivider);
    out += line("VoltOffset", core::numberText(voltOffset));
    out += line("AmpDivider", ampDivider);
    out += line("RPMDivider", rpmDivider);
    out += line("WSDivider", wsDivider);
    return out;
}

bool SaveProgramConfig(const core::AppDir& app, const QString& port, std::int16_t savehtml,
                       std::int16_t saveExcel, const QString& logDelay, std::int16_t logOn,
                       std::int16_t displayRPM, std::int16_t displayWS, const QString& wsUnits,
                       QString* error)
{
    return core::replaceFile(app.progCfg(),
                             programConfigText(port, savehtml, saveExcel, logDelay, logOn,
                                               displayRPM, displayWS, wsUnits),
                             error);
}

bool SaveCalibrationSettings(const core::AppDir& app, const QString& voltDivider, double voltOffset,
                             const QString& ampDivider, const QString& rpmDivider,
                             const QString& wsDivider, QString* error)
{
    return core::replaceFile(
        app.settingsCfg(),
        calibrationSettingsText(voltDivider, voltOffset, ampDivider, rpmDivider, wsDivider), error);
}

} // namespace config
