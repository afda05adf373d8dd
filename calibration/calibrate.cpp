#include "calibration/calibrate.h"

#include "calibration/windowload.h"
#include "config/configfiles.h"
#include "core/numbers.h"
#include "core/serialdevices.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace calibration {
namespace {

const QString kOpenFailedAdvice =
    QStringLiteral("No readings until it opens; trying again every 5 seconds.");

} // namespace

Calibrate::Calibrate(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
    , m_MSComm2(QStringLiteral("MSComm2"), app, this)
{
    setObjectName(QStringLiteral("Calibrate"));
    setWindowTitle(QStringLiteral("Calibration"));
    ui::applyWindowLook(this);
    m_controls = buildCalibrateControls(this);
    ui::makeKeyboardFriendly(this);
    setFixedSize(kCalibrateClientSize);

    connect(m_controls.Command2, &QPushButton::clicked, this, &Calibrate::Command2_Click);
    connect(m_controls.Command1, &QPushButton::clicked, this, &Calibrate::Command1_Click);
    connect(m_controls.Command6, &QPushButton::clicked, this, &Calibrate::Command6_Click);
    connect(&m_MSComm2, &core::SerialLine::comm, this, &Calibrate::MSComm2_OnComm);
    connect(&m_MSComm2, &core::SerialLine::statusChanged, this, &Calibrate::MSComm2_StatusChange);

    Form_Load();
}

void Calibrate::Form_Load()
{
    const WindowLoad load = loadCalibrationWindow(m_app);
    m_port = load.Port;
    m_portText = load.PortText;
    m_WSUnits = load.WSUnits;
    m_state.VoltOffset = load.VoltOffset;
    m_loadWarnings = load.warnings;
    m_controls.Label23->setText(pulsesQuestion(m_WSUnits));
    // Three dividers show as the numbers they read as (a stored 2.50 shows 2.5), the wind one as
    // it is stored: so the window has always done, and a save writes back what it shows.
    m_controls.BatteryVolts->setText(core::numberText(load.VoltDivider));
    m_controls.BatteryCurrent->setText(core::numberText(load.AmpDivider));
    m_controls.PulseDivider->setText(core::numberText(load.RPMDivider));
    m_controls.OffsetV->setText(core::numberText(m_state.VoltOffset));
    placeOffset(m_controls.OffsetV, m_controls.OffsetCaption);
    m_controls.Pulse2Divider->setText(load.WSDivider);
    showWarnings();
}

void Calibrate::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The port opens when the window shows, not at load: by then the main window has certainly
    // let go of the line. Only a line closed with no problem told (never opened, or closed after
    // it had opened) is opened; one retrying, naming no port or closed while failing is left.
    if (m_MSComm2.status().state == core::LineStatus::State::Closed && m_portProblem.isEmpty())
        m_MSComm2.open(m_port);
}

void Calibrate::MSComm2_StatusChange()
{
    const core::LineStatus& status = m_MSComm2.status();
    // An open line needs no words: the readings show it.
    m_portProblem = status.state == core::LineStatus::State::Open
                        ? QString()
                        : core::lineStatusText(status, m_portText,
                                               core::openFailedAdvice(status, kOpenFailedAdvice));
    showWarnings();
}

QString Calibrate::warningText() const
{
    return m_controls.Warning->isHidden() ? QString() : m_controls.Warning->text();
}

void Calibrate::showWarnings()
{
    QLabel* warning = m_controls.Warning;
    QStringList lines = m_loadWarnings;
    if (!m_portProblem.isEmpty())
        lines.prepend(m_portProblem);
    if (lines.isEmpty()) {
        warning->hide();
        warning->clear();
        setFixedSize(kCalibrateClientSize);
        return;
    }
    warning->setText(lines.join(QLatin1Char('\n')));
    const int width = kCalibrateClientSize.width() - 8;
    const int height = warning->heightForWidth(width);
    warning->setGeometry(4, kCalibrateClientSize.height(), width, height);
    warning->show();
    setFixedSize(kCalibrateClientSize + QSize(0, height + 4));
}

DividerBoxes Calibrate::boxes() const
{
    return {m_controls.BatteryVolts->text(), m_controls.BatteryCurrent->text(),
            m_controls.PulseDivider->text(), m_controls.Pulse2Divider->text()};
}

void Calibrate::MSComm2_OnComm(const QString& frame)
{
    if (frame.isEmpty())
        return;
    m_state.raw = readRawValues(frame);
    ComputePreview();
}

void Calibrate::ComputePreview()
{
    const PreviewLabels labels = calibration::ComputePreview(m_state, boxes(), m_WSUnits);
    const CalibrateControls& c = m_controls;
    placeRawValue(c.txtBattV, labels.txtBattV);
    placeRawValue(c.txtShuntV, labels.txtShuntV);
    placeRawValue(c.txtPulsess, labels.txtPulsess);
    c.txtWindmillRPM->setText(labels.txtWindmillRPM);
    placeRawValue(c.txtPulsess2, labels.txtPulsess2);
    c.txtWindSpeed->setText(labels.txtWindSpeed);
    if (labels.txtBattVadjusted)
        c.txtBattVadjusted->setText(*labels.txtBattVadjusted);
    if (labels.txtBattAadjusted)
        c.txtBattAadjusted->setText(*labels.txtBattAadjusted);
}

void Calibrate::Command2_Click()
{
    m_state.VoltOffset = zeroOffset(m_state.raw);
    m_controls.OffsetV->setText(core::numberText(m_state.VoltOffset));
    placeOffset(m_controls.OffsetV, m_controls.OffsetCaption);
}

void Calibrate::Command1_Click()
{
    const DividerBoxes b = boxes();
    if (const auto refusal = saveRefusal(b)) {
        ui::showMessage(this, refusal->message);
        QLineEdit* const box[] = {m_controls.BatteryVolts, m_controls.BatteryCurrent,
                                  m_controls.PulseDivider, m_controls.Pulse2Divider};
        box[refusal->box]->setFocus();
        box[refusal->box]->selectAll();
        return;
    }
    QString error;
    if (!config::SaveCalibrationSettings(m_app, savedSettings(b, m_state.VoltOffset), &error)) {
        ui::showMessage(this, QStringLiteral("Cannot write settings.cfg (%1): %2. The "
                                             "calibration was not saved.")
                                  .arg(m_app.settingsCfg(), error));
        return;
    }
    m_MSComm2.close();
    accept();
}

void Calibrate::Command6_Click()
{
    close();
}

void Calibrate::done(int result)
{
    m_MSComm2.close();
    QDialog::done(result);
}

void Calibrate::keyPressEvent(QKeyEvent* event)
{
    // Only the two buttons and the close box close the window; Escape would drop the user's
    // edits unasked.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace calibration
