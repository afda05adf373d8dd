// The notify readers on any bytes: notify.cfg gives only ways whose settings can be used, and
// reads back alike once written; the queue file gives events in order with each way's progress
// within them, and reads back alike once written.
#include "notify/notifyconfig.h"
#include "notify/notifyevent.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QByteArray written(const notify::QueueState& state)
{
    QByteArray out;
    for (const notify::Event& e : state.events)
        out += notify::queueLine(e);
    for (const auto& [way, seq] : state.done)
        out += notify::doneLine(way, seq);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const notify::NotifyConfig c = notify::parseNotifyConfig(QString::fromUtf8(bytes));
    for (const notify::Way way : notify::kWays) {
        if (c.on(way) && !notify::wayProblem(c, way).isEmpty())
            std::abort();
    }
    if (c.reportHour < 0 || c.reportHour > 23)
        std::abort();
    if (notify::parseNotifyConfig(QString::fromUtf8(notify::notifyConfigText(c))) != c)
        std::abort();

    const notify::QueueState once = notify::readQueue(bytes);
    for (std::size_t k = 1; k < once.events.size(); ++k) {
        if (once.events[k - 1].seq >= once.events[k].seq)
            std::abort();
    }
    for (const auto& [way, seq] : once.done) {
        if (seq > once.lastSeq)
            std::abort();
    }
    const notify::QueueState twice = notify::readQueue(written(once));
    if (notify::readQueue(written(twice)).events != twice.events ||
        twice.events.size() != once.events.size())
        std::abort();
    return 0;
}
