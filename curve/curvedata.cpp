#include "curve/curvedata.h"

namespace curve {

CurveData::CurveData(const core::AppDir& app, const QString& wsUnits)
    : m_app(app)
    , m_scale(windScale(wsUnits))
    , m_curve(loadPowerCurve(powerCurvePath(app), m_scale.binWidth, &m_damaged))
{}

void CurveData::add(const core::QuantityValues& values, qint64 monotonicMs, bool fresh)
{
    const std::optional<MinuteMean> done = m_folder.add(values[core::kWind] * m_scale.toBinUnit,
                                                        values[core::kWatts], monotonicMs, fresh);
    if (!done)
        return;
    m_curve.addMinute(done->wind, done->watts);
    m_scatter.push_back(*done);
    while (m_scatter.size() > kScatterMinutes)
        m_scatter.pop_front();
}

void CurveData::startNew()
{
    m_curve.clear();
    m_scatter.clear();
    m_folder = MinuteFolder();
}

} // namespace curve
