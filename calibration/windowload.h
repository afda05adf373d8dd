#pragma once

#include "core/appdir.h"

#include <QString>
#include <QStringList>

namespace calibration {

// What the calibration window takes from the two configuration files when it opens. A missing
// file, tag or number leaves the main window's default and adds a warning naming file and key.
struct WindowLoad
{
    QString PortText = QStringLiteral("1"); // the Port text, for messages
    int Port = 1;                           // may be below 1 when prog.cfg names no port
    QString WSUnits;
    double VoltDivider = 1;
    double VoltOffset = 0;
    double AmpDivider = 1;
    double RPMDivider = 1;
    QString WSDivider = QStringLiteral("1"); // kept as stored, never converted
    QStringList warnings;
};

WindowLoad loadCalibrationWindow(const core::AppDir& app);

// Label23: "How many pulses per km/h?"
QString pulsesQuestion(const QString& wsUnits);

} // namespace calibration
