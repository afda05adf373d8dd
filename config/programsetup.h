#pragma once

#include "config/setupform.h"
#include "config/setupsteps.h"
#include "core/appdir.h"
#include "core/serialdevices.h"

#include <QDialog>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

namespace config {

// The settings window " Setup", shown modally by the main window while its port is closed.
// It shows the values of "prog.cfg" when it opens; "Save Setings" writes them back and closes
// it, any other way of closing writes nothing. Beside the designed controls it lists the serial
// devices present; "Use this device" links the chosen one as "com<n>" for the typed port.
class ProgramSetup : public QDialog
{
    Q_OBJECT
public:
    // Where the list comes from; empty means the devices present (core::serialDevicesPresent).
    using DeviceLister = std::function<std::vector<core::SerialDevice>()>;

    ProgramSetup(const core::AppDir& app, QWidget* parent, DeviceLister devices = {});

    // How often the list and the line look at the devices again; 1 s unless a test hurries it.
    void setDeviceCheckInterval(int ms) { m_deviceCheck.setInterval(ms); }

private:
    void Form_Load();
    void Command1_Click();
    void PortNumber_Change();
    void UseDevice_Click();
    void refreshDevices();
    void deviceCheck();
    SetupValues shownValues() const;
    QWidget* control(SetupText role) const;

    core::AppDir m_app;
    SetupControls m_controls;
    DeviceLister m_lister;
    // What the list shows; nothing before it is first filled.
    std::optional<std::vector<core::SerialDevice>> m_devices;
    // Devices come and go (an adapter plugged in while the window is open), so the list and
    // the line are refreshed now and then, the line also on every keystroke.
    QTimer m_deviceCheck;
};

} // namespace config
