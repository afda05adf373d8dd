#pragma once

#include "config/configfiles.h"
#include "config/options.h"
#include "core/appdir.h"
#include "core/clock.h"
#include "core/serialline.h"
#include "logging/logcontrol.h"
#include "publish/publisher.h"
#include "station/diskwriter.h"
#include "station/energy.h"
#include "station/stationstatus.h"
#include "station/telemetry.h"
#include "storage/storageconfig.h"

#include <QDateTime>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace station {

using logging::kInvalidDelayMessage;

// The plant as the program sees it, with no window: it owns for the life of the program the
// serial line, the current reading, the peaks, the watt-hour total, the logging tick and its
// files (written on a disk thread of its own), the stale-data watch and the publisher. Views
// show what it announces and turn clicks into its calls; it words nothing of theirs.
class Station : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kStaleAfterMs = core::kStaleAfterMs;
    // The disk thread has not finished what it was handed for this long: the status says so.
    static constexpr int kDiskSilentMs = 5000;
    // How long the close steps wait for the disk before they keep what waits from a snapshot.
    static constexpr std::chrono::milliseconds kCloseDeadline{10000};

    Station(const core::AppDir& app, const core::Clock& clock, QObject* parent = nullptr);
    ~Station() override;

    // Start-up: leftover temporaries removed, the configuration read, the last run's spool
    // handed to the disk thread first, the port opened. Nothing here waits for the disk.
    void start();
    // The interval text as corrected, with logging started; nullopt when it is not a number.
    std::optional<QString> startLogging(const QString& delayText);
    void stopLogging();
    // Another window takes the serial line; takeBack reads the configuration again and reopens
    // the line, on the port the settings now name when rereadPort.
    void handOver();
    void takeBack(bool rereadPort);
    void reloadPublishing();
    // storage.cfg read again (the Storage window saved it); what is held is written first.
    void reloadStorage();
    // The close steps: the timers and the line stop (the energy counted up to now), and
    // everything waiting is written, or kept in the spool, before this returns. A disk that
    // does not finish within the deadline is left behind: what waits is kept from a snapshot on
    // another thread, and the program must then end without this station's destructor waiting.
    CloseResult closeSteps(std::chrono::milliseconds deadline = kCloseDeadline);
    // Hands a write of the plant's other files to the disk thread, behind the records.
    void queueWrite(logging::FileWrite write);
    // Several in one hand, written as one round (while records are held, with one sync of the
    // file system for all).
    void queueWrites(std::vector<logging::FileWrite> writes);
    // Reads the plant's other files as they will be: read runs on the disk thread once it has
    // taken in everything handed before (at start, the last run's spool first), and is given
    // the writes still waiting then, so it can lay them over what the files hold; the function
    // it returns runs back on this station's thread. Nothing runs when the disk never answers.
    using DiskRead =
        std::function<std::function<void()>(const std::deque<logging::FileWrite>& waiting)>;
    void readBehindWrites(DiskRead read);
    // The records held in memory (storage.cfg) go to their files; from any thread, for a view
    // about to read a day. Waits for the disk thread up to the deadline; false when it did not
    // answer in time. Returns at once when records are not held.
    bool writeHeldNow(std::chrono::milliseconds deadline = std::chrono::milliseconds(2000));
    // The volts below which records are written at once when storage.cfg sets none: the plant
    // knows the BattLow alarm and the bank. Without it kLowVolts12 stands.
    void setLowVoltsDefault(std::function<double()> level);
    const storage::StorageConfig& storageConfig() const { return m_storage; }
    // Records are being held now: storage.cfg asks for it and the volts are above its level.
    bool holdingRecords() const { return m_storage.holds() && !m_lowVolts; }
    // The level records are written at once below, as it stands now.
    double lowVoltsLevel() const;

    const Reading& reading() const { return m_reading; }
    const IntervalPeaks& peaks() const { return m_peaks; }
    double wattHourTotal() const { return m_energy.total(); }
    const config::ProgramOptions& options() const { return m_options; }
    const publish::Publisher& publisher() const { return m_publisher; }
    publish::Publisher& publisher() { return m_publisher; }
    const core::Clock& clock() const { return m_clock; }
    const core::AppDir& app() const { return m_app; }
    const core::SerialLine& line() const { return m_MSComm1; }
    bool logging() const { return m_Timer1.isActive(); }
    int loggingInterval() const { return m_Timer1.interval(); }
    // The interval's text as logging was started with it, corrected into its range.
    const QString& loggingText() const { return m_loggingText; }
    Qt::TimerType loggingTimerType() const { return m_Timer1.timerType(); }
    // Whether the line is with another window (the alarms then see no data, and no fault).
    bool handedOver() const { return m_status.handedOver; }
    const StationStatus& status() const { return m_status; }
    std::size_t pendingWrites() const { return m_status.writes.records; }
    const QString& spoolFile() const { return m_status.writes.spoolFile; }

signals:
    // A decoded frame.
    void readingDecoded(const station::Reading& reading);
    // Every notification of the line, errors included, with the values on hand.
    void lineNotified(const station::Reading& reading, double wattHourTotal);
    // Every fresh reading, for the features that follow the plant live.
    void freshReading(const core::QuantityValues& values, std::int16_t mode, qint64 monotonicMs);
    void recordWritten();
    void statusChanged(const station::StationStatus& status);
    // The values went stale (the line is quiet, lost, closed or handed over), and came back.
    void dataStale(const QDateTime& lastData);
    void dataReturned();
    // Each addition to the watt-hour total: when, and how many watt-hours.
    void energyAdded(const QDateTime& at, double wattHours);
    void configurationLoaded(const config::ProgramOptions& options);
    // Logging started (with the interval's text) or stopped.
    void loggingChanged(bool on, const QString& intervalText);
    // The line went to another window, or came back.
    void lineHandedOver(bool handedOver);
    // The close steps begin: what the listeners still have to write goes in before the disk
    // thread's last round.
    void closing();

private:
    friend class StationProbe; // the tests' way to drive a tick

    // A request handed to the disk thread and not yet taken in by it, kept so a close that
    // cannot wait for the disk still keeps it.
    struct Handed
    {
        quint64 number = 0;
        qint64 atMs = 0;
        enum class Kind
        {
            Restore,
            Record,
            Write
        } kind = Kind::Write;
        logging::RecordInputs record;
        std::optional<QByteArray> statusJson;
        bool hold = false;    // the record's appends are held in memory (storage.cfg)
        bool syncPage = true; // the page is replaced with its syncs (not while records are held)
        std::vector<logging::FileWrite> writes;
    };

    void MSComm1_OnComm(const QString& frame);
    void Timer1_Timer();
    void Timer3_Timer();
    // Waits until the disk thread has done all it was handed, and takes in what it reported.
    void waitForDisk();

    void LoadConfiguration();
    void readStorage();
    void openPort(bool readPortNumber);
    void lineChanged();
    void checkData();
    void checkDisk();
    void lineDown();
    quint64 hand(Handed request);
    void takeWriteState(const WriteState& state);
    void announceStatus();
    void addEnergy(const QDateTime& at, double wattHours);
    // Whether the tick's record may be held in memory, or it and the held ones are written now.
    bool holdRecord(const QDateTime& now);
    void watchVolts();
    void writeHeld();
    CloseResult keepFromSnapshot(std::chrono::milliseconds deadline);

    core::AppDir m_app;
    core::Clock m_clock;
    config::ProgramOptions m_options;
    core::Conversion m_conversion;
    QStringList m_configWarnings;
    QStringList m_storageLines; // storage.cfg's warning and notices, for the status line
    storage::StorageConfig m_storage;
    QString m_storageDevice; // the block device of the application folder, found at start
    std::function<double()> m_lowVoltsDefault;
    // Since when records are held (the monotonic clock), the clock hour they belong to and the
    // end of their period by the clock; empty while none is.
    std::optional<qint64> m_heldSinceMs;
    QDateTime m_heldHour;
    QDateTime m_heldUntil;
    bool m_lowVolts = false; // the volts are at or below the level: nothing is held

    Reading m_reading;
    IntervalPeaks m_peaks;
    EnergyMeter m_energy;
    core::SerialLine m_MSComm1;
    publish::Publisher m_publisher;
    // When the last frame was decoded, or the line opened when none has been since; a line
    // that goes quiet is told apart from one whose values stand still.
    std::optional<qint64> m_lastDataMs;
    QDateTime m_lastDataAt;
    QTimer m_dataWatch;
    QTimer m_Timer1;
    QTimer m_Timer3;
    QTimer m_writeRetry;
    QString m_loggingText;
    StationStatus m_status;

    quint64 m_lastHanded = 0;
    qint64 m_lastDiskReportMs = 0;
    std::deque<Handed> m_handed;
    std::shared_ptr<Outbox> m_outbox;
    std::unique_ptr<QThread> m_diskThread;
    std::unique_ptr<DiskWriter> m_writer; // lives on m_diskThread
    bool m_diskLeftBehind = false;
};

} // namespace station
