#pragma once

#include "config/configfiles.h"
#include "core/frame.h"

#include <QLocale>
#include <QString>
#include <optional>

namespace calibration {

// One decoder for both serial windows; the calibration window keeps R and S as sent.
using core::pulseNumber;
using core::RawReadings;
using core::readRawValues;

// The texts of the four entry boxes, read afresh at every use.
struct DividerBoxes
{
    QString BatteryVolts;   // VoltDivider
    QString BatteryCurrent; // AmpDivider
    QString PulseDivider;   // RPMDivider: pulses per revolution
    QString Pulse2Divider;  // WSDivider: pulses per wind speed unit
};

// What the calibration window holds while it is open.
struct CalibrationState
{
    double VoltOffset = 0;
    RawReadings raw;
    double RpmPreview = 0;
    double WindSpeedPreview = 0; // keeps its value while Pulse2Divider cannot divide
};

// The label texts of one frame. The two adjusted labels are absent when their box cannot
// divide: the labels then keep what they showed.
struct PreviewLabels
{
    QString txtBattV;
    QString txtShuntV;
    QString txtPulsess;
    QString txtWindmillRPM;
    QString txtPulsess2;
    QString txtWindSpeed;
    std::optional<QString> txtBattVadjusted;
    std::optional<QString> txtBattAadjusted;
};

// A box divides when its text is a number that passes its own test: greater than 0 for the
// volts, RPM and wind speed boxes, other than 0 for the amps box (a negative one turns the
// current round).
std::optional<double> positiveDivider(const QString& text, const QLocale& locale = QLocale());
std::optional<double> nonZeroDivider(const QString& text, const QLocale& locale = QLocale());

// Updates the two pulse previews of the state and returns what the labels show, with the
// main window's formulas and roundings.
PreviewLabels ComputePreview(CalibrationState& state, const DividerBoxes& boxes,
                             const QString& wsUnits, const QLocale& locale = QLocale());

// The offset Zero takes: the raw current as txtShuntV shows it (0 before the first frame).
double zeroOffset(const RawReadings& raw);

// Why the boxes cannot be saved: the first box (0 BatteryVolts to 3 Pulse2Divider) that the
// main window could not divide by, with the message to show. Absent when all four can.
struct SaveRefusal
{
    int box;
    QString message;
};
std::optional<SaveRefusal> saveRefusal(const DividerBoxes& boxes,
                                       const QLocale& locale = QLocale());

// What "Save Calibration" writes: the four boxes exactly as typed, the offset as number text.
config::CalibrationSettings savedSettings(const DividerBoxes& boxes, double voltOffset);

} // namespace calibration
