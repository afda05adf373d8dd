#pragma once

#include "core/appdir.h"
#include "curve/binsfile.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace curve {

// Turbulence intensity: over ten minutes of the monotonic clock, the standard deviation of the
// fresh frames' winds (n - 1) over their mean, binned by that mean.
inline constexpr qint64 kTurbulenceBlockMs = 10 * 60000;
// A block counts when frames came in at least 8 of its 10 minutes: a block the line was away
// for most of says little of the wind's spread.
inline constexpr int kTurbulenceMinutesNeeded = 8;
// Near calm the ratio means nothing (a mean of 0.1 m/s makes any flutter huge): a block counts
// when its mean is above four bin widths, 2 m/s in m/s bins.
inline constexpr double kTurbulenceCalmBins = 4;
// Beyond this a block's ratio is no wind's (a divider gone wrong): it is not counted, and a file
// line beyond it is damaged.
inline constexpr double kMaxTurbulence = 10;

// One ten-minute block that counts: its mean wind in the bin unit, its standard deviation and
// their ratio.
struct TurbulenceBlock
{
    qint64 block = 0; // monotonic ten-minute blocks
    double meanWind = 0;
    double sdWind = 0;
    double intensity = 0;
};

// Folds fresh winds (in the bin unit, as measured) into ten-minute blocks. A block ends when a
// reading of a later block comes; it is returned when it counts (enough minutes with frames, a
// mean above calm, a ratio within kMaxTurbulence).
class TurbulenceFolder
{
public:
    explicit TurbulenceFolder(double binWidth = 0.5)
        : m_calm(kTurbulenceCalmBins * binWidth)
    {}
    std::optional<TurbulenceBlock> add(double wind, qint64 monotonicMs, bool fresh = true);

private:
    double m_calm;
    qint64 m_block = -1;
    int m_minutes = 0; // a bit for each minute of the block with a frame
    int m_count = 0;
    double m_mean = 0; // Welford's running mean and sum of squared deviations
    double m_squares = 0;
};

// "logs/turbulence.txt": per bin of the block's mean wind the count of blocks, their mean ratio
// and its spread, "<B>5.5</B><N>42</N><TI>0.182</TI><SD>0.031</SD>" CR LF.
QString turbulencePath(const core::AppDir& app);
inline constexpr BinsFormat kTurbulenceFormat{"TI", "SD", 0, kMaxTurbulence, 3};

} // namespace curve
