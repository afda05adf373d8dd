#include "station/energy.h"

#include "core/numbers.h"

#include <algorithm>
#include <cmath>

namespace station {

void EnergyMeter::frame(qint64 atMs)
{
    if (!m_freshSince || atMs - m_lastFrame >= kStaleAfterMs)
        m_freshSince = atMs;
    m_lastFrame = atMs;
}

double EnergyMeter::lineDown(double watts, qint64 atMs)
{
    const double added = count(watts, atMs);
    m_freshSince.reset();
    return added;
}

double EnergyMeter::tick(double watts, const QDateTime& now, qint64 atMs)
{
    newDate(now);
    if (now.time().msecsSinceStartOfDay() < 10000)
        m_total = 0.0;
    return count(watts, atMs);
}

bool EnergyMeter::newDate(const QDateTime& now)
{
    const bool restart = m_day.isValid() && now.date() != m_day;
    m_day = now.date();
    if (restart)
        m_total = 0.0;
    return restart;
}

double EnergyMeter::count(double watts, qint64 atMs)
{
    double added = 0.0;
    if (m_freshSince) {
        const qint64 from = std::max(m_countedTo, *m_freshSince);
        const qint64 to = std::min(atMs, m_lastFrame + kStaleAfterMs);
        // The total stays finite whatever came in, so it goes on counting from the next frame.
        if (to > from) {
            added = core::finiteOrZero(watts) * double(to - from) / 3'600'000.0;
            if (!std::isfinite(m_total + added))
                added = 0.0;
        }
    }
    m_countedTo = std::max(m_countedTo, atMs);
    m_total += added;
    return added;
}

} // namespace station
