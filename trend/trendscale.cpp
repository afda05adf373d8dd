#include "trend/trendscale.h"

#include <algorithm>
#include <cmath>

namespace trend {

RoundAxis roundAxis(double low, double high, int maxTicks)
{
    // Two ticks cannot hold a range across a round value, such as -0.5 to 0.5, with 0 on a tick.
    maxTicks = std::max(3, maxTicks);
    if (!std::isfinite(low))
        low = 0;
    if (!std::isfinite(high) || !(high > low)) {
        // A flat series still gets a scale: one unit (or a tenth of its size) either side.
        const double half = low == 0 ? 1 : std::pow(10, std::floor(std::log10(std::fabs(low))) - 1);
        high = low + half;
        low -= half;
    }
    const double rough = (high - low) / double(maxTicks - 1);
    // The smallest round step that covers the range in maxTicks ticks once widened to it.
    RoundAxis axis;
    double step = 0;
    for (int e = int(std::floor(std::log10(rough))); step == 0; ++e) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double s = m * std::pow(10, e);
            if (s < rough * (1 - 1e-9))
                continue;
            axis.low = std::floor(low / s + 1e-9) * s;
            axis.high = std::ceil(high / s - 1e-9) * s;
            if (std::lround((axis.high - axis.low) / s) + 1 <= maxTicks) {
                step = s;
                break;
            }
        }
    }
    axis.step = step;
    const long count = std::lround((axis.high - axis.low) / step);
    for (long i = 0; i <= count; ++i) {
        const double v = axis.low + double(i) * step;
        axis.ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
    }
    return axis;
}

QString tickText(double value, double step)
{
    const int decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    return QString::number(value, 'f', decimals);
}

int readoutDecimals(core::Quantity q)
{
    switch (q) {
    case core::kVolts:
    case core::kAmps:
        return 2;
    case core::kWind:
        return 1;
    default:
        return 0;
    }
}

QString readoutText(core::Quantity q, double value, const QString& unit)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    QString number = QString::number(value, 'f', readoutDecimals(q));
    // "-0" and "-0.00" are a rounding's sign, not a reading's.
    if (number.startsWith(QLatin1Char('-')) &&
        number.count(QLatin1Char('0')) == number.size() - 1 - number.count(QLatin1Char('.')))
        number.remove(0, 1);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

} // namespace trend
