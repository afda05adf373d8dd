#pragma once

// The main window on a pseudo-terminal in a temporary application directory.

#include "core/serialline.h"
#include "monitor/logger.h"
#include "plant/plant.h"
#include "programs/variants.h"
#include "tests/fixture.h"
#include "tests/stationprobe.h"

// A plant and its main window, built as the program builds them; the window goes first.
class RunningLogger
{
public:
    RunningLogger() = default;
    RunningLogger(std::unique_ptr<plant::Plant> plant, const monitor::ProgramVariant& v)
        : m_plant(std::move(plant))
        , m_window(std::make_unique<monitor::Logger>(v, *m_plant))
    {}
    RunningLogger(RunningLogger&&) = default;
    RunningLogger& operator=(RunningLogger&& other)
    {
        reset();
        m_plant = std::move(other.m_plant);
        m_window = std::move(other.m_window);
        return *this;
    }
    ~RunningLogger() { reset(); }

    monitor::Logger* operator->() const { return m_window.get(); }
    monitor::Logger& operator*() const { return *m_window; }
    monitor::Logger* get() const { return m_window.get(); }
    explicit operator bool() const { return bool(m_window); }
    void reset()
    {
        m_window.reset();
        m_plant.reset();
    }

private:
    std::unique_ptr<plant::Plant> m_plant;
    std::unique_ptr<monitor::Logger> m_window;
};

class LoggerWindow : public AppDirTest
{
protected:
    // The window reads m_now at every use, so a test can move the clock on; its monotonic count
    // follows m_now, moved on by m_monotonicShiftMs (a test sets the wall clock back and moves
    // this on to keep the count going). Its line retries after retryMs instead of 5 s, so a
    // reconnect test need not wait for the real interval.
    RunningLogger start(const monitor::ProgramVariant& v = programs::tessaly(), int retryMs = 100)
    {
        const core::Clock clock{[this] { return m_now; },
                                [this] {
                                    return m_now.toMSecsSinceEpoch() + m_monotonicShiftMs;
                                }};
        RunningLogger w(std::make_unique<plant::Plant>(m_app, clock), v);
        w->station()
            .findChild<core::SerialLine*>(QStringLiteral("MSComm1"))
            ->setRetryInterval(retryMs);
        w->show();
        return w;
    }

    QDateTime m_now{QDate(2024, 3, 7), QTime(14, 5, 7)};
    qint64 m_monotonicShiftMs = 0;
};

// One logging tick, with the disk thread's work for it done and its report taken in.
inline void logTick(monitor::Logger& w)
{
    station::StationProbe::logTick(w.station());
    station::StationProbe::waitForDisk(w.station());
}
