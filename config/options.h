#pragma once

#include "config/configfiles.h"
#include "core/conversion.h"

#include <QString>
#include <QStringList>

namespace config {

// "prog.cfg" as the program acts on it, made once per load. The settings window keeps the
// texts (ProgramConfig) and writes them back as they stand; everyone else takes this.
struct ProgramOptions
{
    int port = 0;     // 0 when the Port text is not a number
    QString portText; // as written, for the messages that name it
    bool saveHtml = false;
    bool saveExcel = false;
    bool logOn = false;
    bool displayRpm = false;
    bool displayWs = false;
    QString logDelay; // the delay box's text: checked only when logging starts
    QString wsUnits;

    bool operator==(const ProgramOptions&) const = default;
};

ProgramOptions programOptions(const ProgramConfig& texts);

// Converts the five calibration texts; each unusable one adds a warning naming its key.
core::Conversion makeConversion(const CalibrationSettings& settings,
                                QStringList* warnings = nullptr);

} // namespace config
