#pragma once

#include "ui/controltable.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <span>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace calibration {

struct CalibrateControls;

// The steps' area; the warning line, when there is one, goes below it.
inline constexpr QSize kCalibrateClientSize{362, 308};

enum class CalibrateKind
{
    Step,         // a step's bold caption, as wide as its text
    Text,         // the left column's text, as wide as its text unless its place gives a size
    Value,        // a value label (raw value, preview)
    Offset,       // the zero offset's value label
    ShadedValue,  // a value label on green
    Shaded,       // a caption on green, centred, placed beside another control by the window
    Box,          // an entry box on green
    Button,       // Enter in a box never presses it
    DivisionSign, // the small sign between a raw value and its box
    EqualsSign,   // "=" on a green square, under a raw value
    Separator     // the line under a step, across the window
};

// One control of the calibration window: its place in pixels, a size of 0 where the text
// decides, and the design text.
struct CalibrateControl
{
    CalibrateKind kind;
    const char* name; // the object name; empty for the steps' texts, signs and lines
    const char* caption;
    QRect place;
    ui::Fills<CalibrateControls> member{}; // empty for what only stands there
};

// The controls in the order they are made, step by step, top to bottom.
std::span<const CalibrateControl> calibrateControls();

// The controls the window works with, named as in the table.
struct CalibrateControls
{
    // Step 1: raw volts, the VoltDivider box and the volts it gives.
    QLabel* txtBattV = nullptr;
    QLineEdit* BatteryVolts = nullptr;
    QLabel* txtBattVadjusted = nullptr;
    // Step 2: Zero and the offset it takes...
    QPushButton* Command2 = nullptr;
    QLabel* OffsetV = nullptr;
    QLabel* OffsetCaption = nullptr;
    // ...raw shunt, the AmpDivider box and the amps they give.
    QLabel* txtShuntV = nullptr;
    QLineEdit* BatteryCurrent = nullptr;
    QLabel* txtBattAadjusted = nullptr;
    // Step 3: raw turbine pulses, pulses per revolution and the RPM they give.
    QLabel* txtPulsess = nullptr;
    QLineEdit* PulseDivider = nullptr;
    QLabel* txtWindmillRPM = nullptr;
    // Step 4: the unit's question, raw wind pulses, pulses per unit and the speed they give.
    QLabel* Label23 = nullptr;
    QLabel* txtPulsess2 = nullptr;
    QLineEdit* Pulse2Divider = nullptr;
    QLabel* txtWindSpeed = nullptr;
    // The ways out, and file and port problems (not designed; hidden while there are none).
    QPushButton* Command6 = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Warning = nullptr;
};

// Sets the window's font and makes the table's controls on it, in the window's focus order with the
// focus in BatteryVolts, and binds them to their members; a control of another class than its
// member stops the program (ui::fills).
CalibrateControls buildCalibrateControls(QWidget* window);

// A raw value wider than its place grows to the left, so its last digits stay beside the
// division sign and none are cut off.
void placeRawValue(QLabel* label, const QString& text);

// "Offset" stands right after the offset value, which keeps its full width: the value matters,
// the caption may lose its end at the window's edge for a very long offset.
void placeOffset(QLabel* offset, QLabel* caption);

} // namespace calibration
