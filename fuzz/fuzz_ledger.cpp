// Energy ledgers of any content: every day read is a valid date of the ledger's years and every
// hour's sum finite, within the limit of the lines there are; the optional charge and load
// minutes of a day are finite and not negative. The same bytes as an hourly completeness file:
// every hour read within its limits, every day's shares from 0 to 1.
#include "season/completeness.h"
#include "season/energyledger.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const season::LedgerContent read = season::parseLedger(bytes);
    const double lines = double(bytes.count('\n') + 1);
    if (read.badLines < 0 || read.badLines > lines)
        std::abort();
    for (const auto& [date, day] : read.days) {
        if (!date.isValid() || date.year() < season::kFirstLedgerYear ||
            date.year() > season::kLastLedgerYear)
            std::abort();
        for (const double wh : day) {
            if (!std::isfinite(wh) || std::fabs(wh) > lines * season::kMaxHourWattHours)
                std::abort();
        }
    }
    for (const auto& [date, charge] : read.charge) {
        if (!read.days.contains(date) || !std::isfinite(charge.ampHours) || charge.ampHours < 0 ||
            charge.loadMinutes < 0 || charge.loadMinutes > lines * 120)
            std::abort();
    }
    const season::CompletenessContent seen = season::parseCompleteness(bytes);
    if (seen.badLines < 0 || seen.badLines > lines)
        std::abort();
    for (const auto& [date, hours] : seen.days) {
        for (const auto& [key, line] : hours) {
            if (line.freshMinutes < 0 || line.freshMinutes > 60 || line.records < 0 ||
                line.intervalSeconds < 1 || line.intervalSeconds > 86400)
                std::abort();
        }
        const season::Completeness c =
            season::dayCompleteness(seen, date, 60, date.addDays(1).startOfDay().addSecs(3600));
        if (!(c.freshShare >= 0 && c.freshShare <= 1 && c.recordShare >= 0 && c.recordShare <= 1))
            std::abort();
    }
    return 0;
}
