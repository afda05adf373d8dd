#pragma once

#include "calibration/conversion.h"
#include "config/configfiles.h"
#include "core/appdir.h"
#include "core/clock.h"
#include "core/serialline.h"
#include "history/historystore.h"
#include "logging/logfiles.h"
#include "monitor/loggercontrols.h"
#include "monitor/telemetry.h"
#include "monitor/variant.h"
#include "publish/publisher.h"

#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <array>

namespace monitor {

// The main window: owns the serial line, the current reading, the peaks and the watt-hour
// total, and opens the other windows.
class Logger : public QWidget
{
    Q_OBJECT
public:
    Logger(const ProgramVariant& variant, const core::AppDir& app, const core::Clock& clock,
           QWidget* parent = nullptr);

    const Reading& reading() const { return m_reading; }
    const publish::Publisher& publisher() const { return m_publisher; }
    const IntervalPeaks& peaks() const { return m_peaks; }
    double wattHourTotal() const { return m_wattHourTotal; }
    const QString& receiveBuffer() const { return m_MSComm1.receiveBuffer(); }
    std::int16_t holder(int index) const { return m_VScroll1.at(std::size_t(index)); }
    bool portOpen() const { return m_MSComm1.isOpen(); }
    bool logging() const { return m_Timer1.isActive(); }
    int loggingInterval() const { return m_Timer1.interval(); }
    Qt::TimerType loggingTimerType() const { return m_Timer1.timerType(); }
    QString statusText() const;
    // Log, history, page and spreadsheet records still waiting for their files.
    std::size_t pendingWrites() const { return m_pendingWrites.records(); }
    const logging::PendingWrites& waiting() const { return m_pendingWrites; }
    // Where the waiting records are kept for the next start; empty when none are.
    const QString& spoolFile() const { return m_spoolFile; }

    // The system asks the program to end (a signal at logout, shutdown or from a terminal): the
    // same close steps as the Exit button, with no question or message box in the way.
    void endBySystem(int signal);

    // Without a decoded frame for this long while the port is open, the values are stale.
    static constexpr int kStaleAfterMs = 30000;

    // Event handlers, public so tests can drive a tick without waiting for it.
    void MSComm1_OnComm(const QString& frame);
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fitToScreen();
    void refreshFaces();
    void LoadConfiguration();
    void openPort(bool readPortNumber);
    void showStatus();
    void writePendingRecords();
    void restoreSpool();
    void checkData();
    void keepSpoolInStep(std::size_t recordsBefore);
    void startLogging(bool fromStartup);
    void assignHolder(int index, double value);
    void VScroll1_Change(int index);
    void DrawNeedle(int meter, double value, double fullScale);
    void lampOn(QPushButton* lamp);
    template <typename Window> void runWindow(bool rereadPort);

    void StartLogging_Click();
    void StopLogging_Click();
    void CalibrateButton_Click();
    void Setup_Click();
    void ShowLogs_Click();
    void Publish_Click();

    ProgramVariant m_variant;
    core::AppDir m_app;
    core::Clock m_clock;

    config::ProgramConfig m_programConfig;
    config::CalibrationSettings m_calibrationSettings;
    calibration::Conversion m_conversion;
    QStringList m_configWarnings;

    Reading m_reading;
    IntervalPeaks m_peaks;
    double m_wattHourTotal = 0;
    QDate m_lastWattHourTick;
    std::array<std::int16_t, core::kLastHolder + 1> m_VScroll1{};
    // Kept for the life of the program, so each opening of the history window finds the
    // records of the last.
    history::HistoryStore m_historyStore;

    core::SerialLine m_MSComm1;
    // MQTT publishing: off (and silent) unless publish.cfg turns it on.
    publish::Publisher m_publisher;
    int m_portNumber = 1;
    QString m_portStatus;
    bool m_accessProblem = false; // the port is there but this account may not open it
    // When the last frame was decoded, or the port opened when none has been since; a line
    // that goes quiet is told apart from one whose values stand still.
    QDateTime m_lastData;
    QString m_staleStatus;
    QTimer m_dataWatch;
    QTimer m_Timer1;
    QTimer m_Timer2;
    QTimer m_Timer3;
    logging::PendingWrites m_pendingWrites;
    QString m_templateWarning; // from the latest tick
    QStringList m_logWarnings; // one line per file that writes wait for
    QTimer m_writeRetry;
    QString m_spoolFile;
    QString m_spoolNotice; // what the spool of the last run gave, or why it could not be kept
    QDateTime m_spoolSavedAt;
    qsizetype m_spooledBytes = 0;
    bool m_endedBySystem = false;

    QWidget* m_content = nullptr; // the designed layout, inside the scroll area
    QScrollArea* m_scroll = nullptr;
    double m_facesRatio = 1.0; // the pixel ratio the faces were drawn at
    bool m_watchingScreen = false;
    LoggerControls m_controls;
};

} // namespace monitor
