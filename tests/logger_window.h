#pragma once

// The main window on a pseudo-terminal in a temporary application directory.

#include "core/serialline.h"
#include "monitor/logger.h"
#include "programs/variants.h"
#include "tests/fixture.h"

class LoggerWindow : public AppDirTest
{
protected:
    // The window reads m_now at every use, so a test can move the clock on; its monotonic count
    // follows m_now, moved on by m_monotonicShiftMs (a test sets the wall clock back and moves
    // this on to keep the count going). Its line retries after retryMs instead of 5 s, so a
    // reconnect test need not wait for the real interval.
    std::unique_ptr<monitor::Logger> start(const monitor::ProgramVariant& v = programs::tessaly(),
                                           int retryMs = 100)
    {
        const core::Clock clock{[this] { return m_now; },
                                [this] {
                                    return m_now.toMSecsSinceEpoch() + m_monotonicShiftMs;
                                }};
        auto w = std::make_unique<monitor::Logger>(v, m_app, clock);
        w->findChild<core::SerialLine*>(QStringLiteral("MSComm1"))->setRetryInterval(retryMs);
        w->show();
        return w;
    }

    QDateTime m_now{QDate(2024, 3, 7), QTime(14, 5, 7)};
    qint64 m_monotonicShiftMs = 0;
};

// One logging tick, with the disk thread's work for it done and its report taken in.
inline void logTick(monitor::Logger& w)
{
    w.station().Timer1_Timer();
    w.station().waitForDisk();
}
