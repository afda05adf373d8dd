#include "tools/daylog.h"

#include "tools/boardmodel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {
namespace {

double roundTo(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::nearbyint(value * scale) / scale;
}

LogValues convert(const RawSample& raw)
{
    LogValues v;
    v.volts = roundTo(double(raw.v) / kVoltDivider, 2);
    v.amps = roundTo((double(raw.i) - kCurrentOffset) / kAmpDivider, 2);
    v.watts = roundTo(v.volts * v.amps, 2);
    v.rpm = roundTo(double(raw.r) / kRpmDivider * 60.0, 1);
    v.windSpeed = roundTo(double(raw.s) / kWindDivider, 1);
    v.mode = int(raw.m);
    return v;
}

} // namespace

std::string logNumberText(double value)
{
    if (!std::isfinite(value) || value == 0.0)
        return "0";
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    const std::string_view text(buf, std::size_t(res.ptr - buf));
    const std::size_t e = text.find('e');
    std::string digits(1, text[0]);
    digits += text.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());

    std::string out;
    if (value < 0)
        out += '-';
    if (exponent < -4 || exponent >= 15) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        char exp[16];
        std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out += exp;
    } else if (exponent >= 0) {
        const std::size_t whole = std::size_t(exponent) + 1;
        std::string head = digits.substr(0, std::min(whole, digits.size()));
        head.resize(whole, '0');
        out += head;
        if (digits.size() > whole) {
            out += '.';
            out.append(digits, whole);
        }
    } else {
        out += "0.";
        out.append(std::size_t(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

std::string logRecordText(const LogValues& v)
{
    const int minutes = (v.secondOfDay / 60) % 1440;
    char time[8];
    std::snprintf(time, sizeof time, "%02d:%02d", minutes / 60, minutes % 60);
    return "<V>" + logNumberText(v.volts) + "</V><I>" + logNumberText(v.amps) + "</I><W>" +
           logNumberText(v.watts) + "</W><R>" + logNumberText(v.rpm) + "</R><S>" +
           logNumberText(v.windSpeed) + "</S><M>" + std::to_string(v.mode) + "</M><T>" + time +
           "</T>\r\n";
}

std::string dayLogText(const DayLogShape& shape)
{
    BoardModel board(shape.seed);
    const int step = std::max(shape.stepSeconds, 1);
    std::string out;
    out.reserve(std::size_t(std::max(shape.records, 0)) * 80);
    for (int n = 0; n < shape.records; ++n) {
        LogValues peaks;
        for (int s = 0; s < step; ++s) {
            const LogValues r = convert(board.step(1.0));
            peaks.volts = std::max(peaks.volts, r.volts);
            peaks.amps = std::max(peaks.amps, r.amps);
            peaks.watts = std::max(peaks.watts, r.watts);
            peaks.rpm = std::max(peaks.rpm, r.rpm);
            peaks.windSpeed = std::max(peaks.windSpeed, r.windSpeed);
            peaks.mode = r.mode;
        }
        peaks.secondOfDay = shape.firstSecond + n * step;
        out += logRecordText(peaks);
    }
    return out;
}

} // namespace sim
