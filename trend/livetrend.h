#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "trend/trendpicture.h"
#include "trend/trendring.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;

namespace trend {

// The spans the choice beside the trend offers, in seconds.
inline constexpr qint64 kSpans[] = {600, 3600, 24 * 3600};

// The five live series over the last 10 minutes, hour or day, in aligned panels each with its
// own scale and unit, a legend in the series' colours and a pointer readout. Drawn into a cached
// picture at most once a second, so a board sending many frames a second costs one picture a
// second.
class LiveTrend : public QWidget
{
    Q_OBJECT
public:
    explicit LiveTrend(QWidget* parent = nullptr);

    void add(const core::QuantityValues& values, qint64 monotonicMs, const QDateTime& wall);
    // Reads today's day file on a worker thread and folds its records into the ring, so the day
    // shows after a restart; dayFilled says how many were taken.
    void fillFromDayFile(const core::AppDir& app, const core::Clock& clock);
    // The unit the wind speed is shown in (the user's WSUnits).
    void setWindUnit(const QString& unit);
    void setSpan(qint64 seconds);
    qint64 span() const { return m_span; }
    const TrendRing& ring() const { return m_ring; }
    // Draws the picture now (the timer does it otherwise); what paintEvent shows.
    const QImage& redraw();
    int redraws() const { return m_redraws; }
    // The readout for a point of the widget: the time and the five values, rounded, with their
    // units ("14:05:07  12.79 V  1.99 A  24 W  120 RPM  5.2 km/h"); empty off the trend.
    QString readoutAt(int x) const;

signals:
    void dayFilled(int records);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QRect plotRect() const;
    TimeAxis timeAxis() const;
    void schedule();
    std::optional<Slot> slotAt(int x) const;

    TrendRing m_ring;
    qint64 m_span = kSpans[0];
    QComboBox* m_spanBox = nullptr;
    QTimer m_timer;
    QImage m_picture;
    TrendFrame m_frame;
    std::vector<Slot> m_shown;
    SeriesLooks m_looks;
    int m_pointerX = -1;
    int m_redraws = 0;
};

// The tick box that shows and hides the trend, ticked as view.cfg says and kept there.
QCheckBox* makeTrendToggle(QWidget* parent, LiveTrend* trend, const core::AppDir& app);

} // namespace trend
