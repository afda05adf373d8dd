#pragma once

#include "core/appdir.h"
#include "season/batterydays.h"

#include <QDate>
#include <QWidget>
#include <memory>
#include <vector>

class QLabel;
class QTableWidget;

namespace season {

class ViewJobs;

// The battery's days: for each of the last kBatteryViewDays days its lowest and highest volts
// and when, the turbine's charge in amp-hours and watt-hours, the hours with the load on and
// whether it was full, under a summary line with the days since it was last full. The day files
// are read off the window's thread; "Save CSV" keeps what is shown. Hosted in any window with one
// line: new BatteryView(app, today, fullVolts, parent).
class BatteryView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kBatteryViewDays = kRecentBatteryDays;

    BatteryView(const core::AppDir& app, QDate today, double fullVolts, QWidget* parent = nullptr);
    ~BatteryView() override;

    // Reads the days again, off the window's thread.
    void refresh();
    QString summary() const;
    QByteArray csv() const { return batteryDaysCsv(m_days); }

signals:
    // The days of the last refresh are shown.
    void daysShown();

private:
    void showDays(const std::vector<BatteryDay>& days);
    void saveCsv();

    core::AppDir m_app;
    QDate m_today;
    double m_fullVolts;
    QLabel* m_summary = nullptr;
    QTableWidget* m_table = nullptr;
    std::vector<BatteryDay> m_days;
    // Last, so it goes first: no answer comes back to a view half taken down.
    std::unique_ptr<ViewJobs> m_jobs;
};

} // namespace season
