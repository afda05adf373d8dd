#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

namespace config {

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
};

inline constexpr int kTwipsPerPixel = 15;

// 4050 x 3060 twips.
inline constexpr QSize kSetupClientSize{270, 204};

// The line that names the device of the typed port: beside the port box, in the only free
// space of the fixed-size window, above the "Saved to /html folder" note.
inline constexpr QRect kPortDeviceRect{160, 1, 108, 29};

// The controls in design order; each box follows the label that names it.
const std::vector<SetupControl>& setupControls();

QRect twipsToPixels(const QRect& twips);

} // namespace config
