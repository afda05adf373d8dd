#include "station/station.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/serialdevices.h"
#include "logging/logfiles.h"
#include "publish/messages.h"
#include "publish/publishconfig.h"

#include <QCoreApplication>

namespace station {
namespace {

const QString kOpenAdvice = QStringLiteral(
    "Link com%1 beside the program to your logger, or choose another port in Setup.");

} // namespace

Station::Station(const core::AppDir& app, const core::Clock& clock, bool compactPanel,
                 QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_clock(clock)
    , m_compactPanel(compactPanel)
    , m_energy(clock.elapsedMs())
    , m_MSComm1(QStringLiteral("MSComm1"), app, this)
    , m_writer(std::make_unique<DiskWriter>(app))
{
    m_diskThread.setObjectName(QStringLiteral("StationDisk"));
    m_writer->moveToThread(&m_diskThread);
    connect(m_writer.get(), &DiskWriter::stateChanged, this, &Station::takeWriteState,
            Qt::QueuedConnection);
    m_diskThread.start();

    connect(&m_publisher, &publish::Publisher::statusChanged, this, [this] {
        m_status.publishing = m_publisher.statusText();
        announceStatus();
    });
    connect(&m_MSComm1, &core::SerialLine::comm, this, &Station::MSComm1_OnComm);
    connect(&m_MSComm1, &core::SerialLine::statusChanged, this, &Station::lineChanged);
    // Records that could not be written are tried again between ticks too, so they reach their
    // files even when logging is stopped before the next record.
    m_writeRetry.setInterval(core::SerialLine::kRetryMs);
    m_writeRetry.setSingleShot(true);
    connect(&m_writeRetry, &QTimer::timeout, this, [this] {
        const qint64 now = m_clock.elapsedMs();
        QMetaObject::invokeMethod(m_writer.get(), [w = m_writer.get(), now] { w->retry(now); });
    });

    m_Timer1.setObjectName(QStringLiteral("Timer1"));
    m_Timer1.setInterval(1000);
    // A coarse timer may fire up to 5 % early or late, and rounds long intervals to whole
    // seconds; records come at the interval the user chose.
    m_Timer1.setTimerType(Qt::PreciseTimer);
    connect(&m_Timer1, &QTimer::timeout, this, &Station::Timer1_Timer);
    m_Timer3.setObjectName(QStringLiteral("Timer3"));
    m_Timer3.setInterval(5000);
    connect(&m_Timer3, &QTimer::timeout, this, &Station::Timer3_Timer);
    m_Timer3.start();
    m_dataWatch.setInterval(1000);
    connect(&m_dataWatch, &QTimer::timeout, this, &Station::checkData);
    m_dataWatch.start();
}

Station::~Station()
{
    // The writer comes home before its thread ends, so it is destroyed where it lives.
    QMetaObject::invokeMethod(
        m_writer.get(), [this] { m_writer->moveToThread(m_MSComm1.thread()); },
        Qt::BlockingQueuedConnection);
    m_diskThread.quit();
    m_diskThread.wait();
}

void Station::start()
{
    m_reading = Reading{};
    m_energy.reset();
    // A save killed before its rename leaves its temporary file behind.
    for (const QString& path : {m_app.progCfg(), m_app.settingsCfg(), logging::webPageFile(m_app),
                                publish::publishCfgPath(m_app), publish::statusJsonPath(m_app)})
        core::removeLeftoverTemporaries(path);
    LoadConfiguration();
    // At start-up the window waits for the last run's lines: they go first, and the status line
    // says what became of them.
    const qint64 now = m_clock.elapsedMs();
    QMetaObject::invokeMethod(
        m_writer.get(), [w = m_writer.get(), now] { w->restore(now); },
        Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    openPort(true);
}

void Station::LoadConfiguration()
{
    m_configWarnings.clear();
    m_options = config::programOptions(config::ReadProgramConfig(m_app, &m_configWarnings));
    m_conversion = config::makeConversion(config::ReadCalibrationSettings(m_app, &m_configWarnings),
                                          &m_configWarnings);
    // The messages carry WSUnits, so publishing reads its settings again with the others.
    m_publisher.reload(m_app, m_options.wsUnits);
    m_status.publishing = m_publisher.statusText();
    m_status.configWarnings = m_configWarnings;
    emit configurationLoaded(m_options);
    announceStatus();
}

void Station::openPort(bool readPortNumber)
{
    if (readPortNumber)
        m_portNumber = m_options.port;
    m_lastDataMs = m_clock.elapsedMs();
    m_lastDataAt = m_clock.now();
    m_status.stale.clear();
    m_MSComm1.open(m_portNumber);
}

void Station::lineChanged()
{
    const core::LineStatus& line = m_MSComm1.status();
    m_status.port = core::lineStatusText(
        line, m_options.portText,
        core::openFailedAdvice(line, kOpenAdvice.arg(m_portNumber), &m_status.accessProblem));
    if (!m_MSComm1.isOpen())
        lineDown();
    checkData();
    announceStatus();
}

std::optional<QString> Station::startLogging(const QString& delayText)
{
    const auto interval = logging::checkDelay(delayText);
    if (!interval)
        return std::nullopt;
    m_Timer1.setInterval(interval->milliseconds);
    m_Timer1.start();
    m_peaks = IntervalPeaks{};
    return interval->text;
}

void Station::stopLogging()
{
    m_Timer1.stop();
}

void Station::handOver()
{
    m_MSComm1.close();
    lineDown();
    m_status.port = QStringLiteral("Port %1 handed to another window").arg(m_portNumber);
    announceStatus();
}

void Station::takeBack(bool rereadPort)
{
    LoadConfiguration();
    openPort(rereadPort);
}

void Station::reloadPublishing()
{
    m_publisher.reload(m_app, m_options.wsUnits);
    m_status.publishing = m_publisher.statusText();
    announceStatus();
}

void Station::announceStatus()
{
    emit statusChanged(m_status);
}

} // namespace station
