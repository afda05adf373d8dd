#include "season/ticks.h"

#include <algorithm>
#include <cmath>

namespace season {

Ticks roundTicks(double low, double high, int atMost)
{
    if (!std::isfinite(low) || !std::isfinite(high))
        low = 0, high = 1;
    if (high < low)
        std::swap(low, high);
    if (high - low < 1e-9 * std::max(1.0, std::abs(high))) {
        const double pad = std::abs(high) > 0 ? std::abs(high) * 0.1 : 1;
        low -= pad;
        high += pad;
    }
    atMost = std::max(atMost, 2);
    const double rough = (high - low) / (atMost - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (const double m : {1.0, 2.0, 5.0}) {
        if (power * m >= rough) {
            step = power * m;
            break;
        }
    }
    Ticks t;
    t.step = step;
    t.low = std::floor(low / step + 1e-9) * step;
    t.high = std::ceil(high / step - 1e-9) * step;
    for (int k = 0; t.low + k * step <= t.high + step * 1e-6; ++k)
        t.values.push_back(std::abs(t.low + k * step) < step * 1e-6 ? 0 : t.low + k * step);
    return t;
}

Ticks insideTicks(double low, double high, int atMost)
{
    const Ticks around = roundTicks(low, high, 2);
    const bool flat = !(high - low > 1e-9 * std::max(1.0, std::abs(high)));
    Ticks t;
    t.low = flat ? around.low : low - (high - low) / 20;
    t.high = flat ? around.high : high + (high - low) / 20;
    for (int asked = std::max(atMost, 2); asked <= 64; ++asked) {
        t.step = roundTicks(t.low, t.high, asked).step;
        t.values.clear();
        for (double v = std::ceil(t.low / t.step - 1e-9) * t.step; v <= t.high + t.step * 1e-9;
             v += t.step)
            t.values.push_back(std::abs(v) < t.step * 1e-6 ? 0 : v);
        if (t.values.size() >= 2)
            break;
    }
    return t;
}

QString tickText(double value, double step)
{
    const int decimals = step >= 1 ? 0 : std::min(6, int(std::ceil(-std::log10(step) - 1e-9)));
    return QString::number(value, 'f', decimals);
}

namespace {

// The value at fraction q of the sorted order, moving the elements as nth_element does.
float quantile(std::vector<float>& v, double q)
{
    const auto at = std::size_t(std::clamp(q * double(v.size() - 1), 0.0, double(v.size() - 1)));
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(at), v.end());
    return v[at];
}

} // namespace

ValueRange panelRange(std::vector<float> lows, std::vector<float> highs, bool robust)
{
    if (lows.empty() || highs.empty())
        return {};
    if (!robust) {
        return {*std::min_element(lows.begin(), lows.end()),
                *std::max_element(highs.begin(), highs.end())};
    }
    return {quantile(lows, 0.001), quantile(highs, 0.999)};
}

EnergyUnit energyUnit(double highestKWh)
{
    if (highestKWh < 1)
        return {1000, QStringLiteral("Wh")};
    return {1, QStringLiteral("kWh")};
}

} // namespace season
