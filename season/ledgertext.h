#pragma once

#include <QDate>
#include <optional>
#include <string_view>

namespace season {

// The pieces of the hourly files' lines (the energy ledger, the completeness file).
// The text between the opening and the closing tag of a line, or nullopt.
std::optional<std::string_view> tagText(std::string_view line, std::string_view open,
                                        std::string_view close);
// A whole number of one to five digits and nothing else.
std::optional<int> digitsValue(std::string_view text);
// "2024_3_7", as the daily log's file names, in the years a ledger may name.
std::optional<QDate> ledgerDate(std::string_view text);
// "+0100": a sign, two digits of hours up to 14 and two of minutes; the seconds east of UTC.
std::optional<int> ledgerOffset(std::string_view text);

} // namespace season
