#pragma once

// A measured power curve the tests of the yearly energy and of the view share.

#include "curve/powercurve.h"

#include <iterator>
#include <vector>

// A curve measured bin by bin from 2.5 to 7.5 m/s (cut-in at 3.0, 85 % of the highest power,
// 170 W, reached at 4.91 m/s, so the range runs from 2.5 to 7.36 m/s), and above it two thin
// storm bins.
inline std::vector<curve::Bin> measured()
{
    std::vector<curve::Bin> bins;
    const double watts[] = {0, 10, 40, 80, 120, 150, 165, 170, 168, 166, 165};
    for (std::size_t i = 0; i < std::size(watts); ++i)
        bins.push_back({2.5 + 0.5 * double(i), 20, watts[i], 1});
    bins.push_back({15.0, 2, 400, 0});
    bins.push_back({16.5, 1, 300, 0});
    return bins;
}
