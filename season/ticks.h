#pragma once

#include <QString>
#include <vector>

namespace season {

// The marks of a value axis at round steps (1, 2 or 5 times a power of ten) covering [low, high]:
// the axis runs from the first mark to the last. A flat or invalid range gets a step of its own
// around the value.
struct Ticks
{
    double low = 0;
    double high = 1;
    double step = 1;
    std::vector<double> values; // low, low + step, ..., high
};
Ticks roundTicks(double low, double high, int atMost);

// Marks at round steps inside [low, high] widened by a twentieth each side (a flat range gets
// room of its own): the axis keeps to the values instead of running on to the next round mark,
// so a short panel is not half empty. At least two marks, at most about `atMost`.
Ticks insideTicks(double low, double high, int atMost);

// A mark's text with as many decimals as its step needs: "0.5", "10", "2000".
QString tickText(double value, double step);

// The lowest and highest values a panel shows, from the lowest and highest of each of its
// buckets: all of them, or, robust, the 0.1st percentile of the lows and the 99.9th of the highs,
// so one glitch never sets the scale. Fed one bucket at a time: only the tails are kept, so a
// year's buckets need no copy. Nothing fed gives 0..1.
struct ValueRange
{
    double low = 0;
    double high = 1;
};
class PanelRange
{
public:
    // count: how many buckets will be added.
    PanelRange(std::size_t count, bool robust);
    void add(float low, float high);
    ValueRange range() const;

private:
    std::size_t m_lowTail = 1;  // the rank of the low percentile from below
    std::size_t m_highTail = 1; // of the high one from above
    std::vector<float> m_lows;  // a max-heap of the smallest lows
    std::vector<float> m_highs; // a min-heap of the largest highs
};

// Energy in kWh as an axis shows it: in Wh under 1 kWh.
struct EnergyUnit
{
    double perKWh = 1; // the unit's amount in one kWh
    QString name;
};
EnergyUnit energyUnit(double highestKWh);

} // namespace season
