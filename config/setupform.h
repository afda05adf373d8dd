#pragma once

#include "ui/controltable.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace config {

struct SetupControls;

enum class SetupControlKind
{
    Label,
    TextBox,
    CheckBox,
    Button
};

// One control of the settings window as designed: position in twips, tab index, design text.
struct SetupControl
{
    SetupControlKind kind;
    QString name;
    QString caption;
    QRect twips;
    int tabIndex;
    ui::Fills<SetupControls> member{}; // empty for the labels, which only name the boxes
};

// 4050 x 3060 twips: the designed window. Its controls keep their places in the top left of
// the larger window; three notes reach out to the right of it, the furthest to 313 pixels.
inline constexpr QSize kSetupDesignedSize{270, 204};

// The window is larger by the serial devices to choose from: the list to the right of the
// designed part, clear of those notes, and across the bottom what the typed port would open
// and what to do when it cannot be opened (a permission fix takes a few lines).
inline constexpr QSize kSetupClientSize{640, 290};
inline constexpr QRect kDeviceListCaptionRect{320, 4, 312, 15};
inline constexpr QRect kDeviceListRect{320, 20, 312, 150};
inline constexpr QRect kUseDeviceRect{512, 174, 120, 25};
inline constexpr QRect kDeviceHelpRect{8, 208, 624, 60};
inline constexpr QRect kAppFolderRect{8, 270, 624, 16};
inline constexpr QRect kAboutRect{320, 178, 186, 16}; // the programs' name and version

// The line that names the device of the typed port: beside the port box, above the "Saved to
// /html folder" note.
inline constexpr QRect kPortDeviceRect{160, 1, 156, 29};

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
    // Not designed either: the serial devices present, the button that links the chosen one
    // as the typed port, and the device line in full.
    QLabel* DeviceListCaption = nullptr;
    QListWidget* DeviceList = nullptr;
    QPushButton* UseDevice = nullptr;
    QLabel* DeviceHelp = nullptr;
    QLabel* AppFolder = nullptr; // where the program keeps its files
};

// Makes the table's controls on the window in tab order, the focus on the first, and binds
// them to their members; a control of another class than its member stops the program
// (ui::fills).
SetupControls buildSetupControls(QWidget* window);

} // namespace config
