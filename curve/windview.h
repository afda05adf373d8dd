#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "curve/curvedata.h"
#include "curve/windbins.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QTableWidget;

namespace season {
class ViewJobs;
}

namespace curve {

// The site's wind as the plant counts it: the histogram of the last 12 months or of one month
// with its Weibull fit drawn over it, the site's yearly energy under that fit beside Rayleigh's at
// the same mean, the turbulence per bin with the blocks behind it, the tip-speed ratio and power
// coefficient against the wind (with a rotor diameter) and how much of the time the plant saw.
// The plant's counts are copied here, on the window's thread, which is also the plant's; the fit,
// the yearly energy and completeness.txt are worked out and read off it. Hosted in any window
// with one line: new WindView(app, data, wind, clock, parent).
class WindView : public QWidget
{
    Q_OBJECT
public:
    WindView(const core::AppDir& app, const CurveData& data, const SiteWind& wind,
             const core::Clock& clock, QWidget* parent = nullptr);
    // Drops the figures still being made, waiting at most for the day they are on.
    ~WindView() override;

    // The months to choose from again, and the figures of the one chosen.
    void refresh();
    // The lines under the charts, as shown.
    QString note() const;

signals:
    // The figures of the last refresh are shown.
    void figuresShown();

private:
    struct Figures;
    void showFigures(const Figures& figures);

    core::AppDir m_app;
    const CurveData& m_data;
    const SiteWind& m_wind;
    core::Clock m_clock;
    QComboBox* m_period = nullptr; // "Last 12 months", then the months counted, newest first
    QWidget* m_histogram = nullptr;
    QWidget* m_rotor = nullptr;
    QLabel* m_rotorNotice = nullptr; // in the rotor chart's place without a diameter
    QTableWidget* m_turbulence = nullptr;
    QLabel* m_note = nullptr;
    // Last, so it goes first: no answer comes back to a view half taken down.
    std::unique_ptr<season::ViewJobs> m_jobs;
};

} // namespace curve
