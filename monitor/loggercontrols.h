#pragma once

#include "core/quantities.h"
#include "monitor/variant.h"

#include <QImage>
#include <map>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace monitor {

// The main window's controls, each filled by its row of the build's layout table.
struct LoggerControls
{
    QPushButton* Exit = nullptr;
    QPushButton* StartLogging = nullptr;
    QPushButton* StopLogging = nullptr;
    QPushButton* CalibrateButton = nullptr;
    QPushButton* Setup = nullptr;
    QPushButton* ShowLogs = nullptr;
    QPushButton* Publish = nullptr;
    QPushButton* Season = nullptr;
    QPushButton* Alarms = nullptr;
    QPushButton* Silence = nullptr; // holds back the notifications of the alarms raised now
    QPushButton* Web = nullptr;     // the web view's settings
    QPushButton* Storage = nullptr; // how often the records reach the disk
    QPushButton* Notify = nullptr;  // the alarms' push, webhook and e-mail
    QPushButton* BlinkLog = nullptr;
    QPushButton* BlinkData = nullptr;
    QLineEdit* delay = nullptr;
    QLabel* txtMode = nullptr;
    QLabel* status = nullptr;        // port, file and configuration warnings, below the layout
    QLabel* seconds = nullptr;       // "Seconds" (Label10)
    std::map<int, QLabel*> Label5;   // readouts by holder
    std::map<int, QLabel*> Picture1; // meters by quantity
    std::map<int, QImage> faces;     // each meter's face without its needle
};

// Makes the controls of the layout table on the window. A table without one of the controls
// the window needs (a button, the lamps, the delay box, the mode label), or with one of another
// class in its place, is a fault in the build and stops the program at once, rather than later
// on a null pointer.
LoggerControls buildLoggerControls(QWidget* window, const ProgramVariant& variant);

// Draws each meter's face afresh, at the size of its picture and the screen's pixel ratio, so
// it stays sharp on a scaled screen; the needle is drawn over it by the window.
void drawFaces(LoggerControls& controls, double devicePixelRatio);

// "Volts meter": the start of what a screen reader says for a meter.
QString meterName(core::Quantity q);

// Colours a lamp, a name label or a readout.
void setBackground(QWidget* w, const QColor& colour);

} // namespace monitor
