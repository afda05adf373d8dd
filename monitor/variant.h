#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

namespace monitor {

enum class ControlKind
{
    Button,
    TextBox,
    Caption,
    Lamp,
    ModeLabel,
    NameLabel,
    Readout,
    Meter
};

// One control of the main window: what it is, its name and index, where it stands (pixels of
// the client area), its caption and, for name labels and readouts, its background.
struct ControlPlace
{
    ControlKind kind;
    QString name;
    int index = -1;
    QRect rect;
    QString caption;
    QColor colour;
};

// What differs between the two programs built from these sources.
struct ProgramVariant
{
    QString name;
    QSize client;
    std::vector<ControlPlace> controls;
    bool assignsCompactPanel = true; // holders 7 to 13
    int historyWidth = 758;          // the history window's client width
};

} // namespace monitor
