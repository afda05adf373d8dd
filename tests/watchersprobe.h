#pragma once

#include "plant/watchers.h"

namespace plant {

// The tests' way into the watchers: their second's tick (the alarms' clock, the ledger's change
// of hour), driven by hand at the fake clock's time instead of by its timer.
class WatchersProbe
{
public:
    static void secondTick(Watchers& w) { w.everySecond(); }
};

} // namespace plant
