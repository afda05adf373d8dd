#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace config {

enum class SetupControlKind
{
    Label,
    TextBox,
    CheckBox,
    Button
};

// What the window does with a control; the labels only name the boxes.
enum class SetupRole
{
    None,
    PortNumber,
    Savehtml,
    SaveExcel,
    LogDelay,
    LogOn,
    DisplayRPM,
    DisplayWS,
    WSUnits,
    Command1
};

// One control of the settings window as designed: position in twips, tab index, design text.
struct SetupControl
{
    SetupControlKind kind;
    SetupRole role;
    QString name;
    QString caption;
    QRect twips;
    int tabIndex;
};

// 4050 x 3060 twips.
inline constexpr QSize kSetupClientSize{270, 204};

// The line that names the device of the typed port: beside the port box, in the only free
// space of the fixed-size window, above the "Saved to /html folder" note.
inline constexpr QRect kPortDeviceRect{160, 1, 108, 29};

// The controls in design order; each box follows the label that names it.
const std::vector<SetupControl>& setupControls();

// The controls the window works with, named as in the table.
struct SetupControls
{
    // The texts of prog.cfg, as typed.
    QLineEdit* PortNumber = nullptr;
    QLineEdit* LogDelay = nullptr;
    QLineEdit* WSUnits = nullptr;
    // Its flags.
    QCheckBox* Savehtml = nullptr;
    QCheckBox* SaveExcel = nullptr;
    QCheckBox* LogOn = nullptr;
    QCheckBox* DisplayRPM = nullptr;
    QCheckBox* DisplayWS = nullptr;
    // Save, and the device line at kPortDeviceRect (not designed).
    QPushButton* Command1 = nullptr;
    QLabel* PortDevice = nullptr;
};

// Makes the table's controls on the window in tab order, the focus on the first, and binds
// them by role; a table without one of them stops the program (core::ControlsByRole).
SetupControls buildSetupControls(QWidget* window);

} // namespace config
