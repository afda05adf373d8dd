#include "season/ledgertext.h"

#include "season/energyledger.h"

namespace season {

// The text between the opening and the closing tag of a line, or nullopt.
std::optional<std::string_view> tagText(std::string_view line, std::string_view open,
                                        std::string_view close)
{
    const std::size_t from = line.find(open);
    if (from == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = from + open.size();
    const std::size_t to = line.find(close, start);
    if (to == std::string_view::npos)
        return std::nullopt;
    return line.substr(start, to - start);
}

std::optional<int> digitsValue(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "2024_3_7", as the daily log's file names, in the years a ledger may name.
std::optional<QDate> ledgerDate(std::string_view text)
{
    const std::size_t a = text.find('_');
    const std::size_t b = a == std::string_view::npos ? a : text.find('_', a + 1);
    if (b == std::string_view::npos)
        return std::nullopt;
    const auto y = digitsValue(text.substr(0, a));
    const auto m = digitsValue(text.substr(a + 1, b - a - 1));
    const auto d = digitsValue(text.substr(b + 1));
    if (!y || !m || !d || *y < kFirstLedgerYear || *y > kLastLedgerYear ||
        !QDate::isValid(*y, *m, *d))
        return std::nullopt;
    return QDate(*y, *m, *d);
}

// "+0100": a sign, two digits of hours up to 14 and two of minutes; the seconds east of UTC.
std::optional<int> ledgerOffset(std::string_view text)
{
    if (text.size() != 5 || (text[0] != '+' && text[0] != '-'))
        return std::nullopt;
    const auto hours = digitsValue(text.substr(1, 2));
    const auto minutes = digitsValue(text.substr(3, 2));
    if (!hours || !minutes || *hours > 14 || *minutes > 59)
        return std::nullopt;
    const int seconds = (*hours * 60 + *minutes) * 60;
    return text[0] == '-' ? -seconds : seconds;
}

} // namespace season
