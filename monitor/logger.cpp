#include "logger.h"

#include "calibrate.h"
#include "graph.h"
#include "logcontrol.h"
#include "messagebox.h"
#include "meterface.h"
#include "numbers.h"
#include "programsetup.h"
#include "serialline.h"
#include "windowlook.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace monitor {
namespace {

// An error from an open port that means the other end went away: a pseudo-terminal reports
// ReadError, a pulled USB adapter ResourceError. Left open, the port repeats it endlessly.
bool isLineLost(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
           error == QSerialPort::WriteError;
}

constexpr int kRetryMs = 5000;
constexpr int kStatusHeight = 40;
const QColor kLampRed{255, 0, 0};
const QColor kWarningText{255, 214, 64};

void setBackground(QWidget* w, const QColor& colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::Button, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

Logger::Logger(const ProgramVariant& variant, const core::AppDir& app, const core::Clock& clock,
               QWidget* parent)
    : QWidget(parent)
    , m_variant(variant)
    , m_app(app)
    , m_clock(clock)
{
    setObjectName(QStringLiteral("Logger"));
    core::applyWindowLook(this);
    buildControls();

    m_MSComm1.setObjectName(QStringLiteral("MSComm1"));
    connect(&m_MSComm1, &QSerialPort::readyRead, this, &Logger::MSComm1_OnComm);
    connect(&m_MSComm1, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::NoError || !m_MSComm1.isOpen())
            return;
        const QString reason = m_MSComm1.errorString();
        if (isLineLost(e))
            lineLost(reason);
        MSComm1_OnComm();
    });
    m_retry.setInterval(kRetryMs);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { openPort(false); });
    // Records that could not be written are tried again between ticks too, so they reach their
    // files even when logging is stopped before the next record.
    m_writeRetry.setInterval(kRetryMs);
    m_writeRetry.setSingleShot(true);
    connect(&m_writeRetry, &QTimer::timeout, this, &Logger::writePendingRecords);

    m_Timer1.setInterval(1000);
    connect(&m_Timer1, &QTimer::timeout, this, &Logger::Timer1_Timer);
    m_Timer2.setInterval(250);
    connect(&m_Timer2, &QTimer::timeout, this, &Logger::Timer2_Timer);
    m_Timer3.setInterval(5000);
    connect(&m_Timer3, &QTimer::timeout, this, &Logger::Timer3_Timer);
    m_Timer3.start();

    // Start-up.
    setWindowTitle(QStringLiteral("Logger - No Signal"));
    m_StopLogging->setEnabled(false);
    m_reading = Reading{};
    m_wattHourTotal = 0;
    LoadConfiguration();
    openPort(true);
    if (config::flagOn(m_programConfig.LogOn))
        startLogging(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    for (int i = 0; i < 6; ++i)
        assignHolder(i, 0);
}

void Logger::buildControls()
{
    QFont labelFont(QStringLiteral("Arial"), 12, QFont::Bold);
    for (const ControlPlace& c : m_variant.controls) {
        QWidget* w = nullptr;
        switch (c.kind) {
        case ControlKind::Button:
        case ControlKind::Lamp: {
            auto* b = new QPushButton(c.caption, this);
            if (c.kind == ControlKind::Lamp) {
                b->setFlat(true);
                b->setFocusPolicy(Qt::NoFocus);
                setBackground(b, c.name == QLatin1String("BlinkData") ? Qt::white
                                                                      : palette().button().color());
                (c.name == QLatin1String("BlinkLog") ? m_BlinkLog : m_BlinkData) = b;
            } else if (c.name == QLatin1String("StartLogging")) {
                m_StartLogging = b;
                connect(b, &QPushButton::clicked, this, &Logger::StartLogging_Click);
            } else if (c.name == QLatin1String("StopLogging")) {
                m_StopLogging = b;
                connect(b, &QPushButton::clicked, this, &Logger::StopLogging_Click);
            } else if (c.name == QLatin1String("Exit")) {
                connect(b, &QPushButton::clicked, this, &QWidget::close);
            } else if (c.name == QLatin1String("CalibrateButton")) {
                connect(b, &QPushButton::clicked, this, &Logger::CalibrateButton_Click);
            } else if (c.name == QLatin1String("Setup")) {
                connect(b, &QPushButton::clicked, this, &Logger::Setup_Click);
            } else if (c.name == QLatin1String("ShowLogs")) {
                connect(b, &QPushButton::clicked, this, &Logger::ShowLogs_Click);
            }
            w = b;
            break;
        }
        case ControlKind::TextBox:
            m_delay = new QLineEdit(c.caption, this);
            w = m_delay;
            break;
        case ControlKind::Caption: {
            auto* l = new QLabel(c.caption, this);
            QPalette pal = l->palette();
            pal.setColor(QPalette::WindowText, Qt::white);
            l->setPalette(pal);
            if (c.name == QLatin1String("Label9"))
                l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            w = l;
            break;
        }
        case ControlKind::ModeLabel: {
            m_txtMode = new QLabel(this);
            QPalette pal = m_txtMode->palette();
            pal.setColor(QPalette::WindowText, Qt::red);
            m_txtMode->setPalette(pal);
            QFont modeFont(QStringLiteral("Arial"));
            modeFont.setPointSizeF(13.5);
            modeFont.setBold(true);
            m_txtMode->setFont(modeFont);
            m_txtMode->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            w = m_txtMode;
            break;
        }
        case ControlKind::NameLabel:
        case ControlKind::Readout: {
            auto* l = new QLabel(c.caption, this);
            l->setFont(labelFont);
            l->setAlignment(Qt::AlignCenter);
            setBackground(l, c.colour);
            QPalette pal = l->palette();
            pal.setColor(QPalette::WindowText, Qt::black);
            l->setPalette(pal);
            if (c.kind == ControlKind::Readout)
                m_Label5[c.index] = l;
            w = l;
            break;
        }
        case ControlKind::Meter: {
            // The face is drawn once; each needle drawing starts again from it, and the label
            // keeps the result, so the needle survives the window being covered or restored.
            auto* picture = new QLabel(this);
            const MeterSpec& meter = kMeterSpec[c.index];
            m_faces[c.index] =
                meterFace(c.rect.size(), meter.fullScale, QString::fromLatin1(meter.faceName));
            picture->setPixmap(QPixmap::fromImage(m_faces[c.index]));
            m_Picture1[c.index] = picture;
            w = picture;
            break;
        }
        }
        w->setObjectName(c.index >= 0 ? QStringLiteral("%1_%2").arg(c.name).arg(c.index) : c.name);
        w->setGeometry(c.rect);
    }
    // The mode text stands over the first meter's face.
    if (m_txtMode)
        m_txtMode->raise();
    // The port and configuration status sits in a line of its own below the laid-out controls.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setWordWrap(true);
    m_status->setGeometry(8, m_variant.client.height(), m_variant.client.width() - 16,
                          kStatusHeight);
    setFixedSize(m_variant.client.width(), m_variant.client.height() + kStatusHeight);
}

void Logger::LoadConfiguration()
{
    m_configWarnings.clear();
    m_programConfig = config::ReadProgramConfig(m_app, &m_configWarnings);
    m_delay->setText(m_programConfig.LogDelay);
    m_calibrationSettings = config::ReadCalibrationSettings(m_app, &m_configWarnings);
    m_conversion = calibration::makeConversion(m_calibrationSettings, &m_configWarnings);
    showStatus();
}

void Logger::openPort(bool readPortNumber)
{
    m_retry.stop();
    if (readPortNumber) {
        const auto port = core::numericValue(m_programConfig.Port);
        m_portNumber = port ? core::toInt16(*port) : 0;
    }
    if (m_portNumber < 1) {
        m_portStatus = QStringLiteral("Port \"%1\" is not a port number. Choose a port in Setup.")
                           .arg(m_programConfig.Port);
        showStatus();
        return;
    }
    const QString device = core::portDevice(m_app, m_portNumber);
    m_MSComm1.setPortName(device);
    m_MSComm1.setBaudRate(4800);
    m_MSComm1.setParity(QSerialPort::NoParity);
    m_MSComm1.setDataBits(QSerialPort::Data8);
    m_MSComm1.setStopBits(QSerialPort::OneStop);
    m_MSComm1.setFlowControl(QSerialPort::NoFlowControl);
    if (m_MSComm1.open(QIODevice::ReadWrite)) {
        m_portStatus =
            QStringLiteral("Port %1 (%2) open at 4800,N,8,1").arg(m_portNumber).arg(device);
    } else {
        m_portStatus = QStringLiteral("Port %1 (%2): cannot open: %3. Link com%1 beside the "
                                      "program to your logger, or choose another port in Setup.")
                           .arg(m_portNumber)
                           .arg(device, m_MSComm1.errorString());
        m_retry.start();
    }
    showStatus();
}

void Logger::closePort()
{
    m_retry.stop();
    if (m_MSComm1.isOpen())
        m_MSComm1.close();
}

void Logger::lineLost(const QString& reason)
{
    m_MSComm1.close();
    m_portStatus = QStringLiteral("Port %1 (%2): line lost: %3. Trying again every 5 seconds.")
                       .arg(m_portNumber)
                       .arg(m_MSComm1.portName(), reason);
    showStatus();
    m_retry.start();
}

QString Logger::statusText() const
{
    return m_status->text();
}

void Logger::showStatus()
{
    QStringList lines{m_portStatus};
    lines << m_logWarnings;
    if (!m_templateWarning.isEmpty())
        lines << m_templateWarning;
    lines << m_configWarnings;
    m_status->setText(lines.join(QLatin1Char('\n')));
    // Records waiting for their files need the user's hand, so they stand out.
    const bool logTrouble = !m_logWarnings.isEmpty() || !m_templateWarning.isEmpty();
    QPalette pal = m_status->palette();
    pal.setColor(QPalette::WindowText, logTrouble ? kWarningText : core::kWindowText);
    m_status->setPalette(pal);
    const int height = std::max(kStatusHeight, m_status->heightForWidth(m_status->width()) + 4);
    if (height != m_status->height()) {
        m_status->resize(m_status->width(), height);
        setFixedSize(m_variant.client.width(), m_variant.client.height() + height);
    }
}

void Logger::MSComm1_OnComm()
{
    if (m_MSComm1.isOpen()) {
        const QByteArray bytes = m_MSComm1.readAll();
        m_MSComm1.clear(QSerialPort::Input);
        if (const auto frame = takeFrame(m_receiveBuffer, QString::fromLatin1(bytes))) {
            lampOn(m_BlinkData);
            m_reading = computeReading(decodeFrame(*frame), m_conversion);
            if (m_Timer1.isActive())
                raisePeaks(m_peaks, m_reading);
            m_txtMode->setText(modeText(m_reading.mode));
            setWindowTitle(titleText(m_reading));
        }
    }
    const HolderValues values = holderValues(m_reading, m_wattHourTotal);
    const std::size_t count = m_variant.assignsCompactPanel ? values.size() : 6;
    for (std::size_t k = 0; k < count; ++k)
        assignHolder(values[k].first, values[k].second);
}

void Logger::assignHolder(int index, double value)
{
    const std::int16_t v = core::toInt16(value);
    if (m_VScroll1.at(index) == v)
        return;
    m_VScroll1[index] = v;
    VScroll1_Change(index);
}

void Logger::VScroll1_Change(int index)
{
    if (const auto it = m_Label5.find(index); it != m_Label5.end())
        it->second->setText(QString::number(m_VScroll1[index]));
    if (index >= 0 && index < 6)
        DrawNeedle(index, m_VScroll1[index], kMeterSpec[index].fullScale);
}

void Logger::DrawNeedle(int meter, double value, double fullScale)
{
    const auto picture = m_Picture1.find(meter);
    if (picture == m_Picture1.end())
        return;
    picture->second->setPixmap(
        QPixmap::fromImage(faceWithNeedle(m_faces[meter], value, fullScale)));
}

void Logger::lampOn(QPushButton* lamp)
{
    m_Timer2.start();
    setBackground(lamp, kLampRed);
}

void Logger::Timer1_Timer()
{
    lampOn(m_BlinkLog);
    const logging::RecordInputs in{m_peaks,
                                   m_reading.mode,
                                   m_clock.now(),
                                   m_wattHourTotal,
                                   m_programConfig.WSUnits,
                                   config::flagOn(m_programConfig.Savehtml),
                                   config::flagOn(m_programConfig.SaveExcel)};
    m_templateWarning.clear();
    // Behind anything still waiting, so every file keeps its records in order.
    for (logging::FileWrite& write : logging::recordWrites(m_app, in, &m_templateWarning))
        m_pendingWrites.add(std::move(write));
    writePendingRecords();
    m_peaks = IntervalPeaks{};
}

void Logger::writePendingRecords()
{
    m_logWarnings = logging::failureWarnings(logging::writePending(m_pendingWrites));
    if (m_pendingWrites.empty())
        m_writeRetry.stop();
    else
        m_writeRetry.start();
    showStatus();
}

void Logger::Timer2_Timer()
{
    const QColor face = QApplication::palette().button().color();
    setBackground(m_BlinkData, face);
    setBackground(m_BlinkLog, face);
    m_Timer2.stop();
}

void Logger::Timer3_Timer()
{
    const QDateTime now = m_clock.now();
    m_wattHourTotal = wattHourTick(m_wattHourTotal, m_reading.watts, now, m_lastWattHourTick);
    m_lastWattHourTick = now.date();
}

void Logger::startLogging(bool fromStartup)
{
    const auto interval = logging::checkDelay(m_delay->text());
    if (!interval) {
        if (!fromStartup)
            core::showMessage(this, logging::kInvalidDelayMessage);
        return;
    }
    m_delay->setText(interval->text);
    m_Timer1.setInterval(interval->milliseconds);
    m_delay->setEnabled(false);
    m_StartLogging->setEnabled(false);
    m_StopLogging->setEnabled(true);
    m_Timer1.start();
    m_peaks = IntervalPeaks{};
}

void Logger::StartLogging_Click()
{
    startLogging(false);
}

void Logger::StopLogging_Click()
{
    m_StartLogging->setEnabled(true);
    m_delay->setEnabled(true);
    m_StopLogging->setEnabled(false);
    m_Timer1.stop();
}

// The other window is made only after the port is closed: it may open the same line itself,
// and a device is held by one port at a time.
template <typename Window> void Logger::runWindow(bool rereadPort)
{
    closePort();
    m_portStatus = QStringLiteral("Port %1 handed to another window").arg(m_portNumber);
    showStatus();
    {
        Window window(m_app, this);
        window.exec();
    }
    LoadConfiguration();
    openPort(rereadPort);
}

void Logger::CalibrateButton_Click()
{
    runWindow<calibration::Calibrate>(false);
}

void Logger::Setup_Click()
{
    runWindow<config::ProgramSetup>(true);
}

void Logger::ShowLogs_Click()
{
    history::Graph window(m_app, m_clock, m_variant.historyWidth, this);
    window.exec();
}

void Logger::closeEvent(QCloseEvent* event)
{
    closePort();
    if (!m_pendingWrites.empty()) {
        writePendingRecords();
        if (!m_pendingWrites.empty()) {
            core::showMessage(this, QStringLiteral("These log lines could not be written and are "
                                                   "lost when the program ends:\n") +
                                        m_logWarnings.join(QLatin1Char('\n')));
        }
    }
    event->accept();
}

} // namespace monitor
