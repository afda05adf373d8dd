#include "alarms/alarmrule.h"

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
