#include "station/station.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/serialdevices.h"
#include "logging/logfiles.h"
#include "publish/messages.h"
#include "publish/publishconfig.h"

#include <QCoreApplication>
#include <QDir>

namespace station {

Station::Station(const core::AppDir& app, const core::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_clock(clock)
    , m_energy(clock.elapsedMs())
    , m_MSComm1(QStringLiteral("MSComm1"), app, this)
    , m_outbox(std::make_shared<Outbox>())
    , m_diskThread(std::make_unique<QThread>())
    , m_writer(std::make_unique<DiskWriter>(app, m_outbox))
{
    m_diskThread->setObjectName(QStringLiteral("StationDisk"));
    m_writer->moveToThread(m_diskThread.get());
    connect(m_writer.get(), &DiskWriter::stateChanged, this, &Station::takeWriteState,
            Qt::QueuedConnection);
    m_diskThread->start();

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
    connect(&m_dataWatch, &QTimer::timeout, this, [this] {
        checkData();
        checkDisk();
    });
    m_dataWatch.start();
}

Station::~Station()
{
    if (m_diskLeftBehind) {
        // The disk thread is stuck in a call that may never return: it is left to the end of the
        // process rather than waited for (what it held was kept at close).
        (void)m_writer.release();
        (void)m_diskThread.release();
        return;
    }
    // The writer comes home before its thread ends, so it is destroyed where it lives.
    QMetaObject::invokeMethod(
        m_writer.get(), [this] { m_writer->moveToThread(m_MSComm1.thread()); },
        Qt::BlockingQueuedConnection);
    m_diskThread->quit();
    m_diskThread->wait();
}

void Station::start()
{
    m_reading = Reading{};
    m_energy.reset();
    // A save killed before its rename leaves its temporary file behind.
    for (const QString& path : {m_app.progCfg(), m_app.settingsCfg(), logging::webPageFile(m_app),
                                publish::publishCfgPath(m_app), publish::statusJsonPath(m_app)})
        core::removeLeftoverTemporaries(path);
    m_storageDevice = storage::blockDeviceOf(m_app.dir);
    LoadConfiguration();
    // The last run's lines go to the disk thread first, so they reach their files before any
    // new one; the status says what became of them when the disk has answered.
    Handed restore;
    restore.kind = Handed::Kind::Restore;
    hand(std::move(restore));
    openPort(true);
}

void Station::readBehindWrites(DiskRead read)
{
    QMetaObject::invokeMethod(m_writer.get(), [this, outbox = m_outbox, read = std::move(read)] {
        std::deque<logging::FileWrite> waiting;
        {
            const std::lock_guard lock(outbox->mutex);
            waiting = outbox->waiting;
        }
        std::function<void()> then = read(waiting);
        // A close that left this thread behind may be followed by the station's end at any
        // time: then nobody is told. The close sets the flag under the lock, so a station found
        // here under it without the flag is still there while the call is posted.
        const std::lock_guard lock(outbox->mutex);
        if (!outbox->leftBehind)
            QMetaObject::invokeMethod(this, std::move(then));
    });
}

void Station::LoadConfiguration()
{
    m_configWarnings.clear();
    m_options = config::programOptions(config::ReadProgramConfig(m_app, &m_configWarnings));
    m_conversion = config::makeConversion(config::ReadCalibrationSettings(m_app, &m_configWarnings),
                                          &m_configWarnings);
    readStorage();
    // The messages carry WSUnits, so publishing reads its settings again with the others.
    m_publisher.reload(m_app, m_options.wsUnits);
    m_status.publishing = m_publisher.statusText();
    emit configurationLoaded(m_options);
    announceStatus();
}

void Station::readStorage()
{
    QString warning;
    m_storage = storage::readStorageConfig(m_app, &warning);
    m_outbox->holding = m_storage.holds();
    // Set back to the default, the records held go at the next tick, as everything waiting does.
    m_storageLines = QStringList{
        warning, storage::heldNotice(m_storage),
        storage::cardNotice(m_storage, QDir::toNativeSeparators(m_app.dir), m_storageDevice)};
    m_status.configWarnings = m_configWarnings + m_storageLines;
    m_status.configWarnings.removeAll(QString());
}

void Station::reloadStorage()
{
    // What is held goes now: the next period is the new setting's.
    writeHeld();
    readStorage();
    announceStatus();
}

void Station::openPort(bool readPortNumber)
{
    if (readPortNumber)
        m_status.portNumber = m_options.port;
    m_status.portText = m_options.portText;
    m_lastDataMs = m_clock.elapsedMs();
    m_lastDataAt = m_clock.now();
    m_status.staleSince.reset();
    m_MSComm1.open(m_status.portNumber);
}

void Station::lineChanged()
{
    m_status.line = m_MSComm1.status();
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
    m_loggingText = interval->text;
    emit loggingChanged(true, interval->text);
    return interval->text;
}

void Station::stopLogging()
{
    m_Timer1.stop();
    writeHeld();
    emit loggingChanged(false, {});
}

void Station::handOver()
{
    m_MSComm1.close();
    lineDown();
    m_status.handedOver = true;
    emit lineHandedOver(true);
    announceStatus();
}

void Station::takeBack(bool rereadPort)
{
    m_status.handedOver = false;
    emit lineHandedOver(false);
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
