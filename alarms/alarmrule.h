#pragma once

#include "alarms/alarmconfig.h"
#include "core/clock.h"
#include "core/quantities.h"

#include <QtGlobal>
#include <deque>
#include <utility>

namespace alarms {

// Fresh readings further apart than this (the line's stale time) do not make one run: a
// condition must be seen holding through readings that keep coming.
inline constexpr qint64 kFreshGapMs = core::kStaleAfterMs;

// Where one alarm stands, on the station's monotonic clock (milliseconds).
struct AlarmTrack
{
    bool raised = false;
    qint64 heldSinceMs = -1;   // the first fresh reading of the current run that met the condition
    qint64 lastReadingMs = -1; // the latest fresh reading seen
    double value = 0;          // the value of the latest change
};

enum class Change
{
    None,
    Raised,
    Cleared
};

// True when the value is beyond Level (below it for BattLow, above it for the others).
bool beyondLevel(Kind kind, const AlarmSettings& s, double value);
// True when the value is back past Level by more than Hysteresis.
bool backPastLevel(Kind kind, const AlarmSettings& s, double value);

// One fresh reading for a threshold alarm (every kind but NoData, CurveLow, Stopped and
// Runaway). Raised once the condition has held for Delay seconds of fresh readings; cleared when
// the value is back past Level by more than Hysteresis. In between nothing changes, so a value
// wandering around Level never flaps.
Change onFreshValue(Kind kind, const AlarmSettings& s, double value, qint64 nowMs,
                    AlarmTrack& track);

// The value a reading raises or clears the kind with: its quantity's (Stopped: the wind;
// Runaway: the RPM).
double valueOf(Kind kind, const core::QuantityValues& values);

// Whether a reading meets the kind's condition: its value beyond Level; for Stopped also the rotor
// still (below kStillRpm and kStillWatts), for Runaway also the charge below its amps.
bool conditionHolds(Kind kind, const AlarmSettings& s, const core::QuantityValues& values);

// One fresh reading for any threshold alarm, as onFreshValue, on the whole reading: Stopped's
// Delay is minutes. Stopped also clears once the rotor turns (kStillRpm or kStillWatts reached),
// Runaway once the charge reaches its amps; a new raise then waits its whole Delay again.
Change onFreshReading(Kind kind, const AlarmSettings& s, const core::QuantityValues& values,
                      qint64 nowMs, AlarmTrack& track);

// The minutes CurveLow weighs: each one's watts from the reference and measured, newest last.
struct CurveWindow
{
    std::deque<std::pair<double, double>> minutes;
};

// One minute of turbine data for CurveLow (wind at or above the reference's cut-in, battery not
// full). Once Delay minutes are held, the measured energy as a per cent of the promised one is
// the value: raised below Level, cleared above Level + Hysteresis.
Change onCurveMinute(const AlarmSettings& s, double promisedW, double measuredW,
                     CurveWindow& window, AlarmTrack& track);

// NoData at a tick: raised when no fresh frame has come for Level seconds since lastFreshMs;
// value is then the whole seconds without data.
Change noDataOnTick(const AlarmSettings& s, qint64 lastFreshMs, qint64 nowMs, AlarmTrack& track);

// NoData at a fresh frame: cleared at once, value the seconds the data was missing.
Change noDataOnFresh(qint64 lastFreshMs, qint64 nowMs, AlarmTrack& track);

} // namespace alarms
