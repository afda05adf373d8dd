// Energy ledgers of any content: every day read is a valid date of the ledger's years and every
// hour's sum finite, within the limit of the lines there are; the optional charge and load
// minutes of a day are finite and not negative.
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
    return 0;
}
