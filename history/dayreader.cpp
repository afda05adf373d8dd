#include "history/dayreader.h"

#include "core/numbers.h"

#include <QString>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace history {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The tags a record is read from: its time, its mode and one per logged quantity.
constexpr std::size_t kTimeTag = 0;
constexpr std::size_t kModeTag = 1;
constexpr std::size_t kFirstValueTag = 2;
constexpr std::size_t kTagCount = kFirstValueTag + core::kLogged.size();

// Which of those a key letter names, or -1.
constexpr std::array<signed char, 128> kTagOfKey = [] {
    std::array<signed char, 128> out{};
    out.fill(-1);
    out[std::size_t('T')] = kTimeTag;
    out[std::size_t('M')] = kModeTag;
    for (std::size_t k = 0; k < core::kLogged.size(); ++k)
        out[std::size_t(core::facts(core::kLogged[k]).logTag)] = char(kFirstValueTag + k);
    return out;
}();

int tagOfKey(char key)
{
    const auto u = static_cast<unsigned char>(key);
    return u < kTagOfKey.size() ? kTagOfKey[u] : -1;
}

// Where the first "<K>" and the first "</K>" of each record tag stand in one line.
struct LineTags
{
    std::array<const char*, kTagCount> open{};
    std::array<const char*, kTagCount> close{};

    // The text between the two, or nullopt when either is missing or the closing tag comes first.
    std::optional<std::string_view> text(std::size_t tag) const
    {
        const char* p = open[tag];
        const char* q = close[tag];
        if (!p || !q || q < p + 3)
            return std::nullopt;
        return std::string_view(p + 3, std::size_t(q - p - 3));
    }
};

// The bytes that stop the scan of a line: a tag's '<' and the CR of a line end.
constexpr std::array<bool, 256> kStops = [] {
    std::array<bool, 256> out{};
    out[std::size_t('<')] = true;
    out[std::size_t('\r')] = true;
    return out;
}();

// Reads one line from `from`: its tags, and where it ends (at a CR LF, or at the end). Every
// opening and closing tag begins with '<', so looking at each '<' in order finds each tag's first
// occurrence.
const char* scanLine(const char* from, const char* end, LineTags& tags)
{
    tags = {};
    for (const char* s = from; s != end; ++s) {
        if (!kStops[static_cast<unsigned char>(*s)])
            continue;
        if (*s == '\r') {
            if (s + 1 != end && s[1] == '\n')
                return s;
            continue;
        }
        const std::size_t left = std::size_t(end - s);
        if (left >= 3 && s[2] == '>') {
            const int tag = tagOfKey(s[1]);
            if (tag >= 0 && !tags.open[std::size_t(tag)])
                tags.open[std::size_t(tag)] = s;
            s += 2;
        } else if (left >= 4 && s[1] == '/' && s[3] == '>') {
            const int tag = tagOfKey(s[2]);
            if (tag >= 0 && !tags.close[std::size_t(tag)])
                tags.close[std::size_t(tag)] = s;
            s += 3;
        }
    }
    return end;
}

// The same for a line as the logger writes it: record tags one after the other, each once and
// nothing between them, ended by CR LF or the end. Each '<' of such a line begins one of its
// tags, so those are the first occurrences. nullptr for any other line, which scanLine reads.
const char* scanWrittenLine(const char* from, const char* end, LineTags& tags)
{
    tags = {};
    const char* s = from;
    while (s != end && *s == '<') {
        if (end - s < 3 || s[2] != '>')
            return nullptr;
        const int tag = tagOfKey(s[1]);
        if (tag < 0 || tags.open[std::size_t(tag)])
            return nullptr;
        const char* close = s + 3;
        while (close != end && *close != '<' && *close != '\r')
            ++close;
        if (end - close < 4 || close[1] != '/' || close[2] != s[1] || close[3] != '>')
            return nullptr;
        tags.open[std::size_t(tag)] = s;
        tags.close[std::size_t(tag)] = close;
        s = close + 4;
    }
    if (s == end)
        return end;
    return end - s >= 2 && s[0] == '\r' && s[1] == '\n' ? s : nullptr;
}

// 10^0 to 10^22, each exact in a double.
constexpr std::array<double, 23> kPowersOfTen = [] {
    std::array<double, 23> out{};
    double p = 1;
    for (double& v : out) {
        v = p;
        p *= 10;
    }
    return out;
}();

// The program's own reader, for every text the quick forms below leave out (blanks, a '+', the
// locale's separator, a value out of range, anything that is no number), so there is one rule.
double numberThroughProgram(std::string_view text)
{
    const QString decoded = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
    return core::numericValue(decoded).value_or(0.0);
}

// A tag's value as a number, 0 when it is none. The logger writes "-12.34" and "1.5E-05" forms;
// those are read straight from the bytes. Up to 15 digits without an exponent, the digits as a
// whole number divided by an exact power of ten is already the correctly rounded value, which
// is what std::from_chars gives too.
double logNumber(std::string_view text)
{
    const char* const end = text.data() + text.size();
    const char* p = text.data();
    const bool negative = p != end && *p == '-';
    if (negative)
        ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction = 0;
    bool point = false;
    for (; p != end; ++p) {
        if (isDigit(*p)) {
            if (digits < 19)
                mantissa = mantissa * 10 + std::uint64_t(*p - '0');
            ++digits;
            fraction += point ? 1 : 0;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return numberThroughProgram(text);
    bool exponent = false;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p != end && (*p == '+' || *p == '-'))
            ++p;
        const char* expDigits = p;
        while (p != end && isDigit(*p))
            ++p;
        if (p == expDigits)
            return numberThroughProgram(text);
        exponent = true;
    }
    if (p != end)
        return numberThroughProgram(text);
    if (!exponent && digits <= 15) {
        const double magnitude = double(mantissa) / kPowersOfTen[std::size_t(fraction)];
        return negative ? -magnitude : magnitude;
    }
    double value = 0;
    const auto res = std::from_chars(text.data(), end, value);
    if (res.ec == std::errc() && res.ptr == end)
        return value;
    return numberThroughProgram(text);
}

double tagNumber(const LineTags& tags, std::size_t tag)
{
    const std::optional<std::string_view> text = tags.text(tag);
    return text ? logNumber(*text) : 0.0;
}

// The logger writes whole modes, which need no rounding.
std::int16_t modeOf(double value)
{
    if (value >= -32768 && value <= 32767 && value == std::trunc(value))
        return std::int16_t(value);
    return core::toInt16(value);
}

} // namespace

std::optional<int> wholeNumber(std::string_view text, std::size_t minDigits, std::size_t maxDigits)
{
    text = trimBlanks(text);
    if (text.size() < minDigits || text.size() > maxDigits)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<int> minutesOfDay(std::string_view text)
{
    // "14:05", as the logger writes every record's time.
    if (text.size() == 5 && text[2] == ':' && isDigit(text[0]) && isDigit(text[1]) &&
        isDigit(text[3]) && isDigit(text[4])) {
        const int hours = (text[0] - '0') * 10 + (text[1] - '0');
        const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        return hours * 60 + minutes;
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::optional<int> hours = wholeNumber(text.substr(0, colon), 1, 2);
    const std::optional<int> minutes = wholeNumber(text.substr(colon + 1), 1, 2);
    if (!hours || !minutes || *hours > 23 || *minutes > 59)
        return std::nullopt;
    return *hours * 60 + *minutes;
}

DayRecords parseDayLog(QByteArrayView content, double start, double finish)
{
    DayRecords out;
    if (content.isEmpty())
        return out;
    out.records.reserve(std::size_t(std::min<qsizetype>(kMaxRecords, content.size() / 30 + 1)));
    const char* const end = content.data() + content.size();
    LineTags tags;
    for (const char* line = content.data();; line += 2) {
        const char* lineEnd = scanWrittenLine(line, end, tags);
        if (!lineEnd)
            lineEnd = scanLine(line, end, tags);
        if (const std::optional<std::string_view> t = tags.text(kTimeTag)) {
            if (const std::optional<int> minutes = minutesOfDay(*t)) {
                const double time = dayTime(*minutes);
                if (start < time && time < finish) {
                    if (out.records.size() >= std::size_t(kMaxRecords)) {
                        out.overLimit = true;
                        return out;
                    }
                    LoadedRecord& r = out.records.emplace_back();
                    r.time = time;
                    for (std::size_t k = 0; k < core::kLogged.size(); ++k)
                        r.values[core::kLogged[k]] = tagNumber(tags, kFirstValueTag + k);
                    r.mode = modeOf(tagNumber(tags, kModeTag));
                }
            }
        }
        if (lineEnd == end)
            break;
        line = lineEnd;
    }
    return out;
}

} // namespace history
