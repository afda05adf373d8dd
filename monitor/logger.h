#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "history/historystore.h"
#include "monitor/loggercontrols.h"
#include "monitor/variant.h"
#include "plant/plant.h"

#include <QLabel>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

namespace monitor {

using station::IntervalPeaks;
using station::Reading;

// The main window, a view of the plant the program built: it builds its controls, shows what the
// plant announces, turns clicks into its calls and opens the other windows.
class Logger : public QWidget
{
    Q_OBJECT
public:
    Logger(const ProgramVariant& variant, plant::Plant& plant, QWidget* parent = nullptr);

    plant::Plant& plant() { return m_plant; }
    station::Station& station() { return m_station; }
    plant::Watchers& watchers() { return m_plant.watchers(); }
    const Reading& reading() const { return m_station.reading(); }
    const publish::Publisher& publisher() const { return m_station.publisher(); }
    const IntervalPeaks& peaks() const { return m_station.peaks(); }
    double wattHourTotal() const { return m_station.wattHourTotal(); }
    const QString& receiveBuffer() const { return m_station.line().receiveBuffer(); }
    std::int16_t holder(int index) const { return m_VScroll1.at(std::size_t(index)); }
    bool portOpen() const { return m_station.line().isOpen(); }
    bool logging() const { return m_station.logging(); }
    int loggingInterval() const { return m_station.loggingInterval(); }
    Qt::TimerType loggingTimerType() const { return m_station.loggingTimerType(); }
    QString statusText() const;
    // Log, history, page and spreadsheet records still waiting for their files.
    std::size_t pendingWrites() const { return m_station.pendingWrites(); }
    // Where the waiting records are kept for the next start; empty when none are.
    const QString& spoolFile() const { return m_station.spoolFile(); }

    // The Publish window, as the program gives it: the button opens it, and publishing reads
    // its settings again when it closes.
    void setPublishWindow(std::function<void(QWidget* parent)> open);

    // The system asks the program to end (a signal at logout, shutdown or from a terminal): the
    // same close steps as the Exit button, with no question or message box in the way.
    void endBySystem(int signal);

    // Without a decoded frame for this long while the port is open, the values are stale.
    static constexpr qint64 kStaleAfterMs = core::kStaleAfterMs;

    // MSComm1_OnComm, Timer1_Timer and Timer3_Timer are the station's.
    void Timer2_Timer();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void connectStation();
    // The energy ledger, the power curve, the alarms and the live trend.
    void watchThePlant();
    void showAlarms();
    // The designed client area, and below it the trend's band where the layout has one.
    int designHeight() const { return m_variant.client.height() + m_variant.trendBand; }
    void fitToScreen();
    void refreshFaces();
    void showStatus();
    // The banner of the raised alarms and the status line below the design, and the room they
    // take.
    void placeBelowDesign();
    void showReading(const station::Reading& reading);
    void showLogging(bool on, const QString& intervalText);
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
    void Storage_Click();
    void Season_Click();
    void Alarms_Click();
    void Web_Click();
    void Notify_Click();

    ProgramVariant m_variant;
    plant::Plant& m_plant;
    station::Station& m_station;
    core::AppDir m_app;
    core::Clock m_clock;
    station::StationStatus m_status;
    std::function<void(QWidget*)> m_openPublish;

    std::array<std::int16_t, core::kLastHolder + 1> m_VScroll1{};
    // Kept for the life of the program, so each opening of the history window finds the
    // records of the last.
    history::HistoryStore m_historyStore;
    QTimer m_Timer2;
    bool m_endedBySystem = false;

    QWidget* m_content = nullptr;    // the designed layout, inside the scroll area
    QLabel* m_alarmBanner = nullptr; // the raised alarms, large, above the status line
    QScrollArea* m_scroll = nullptr;
    double m_facesRatio = 1.0; // the pixel ratio the faces were drawn at
    bool m_watchingScreen = false;
    LoggerControls m_controls;
};

} // namespace monitor
