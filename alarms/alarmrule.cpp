#include "alarms/alarmrule.h"

#include <algorithm>
#include <cmath>

namespace alarms {
namespace {

double secondsBetween(qint64 fromMs, qint64 toMs)
{
    return std::floor(double(toMs - fromMs) / 1000.0);
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
    const bool gap = track.lastReadingMs >= 0 && nowMs - track.lastReadingMs > kFreshGapMs;
    track.lastReadingMs = nowMs;
    if (track.raised) {
        if (!backPastLevel(kind, s, value))
            return Change::None;
        track.raised = false;
        track.heldSinceMs = -1;
        track.value = value;
        return Change::Cleared;
    }
    if (!beyondLevel(kind, s, value)) {
        track.heldSinceMs = -1;
        return Change::None;
    }
    if (track.heldSinceMs < 0 || gap)
        track.heldSinceMs = nowMs;
    if (double(nowMs - track.heldSinceMs) < s.delayS * 1000.0)
        return Change::None;
    track.raised = true;
    track.value = value;
    return Change::Raised;
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
