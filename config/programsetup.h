#pragma once

#include "appdir.h"
#include "setupform.h"
#include "setupsteps.h"

#include <QDialog>
#include <QTimer>

namespace config {

// The settings window " Setup", shown modally by the main window while its port is closed.
// It shows the values of "prog.cfg" when it opens; "Save Setings" writes them back and closes
// it, any other way of closing writes nothing.
class ProgramSetup : public QDialog
{
    Q_OBJECT
public:
    ProgramSetup(const core::AppDir& app, QWidget* parent);

private:
    void Form_Load();
    void Command1_Click();
    void PortNumber_Change();
    SetupValues shownValues() const;
    QWidget* control(SetupRole role) const;

    core::AppDir m_app;
    SetupControls m_controls;
    // Devices come and go (an adapter plugged in while the window is open), so the line is
    // refreshed now and then as well as on every keystroke.
    QTimer m_deviceCheck;
};

} // namespace config
