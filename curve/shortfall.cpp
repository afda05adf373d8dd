#include "curve/shortfall.h"

#include <cmath>
#include <limits>

namespace curve {

Shortfall shortfallSince(const std::deque<MinuteMean>& minutes, const RefCurve& reference,
                         qint64 fromMinute)
{
    return shortfallBetween(minutes, reference, fromMinute + 1, std::numeric_limits<qint64>::max());
}

Shortfall shortfallBetween(const std::deque<MinuteMean>& minutes, const RefCurve& reference,
                           qint64 fromMinute, qint64 toMinute)
{
    Shortfall out;
    for (auto m = minutes.rbegin(); m != minutes.rend() && m->minute >= fromMinute; ++m) {
        if (m->minute >= toMinute)
            continue;
        if (m->heldBack) {
            ++out.heldBack;
            continue;
        }
        ++out.minutes;
        out.promisedWh += reference.wattsAt(m->wind) / 60.0;
        out.measuredWh += m->watts / 60.0;
    }
    return out;
}

Shortfall shortfallOver(const std::deque<MinuteMean>& minutes, const RefCurve& reference,
                        qint64 nowMinute, int days)
{
    return shortfallSince(minutes, reference, nowMinute - qint64(days) * 24 * 60);
}

QString shortfallText(const Shortfall& s, int days)
{
    return shortfallText(s, QStringLiteral("Last %1 days").arg(days));
}

QString shortfallText(const Shortfall& s, const QString& span)
{
    if (s.minutes == 0)
        return span + QStringLiteral(": no minutes to compare yet.");
    const double diff = s.shortKWh();
    return QStringLiteral("%1: the reference promises %2 kWh for the winds measured, the turbine "
                          "made %3 kWh: %4 kWh (%5 %) %6.")
        .arg(span)
        .arg(s.promisedWh / 1000.0, 0, 'f', 2)
        .arg(s.measuredWh / 1000.0, 0, 'f', 2)
        .arg(std::fabs(diff), 0, 'f', 2)
        .arg(std::fabs(s.percent()), 0, 'f', 1)
        .arg(diff >= 0 ? QStringLiteral("short") : QStringLiteral("more"));
}

QString heldBackText(int minutes)
{
    return QStringLiteral("%1 minutes left out while the battery was full.").arg(minutes);
}

} // namespace curve
