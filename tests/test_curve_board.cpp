// The power curve measured from a long run of the simulated board, through the program's own
// frame decoder, conversion and bins, against the curve the board is built to follow.

#include "config/options.h"
#include "core/conversion.h"
#include "curve/curvedata.h"
#include "station/telemetry.h"
#include "tests/fixture.h"
#include "tools/boardmodel.h"

#include <QString>
#include <cmath>
#include <map>

namespace {

constexpr qint64 kFrameMs = 2000;
constexpr int kHours = 48;

// The board's curve, written out again here: 0 below 3 m/s, else min(600 W, 0.45 v^3).
double statedWatts(double mps)
{
    return mps < 3.0 ? 0.0 : std::min(600.0, 0.45 * mps * mps * mps);
}

// The numbers of the calibration file the program ships, through the program's own reading of
// them.
core::Conversion shippedConversion()
{
    config::CalibrationSettings settings;
    settings.VoltDivider = QStringLiteral("38.46");
    settings.VoltOffset = QStringLiteral("0.52");
    settings.AmpDivider = QStringLiteral("10.3");
    settings.RPMDivider = QStringLiteral("2");
    settings.WSDivider = QStringLiteral("1.6");
    return config::makeConversion(settings);
}

class CurveFromBoard : public AppDirTest
{};

TEST_F(CurveFromBoard, MatchesTheStatedCurveInEveryCompleteBin)
{
    curve::CurveData data(m_app, QStringLiteral("km/h"));
    // The simulated board's controller never holds the mill back: no minute of it is left out.
    data.setBattery({12, 80.0});
    const core::Conversion conversion = shippedConversion();
    sim::BoardModel board(20240917u);
    // The fake monotonic clock: a frame every 2 s for two days.
    for (qint64 ms = 0; ms <= kHours * 3600 * 1000 + 60000; ms += kFrameMs) {
        const std::string frame = sim::frameText(board.step(kFrameMs / 1000.0));
        const station::Reading reading =
            station::computeReading(core::decodeFrame(QString::fromStdString(frame)), conversion);
        data.add(reading.value, ms);
    }
    ASSERT_GE(data.scatter().size(), std::size_t(kHours * 60 - 1));

    // What a perfect instrument would put in each bin: the stated curve at each minute's mean
    // wind, averaged over the bin's minutes. Gusts within a minute are what remains.
    std::map<int, std::pair<double, int>> expected;
    // Minutes of a full bank are left out of the bins: the charge controller may hold the mill
    // back.
    for (const curve::MinuteMean& m : data.scatter()) {
        if (m.heldBack)
            continue;
        auto& [sum, n] = expected[data.curve().binIndex(m.wind)];
        sum += statedWatts(m.wind);
        ++n;
    }
    int complete = 0;
    double highest = 0;
    for (const curve::Bin& bin : data.curve().bins()) {
        if (bin.minutes < curve::kCompleteMinutes)
            continue;
        const auto [sum, n] = expected.at(data.curve().binIndex(bin.centre));
        ASSERT_EQ(n, bin.minutes) << bin.centre;
        const double want = sum / n;
        // Within 5 %, or 3 W near the cut-in where a bin holds both still and turning minutes.
        EXPECT_NEAR(bin.meanWatts, want, std::max(0.05 * want, 3.0))
            << "bin " << bin.centre << " m/s, " << bin.minutes << " minutes";
        ++complete;
        highest = std::max(highest, bin.centre);
    }
    // The run covers the curve from calm to the rated power.
    EXPECT_GE(complete, 15);
    EXPECT_GE(highest, 11.0);
}

} // namespace
