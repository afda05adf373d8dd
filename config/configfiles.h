#pragma once

#include "appdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

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

// The five calibration constants of "settings.cfg", as text.
struct CalibrationSettings
{
    QString VoltDivider = QStringLiteral("1");
    QString VoltOffset = QStringLiteral("0");
    QString AmpDivider = QStringLiteral("1");
    QString RPMDivider = QStringLiteral("1");
    QString WSDivider = QStringLiteral("1");

    bool operator==(const CalibrationSettings&) const = default;
};

// A flag is on when its text, read as a number (blanks allowed), equals 1.
bool flagOn(const QString& text);

// The values found in a file's text. A key whose tags are missing keeps its default, and
// warnings (when given) gets a line naming the file and the key.
ProgramConfig parseProgramConfig(QStringView text, QStringList* warnings = nullptr);
CalibrationSettings parseCalibrationSettings(QStringView text, QStringList* warnings = nullptr);

// Read the whole file; a missing or unreadable file gives the defaults and a warning.
ProgramConfig ReadProgramConfig(const core::AppDir& app, QStringList* warnings = nullptr);
CalibrationSettings ReadCalibrationSettings(const core::AppDir& app,
                                            QStringList* warnings = nullptr);

// The exact bytes of each file, CR LF line ends.
QByteArray programConfigText(const QString& port, std::int16_t savehtml, std::int16_t saveExcel,
                             const QString& logDelay, std::int16_t logOn, std::int16_t displayRPM,
                             std::int16_t displayWS, const QString& wsUnits);
QByteArray calibrationSettingsText(const QString& voltDivider, double voltOffset,
                                   const QString& ampDivider, const QString& rpmDivider,
                                   const QString& wsDivider);

// Write the file atomically; they check none of the values. False, with the reason in error,
// when the file could not be written (the old file then stays as it was).
bool SaveProgramConfig(const core::AppDir& app, const QString& port, std::int16_t savehtml,
                       std::int16_t saveExcel, const QString& logDelay, std::int16_t logOn,
                       std::int16_t displayRPM, std::int16_t displayWS, const QString& wsUnits,
                       QString* error = nullptr);
bool SaveCalibrationSettings(const core::AppDir& app, const QString& voltDivider, double voltOffset,
                             const QString& ampDivider, const QString& rpmDivider,
                             const QString& wsDivider, QString* error = nullptr);

} // namespace config
