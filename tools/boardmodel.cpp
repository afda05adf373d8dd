#include "tools/boardmodel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {

namespace {

constexpr double kMinVolts = 12.0;
constexpr double kMaxVolts = 14.5;
constexpr double kMaxWind = 60.0;
constexpr double kMaxMeanWind = 45.0;
constexpr double kTypicalWind = 20.0;
constexpr double kMaxRpm = 900.0;
constexpr double kStartWind = 5.0; // km/h before the blades turn at all
constexpr double kRpmPerKmh = 18.0;
constexpr double kKmhPerMps = 3.6;
constexpr double kLoadAmps = 0.5;
constexpr double kCapacityAh = 200.0;
constexpr double kTaperBand = 0.1; // the last tenth of the charge goes in ever slower
constexpr double kFloatShare = 0.02;
constexpr double kInternalOhms = 0.045;
constexpr double kLoadSagVolts = 0.2;

constexpr double kFirstSwitchMin = 3.0;
constexpr double kFirstSwitchMax = 15.0;
constexpr double kOnMin = 20.0;
constexpr double kOnMax = 180.0;
constexpr double kOffMin = 30.0;
constexpr double kOffMax = 240.0;

// Our own conversions from the engine's output, so a seed gives the same run whichever
// standard library built us (the std distributions are not pinned down).
double uniform01(std::mt19937& rng)
{
    const auto high = static_cast<std::uint64_t>(rng() >> 5);
    const auto low = static_cast<std::uint64_t>(rng() >> 6);
    return static_cast<double>((high << 26) | low) * 0x1.0p-53;
}

double uniform(std::mt19937& rng, double low, double high)
{
    return low + (high - low) * uniform01(rng);
}

std::size_t below(std::mt19937& rng, std::size_t n)
{
    return std::min(n - 1, static_cast<std::size_t>(uniform01(rng) * static_cast<double>(n)));
}

double normal(std::mt19937& rng)
{
    const double u1 = 1.0 - uniform01(rng); // (0, 1]: log stays finite
    const double u2 = uniform01(rng);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

// Exact first-order lag, so the result does not depend on how the time is cut into steps.
double relax(double value, double target, double dt, double tau)
{
    return target + (value - target) * std::exp(-dt / tau);
}

// Mean-reverting noise (Ornstein-Uhlenbeck) with stationary spread sigma, exact for any dt.
double wander(std::mt19937& rng, double value, double mean, double dt, double tau, double sigma)
{
    const double keep = std::exp(-dt / tau);
    return mean + (value - mean) * keep + sigma * std::sqrt(1.0 - keep * keep) * normal(rng);
}

double rpmForWind(double kmh)
{
    return std::clamp((kmh - kStartWind) * kRpmPerKmh, 0.0, kMaxRpm);
}

// Rounded inside the range so the program's conversion also lands inside it.
long rawVolts(double volts)
{
    const long minV = static_cast<long>(std::ceil(kMinVolts * kVoltDivider));
    const long maxV = static_cast<long>(std::floor(kMaxVolts * kVoltDivider));
    return std::clamp(std::lround(volts * kVoltDivider), minV, maxV);
}

struct TagSpan
{
    std::size_t begin;      // at '<' of the opening tag
    std::size_t valueBegin; // just after the opening tag
    std::size_t valueEnd;   // at '<' of the closing tag
    std::size_t end;        // just after the closing tag
};

std::vector<TagSpan> findTags(std::string_view frame)
{
    std::vector<TagSpan> spans;
    std::size_t at = 0;
    while ((at = frame.find('<', at)) != std::string_view::npos) {
        const std::size_t nameEnd = frame.find('>', at);
        if (nameEnd == std::string_view::npos || nameEnd == at + 1 || frame[at + 1] == '/') {
            ++at;
            continue;
        }
        const std::string closing =
            "</" + std::string(frame.substr(at + 1, nameEnd - at - 1)) + ">";
        const std::size_t closeAt = frame.find(closing, nameEnd + 1);
        if (closeAt == std::string_view::npos) {
            ++at;
            continue;
        }
        spans.push_back({at, nameEnd + 1, closeAt, closeAt + closing.size()});
        at = closeAt + closing.size();
    }
    return spans;
}

std::string_view withoutLineEnd(std::string_view frame)
{
    while (!frame.empty() && (frame.back() == '\n' || frame.back() == '\r')) {
        frame.remove_suffix(1);
    }
    return frame;
}

} // namespace

double curvePower(double metresPerSecond)
{
    if (metresPerSecond < kCutInWind)
        return 0.0;
    return std::min(kRatedWatts, kCurveK * metresPerSecond * metresPerSecond * metresPerSecond);
}

std::string_view faultName(Fault fault)
{
    switch (fault) {
    case Fault::MissingTag:
        return "missing tag";
    case Fault::Letters:
        return "letters";
    case Fault::Split:
        return "split";
    case Fault::Merged:
        return "merged";
    case Fault::EmptyValue:
        return "empty value";
    }
    return "unknown";
}

std::string frameText(const RawSample& sample)
{
    return "[<V>" + std::to_string(sample.v) + "</V><I>" + std::to_string(sample.i) + "</I><R>" +
           std::to_string(sample.r) + "</R><M>" + std::to_string(sample.m) + "</M><S>" +
           std::to_string(sample.s) + "</S>]\r\n";
}

BoardModel::BoardModel(std::uint32_t seed)
    : m_rng(seed)
    , m_faultRng(seed ^ 0x5bd1e995u)
{
    m_meanWind = uniform(m_rng, 8.0, 28.0);
    m_rpm = rpmForWind(m_meanWind);
    m_stateOfCharge = uniform(m_rng, 0.3, 0.7);
    m_volts = kMinVolts + m_stateOfCharge;
    // Soon, so whoever starts the board sees the load come on within the first seconds.
    m_nextSwitchAt = uniform(m_rng, kFirstSwitchMin, kFirstSwitchMax);
}

RawSample BoardModel::step(double dtSeconds)
{
    const double dt = std::clamp(dtSeconds, 1e-3, 3600.0);
    m_time += dt;
    while (m_time >= m_nextSwitchAt) {
        switchLoad();
    }

    // A weather mean drifting over the hours, with small gusts of a few seconds on top; windier
    // days gust a little harder. Small, so a minute's mean wind still tells its power.
    m_meanWind = std::clamp(std::abs(wander(m_rng, m_meanWind, kTypicalWind, dt, 3600.0, 10.0)),
                            0.0, kMaxMeanWind);
    m_gust = wander(m_rng, m_gust, 0.0, dt, 6.0, 0.3 + 0.02 * m_meanWind);
    const double wind = std::clamp(m_meanWind + m_gust, 0.0, kMaxWind);
    const long rawWind = std::lround(wind * kWindDivider);

    // The rotor spins up quicker than it coasts down.
    const double rpmTarget = rpmForWind(wind);
    m_rpm = std::clamp(relax(m_rpm, rpmTarget, dt, rpmTarget > m_rpm ? 4.0 : 10.0), 0.0, kMaxRpm);

    // The current is measured on the turbine's line, so the program's volts x amps is the
    // curve's power at the wind this frame reports.
    RawSample sample;
    sample.v = rawVolts(m_volts);
    const double turbineAmps =
        curvePower(double(rawWind) / kWindDivider / kKmhPerMps) / (double(sample.v) / kVoltDivider);
    sample.i = std::lround(turbineAmps * kAmpDivider + kCurrentOffset);

    // The battery takes what the turbine gives less the load, ever slower as it fills (the
    // regulator diverts the rest); the turbine's own output does not depend on it.
    const double acceptance = kRatedWatts / kMinVolts *
                              std::clamp((1.0 - m_stateOfCharge) / kTaperBand, kFloatShare, 1.0);
    const double batteryAmps = std::min(turbineAmps - (m_loadOn ? kLoadAmps : 0.0), acceptance);
    m_stateOfCharge =
        std::clamp(m_stateOfCharge + batteryAmps * dt / 3600.0 / kCapacityAh, 0.02, 1.0);

    // Resting volts follow the state of charge; the charge current through the internal
    // resistance lifts them, and switching the load on pulls them down a little.
    const double voltsTarget = kMinVolts + 0.1 + m_stateOfCharge + kInternalOhms * turbineAmps -
                               (m_loadOn ? kLoadSagVolts : 0.0) + 0.01 * normal(m_rng);
    m_volts = std::clamp(relax(m_volts, voltsTarget, dt, 5.0), kMinVolts, kMaxVolts);
    sample.r = std::lround(m_rpm * kRpmDivider / 60.0);
    sample.m = m_loadOn ? 1 : 0;
    sample.s = rawWind;
    return sample;
}

void BoardModel::switchLoad()
{
    m_loadOn = !m_loadOn;
    m_nextSwitchAt += m_loadOn ? uniform(m_rng, kOnMin, kOnMax) : uniform(m_rng, kOffMin, kOffMax);
}

std::optional<Fault> BoardModel::nextFault(double fraction)
{
    if (!(uniform01(m_faultRng) < fraction)) {
        return std::nullopt;
    }
    const Fault fault = kAllFaults[m_nextFaultKind];
    m_nextFaultKind = (m_nextFaultKind + 1) % kAllFaults.size();
    return fault;
}

std::vector<std::string> BoardModel::malform(Fault fault, std::string_view frame,
                                             std::string_view nextFrame)
{
    const std::vector<TagSpan> tags = findTags(frame);
    const std::size_t close = std::min(frame.find(']'), frame.size());
    std::string text(frame);

    switch (fault) {
    case Fault::MissingTag:
        if (!tags.empty()) {
            const TagSpan& tag = tags[below(m_faultRng, tags.size())];
            text.erase(tag.begin, tag.end - tag.begin);
        }
        return {text};
    case Fault::Letters:
        if (!tags.empty()) {
            // "nan" and "inf" too: a lenient number parser takes those for numbers.
            static constexpr std::array<std::string_view, 6> kWords{"abc", "x",   "nan",
                                                                    "inf", "ten", "oops"};
            const TagSpan& tag = tags[below(m_faultRng, tags.size())];
            text.replace(tag.valueBegin, tag.valueEnd - tag.valueBegin,
                         kWords[below(m_faultRng, kWords.size())]);
        }
        return {text};
    case Fault::EmptyValue:
        if (!tags.empty()) {
            const TagSpan& tag = tags[below(m_faultRng, tags.size())];
            text.erase(tag.valueBegin, tag.valueEnd - tag.valueBegin);
        }
        return {text};
    case Fault::Split: {
        if (close < 1) {
            return {text};
        }
        // Cut somewhere before the closing bracket, so neither piece is a frame by itself.
        const std::size_t cut = 1 + below(m_faultRng, close);
        return {text.substr(0, cut), text.substr(cut)};
    }
    case Fault::Merged: {
        const std::string next(nextFrame.empty() ? frame : nextFrame);
        if (below(m_faultRng, 2) == 0 || close < 2) {
            // The first frame loses its line end and runs straight into the next.
            return {std::string(withoutLineEnd(frame)) + next};
        }
        // Only the middle of a frame got through (start and end lost), then a whole frame.
        const std::size_t from = 1 + below(m_faultRng, close - 1);
        return {text.substr(from, close - from) + next};
    }
    }
    return {text};
}

} // namespace sim
