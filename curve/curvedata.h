#pragma once

#include "core/appdir.h"
#include "core/quantities.h"
#include "curve/powercurve.h"

#include <deque>

namespace curve {

// The scatter keeps the one-minute means of the last 30 days, in memory only.
inline constexpr std::size_t kScatterMinutes = 30 * 24 * 60;

// Everything the power curve keeps while the program runs: the bins (read from and written to
// logs/powercurve.txt), the minute being folded and the recent minutes for the scatter.
class CurveData
{
public:
    CurveData(const core::AppDir& app, const QString& wsUnits);

    // A decoded reading; only fresh ones count.
    void add(const core::QuantityValues& values, qint64 monotonicMs, bool fresh = true);

    const WindScale& scale() const { return m_scale; }
    const PowerCurve& curve() const { return m_curve; }
    const std::deque<MinuteMean>& scatter() const { return m_scatter; }
    bool loadedDamaged() const { return m_damaged; }
    // What to write and where, hourly and at close (through core::replaceFile).
    QString path() const { return powerCurvePath(m_app); }
    QByteArray bytes() const { return powerCurveBytes(m_curve); }
    // A new turbine or a new site: bins and scatter start again.
    void startNew();

private:
    core::AppDir m_app;
    WindScale m_scale;
    PowerCurve m_curve;
    MinuteFolder m_folder;
    std::deque<MinuteMean> m_scatter;
    bool m_damaged = false;
};

} // namespace curve
