// The range of winds the yearly energy depends on, whether it lacks data, and the missing bins
// put in from their neighbours.

#include "curve/aep.h"
#include "curve/aeprange.h"
#include "tests/curvebins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

using curve::Bin;

std::vector<Bin> without(std::vector<Bin> bins, std::initializer_list<double> centres)
{
    for (const double c : centres)
        std::erase_if(bins, [c](const Bin& b) { return std::fabs(b.centre - c) < 0.01; });
    return bins;
}

std::vector<Bin> thin(std::vector<Bin> bins, double centre)
{
    for (Bin& b : bins)
        if (std::fabs(b.centre - centre) < 0.01)
            b.minutes = curve::kCompleteMinutes - 1;
    return bins;
}

// The range that matters, whether a bin inside it lacks data, and the bins put in from their
// neighbours (centre and watts).
TEST(AnnualEnergy, RangeIncompleteAndFilledBins)
{
    struct Case
    {
        const char* what;
        std::vector<Bin> bins;
        bool known;
        double low, high;
        bool incomplete;
        std::vector<std::pair<double, double>> putIn;
    };
    const Case cases[] = {
        {"whole, thin storm bins above the range", measured(), true, 2.5, 7.3625, false, {}},
        {"a missing bin inside", without(measured(), {4.0}), true, 2.5, 7.3625, true, {{4.0, 80}}},
        {"a thin bin inside", thin(measured(), 3.5), true, 2.5, 7.3625, true, {{3.5, 45}}},
        {"the bin below cut-in missing",
         without(measured(), {2.5}),
         true,
         2.5,
         7.3625,
         true,
         {{2.5, 0}}},
        {"the top of the range missing",
         without(measured(), {6.5, 7.0, 7.5}),
         true,
         2.5,
         7.3625,
         true,
         {{6.5, 170}, {7.0, 170}}},
        {"a gap above the range only", without(measured(), {7.5}), true, 2.5, 7.3625, false, {}},
        {"no bin gives power", {{2.0, 30, 0, 0}, {2.5, 30, 0, 0}}, false, 0, 0, true, {}},
        {"nothing measured", {}, false, 0, 0, true, {}},
    };
    for (const Case& c : cases) {
        const curve::AepRange range = curve::aepRange(c.bins, 0.5);
        EXPECT_EQ(range.known, c.known) << c.what;
        if (c.known) {
            EXPECT_NEAR(range.low, c.low, 1e-9) << c.what;
            EXPECT_NEAR(range.high, c.high, 1e-9) << c.what;
        }
        EXPECT_EQ(curve::incompleteInRange(c.bins, 0.5), c.incomplete) << c.what;
        const std::vector<Bin> filled = curve::filledBins(c.bins, 0.5);
        std::vector<std::pair<double, double>> putIn;
        for (const Bin& b : filled)
            if (b.minutes == 0)
                putIn.emplace_back(b.centre, b.meanWatts);
        ASSERT_EQ(putIn.size(), c.putIn.size()) << c.what;
        for (std::size_t i = 0; i < putIn.size(); ++i) {
            EXPECT_NEAR(putIn[i].first, c.putIn[i].first, 1e-9) << c.what;
            EXPECT_NEAR(putIn[i].second, c.putIn[i].second, 1e-9) << c.what;
        }
        EXPECT_TRUE(std::is_sorted(filled.begin(), filled.end(), [](const Bin& a, const Bin& b) {
            return a.centre < b.centre;
        })) << c.what;
        // A thin bin inside the range gives way to its filling; nothing else is lost.
        EXPECT_EQ(filled.size(), c.bins.size() + c.putIn.size() -
                                     std::size_t(std::count_if(c.bins.begin(), c.bins.end(),
                                                               [&](const Bin& b) {
                                                                   return b.minutes < 10 &&
                                                                          b.centre < c.high;
                                                               })))
            << c.what;
    }
}

// Both figures side by side: equal for a whole curve, the filled one higher when the curve stops
// before the top of the range.
TEST(AnnualEnergy, MeasuredAndFilledSideBySide)
{
    for (const curve::AepRow& row : curve::aepTable(measured(), 0.5)) {
        EXPECT_FALSE(row.incomplete);
        EXPECT_DOUBLE_EQ(row.kWhFilled, row.kWh);
    }
    for (const curve::AepRow& row :
         curve::aepTable(without(measured(), {6.5, 7.0, 7.5, 15.0, 16.5}), 0.5)) {
        EXPECT_TRUE(row.incomplete);
        EXPECT_GT(row.kWhFilled, row.kWh) << row.meanWind;
    }
}

} // namespace
