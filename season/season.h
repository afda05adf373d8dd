#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "history/historystore.h"
#include "season/columns.h"
#include "season/dayspicture.h"
#include "season/energybars.h"
#include "season/energypicture.h"
#include "season/seasonview.h"

#include <memory>

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QComboBox;

namespace season {

class ViewJobs;

// Season's own tabs, in order; other views (the power curve, the battery) are added after them
// with addView.
enum SeasonTab : int
{
    kEnergyTab,
    kDaysTab
};

// The "Season" window: energy bars from the ledger, and the logged series over a run of days
// from their summaries, shown modally like the program's other windows. The ledger, the
// summaries, the pixel columns and their picture are read and made off the window's thread,
// which is also the plant's; "Reading the logs…" stands where they will show until they come.
// Its tab, views, series and size are kept in view.cfg when it closes.
class Season : public QDialog
{
    Q_OBJECT
public:
    Season(const core::AppDir& app, const core::Clock& clock, QWidget* parent);
    // Drops what is still being read, waiting at most for the day each reading is on.
    ~Season() override;

    // Another view of the season's data after Energy and Days (the power curve), as a tab.
    void addView(QWidget* view, const QString& title);

    const EnergyBars& bars() const { return m_bars; }
    const EnergyPicture& energyPicture() const { return m_energy; }
    const std::vector<Column>& columns() const { return m_days.columns; }
    const DayRun& run() const { return *m_run; }
    const QImage& daysPicture() const { return m_days.image; }
    const DaysPicture& days() const { return m_days; }

    // Each asks for its view afresh; a later ask supersedes one still being read.
    void showEnergy();
    void showDays();

    // Opens the day in the history window, modally over this one.
    void openDay(QDate date);

signals:
    // The bars of the last energy asked for are drawn.
    void energyShown();
    // The picture of the last run of days asked for, at the plot's size, is drawn.
    void daysShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildControls();
    QWidget* buildEnergyPage();
    QWidget* buildDaysPage();
    void applyView(const SeasonView& view);
    void setRun(QDate from, QDate to, const QString& choice);
    // The month or year shown, a step earlier (-1) or later (1).
    void stepEnergy(int by);
    void drawEnergy();
    // Asks for the view's columns and picture at the plot's size.
    void drawDays();
    void saveCsv();
    // The column under a position of the plot, or nullptr.
    const Column* columnAt(const QPointF& position) const;
    void showReadout(const Column& column);
    void showBarReadout(const QPoint& at);
    void daysMouse(QEvent* event);

    core::AppDir m_app;
    core::Clock m_clock;
    EnergyBars m_bars;
    EnergyPicture m_energy;
    std::shared_ptr<const DayRun> m_run; // shared with the job making its columns
    BucketView m_view;         // the part of the run drawn (all of it until a drag zooms in)
    double m_pressBucket = -1; // where a drag began
    DaysPicture m_days;        // of m_run and m_view
    DaysLook m_look;
    QString m_daysChoice = QStringLiteral("30"); // as view.cfg keeps it
    int m_restoreTab = 0;                        // the tab to show once it is added
    history::HistoryStore m_history;             // the history window's, kept between its openings

    QTabWidget* m_views = nullptr;
    QComboBox* m_span = nullptr;
    QLineEdit* m_year = nullptr;
    QLineEdit* m_month = nullptr;
    QLineEdit* m_from = nullptr;
    QLineEdit* m_to = nullptr;
    QLabel* m_energyText = nullptr;
    QLabel* m_barText = nullptr;
    QLabel* m_daysText = nullptr;
    QLabel* m_plot = nullptr;
    QLabel* m_energyPlot = nullptr;
    std::array<QCheckBox*, kSeries> m_seriesBoxes{};
    QCheckBox* m_robust = nullptr;
    // Last, so it goes first: no answer comes back to a window half taken down.
    std::unique_ptr<ViewJobs> m_jobs;
};

} // namespace season
