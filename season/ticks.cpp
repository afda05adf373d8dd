#include "season/ticks.h"

#include <algorithm>
#include <cmath>
#include <functional>

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

// Keeps the `rank` values that come first in the heap's order.
template <typename Order>
void keep(std::vector<float>& heap, std::size_t rank, float v, Order first)
{
    if (heap.size() < rank) {
        heap.push_back(v);
        std::push_heap(heap.begin(), heap.end(), first);
    } else if (first(v, heap.front())) {
        std::pop_heap(heap.begin(), heap.end(), first);
        heap.back() = v;
        std::push_heap(heap.begin(), heap.end(), first);
    }
}

} // namespace

// As a sorted array's element at floor(q * (count - 1)): the 0.1st percentile is the lows' that
// many places from the bottom, the 99.9th the highs' from the top.
PanelRange::PanelRange(std::size_t count, bool robust)
{
    if (robust && count > 0) {
        m_lowTail = std::size_t(0.001 * double(count - 1)) + 1;
        m_highTail = count - std::size_t(0.999 * double(count - 1));
    }
    m_lows.reserve(m_lowTail);
    m_highs.reserve(m_highTail);
}

void PanelRange::add(float low, float high)
{
    keep(m_lows, m_lowTail, low, std::less<float>());
    keep(m_highs, m_highTail, high, std::greater<float>());
}

ValueRange PanelRange::range() const
{
    if (m_lows.empty() || m_highs.empty())
        return {};
    return {m_lows.front(), m_highs.front()};
}

EnergyUnit energyUnit(double highestKWh)
{
    if (highestKWh < 1)
        return {1000, QStringLiteral("Wh")};
    return {1, QStringLiteral("kWh")};
}

} // namespace season
