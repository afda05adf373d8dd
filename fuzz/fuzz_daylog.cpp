// Day files of any content through the history loader and the live trend's reader: within its
// slots, every record inside the range, every value finite.
#include "history/dayreader.h"
#include "trend/dayfill.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const history::DayRecords day = history::parseDayLog(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), 0.0, 1.0);
    if (int(day.records.size()) > history::kMaxRecords)
        std::abort();
    for (const history::LoadedRecord& r : day.records) {
        if (!(r.time > 0.0 && r.time < 1.0))
            std::abort();
        for (const core::Quantity q : core::kAllQuantities) {
            if (!std::isfinite(r.values[q]))
                std::abort();
        }
    }
    const QDate date(2024, 3, 7);
    for (const trend::PastReading& r : trend::readDayForTrend(
             QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), date)) {
        if (r.wall.date() != date)
            std::abort();
        for (const core::Quantity q : core::kAllQuantities) {
            if (!std::isfinite(r.values[q]))
                std::abort();
        }
    }
    return 0;
}
