#pragma once

#include "calibration/calibrateform.h"
#include "calibration/preview.h"
#include "core/appdir.h"
#include "core/serialline.h"

#include <QDialog>

namespace calibration {

// The calibration window, shown modally by the main window while the main port is closed.
// It owns the serial line through MSComm2 while it is open and closes that port whenever it
// closes, so the main window can take the line back.
class Calibrate : public QDialog
{
    Q_OBJECT
public:
    Calibrate(const core::AppDir& app, QWidget* parent);

    const CalibrationState& state() const { return m_state; }
    const QString& receiveBuffer() const { return m_MSComm2.receiveBuffer(); }
    bool portOpen() const { return m_MSComm2.isOpen(); }
    // The warning line under the steps: configuration and port problems; empty when none.
    QString warningText() const;

    // The receive event of MSComm2, public so tests can drive it: the frame the notification
    // completed, or empty when it completed none (nothing happens then).
    void MSComm2_OnComm(const QString& frame);

    // Every way of closing ends here; the port goes before the modal call returns.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void MSComm2_StatusChange();
    void showWarnings();
    void ComputePreview();
    DividerBoxes boxes() const;

    void Command2_Click();
    void Command1_Click();
    void Command6_Click();

    core::AppDir m_app;
    int m_port = 1;
    QString m_portText;
    QString m_WSUnits;
    CalibrationState m_state;
    QStringList m_loadWarnings;
    QString m_portProblem; // the line's status while it is not open, first in the warning line
    CalibrateControls m_controls;
    // Last, so it is the first member to go: a window that goes without being closed closes
    // its port before anything else of it is gone.
    core::SerialLine m_MSComm2;
};

} // namespace calibration
