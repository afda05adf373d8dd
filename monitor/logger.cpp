#include "monitor/logger.h"

#include "calibration/calibrate.h"
#include "config/programsetup.h"
#include "core/files.h"
#include "core/numbers.h"
#include "core/serialdevices.h"
#include "core/windowlook.h"
#include "history/graph.h"
#include "monitor/meterface.h"
#include "publish/publishwindow.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace monitor {
namespace {

constexpr int kStatusHeight = 40;
const QColor kLampRed{255, 0, 0};
const QColor kWarningText{255, 214, 64};
const QString kOpenAdvice = QStringLiteral(
    "Link com%1 beside the program to your logger, or choose another port in Setup.");

} // namespace

Logger::Logger(const ProgramVariant& variant, const core::AppDir& app, const core::Clock& clock,
               QWidget* parent)
    : QWidget(parent)
    , m_variant(variant)
    , m_app(app)
    , m_clock(clock)
    , m_MSComm1(QStringLiteral("MSComm1"), app, this)
{
    setObjectName(QStringLiteral("Logger"));
    core::applyWindowLook(this);
    // The layout keeps its design positions inside a scroll area, so on a screen too small for
    // it (1366 x 768 with a panel) every control and the status line can still be reached.
    m_content = new QWidget;
    m_content->setObjectName(QStringLiteral("LoggerContent"));
    core::applyWindowLook(m_content);
    m_controls = buildLoggerControls(m_content, m_variant);
    m_controls.status->setGeometry(8, m_variant.client.height(), m_variant.client.width() - 16,
                                   kStatusHeight);
    m_content->setFixedSize(m_variant.client.width(), m_variant.client.height() + kStatusHeight);
    m_facesRatio = m_content->devicePixelRatioF();
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("LoggerScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(m_content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    fitToScreen();
    connect(m_controls.StartLogging, &QPushButton::clicked, this, &Logger::StartLogging_Click);
    connect(m_controls.StopLogging, &QPushButton::clicked, this, &Logger::StopLogging_Click);
    connect(m_controls.Exit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_controls.CalibrateButton, &QPushButton::clicked, this,
            &Logger::CalibrateButton_Click);
    connect(m_controls.Setup, &QPushButton::clicked, this, &Logger::Setup_Click);
    connect(m_controls.ShowLogs, &QPushButton::clicked, this, &Logger::ShowLogs_Click);
    connect(m_controls.Publish, &QPushButton::clicked, this, &Logger::Publish_Click);
    connect(&m_publisher, &publish::Publisher::statusChanged, this, &Logger::showStatus);

    connect(&m_MSComm1, &core::SerialLine::comm, this, &Logger::MSComm1_OnComm);
    connect(&m_MSComm1, &core::SerialLine::statusChanged, this, [this] {
        const core::LineStatus& line = m_MSComm1.status();
        m_portStatus = core::lineStatusText(
            line, m_programConfig.Port,
            core::openFailedAdvice(line, kOpenAdvice.arg(m_portNumber), &m_accessProblem));
        checkData();
        showStatus();
    });
    // Records that could not be written are tried again between ticks too, so they reach their
    // files even when logging is stopped before the next record.
    m_writeRetry.setInterval(core::SerialLine::kRetryMs);
    m_writeRetry.setSingleShot(true);
    connect(&m_writeRetry, &QTimer::timeout, this, &Logger::writePendingRecords);

    m_Timer1.setInterval(1000);
    // A coarse timer may fire up to 5 % early or late, and rounds long intervals to whole
    // seconds; records come at the interval the user chose.
    m_Timer1.setTimerType(Qt::PreciseTimer);
    connect(&m_Timer1, &QTimer::timeout, this, &Logger::Timer1_Timer);
    m_Timer2.setInterval(250);
    connect(&m_Timer2, &QTimer::timeout, this, &Logger::Timer2_Timer);
    m_Timer3.setInterval(5000);
    connect(&m_Timer3, &QTimer::timeout, this, &Logger::Timer3_Timer);
    m_Timer3.start();
    m_dataWatch.setInterval(1000);
    connect(&m_dataWatch, &QTimer::timeout, this, [this] {
        const QString before = m_staleStatus;
        checkData();
        if (m_staleStatus != before)
            showStatus();
    });
    m_dataWatch.start();

    // Start-up.
    setWindowTitle(QStringLiteral("Logger - No Signal"));
    m_controls.StopLogging->setEnabled(false);
    m_reading = Reading{};
    m_wattHourTotal = 0;
    // A save killed before its rename leaves its temporary file behind.
    for (const QString& path : {m_app.progCfg(), m_app.settingsCfg(), logging::webPageFile(m_app),
                                publish::publishCfgPath(m_app), publish::statusJsonPath(m_app)})
        core::removeLeftoverTemporaries(path);
    LoadConfiguration();
    restoreSpool();
    openPort(true);
    if (config::flagOn(m_programConfig.LogOn))
        startLogging(true);
    core::makeKeyboardFriendly(this);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + std::max(0, (area.width() - width()) / 2),
             area.y() + std::max(0, (area.height() - height()) / 2));
    }
    // The meters' holders start at 0 already, so this redraws nothing: the faces show no needle
    // until the first value that is not 0.
    for (const core::Quantity q : core::kAllQuantities)
        assignHolder(q, 0);
}

void Logger::LoadConfiguration()
{
    m_configWarnings.clear();
    m_programConfig = config::ReadProgramConfig(m_app, &m_configWarnings);
    m_controls.delay->setText(m_programConfig.LogDelay);
    m_calibrationSettings = config::ReadCalibrationSettings(m_app, &m_configWarnings);
    m_conversion = calibration::makeConversion(m_calibrationSettings, &m_configWarnings);
    // The messages carry WSUnits, so publishing reads its settings again with the others.
    m_publisher.reload(m_app);
    showStatus();
}

void Logger::openPort(bool readPortNumber)
{
    if (readPortNumber) {
        const auto port = core::numericValue(m_programConfig.Port);
        m_portNumber = port ? core::toInt16(*port) : 0;
    }
    m_lastData = m_clock.now();
    m_staleStatus.clear();
    m_MSComm1.open(m_portNumber);
}

// The whole layout where the screen has room for it; otherwise as much as fits, with scroll
// bars for the rest.
void Logger::fitToScreen()
{
    QSize whole = m_content->size();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        setFixedSize(whole);
        return;
    }
    // The title bar and frame are the window manager's; before the first showing, allow for a
    // usual one.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(8, 32);
    const QSize room = screen->availableGeometry().size() - frame;
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize fits = whole.boundedTo(room);
    if (fits.height() < whole.height())
        fits.setWidth(std::min(whole.width() + bar, room.width()));
    if (fits.width() < whole.width())
        fits.setHeight(std::min(fits.height() + bar, room.height()));
    if (fits == whole) {
        setFixedSize(whole);
        return;
    }
    setMinimumSize(200, 150);
    setMaximumSize(fits);
    resize(fits);
}

QString Logger::statusText() const
{
    return m_controls.status->text();
}

void Logger::showStatus()
{
    QStringList lines{m_portStatus};
    if (const QString broker = m_publisher.statusText(); !broker.isEmpty())
        lines << broker;
    if (!m_staleStatus.isEmpty())
        lines << m_staleStatus;
    lines << m_logWarnings;
    if (m_pendingWrites.dropped > 0)
        lines << logging::droppedWarning(m_pendingWrites.dropped);
    if (!m_spoolNotice.isEmpty())
        lines << m_spoolNotice;
    if (!m_templateWarning.isEmpty())
        lines << m_templateWarning;
    lines << m_configWarnings;
    // Where the logs are, so a user of an installed copy can find them.
    lines << QStringLiteral("Files are kept in %1").arg(QDir::toNativeSeparators(m_app.dir));
    QLabel* status = m_controls.status;
    status->setText(lines.join(QLatin1Char('\n')));
    // Records waiting for their files, and values that are no longer fresh, need the user's
    // eye, so they stand out.
    const bool trouble = !m_logWarnings.isEmpty() || !m_templateWarning.isEmpty() ||
                         m_pendingWrites.dropped > 0 || !m_staleStatus.isEmpty() || m_accessProblem;
    QPalette pal = status->palette();
    pal.setColor(QPalette::WindowText, trouble ? kWarningText : core::kWindowText);
    status->setPalette(pal);
    const int height = std::max(kStatusHeight, status->heightForWidth(status->width()) + 4);
    if (height != status->height()) {
        status->resize(status->width(), height);
        m_content->setFixedSize(m_variant.client.width(), m_variant.client.height() + height);
        fitToScreen();
    }
}

// Runs on every notification of the line, errors included, so the holders are assigned even
// when no frame came: a holder whose value did not change redraws nothing.
void Logger::MSComm1_OnComm(const QString& frame)
{
    if (!frame.isEmpty()) {
        m_lastData = m_clock.now();
        if (!m_staleStatus.isEmpty()) {
            m_staleStatus.clear();
            showStatus();
        }
        lampOn(m_controls.BlinkData);
        m_reading = computeReading(decodeFrame(frame), m_conversion);
        if (m_Timer1.isActive())
            raisePeaks(m_peaks, m_reading);
        m_controls.txtMode->setText(modeText(m_reading.mode));
        setWindowTitle(titleText(m_reading));
        m_publisher.onReading(m_reading.value, m_wattHourTotal, m_reading.mode, m_clock.now());
    }
    for (const auto& [index, value] :
         holderValues(m_reading, m_wattHourTotal, m_variant.assignsCompactPanel))
        assignHolder(index, value);
}

// The values on show stay as they were; the line says since when nothing new came.
void Logger::checkData()
{
    // Once said, it stands until a frame comes: a line that reopens has not yet sent anything.
    if (!m_staleStatus.isEmpty() || !m_lastData.isValid())
        return;
    const QDateTime now = m_clock.now();
    const bool lost = m_MSComm1.status().state == core::LineStatus::State::Lost;
    const bool quiet = m_MSComm1.isOpen() && m_lastData.msecsTo(now) >= kStaleAfterMs;
    if (!lost && !quiet)
        return;
    m_staleStatus = QStringLiteral("No data since ") + m_lastData.time().toString(u"HH:mm:ss");
    if (m_lastData.date() != now.date())
        m_staleStatus += QStringLiteral(" on ") + m_lastData.date().toString(Qt::ISODate);
}

void Logger::assignHolder(int index, double value)
{
    const std::int16_t v = core::toInt16(value);
    if (m_VScroll1.at(std::size_t(index)) == v)
        return;
    m_VScroll1[std::size_t(index)] = v;
    VScroll1_Change(index);
}

void Logger::VScroll1_Change(int index)
{
    const std::int16_t value = m_VScroll1[std::size_t(index)];
    if (const auto it = m_controls.Label5.find(index); it != m_controls.Label5.end())
        it->second->setText(QString::number(value));
    // Holders 0 to 5 are the meters, one per quantity.
    if (index < core::kQuantityCount) {
        const core::QuantitySpec& facts = core::facts(core::Quantity(index));
        DrawNeedle(index, value, facts.fullScale);
        if (const auto picture = m_controls.Picture1.find(index);
            picture != m_controls.Picture1.end()) {
            picture->second->setAccessibleDescription(
                QString::number(value) + QLatin1String(facts.titleUnit ? facts.titleUnit : ""));
        }
    }
}

void Logger::DrawNeedle(int meter, double value, double fullScale)
{
    const auto picture = m_controls.Picture1.find(meter);
    if (picture == m_controls.Picture1.end())
        return;
    picture->second->setPixmap(
        QPixmap::fromImage(faceWithNeedle(m_controls.faces[meter], value, fullScale)));
}

void Logger::lampOn(QPushButton* lamp)
{
    m_Timer2.start();
    setBackground(lamp, kLampRed);
}

void Logger::Timer2_Timer()
{
    const QColor face = QApplication::palette().button().color();
    setBackground(m_controls.BlinkData, face);
    setBackground(m_controls.BlinkLog, face);
    m_Timer2.stop();
}

void Logger::Timer3_Timer()
{
    const QDateTime now = m_clock.now();
    m_wattHourTotal =
        wattHourTick(m_wattHourTotal, m_reading[core::kWatts], now, m_lastWattHourTick);
    m_lastWattHourTick = now.date();
}

// The other window is made only after the port is closed: it may open the same line itself,
// and a device is held by one port at a time.
template <typename Window> void Logger::runWindow(bool rereadPort)
{
    m_MSComm1.close();
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

// The broker's settings; the serial line goes on meanwhile.
void Logger::Publish_Click()
{
    {
        publish::Publish window(m_app, this);
        window.exec();
    }
    m_publisher.reload(m_app);
    showStatus();
}

void Logger::ShowLogs_Click()
{
    history::Graph window(m_historyStore, m_app, m_clock, m_variant.historyWidth, this);
    window.exec();
}

void Logger::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    fitToScreen();
    refreshFaces();
    if (!m_watchingScreen && windowHandle()) {
        m_watchingScreen = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] {
            fitToScreen();
            refreshFaces();
        });
    }
}

// The faces follow the pixel ratio of the screen the window is on, and the needles are drawn
// again over them.
void Logger::refreshFaces()
{
    const double ratio = devicePixelRatioF();
    if (ratio == m_facesRatio)
        return;
    m_facesRatio = ratio;
    drawFaces(m_controls, ratio);
    for (const core::Quantity q : core::kAllQuantities) {
        if (m_VScroll1[q] != 0)
            DrawNeedle(q, m_VScroll1[q], core::facts(q).fullScale);
    }
}

} // namespace monitor
