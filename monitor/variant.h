#pragma once

#include "ui/controltable.h"

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

namespace monitor {

struct LoggerControls;

// What a control of the main window is made as.
enum class Kind
{
    Button,
    TextBox,
    Caption,      // white text on the window
    RightCaption, // the same, right-aligned ("Record", up to its lamp)
    Lamp,
    Mode,      // the load mode over the first meter
    NameLabel, // a quantity's name under its meter or in the compact panel
    Readout,   // Label5(index): a holder's digital readout
    Meter      // Picture1(index): a meter face with its needle
};

// One control of the main window: what it is, its name and index (the object name is "name" or
// "name_index"), where it stands (pixels of the client area), its caption, its background (name
// labels, readouts; a lamp's when off, the button colour if none), what a screen reader says
// where it shows no text of its own, and the member it fills (at its index for readouts and
// meters).
struct ControlPlace
{
    Kind kind;
    QString name;
    int index = -1;
    QRect rect;
    QString caption;
    QColor colour;
    QString accessible;
    ui::Fills<LoggerControls> member{};
    ui::FillsAt<LoggerControls> each{};
};

// What differs between the two programs built from these sources.
struct ProgramVariant
{
    QString name;
    QSize client;
    std::vector<ControlPlace> controls;
    bool assignsCompactPanel = true; // the panel's holders, besides the meters' 0 to 5
    int historyWidth = 758;          // the history window's client width
    // The live trend and its tick box, in room the design leaves free; a layout without such
    // room grows by trendBand pixels below its designed area, which nothing designed moves for.
    QRect trend;
    QRect trendToggle;
    int trendBand = 0;
};

} // namespace monitor
