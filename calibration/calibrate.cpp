#include "calibrate.h"

#include "configfiles.h"
#include "messagebox.h"
#include "numbers.h"
#include "serialline.h"
#include "windowload.h"
#include "windowlook.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

namespace calibration {
namespace {

constexpr int kClientWidth = 362;
constexpr int kClientHeight = 308;
constexpr int kRowHeight = 15;
constexpr int kRetryMs = 5000;
const QColor kGreen{0, 255, 0};
const QColor kWarningText{255, 255, 0};

// Errors of an open port that mean the other end went away; left open, the port would repeat
// them endlessly.
bool isLineLost(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
           error == QSerialPort::WriteError;
}

QFont sansSerif(qreal points, bool bold = false)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

void greenGround(QWidget* w)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, kGreen);
    pal.setColor(QPalette::WindowText, Qt::black);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QLabel* staticText(QWidget* parent, const QString& text, int x, int y, const QFont& font)
{
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->adjustSize();
    l->move(x, y);
    return l;
}

QLabel* valueLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(rect);
    l->setProperty("home", rect);
    return l;
}

QLineEdit* entryBox(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    e->setGeometry(rect);
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, kGreen);
    pal.setColor(QPalette::Text, Qt::black);
    e->setPalette(pal);
    return e;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(rect);
    // Enter in a box must not save or close the window behind the user's back.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

// The small division sign between a raw value and its box.
void divisionSign(QWidget* parent, int x, int y)
{
    QPixmap pix(8, 10);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawRect(3, 1, 2, 2);
    p.drawRect(0, 4, 8, 2);
    p.drawRect(3, 7, 2, 2);
    p.end();
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("Divide"));
    l->setPixmap(pix);
    l->setGeometry(x, y, 8, 10);
}

void equalsSquare(QWidget* parent, int x, int y)
{
    auto* l = new QLabel(QStringLiteral("="), parent);
    l->setFont(sansSerif(12, true));
    l->setAlignment(Qt::AlignCenter);
    greenGround(l);
    l->setGeometry(x, y, 14, 17);
}

void separator(QWidget* parent, int y)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, kGreen);
    line->setPalette(pal);
    line->setAutoFillBackground(true);
    line->setGeometry(0, y, kClientWidth, 1);
}

} // namespace

Calibrate::Calibrate(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("Calibrate"));
    setWindowTitle(QStringLiteral("Calibration"));
    setFont(sansSerif(8.25));
    core::applyWindowLook(this);
    buildControls();

    m_MSComm2.setObjectName(QStringLiteral("MSComm2"));
    connect(&m_MSComm2, &QSerialPort::readyRead, this, &Calibrate::MSComm2_OnComm);
    connect(&m_MSComm2, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::NoError || !m_MSComm2.isOpen())
            return;
        const QString reason = m_MSComm2.errorString();
        if (isLineLost(e))
            lineLost(reason);
        MSComm2_OnComm();
    });
    m_retry.setInterval(kRetryMs);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &Calibrate::openPort);

    Form_Load();
}

Calibrate::~Calibrate()
{
    closePort();
}

void Calibrate::buildControls()
{
    const QFont stepFont = sansSerif(9.75, true);
    const QFont textFont = font();

    // Step 1: battery voltage.
    staticText(this, QStringLiteral("Step 1. Set Voltage"), 3, 8, stepFont);
    staticText(this, QStringLiteral("Measure your battery voltage, and then adjust"), 10, 24,
               textFont);
    staticText(this, QStringLiteral("this value until the correct battery voltage"), 10, 40,
               textFont);
    staticText(this, QStringLiteral("is displayed"), 10, 56, textFont);
    m_txtBattV = valueLabel(this, "txtBattV", QStringLiteral("0"), QRect(252, 10, 25, kRowHeight));
    divisionSign(this, 277, 11);
    m_BatteryVolts = entryBox(this, "BatteryVolts", QStringLiteral("0"), QRect(286, 6, 43, 19));
    equalsSquare(this, 252, 30);
    m_txtBattVadjusted = valueLabel(this, "txtBattVadjusted", QString(),
                                    QRect(268, 34, kClientWidth - 268, kRowHeight));
    separator(this, 72);

    // Step 2: charge current.
    staticText(this, QStringLiteral("Step 2. Set Current"), 3, 80, stepFont);
    staticText(this, QStringLiteral("With no current flowing, press the Zero button.."), 12, 96,
               textFont);
    staticText(this, QStringLiteral("Apply a charging current, and adjust this"), 12, 112,
               textFont);
    staticText(this, QStringLiteral("value until the correct amps is displayed."), 12, 128,
               textFont);
    m_Command2 = button(this, "Command2", QStringLiteral("Zero"), QRect(250, 76, 46, 19));
    m_OffsetV = valueLabel(this, "OffsetV", QStringLiteral("0"), QRect(298, 78, 24, kRowHeight));
    m_offsetCaption = new QLabel(QStringLiteral("Offset"), this);
    m_offsetCaption->setObjectName(QStringLiteral("OffsetCaption"));
    m_offsetCaption->setAlignment(Qt::AlignCenter);
    greenGround(m_offsetCaption);
    m_txtShuntV =
        valueLabel(this, "txtShuntV", QStringLiteral("0"), QRect(250, 104, 26, kRowHeight));
    greenGround(m_txtShuntV);
    divisionSign(this, 277, 106);
    m_BatteryCurrent =
        entryBox(this, "BatteryCurrent", QStringLiteral("0"), QRect(286, 100, 43, 22));
    equalsSquare(this, 248, 122);
    m_txtBattAadjusted = valueLabel(this, "txtBattAadjusted", QString(),
                                    QRect(264, 126, kClientWidth - 264, kRowHeight));
    separator(this, 148);

    // Step 3: turbine.
    staticText(this, QStringLiteral("Step 3. Set RPM"), 3, 158, stepFont);
    staticText(this, QStringLiteral("How many pulses per revolution?"), 10, 174, textFont);
    m_txtPulsess =
        valueLabel(this, "txtPulsess", QStringLiteral("0"), QRect(250, 160, 26, kRowHeight));
    divisionSign(this, 277, 163);
    m_PulseDivider = entryBox(this, "PulseDivider", QStringLiteral("1"), QRect(286, 158, 43, 19));
    equalsSquare(this, 248, 180);
    m_txtWindmillRPM = valueLabel(this, "txtWindmillRPM", QString(),
                                  QRect(264, 184, kClientWidth - 264, kRowHeight));
    separator(this, 216);

    // Step 4: wind.
    staticText(this, QStringLiteral("Step 4. Set Wind Speed"), 3, 222, stepFont);
    m_Label23 = new QLabel(QStringLiteral("How many pulses per revolution?"), this);
    m_Label23->setObjectName(QStringLiteral("Label23"));
    m_Label23->setGeometry(10, 238, 236, kRowHeight);
    m_txtPulsess2 =
        valueLabel(this, "txtPulsess2", QStringLiteral("0"), QRect(248, 224, 26, kRowHeight));
    divisionSign(this, 275, 227);
    m_Pulse2Divider = entryBox(this, "Pulse2Divider", QStringLiteral("1"), QRect(284, 222, 43, 19));
    equalsSquare(this, 244, 244);
    m_txtWindSpeed = valueLabel(this, "txtWindSpeed", QString(),
                                QRect(260, 248, kClientWidth - 260, kRowHeight));
    separator(this, 272);

    m_Command6 =
        button(this, "Command6", QStringLiteral("Exit ( dont save )"), QRect(96, 280, 109, 25));
    m_Command1 =
        button(this, "Command1", QStringLiteral("Save Calibration"), QRect(208, 280, 148, 25));
    connect(m_Command2, &QPushButton::clicked, this, &Calibrate::Command2_Click);
    connect(m_Command1, &QPushButton::clicked, this, &Calibrate::Command1_Click);
    connect(m_Command6, &QPushButton::clicked, this, &Calibrate::Command6_Click);

    // Problems with the files or the port, in a line of its own under the steps.
    m_warning = new QLabel(this);
    m_warning->setObjectName(QStringLiteral("Warning"));
    m_warning->setWordWrap(true);
    QPalette pal = m_warning->palette();
    pal.setColor(QPalette::WindowText, kWarningText);
    m_warning->setPalette(pal);
    m_warning->hide();

    QWidget::setTabOrder(m_BatteryVolts, m_BatteryCurrent);
    QWidget::setTabOrder(m_BatteryCurrent, m_PulseDivider);
    QWidget::setTabOrder(m_PulseDivider, m_Command1);
    QWidget::setTabOrder(m_Command1, m_Command2);
    QWidget::setTabOrder(m_Command2, m_Command6);
    QWidget::setTabOrder(m_Command6, m_Pulse2Divider);
    m_BatteryVolts->setFocus();
    setFixedSize(kClientWidth, kClientHeight);
}

void Calibrate::Form_Load()
{
    const WindowLoad load = loadCalibrationWindow(m_app);
    m_port = load.Port;
    m_portText = load.PortText;
    m_WSUnits = load.WSUnits;
    m_state.VoltOffset = load.VoltOffset;
    m_loadWarnings = load.warnings;
    m_Label23->setText(pulsesQuestion(m_WSUnits));
    // The port opens when the window first shows (showEvent): by then the main window has
    // certainly let go of the line.
    m_BatteryVolts->setText(core::numberText(load.VoltDivider));
    m_BatteryCurrent->setText(core::numberText(load.AmpDivider));
    m_PulseDivider->setText(core::numberText(load.RPMDivider));
    m_OffsetV->setText(core::numberText(m_state.VoltOffset));
    placeOffset();
    m_Pulse2Divider->setText(load.WSDivider);
    m_loaded = true;
    showWarnings();
}

void Calibrate::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_loaded && !m_MSComm2.isOpen() && !m_retry.isActive() && m_portProblem.isEmpty())
        openPort();
}

void Calibrate::openPort()
{
    m_retry.stop();
    if (m_port < 1) {
        m_portProblem = QStringLiteral("Port \"%1\" is not a port number. Choose a port in Setup.")
                            .arg(m_portText);
        showWarnings();
        return;
    }
    const QString device = core::portDevice(m_app, m_port);
    m_MSComm2.setPortName(device);
    m_MSComm2.setBaudRate(4800);
    m_MSComm2.setParity(QSerialPort::NoParity);
    m_MSComm2.setDataBits(QSerialPort::Data8);
    m_MSComm2.setStopBits(QSerialPort::OneStop);
    m_MSComm2.setFlowControl(QSerialPort::NoFlowControl);
    if (m_MSComm2.open(QIODevice::ReadWrite)) {
        m_portProblem.clear();
    } else {
        m_portProblem = QStringLiteral("Port %1 (%2): cannot open: %3. No readings until it "
                                       "opens; trying again every 5 seconds.")
                            .arg(m_port)
                            .arg(device, m_MSComm2.errorString());
        m_retry.start();
    }
    showWarnings();
}

void Calibrate::closePort()
{
    m_retry.stop();
    if (m_MSComm2.isOpen())
        m_MSComm2.close();
}

void Calibrate::lineLost(const QString& reason)
{
    m_MSComm2.close();
    m_portProblem = QStringLiteral("Port %1 (%2): line lost: %3. Trying again every 5 seconds.")
                        .arg(m_port)
                        .arg(m_MSComm2.portName(), reason);
    showWarnings();
    m_retry.start();
}

QString Calibrate::warningText() const
{
    return m_warning->isHidden() ? QString() : m_warning->text();
}

void Calibrate::showWarnings()
{
    QStringList lines = m_loadWarnings;
    if (!m_portProblem.isEmpty())
        lines.prepend(m_portProblem);
    if (lines.isEmpty()) {
        m_warning->hide();
        m_warning->clear();
        setFixedSize(kClientWidth, kClientHeight);
        return;
    }
    m_warning->setText(lines.join(QLatin1Char('\n')));
    const int width = kClientWidth - 8;
    const int height = m_warning->heightForWidth(width);
    m_warning->setGeometry(4, kClientHeight, width, height);
    m_warning->show();
    setFixedSize(kClientWidth, kClientHeight + height + 4);
}

DividerBoxes Calibrate::boxes() const
{
    return {m_BatteryVolts->text(), m_BatteryCurrent->text(), m_PulseDivider->text(),
            m_Pulse2Divider->text()};
}

void Calibrate::MSComm2_OnComm()
{
    if (!m_MSComm2.isOpen())
        return;
    const QByteArray bytes = m_MSComm2.readAll();
    m_MSComm2.clear(QSerialPort::Input);
    const auto frame = takeFrame(m_receiveBuffer, QString::fromLatin1(bytes));
    if (!frame)
        return;
    m_state.raw = readRawValues(*frame);
    ComputePreview();
}

void Calibrate::ComputePreview()
{
    const PreviewLabels labels = calibration::ComputePreview(m_state, boxes(), m_WSUnits);
    placeRawLabel(m_txtBattV, labels.txtBattV);
    placeRawLabel(m_txtShuntV, labels.txtShuntV);
    placeRawLabel(m_txtPulsess, labels.txtPulsess);
    m_txtWindmillRPM->setText(labels.txtWindmillRPM);
    placeRawLabel(m_txtPulsess2, labels.txtPulsess2);
    m_txtWindSpeed->setText(labels.txtWindSpeed);
    if (labels.txtBattVadjusted)
        m_txtBattVadjusted->setText(*labels.txtBattVadjusted);
    if (labels.txtBattAadjusted)
        m_txtBattAadjusted->setText(*labels.txtBattAadjusted);
}

// A raw value wider than its place grows to the left, so its last digits stay beside the
// division sign and none are cut off.
void Calibrate::placeRawLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    const QRect home = label->property("home").toRect();
    const int width = label->fontMetrics().horizontalAdvance(text) + 2;
    if (width <= home.width())
        label->setGeometry(home);
    else
        label->setGeometry(home.right() + 1 - width, home.y(), width, home.height());
}

// "Offset" stands right after the offset value, which keeps its full width: the value matters,
// the caption may lose its end at the window's edge for a very long offset.
void Calibrate::placeOffset()
{
    const QRect home = m_OffsetV->property("home").toRect();
    const int width =
        std::max(home.width(), m_OffsetV->fontMetrics().horizontalAdvance(m_OffsetV->text()));
    m_OffsetV->setGeometry(home.x(), home.y(), width, home.height());
    const int x = home.x() + width;
    const int captionWidth =
        m_offsetCaption->fontMetrics().horizontalAdvance(m_offsetCaption->text()) + 2;
    m_offsetCaption->setGeometry(x, home.y(), std::min(captionWidth, kClientWidth - x),
                                 home.height());
}

void Calibrate::Command2_Click()
{
    m_state.VoltOffset = zeroOffset(m_state.raw);
    m_OffsetV->setText(core::numberText(m_state.VoltOffset));
    placeOffset();
}

void Calibrate::Command1_Click()
{
    const DividerBoxes b = boxes();
    if (const auto refusal = saveRefusal(b)) {
        core::showMessage(this, refusal->message);
        QLineEdit* const box[] = {m_BatteryVolts, m_BatteryCurrent, m_PulseDivider,
                                  m_Pulse2Divider};
        box[refusal->box]->setFocus();
        box[refusal->box]->selectAll();
        return;
    }
    QString error;
    if (!config::SaveCalibrationSettings(m_app, b.BatteryVolts, m_state.VoltOffset,
                                         b.BatteryCurrent, b.PulseDivider, b.Pulse2Divider,
                                         &error)) {
        core::showMessage(this, QStringLiteral("Cannot write settings.cfg (%1): %2. The "
                                               "calibration was not saved.")
                                    .arg(m_app.settingsCfg(), error));
        return;
    }
    closePort();
    accept();
}

void Calibrate::Command6_Click()
{
    close();
}

void Calibrate::done(int result)
{
    closePort();
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
