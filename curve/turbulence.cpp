#include "curve/turbulence.h"

#include <cmath>

namespace curve {

std::optional<TurbulenceBlock> TurbulenceFolder::add(double wind, qint64 monotonicMs, bool fresh)
{
    if (!fresh || !std::isfinite(wind))
        return std::nullopt;
    const qint64 block = monotonicMs / kTurbulenceBlockMs;
    std::optional<TurbulenceBlock> done;
    if (block != m_block) {
        int minutes = 0;
        for (int bits = m_minutes; bits != 0; bits &= bits - 1)
            ++minutes;
        const double sd = m_count > 1 ? std::sqrt(m_squares / (m_count - 1)) : 0.0;
        if (minutes >= kTurbulenceMinutesNeeded && m_mean > m_calm && sd / m_mean <= kMaxTurbulence)
            done = TurbulenceBlock{m_block, m_mean, sd, sd / m_mean};
        m_block = block;
        m_minutes = 0;
        m_count = 0;
        m_mean = 0;
        m_squares = 0;
    }
    m_minutes |= 1 << int((monotonicMs % kTurbulenceBlockMs) / 60000);
    ++m_count;
    const double delta = wind - m_mean;
    m_mean += delta / m_count;
    m_squares += delta * (wind - m_mean);
    return done;
}

QString turbulencePath(const core::AppDir& app)
{
    return app.logsDir() + QStringLiteral("turbulence.txt");
}

} // namespace curve
