#pragma once

#include <QDateTime>
#include <chrono>
#include <functional>

namespace core {

// Values older than this are stale: the energy stops counting, the line is said to be quiet and
// the alarms see a gap. One limit for the whole plant.
inline constexpr qint64 kStaleAfterMs = 30000;

// The date and time the program acts on, and a monotonic count of milliseconds for measuring
// how long something took or lasted (it never jumps when the wall clock is set). Windows take
// it as a value so that tests can run them at a chosen moment.
struct Clock
{
    std::function<QDateTime()> now;
    // Without a source of its own the count follows the wall clock, so a test's fake clock
    // moves both at once.
    std::function<qint64()> monotonicMs = {};

    qint64 elapsedMs() const { return monotonicMs ? monotonicMs() : now().toMSecsSinceEpoch(); }

    static Clock system()
    {
        return Clock{
            [] { return QDateTime::currentDateTime(); },
            [] {
                using namespace std::chrono;
                return qint64(
                    duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
            }};
    }
    static Clock fixed(const QDateTime& at)
    {
        return Clock{[at] {
            return at;
        }};
    }
};

} // namespace core
