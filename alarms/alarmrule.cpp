#include "alarms/alarmrule.h"

#include <algorithm>
#include <cmath>

namespace alarms {
namespace {

double secondsBetween(qint64 fromMs, qint64 toMs)
{
    return std::floor(double(toMs - fromMs) / 1000.0);
}

bool rotorStill(const core::QuantityValues& values)
{
    return values[core::kRpm] < kStillRpm && values[core::kWatts] < kStillWatts;
}

// The rule of every threshold alarm: holds says whether this reading meets the condition, ends
// whether it ends a raised alarm.
Change onCondition(bool holds, bool ends, double value, double delayMs, qint64 nowMs,
                   AlarmTrack& track)
{
    const bool gap = track.lastReadingMs >= 0 && nowMs - track.lastReadingMs > kFreshGapMs;
    track.lastReadingMs = nowMs;
    if (track.raised) {
        if (!ends)
            return Change::None;
        track.raised = false;
        track.heldSinceMs = -1;
        track.value = value;
        return Change::Cleared;
    }
    if (!holds) {
        track.heldSinceMs = -1;
        return Change::None;
    }
    if (track.heldSinceMs < 0 || gap)
        track.heldSinceMs = nowMs;
    if (double(nowMs - track.heldSinceMs) < delayMs)
        return Change::None;
    track.raised = true;
    track.value = value;
    return Change::Raised;
}

} // namespace

bool beyondLevel(Kind kind, const AlarmSettings& s, double value)
{
    return facts(kind).below ? value < s.level : value > s.level;
}

bool backPastLevel(Kind kind, const AlarmSettings& s, double value)
{
    return facts(kind).below ? value > s.level + s.hysteresis : value < s.level - s.hysteresis;
}

Change onFreshValue(Kind kind, const AlarmSettings& s, double value, qint64 nowMs,
                    AlarmTrack& track)
{
    return onCondition(beyondLevel(kind, s, value), backPastLevel(kind, s, value), value,
                       s.delayS * 1000.0, nowMs, track);
}

double valueOf(Kind kind, const core::QuantityValues& values)
{
    return values[facts(kind).quantity];
}

bool conditionHolds(Kind kind, const AlarmSettings& s, const core::QuantityValues& values)
{
    const bool beyond = beyondLevel(kind, s, valueOf(kind, values));
    if (kind == Kind::Stopped)
        return beyond && rotorStill(values);
    if (kind == Kind::Runaway)
        return beyond && values[core::kAmps] < s.amps;
    return beyond;
}

Change onFreshReading(Kind kind, const AlarmSettings& s, const core::QuantityValues& values,
                      qint64 nowMs, AlarmTrack& track)
{
    const double value = valueOf(kind, values);
    bool ends = backPastLevel(kind, s, value);
    if (kind == Kind::Stopped)
        ends = ends || !rotorStill(values);
    if (kind == Kind::Runaway)
        ends = ends || values[core::kAmps] >= s.amps;
    const double delayMs = s.delayS * (delayInMinutes(kind) ? 60000.0 : 1000.0);
    return onCondition(conditionHolds(kind, s, values), ends, value, delayMs, nowMs, track);
}

Change onCurveMinute(const AlarmSettings& s, double promisedW, double measuredW,
                     CurveWindow& window, AlarmTrack& track)
{
    window.minutes.emplace_back(promisedW, measuredW);
    const auto wanted = std::size_t(std::max(1.0, std::round(s.delayS)));
    while (window.minutes.size() > wanted)
        window.minutes.pop_front();
    if (window.minutes.size() < wanted)
        return Change::None;
    double promised = 0;
    double measured = 0;
    for (const auto& [p, m] : window.minutes) {
        promised += p;
        measured += m;
    }
    if (!(promised > 0))
        return Change::None;
    const double percent = std::round(measured / promised * 1000.0) / 10.0;
    if (track.raised ? !backPastLevel(Kind::CurveLow, s, percent)
                     : !beyondLevel(Kind::CurveLow, s, percent))
        return Change::None;
    track.raised = !track.raised;
    track.value = percent;
    return track.raised ? Change::Raised : Change::Cleared;
}

Change noDataOnTick(const AlarmSettings& s, qint64 lastFreshMs, qint64 nowMs, AlarmTrack& track)
{
    if (track.raised || double(nowMs - lastFreshMs) < s.level * 1000.0)
        return Change::None;
    track.raised = true;
    track.value = secondsBetween(lastFreshMs, nowMs);
    return Change::Raised;
}

Change noDataOnFresh(qint64 lastFreshMs, qint64 nowMs, AlarmTrack& track)
{
    if (!track.raised)
        return Change::None;
    track.raised = false;
    track.value = secondsBetween(lastFreshMs, nowMs);
    return Change::Cleared;
}

} // namespace alarms
