#pragma once

#include "station/station.h"

namespace station {

// The tests' way into the station: its handlers, driven by hand instead of by their timers and
// the line, and a wait for the disk thread.
class StationProbe
{
public:
    static void onComm(Station& s, const QString& frame) { s.MSComm1_OnComm(frame); }
    static void logTick(Station& s) { s.Timer1_Timer(); }
    static void energyTick(Station& s) { s.Timer3_Timer(); }
    // The stale-data watch, as its timer runs it.
    static void checkData(Station& s) { s.checkData(); }
    // Until the disk thread has done all it was handed, with its report taken in.
    static void waitForDisk(Station& s) { s.waitForDisk(); }
};

} // namespace station
