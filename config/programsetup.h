#pragma once

#include "appdir.h"
#include "setupsteps.h"

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
    void buildControls();
    void Form_Load();
    void Command1_Click();
    void PortNumber_Change();
    SetupValues shownValues() const;

    core::AppDir m_app;

    QLineEdit* m_PortNumber = nullptr;
    QCheckBox* m_Savehtml = nullptr;
    QCheckBox* m_SaveExcel = nullptr;
    QLineEdit* m_LogDelay = nullptr;
    QCheckBox* m_LogOn = nullptr;
    QCheckBox* m_DisplayRPM = nullptr;
    QCheckBox* m_DisplayWS = nullptr;
    QLineEdit* m_WSUnits = nullptr;
    QPushButton* m_Command1 = nullptr;
    QLabel* m_PortDevice = nullptr;
    // Devices come and go (an adapter plugged in while the window is open), so the line is
    // refreshed now and then as well as on every keystroke.
    QTimer m_deviceCheck;
};

} // namespace config
