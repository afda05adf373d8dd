#pragma once

#include "core/quantities.h"

#include <QByteArrayView>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace history {

// A load takes at most this many records; the next one is refused.
inline constexpr int kMaxRecords = 9999;

// One line of a day file as the loader takes it.
struct LoadedRecord
{
    double time = 0;
    core::QuantityValues values{}; // the logged quantities'; the others 0
    std::int16_t mode = 0;
};

// A number of minDigits to maxDigits ASCII digits with blanks (space, tab) allowed around it, or
// nullopt.
std::optional<int> wholeNumber(std::string_view text, std::size_t minDigits, std::size_t maxDigits);

// "H:M" with hours 0 to 23 and minutes 0 to 59, one or two digits each, blanks allowed around
// each number: the minutes after midnight, or nullopt.
std::optional<int> minutesOfDay(std::string_view text);

// A time of day as days after midnight (12:00 is 0.5).
inline double dayTime(int minutes)
{
    return minutes / 1440.0;
}

// The records of a day file's content whose time lies strictly between start and finish, in file
// order. Lines are split at CR LF; lines without a readable time are skipped; a value that is
// missing or no number is 0, read as the program reads every number (core::numericValue).
// overLimit is set, and reading stops, when a record beyond kMaxRecords would be taken.
struct DayRecords
{
    std::vector<LoadedRecord> records;
    bool overLimit = false;
};
DayRecords parseDayLog(QByteArrayView content, double start, double finish);

} // namespace history
