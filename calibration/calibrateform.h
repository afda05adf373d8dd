#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <span>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace calibration {

// The steps' area; the warning line, when there is one, goes below it.
inline constexpr QSize kCalibrateClientSize{362, 308};

enum class CalibrateKind
{
    Step,         // a step's bold caption, as wide as its text
    Text,         // the left column's text, as wide as its text unless its place gives a size
    Value,        // a value label (raw value, preview, offset)
    ShadedValue,  // a value label on green
    Shaded,       // a caption on green, centred, placed beside another control by the window
    Box,          // an entry box on green
    Button,       // Enter in a box never presses it
    DivisionSign, // the small sign between a raw value and its box
    EqualsSign,   // "=" on a green square, under a raw value
    Separator     // the line under a step, across the window
};

// What the window does with a control; the steps' texts and signs only stand there.
enum class CalibrateRole
{
    None,
    TxtBattV,
    BatteryVolts,
    TxtBattVadjusted,
    Command2,
    OffsetV,
    OffsetCaption,
    TxtShuntV,
    BatteryCurrent,
    TxtBattAadjusted,
    TxtPulsess,
    PulseDivider,
    TxtWindmillRPM,
    Label23,
    TxtPulsess2,
    Pulse2Divider,
    TxtWindSpeed,
    Command6,
    Command1
};

// One control of the calibration window: its place in pixels, a size of 0 where the text
// decides, and the design text.
struct CalibrateControl
{
    CalibrateKind kind;
    CalibrateRole role;
    const char* name; // the object name; empty for the steps' texts, signs and lines
    const char* caption;
    QRect place;
};

// The controls in the order they are made, step by step, top to bottom.
std::span<const CalibrateControl> calibrateControls();

// The controls the window works with, named as in the table.
struct CalibrateControls
{
    QLabel* txtBattV = nullptr;
    QLineEdit* BatteryVolts = nullptr;
    QLabel* txtBattVadjusted = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* OffsetV = nullptr;
    QLabel* OffsetCaption = nullptr;
    QLabel* txtShuntV = nullptr;
    QLineEdit* BatteryCurrent = nullptr;
    QLabel* txtBattAadjusted = nullptr;
    QLabel* txtPulsess = nullptr;
    QLineEdit* PulseDivider = nullptr;
    QLabel* txtWindmillRPM = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* txtPulsess2 = nullptr;
    QLineEdit* Pulse2Divider = nullptr;
    QLabel* txtWindSpeed = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Warning = nullptr; // not designed: file and port problems, hidden while there are none
};

// Sets the window's font and makes the table's controls on it, in the window's focus order with the
// focus in BatteryVolts, and binds them by role; a table without one of them stops the program
// (config::ControlsByRole).
CalibrateControls buildCalibrateControls(QWidget* window);

// A raw value wider than its place grows to the left, so its last digits stay beside the
// division sign and none are cut off.
void placeRawValue(QLabel* label, const QString& text);

// "Offset" stands right after the offset value, which keeps its full width: the value matters,
// the caption may lose its end at the window's edge for a very long offset.
void placeOffset(QLabel* offset, QLabel* caption);

} // namespace calibration
