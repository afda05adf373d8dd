#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The shipped calibration file's numbers: the board's raw values are the program's readings
// multiplied back by them.
inline constexpr double kVoltDivider = 38.46;
inline constexpr double kCurrentOffset = 0.52; // "VoltOffset" in the file, applied to the current
inline constexpr double kAmpDivider = 10.3;
inline constexpr double kRpmDivider = 2.0;
inline constexpr double kWindDivider = 1.6;

// The turbine's power curve the board follows, at the wind speed a frame reports:
//   P(v) = 0 below the cut-in of 3 m/s, else min(600 W, 0.45 v^3) (rated from about 11 m/s).
inline constexpr double kCutInWind = 3.0; // m/s
inline constexpr double kRatedWatts = 600.0;
inline constexpr double kCurveK = 0.45; // W per (m/s)^3
double curvePower(double metresPerSecond);

// One reading as the logger board sends it: raw integers, before calibration.
//   v: battery volts x 38.46
//   i: the turbine's charge current (A) x 10.3 + 0.52, so volts x amps = curvePower(wind)
//   r: turbine pulses; RPM = r / 2 x 60
//   m: 1 while the load is switched on, else 0
//   s: wind speed (km/h) x 1.6
struct RawSample
{
    long v = 0;
    long i = 0;
    long r = 0;
    long m = 0;
    long s = 0;

    bool operator==(const RawSample&) const = default;
};

// Ways a frame can arrive damaged on a real line.
enum class Fault
{
    MissingTag, // one tagged value left out
    Letters,    // one value replaced by letters
    Split,      // the frame comes in two pieces with a long pause between
    Merged,     // two frames run together, or the tail of one runs into the next
    EmptyValue, // one tag with nothing inside, e.g. <I></I>
};

inline constexpr std::array kAllFaults{Fault::MissingTag, Fault::Letters, Fault::Split,
                                       Fault::Merged, Fault::EmptyValue};

std::string_view faultName(Fault fault);

// The frame exactly as the board sends it: "[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n".
std::string frameText(const RawSample& sample);

// The board's world: wind with small gusts, a rotor that follows it with lag, a turbine whose
// output follows curvePower, a battery charged by it and drained by a load that is switched on
// and off now and then.
//
// Everything comes from the seed, so a run can be repeated exactly. Faults draw from their own
// stream, so damaging frames does not change the readings that follow.
class BoardModel
{
public:
    explicit BoardModel(std::uint32_t seed);

    // Advances the world by dtSeconds and reads it.
    RawSample step(double dtSeconds);

    // Decides whether the next frame goes out damaged: about fraction of frames are, the kinds
    // taking turns.
    std::optional<Fault> nextFault(double fraction);

    // Damages a well-formed frame. Returns the pieces to write, in order; more than one piece
    // means the sender pauses between them. Merged uses nextFrame as the frame that runs on.
    std::vector<std::string> malform(Fault fault, std::string_view frame,
                                     std::string_view nextFrame);

private:
    void switchLoad();

    std::mt19937 m_rng;
    std::mt19937 m_faultRng;
    std::size_t m_nextFaultKind = 0;

    double m_time = 0.0;
    double m_meanWind = 0.0;
    double m_gust = 0.0;
    double m_rpm = 0.0;
    double m_stateOfCharge = 0.0;
    double m_volts = 0.0;
    bool m_loadOn = false;
    double m_nextSwitchAt = 0.0;
};

} // namespace sim
