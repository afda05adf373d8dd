#include "logging/logcontrol.h"

#include "core/numbers.h"

namespace logging {

std::optional<LoggingInterval> checkDelay(const QString& text)
{
    auto value = core::numericValue(text);
    if (!value)
        return std::nullopt;
    LoggingInterval out{text, 0};
    if (*value > 600) {
        out.text = QStringLiteral("600");
        value = 600;
    }
    if (*value < 10) {
        out.text = QStringLiteral("10");
        value = 10;
    }
    out.milliseconds = core::toInt(*value * 1000.0);
    return out;
}

} // namespace logging
