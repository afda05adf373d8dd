#pragma once

#include "appdir.h"
#include "preview.h"

#include <QDialog>
#include <QSerialPort>
#include <QTimer>

class QLabel;
class QLineEdit;
class QPushButton;

namespace calibration {

// The calibration window, shown modally by the main window while the main port is closed.
// It owns the serial line through MSComm2 while it is open and closes that port whenever it
// closes, so the main window can take the line back.
class Calibrate : public QDialog
{
    Q_OBJECT
public:
    Calibrate(const core::AppDir& app, QWidget* parent);
    ~Calibrate() override;

    const CalibrationState& state() const { return m_state; }
    const QString& receiveBuffer() const { return m_receiveBuffer; }
    bool portOpen() const { return m_MSComm2.isOpen(); }
    // The warning line under the steps: configuration and port problems; empty when none.
    QString warningText() const;

    // The receive event of MSComm2, public so tests can drive it.
    void MSComm2_OnComm();

    // Every way of closing ends here; the port goes before the modal call returns.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void openPort();
    void closePort();
    void lineLost(const QString& reason);
    void showWarnings();
    void ComputePreview();
    void placeRawLabel(QLabel* label, const QString& text);
    void placeOffset();
    DividerBoxes boxes() const;

    void Command2_Click();
    void Command1_Click();
    void Command6_Click();

    core::AppDir m_app;
    int m_port = 1;
    QString m_portText;
    QString m_WSUnits;
    CalibrationState m_state;
    QString m_receiveBuffer;
    QStringList m_loadWarnings;
    QString m_portProblem;
    bool m_loaded = false;

    QSerialPort m_MSComm2;
    QTimer m_retry;

    QLabel* m_txtBattV = nullptr;
    QLineEdit* m_BatteryVolts = nullptr;
    QLabel* m_txtBattVadjusted = nullptr;
    QPushButton* m_Command2 = nullptr;
    QLabel* m_OffsetV = nullptr;
    QLabel* m_offsetCaption = nullptr;
    QLabel* m_txtShuntV = nullptr;
    QLineEdit* m_BatteryCurrent = nullptr;
    QLabel* m_txtBattAadjusted = nullptr;
    QLabel* m_txtPulsess = nullptr;
    QLineEdit* m_PulseDivider = nullptr;
    QLabel* m_txtWindmillRPM = nullptr;
    QLabel* m_txtPulsess2 = nullptr;
    QLineEdit* m_Pulse2Divider = nullptr;
    QLabel* m_txtWindSpeed = nullptr;
    QLabel* m_Label23 = nullptr;
    QPushButton* m_Command6 = nullptr;
    QPushButton* m_Command1 = nullptr;
    QLabel* m_warning = nullptr;
};

} // namespace calibration
