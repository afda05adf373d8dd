#include "core/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace core {
namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView trimBlanks(QStringView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    return text.mid(b, e - b);
}

// The accepted decimal separators: the point always, and the locale's own one beside it.
bool isSeparator(QChar c, const QLocale& locale)
{
    if (c == QLatin1Char('.'))
        return true;
    const QString sep = locale.decimalPoint();
    return sep.size() == 1 && c == sep[0];
}

// The text in the plain form std::from_chars reads, or empty when it is not numeric.
std::string plainForm(QStringView text, const QLocale& locale)
{
    const QStringView t = trimBlanks(text);
    std::string out;
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        if (t[i] == QLatin1Char('-'))
            out += '-';
        ++i;
    }
    int digits = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            out += char(c.unicode());
            ++digits;
        } else if (isSeparator(c, locale) && !point) {
            out += '.';
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return {};
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        out += 'e';
        ++i;
        if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
            out += char(t[i++].unicode());
        int expDigits = 0;
        for (; i < t.size() && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9'); ++i) {
            out += char(t[i].unicode());
            ++expDigits;
        }
        if (expDigits == 0)
            return {};
    }
    if (i != t.size())
        return {};
    return out;
}

// The 15 significant digits and the decimal exponent of a finite, non-zero magnitude.
struct Decimal15
{
    char digits[15];
    int exponent;
};

Decimal15 decimal15(double magnitude)
{
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 14);
    Decimal15 d{};
    d.digits[0] = buf[0];
    std::copy(buf + 2, buf + 16, d.digits + 1);
    std::from_chars(buf + 17 + (buf[17] == '+' ? 1 : 0), res.ptr, d.exponent);
    return d;
}

double fromPlain(const std::string& text)
{
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

// The power of ten of the first significant digit of a plain form (-401 for 0.000...01 with 400
// zeros, 2 for 1e2); only its sign matters, so a huge exponent saturates.
long long decimalExponent(const std::string& plain)
{
    const std::size_t e = plain.find('e');
    const std::string mantissa = plain.substr(0, e);
    long long exponent = 0;
    if (e != std::string::npos) {
        const bool negative = plain[e + 1] == '-';
        for (std::size_t i = e + 1; i < plain.size(); ++i) {
            if (plain[i] >= '0' && plain[i] <= '9')
                exponent = std::min<long long>(exponent * 10 + (plain[i] - '0'), 1'000'000'000);
        }
        if (negative)
            exponent = -exponent;
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string::npos)
        return 0;
    const long long position =
        first < point ? (long long)(point - first) - 1 : -(long long)(first - point);
    return position + exponent;
}

} // namespace

bool isNumeric(QStringView text, const QLocale& locale)
{
    return !plainForm(text, locale).empty();
}

std::optional<double> numericValue(QStringView text, const QLocale& locale)
{
    const std::string plain = plainForm(text, locale);
    if (plain.empty())
        return std::nullopt;
    // A text such as 1e999 lies outside the double's range: keep it finite, the largest double
    // (or 0 for a tiny one, however it is written), so no infinity reaches a reading or a file.
    double v = 0;
    const auto res = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        v = decimalExponent(plain) < 0 ? 0.0 : std::numeric_limits<double>::max();
        if (plain[0] == '-')
            v = -v;
    }
    return v;
}

double finiteOrZero(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

double roundTo(double value, int decimals)
{
    if (!std::isfinite(value) || value == 0.0)
        return value == 0.0 ? 0.0 : value;
    const Decimal15 d = decimal15(std::fabs(value));
    const int keep = d.exponent + 1 + decimals;
    if (keep >= 15)
        return value;
    if (keep < 0)
        return 0.0;
    long long kept = 0;
    for (int k = 0; k < keep; ++k)
        kept = kept * 10 + (d.digits[k] - '0');
    const int next = d.digits[keep] - '0';
    const bool restZero =
        std::all_of(d.digits + keep + 1, d.digits + 15, [](char c) { return c == '0'; });
    if (next > 5 || (next == 5 && !restZero) || (next == 5 && restZero && (kept % 2) != 0))
        ++kept;
    if (kept == 0)
        return 0.0;
    const double magnitude = fromPlain(std::to_string(kept) + "e-" + std::to_string(decimals));
    return value < 0 ? -magnitude : magnitude;
}

int toInt(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = std::nearbyint(roundTo(value, 0));
    return static_cast<int>(std::clamp(r, double(std::numeric_limits<int>::min()),
                                       double(std::numeric_limits<int>::max())));
}

std::int16_t toInt16(double value)
{
    return static_cast<std::int16_t>(std::clamp(toInt(value), -32768, 32767));
}

namespace {

QString numberText(double value, const QLocale& locale, bool exponentForm)
{
    if (!std::isfinite(value) || value == 0.0)
        return QStringLiteral("0");
    const Decimal15 d = decimal15(std::fabs(value));
    int len = 15;
    while (len > 1 && d.digits[len - 1] == '0')
        --len;
    const QString sep = locale.decimalPoint();
    const QString digits = QString::fromLatin1(d.digits, len);
    QString out = value < 0 ? QStringLiteral("-") : QString();
    const int e = d.exponent;
    if (exponentForm && (e < -4 || e >= 15)) {
        out += digits.left(1);
        if (len > 1)
            out += sep + digits.mid(1);
        out += QLatin1String(e < 0 ? "E-" : "E+");
        out += QStringLiteral("%1").arg(std::abs(e), 2, 10, QLatin1Char('0'));
    } else if (e >= 0) {
        out += digits.left(e + 1).leftJustified(e + 1, QLatin1Char('0'));
        if (len > e + 1)
            out += sep + digits.mid(e + 1);
    } else {
        out += QLatin1Char('0') + sep + QString(-e - 1, QLatin1Char('0')) + digits;
    }
    return out;
}

} // namespace

QString numberText(double value, const QLocale& locale)
{
    return numberText(value, locale, true);
}

QString plainNumberText(double value, const QLocale& locale)
{
    return numberText(value, locale, false);
}

} // namespace core
