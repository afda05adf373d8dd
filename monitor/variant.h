#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

namespace monitor {

// What a control of the main window is for; the window binds its members by this, never by
// the control's name.
enum class Control
{
    Exit,
    StartLogging,
    StopLogging,
    CalibrateButton,
    Setup,
    ShowLogs,
    Publish,       // opens the MQTT publishing settings
    Season,        // opens the season's energy and long charts
    Alarms,        // opens the alarm settings; its caption counts the alarms raised
    Delay,         // the logging interval box "delay"
    RecordCaption, // "Record", right-aligned up to the lamp
    Seconds,       // "Seconds", which names the interval box
    BlinkLog,
    BlinkData,
    TxtMode,
    NameLabel, // a quantity's name under its meter or in the compact panel
    Readout,   // Label5(index): a holder's digital readout
    Meter      // Picture1(index): a meter face with its needle
};

// One control of the main window: its role, its name and index (the object name is "name" or
// "name_index"), where it stands (pixels of the client area), its caption and, for name labels
// and readouts, its background.
struct ControlPlace
{
    Control control;
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
    bool assignsCompactPanel = true; // the panel's holders, besides the meters' 0 to 5
    int historyWidth = 758;          // the history window's client width
    // The live trend and its tick box, in room the design leaves free; a layout without such
    // room grows by trendBand pixels below its designed area, which nothing designed moves for.
    QRect trend;
    QRect trendToggle;
    int trendBand = 0;
};

} // namespace monitor
