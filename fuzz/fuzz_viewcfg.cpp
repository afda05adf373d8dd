// view.cfg of any content: the trend is hidden only by a ShowTrend tag that holds the digit 0.
#include "trend/trendring.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (trend::showTrendFrom(bytes))
        return 0;
    const QString text = QString::fromLatin1(bytes);
    const qsizetype open = text.indexOf(QLatin1String("<ShowTrend>"));
    const qsizetype close = text.indexOf(QLatin1String("</ShowTrend>"));
    if (open < 0 || close < open + 11 || text.mid(open + 11, close - open - 11).trimmed() != "0")
        std::abort();
    return 0;
}
