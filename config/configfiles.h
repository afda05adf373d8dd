#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace config {

// The eight values of "prog.cfg", each exactly the text found between its tags.
struct ProgramConfig
{
    QString Port = QStringLiteral("1");
    QString Savehtml = QStringLiteral("0");
    QString SaveExcel = QStringLiteral("0");
    QString LogDelay = QStringLiteral("60");
    QString LogOn = QStringLiteral("0");
    QString DisplayRPM = QStringLiteral("0");
    QString DisplayWS = QStringLiteral("0");
    QString WSUnits;

    bool operator==(const ProgramConfig&) const = default;
};

// The five calibration constants of "settings.cfg", as text. The calibration window hands its
// VoltOffset in as core::numberText of the number. A divider that is missing reads empty, as an
// empty one does: its quantity then reads 0 until it is calibrated, never raw counts.
struct CalibrationSettings
{
    QString VoltDivider = QString();
    QString VoltOffset = QStringLiteral("0");
    QString AmpDivider = QString();
    QString RPMDivider = QString();
    QString WSDivider = QString();

    bool operator==(const CalibrationSettings&) const = default;
};

// One key of a configuration file: the name inside its tags and the value it holds.
template <typename Values> struct ConfigKey
{
    const char* name;
    QString Values::*value;
};

// The keys of each file in the order they are written. The same lists serve reading, writing
// and the settings window's check that a typed text holds none of the tags.
inline constexpr ConfigKey<ProgramConfig> kProgramConfigKeys[] = {
    {"Port", &ProgramConfig::Port},           {"Savehtml", &ProgramConfig::Savehtml},
    {"SaveExcel", &ProgramConfig::SaveExcel}, {"LogDelay", &ProgramConfig::LogDelay},
    {"LogOn", &ProgramConfig::LogOn},         {"DisplayRPM", &ProgramConfig::DisplayRPM},
    {"DisplayWS", &ProgramConfig::DisplayWS}, {"WSUnits", &ProgramConfig::WSUnits},
};
inline constexpr ConfigKey<CalibrationSettings> kCalibrationSettingsKeys[] = {
    {"VoltDivider", &CalibrationSettings::VoltDivider},
    {"VoltOffset", &CalibrationSettings::VoltOffset},
    {"AmpDivider", &CalibrationSettings::AmpDivider},
    {"RPMDivider", &CalibrationSettings::RPMDivider},
    {"WSDivider", &CalibrationSettings::WSDivider},
};

// A flag is on when its text, read as a number (blanks allowed), equals 1.
bool flagOn(const QString& text);

// What a read found wrong, for a window that words its own warnings: why the file could not be
// read (the values are then all defaults), and the keys whose tags are missing (each keeps its
// default).
struct ReadProblems
{
    std::optional<QString> unreadable;
    QStringList missingKeys;
};

// The values found in a file's text. A key whose tags are missing keeps its default, and
// warnings (when given) gets a line naming the file and the key.
ProgramConfig parseProgramConfig(QStringView text, QStringList* warnings = nullptr);
CalibrationSettings parseCalibrationSettings(QStringView text, QStringList* warnings = nullptr);

// Read the whole file; a missing or unreadable file gives the defaults and a warning.
ProgramConfig ReadProgramConfig(const core::AppDir& app, QStringList* warnings = nullptr);
ProgramConfig ReadProgramConfig(const core::AppDir& app, ReadProblems& problems);
CalibrationSettings ReadCalibrationSettings(const core::AppDir& app,
                                            QStringList* warnings = nullptr);

// The exact bytes of each file, CR LF line ends; every value is written as it stands.
QByteArray programConfigText(const ProgramConfig& values);
QByteArray calibrationSettingsText(const CalibrationSettings& values);

// Write the file atomically; they check none of the values. False, with the reason in error,
// when the file could not be written (the old file then stays as it was).
bool SaveProgramConfig(const core::AppDir& app, const ProgramConfig& values,
                       QString* error = nullptr);
bool SaveCalibrationSettings(const core::AppDir& app, const CalibrationSettings& values,
                             QString* error = nullptr);

} // namespace config
