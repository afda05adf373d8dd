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
#include "station/telemetry.h"

#include <QDateTime>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <memory>

namespace station {

using HolderValues = std::vector<std::pair<int, double>>;
using logging::kInvalidDelayMessage;

// What the main window's status line is made of, in its order.
struct StationStatus
{
    QString port;               // the line: open, lost, handed over, or why it cannot be opened
    bool accessProblem = false; // the port is there but this account may not open it
    QString publishing;         // the broker; empty while publishing is off
    QString stale;              // "No data since ..." while the values are not fresh
    WriteState writes;
    QStringList configWarnings;
};

// The plant as the program sees it, with no window: it owns for the life of the program the
// serial line, the current reading, the peaks, the watt-hour total, the logging tick and its
// files (written on a disk thread of its own), the stale-data watch and the publisher. Windows
// show what it announces and turn clicks into its calls.
class Station : public QObject
{
    Q_OBJECT
public:
    static constexpr int kStaleAfterMs = 30000;

    Station(const core::AppDir& app, const core::Clock& clock, bool compactPanel,
            QObject* parent = nullptr);
    ~Station() override;

    // Start-up: leftover temporaries removed, the configuration read, the last run's spool
    // written, the port opened. Logging is the caller's to start (options().logOn).
    void start();
    // The interval text as corrected, with logging started; nullopt when it is not a number.
    std::optional<QString> startLogging(const QString& delayText);
    void stopLogging();
    // Another window takes the serial line; takeBack reads the configuration again and reopens
    // the line, on the port the settings now name when rereadPort.
    void handOver();
    void takeBack(bool rereadPort);
    void reloadPublishing();
    // The close steps: logging and the line stop, and everything waiting is written or kept in
    // the spool before this returns.
    CloseResult closeSteps();
    // Hands a write of the plant's other files to the disk thread, behind the records.
    void queueWrite(logging::FileWrite write);
    // Waits until the disk thread has done all it was handed, and takes in what it reported.
    void waitForDisk();

    // The handlers of the line and the two timers; public so tests can drive a tick.
    void MSComm1_OnComm(const QString& frame);
    void Timer1_Timer();
    void Timer3_Timer();

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
    Qt::TimerType loggingTimerType() const { return m_Timer1.timerType(); }
    const StationStatus& status() const { return m_status; }
    std::size_t pendingWrites() const { return m_status.writes.records; }
    const QString& spoolFile() const { return m_status.writes.spoolFile; }

signals:
    // A decoded frame, with the window title and the mode label it gives.
    void readingDecoded(const station::Reading& reading, const QString& title, const QString& mode);
    // Every fresh reading, for the features that follow the plant live.
    void freshReading(const core::QuantityValues& values, std::int16_t mode, qint64 monotonicMs);
    // The meter holders, after every notification of the line (index, value).
    void holdersChanged(const station::HolderValues& values);
    void recordWritten();
    void statusChanged(const station::StationStatus& status);
    // The values went stale (the line is quiet, lost, closed or handed over), and came back.
    void dataStale(const QDateTime& lastData);
    void dataReturned();
    // Each addition to the watt-hour total: when, and how many watt-hours.
    void energyAdded(const QDateTime& at, double wattHours);
    void configurationLoaded(const config::ProgramOptions& options);
    // The close steps begin: what the listeners still have to write goes in before the disk
    // thread's last round.
    void closing();

private:
    void LoadConfiguration();
    void openPort(bool readPortNumber);
    void lineChanged();
    void checkData();
    void lineDown();
    void takeWriteState(const WriteState& state);
    void announceStatus();
    void addEnergy(const QDateTime& at, double wattHours);

    core::AppDir m_app;
    core::Clock m_clock;
    bool m_compactPanel;
    config::ProgramOptions m_options;
    core::Conversion m_conversion;
    QStringList m_configWarnings;

    Reading m_reading;
    IntervalPeaks m_peaks;
    EnergyMeter m_energy;
    core::SerialLine m_MSComm1;
    publish::Publisher m_publisher;
    int m_portNumber = 1;
    // When the last frame was decoded, or the line opened when none has been since; a line
    // that goes quiet is told apart from one whose values stand still.
    std::optional<qint64> m_lastDataMs;
    QDateTime m_lastDataAt;
    QTimer m_dataWatch;
    QTimer m_Timer1;
    QTimer m_Timer3;
    QTimer m_writeRetry;
    StationStatus m_status;

    QThread m_diskThread;
    std::unique_ptr<DiskWriter> m_writer; // lives on m_diskThread
};

} // namespace station
