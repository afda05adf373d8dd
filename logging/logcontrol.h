#pragma once

#include <QString>
#include <optional>

namespace logging {

// The logging interval as the delay box gives it: the text held to 10 to 600 seconds and the
// timer interval in milliseconds.
struct LoggingInterval
{
    QString text;
    int milliseconds = 0;
};

// nullopt when the text is not a number; above 600 becomes "600", below 10 becomes "10",
// anything else stays as typed (12.5 gives 12500 ms).
std::optional<LoggingInterval> checkDelay(const QString& text);

inline const QString kInvalidDelayMessage =
    QStringLiteral("Invalid delay period, needs to be a number between 10 and 600");

} // namespace logging
