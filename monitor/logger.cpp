#include "monitor/logger.h"

#include "calibration/calibrate.h"
#include "config/programsetup.h"
#include "core/numbers.h"
#include "history/graph.h"
#include "monitor/meterface.h"
#include "monitor/readingtexts.h"
#include "storage/storagewindow.h"
#include "ui/windowlook.h"
#include "web/webstate.h"

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

Logger::Logger(const ProgramVariant& variant, plant::Plant& plant, QWidget* parent)
    : QWidget(parent)
    , m_variant(variant)
    , m_plant(plant)
    , m_station(plant.station())
    , m_app(plant.app())
    , m_clock(plant.clock())
{
    setObjectName(QStringLiteral("Logger"));
    ui::applyWindowLook(this);
    // The layout keeps its design positions inside a scroll area, so on a screen too small for
    // it (1366 x 768 with a panel) every control and the status line can still be reached.
    m_content = new QWidget;
    m_content->setObjectName(QStringLiteral("LoggerContent"));
    ui::applyWindowLook(m_content);
    m_controls = buildLoggerControls(m_content, m_variant);
    m_controls.status->setGeometry(8, designHeight(), m_variant.client.width() - 16, kStatusHeight);
    m_content->setFixedSize(m_variant.client.width(), designHeight() + kStatusHeight);
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
    connect(m_controls.Storage, &QPushButton::clicked, this, &Logger::Storage_Click);
    m_Timer2.setObjectName(QStringLiteral("Timer2"));
    m_Timer2.setInterval(250);
    connect(&m_Timer2, &QTimer::timeout, this, &Logger::Timer2_Timer);
    connectStation();

    // Start-up: the plant has done its own steps; the window shows where they left it.
    setWindowTitle(QStringLiteral("Logger - No Signal"));
    m_controls.delay->setText(m_station.options().logDelay);
    showLogging(m_station.logging(), m_station.loggingText());
    m_status = m_station.status();
    watchThePlant();
    ui::makeKeyboardFriendly(this);
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

void Logger::connectStation()
{
    connect(&m_station, &station::Station::configurationLoaded, this,
            [this](const config::ProgramOptions& options) {
                m_controls.delay->setText(options.logDelay);
            });
    connect(&m_station, &station::Station::statusChanged, this,
            [this](const station::StationStatus& status) {
                m_status = status;
                showStatus();
            });
    connect(&m_station, &station::Station::readingDecoded, this, &Logger::showReading);
    connect(&m_station, &station::Station::lineNotified, this,
            [this](const Reading& reading, double wattHours) {
                for (const auto& [index, value] :
                     holderValues(reading, wattHours, m_variant.assignsCompactPanel))
                    assignHolder(index, value);
            });
    connect(&m_station, &station::Station::loggingChanged, this, &Logger::showLogging);
    connect(&m_station, &station::Station::recordWritten, this,
            [this] { lampOn(m_controls.BlinkLog); });
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
    const station::WriteState& writes = m_status.writes;
    QStringList lines;
    const plant::Watchers& watchers = m_plant.watchers();
    const QString alarm = watchers.alarmLine();
    if (!alarm.isEmpty())
        lines << alarm;
    bool accessProblem = false;
    lines << (m_status.handedOver
                  ? QStringLiteral("Port %1 handed to another window").arg(m_status.portNumber)
                  : station::lineText(m_status, kOpenAdvice, &accessProblem));
    const QString stale = m_status.staleSince
                              ? station::staleText(*m_status.staleSince, m_clock.now().date())
                              : QString();
    for (const QString& line :
         {m_status.publishing, stale, station::diskSilentText(m_status, m_app)})
        if (!line.isEmpty())
            lines << line;
    lines << writes.warnings;
    for (const QString* line :
         {&writes.droppedWarning, &writes.spoolNotice, &writes.templateWarning})
        if (!line->isEmpty())
            lines << *line;
    lines << m_status.configWarnings;
    if (!watchers.alarmsWarning().isEmpty())
        lines << watchers.alarmsWarning();
    if (const QString web = web::webStateText(m_plant.web().state()); !web.isEmpty())
        lines << web;
    // Where the logs are, so a user of an installed copy can find them.
    lines << QStringLiteral("Files are kept in %1").arg(QDir::toNativeSeparators(m_app.dir));
    QLabel* status = m_controls.status;
    status->setText(lines.join(QLatin1Char('\n')));
    // Records waiting for their files, and values that are no longer fresh, need the user's
    // eye, so they stand out.
    const bool trouble = !writes.warnings.isEmpty() || !writes.templateWarning.isEmpty() ||
                         !writes.droppedWarning.isEmpty() || !stale.isEmpty() || accessProblem ||
                         m_status.diskSilentSince || !alarm.isEmpty();
    QPalette pal = status->palette();
    pal.setColor(QPalette::WindowText, trouble ? kWarningText : ui::kWindowText);
    status->setPalette(pal);
    placeBelowDesign();
}

void Logger::placeBelowDesign()
{
    QLabel* status = m_controls.status;
    const int width = m_variant.client.width() - 16;
    int banner = 0;
    if (m_alarmBanner && !m_alarmBanner->text().isEmpty())
        banner = m_alarmBanner->heightForWidth(width) + 12;
    const int height = std::max(kStatusHeight, status->heightForWidth(width) + 4);
    const QRect statusRect(8, designHeight() + banner, width, height);
    const int whole = designHeight() + banner + height;
    if (m_alarmBanner) {
        m_alarmBanner->setGeometry(8, designHeight(), width, banner);
        m_alarmBanner->setVisible(banner > 0);
    }
    if (statusRect == status->geometry() && m_content->height() == whole)
        return;
    status->setGeometry(statusRect);
    m_content->setFixedSize(m_variant.client.width(), whole);
    fitToScreen();
}

void Logger::showReading(const Reading& reading)
{
    lampOn(m_controls.BlinkData);
    m_controls.txtMode->setText(modeText(reading.mode));
    setWindowTitle(titleText(reading));
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

// The other window is made only after the port is closed: it may open the same line itself,
// and a device is held by one port at a time.
template <typename Window> void Logger::runWindow(bool rereadPort)
{
    m_station.handOver();
    {
        Window window(m_app, this);
        window.exec();
    }
    m_station.takeBack(rereadPort);
    m_plant.watchers().reload();
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
    if (!m_openPublish)
        return;
    m_openPublish(this);
    m_station.reloadPublishing();
    m_plant.watchers().reload();
}

// How often the records reach the disk; the station takes the file in at once.
void Logger::Storage_Click()
{
    {
        storage::Storage window(m_app, this);
        window.exec();
    }
    m_station.reloadStorage();
}

void Logger::setPublishWindow(std::function<void(QWidget* parent)> open)
{
    m_openPublish = std::move(open);
}

void Logger::ShowLogs_Click()
{
    history::Graph window(m_historyStore, m_app, m_clock, m_variant.historyWidth, this);
    // The day on show holds the records kept in memory too (storage.cfg).
    window.setBeforeDayRead([this] { m_station.writeHeldNow(); });
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
