#include "season/energyledger.h"

#include "core/datetime.h"
#include "core/files.h"
#include "core/numbers.h"

#include <QFile>
#include <charconv>
#include <cmath>
#include <string_view>

namespace season {
namespace {

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

// "2024_3_7", as the daily log's file names.
std::optional<QDate> ledgerDate(std::string_view text)
{
    const std::size_t a = text.find('_');
    const std::size_t b = a == std::string_view::npos ? a : text.find('_', a + 1);
    if (b == std::string_view::npos)
        return std::nullopt;
    const auto y = digitsValue(text.substr(0, a));
    const auto m = digitsValue(text.substr(a + 1, b - a - 1));
    const auto d = digitsValue(text.substr(b + 1));
    if (!y || !m || !d || !QDate::isValid(*y, *m, *d))
        return std::nullopt;
    return QDate(*y, *m, *d);
}

// The written form reads straight from the bytes; anything else (the locale's separator,
// blanks) through the program's own number rule.
std::optional<double> ledgerNumber(std::string_view text, const QLocale& locale)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto res = std::from_chars(text.data(), end, value);
    if (res.ec == std::errc() && res.ptr == end && std::isfinite(value))
        return value;
    const auto read =
        core::numericValue(QString::fromLatin1(text.data(), qsizetype(text.size())), locale);
    if (read && std::isfinite(*read))
        return read;
    return std::nullopt;
}

} // namespace

QString energyLedgerFile(const core::AppDir& app)
{
    return app.path(QStringLiteral("logs/energy.txt"));
}

QByteArray lineFor(QDate date, int hour, double wattHours, const QLocale& locale)
{
    return "<D>" + core::datePart(date).toLatin1() + "</D><H>" + QByteArray::number(hour) +
           "</H><WH>" + core::numberText(wattHours, locale).toLatin1() + "</WH>\r\n";
}

QByteArray lineFor(const LedgerLine& line, const QLocale& locale)
{
    return lineFor(line.date, line.hour, line.wattHours, locale);
}

logging::FileWrite ledgerWrite(const core::AppDir& app, const LedgerLine& line,
                               const QLocale& locale)
{
    logging::FileWrite write;
    write.path = energyLedgerFile(app);
    write.bytes = lineFor(line, locale);
    write.kind = logging::FileWrite::Kind::Append;
    write.records = {write.bytes.size()};
    return write;
}

std::optional<LedgerLine> EnergyLedger::add(const QDateTime& localTime, double wattHours)
{
    std::optional<LedgerLine> done;
    const QDate date = localTime.date();
    const int hour = localTime.time().hour();
    if (date != m_date || hour != m_hour) {
        done = closeHour();
        m_date = date;
        m_hour = hour;
    }
    m_wattHours += wattHours;
    m_counted = m_counted || wattHours != 0;
    return done;
}

std::optional<LedgerLine> EnergyLedger::flush(const QDateTime& now)
{
    if (m_hour < 0 || (now.date() == m_date && now.time().hour() == m_hour))
        return std::nullopt;
    return closeHour();
}

std::optional<LedgerLine> EnergyLedger::closeHour()
{
    std::optional<LedgerLine> line = openHour();
    m_date = {};
    m_hour = -1;
    m_wattHours = 0;
    m_counted = false;
    return line;
}

std::optional<LedgerLine> EnergyLedger::openHour() const
{
    if (m_hour < 0 || !m_counted)
        return std::nullopt;
    return LedgerLine{m_date, m_hour, m_wattHours};
}

LedgerContent parseLedger(QByteArrayView content, const QLocale& locale)
{
    LedgerContent out;
    DayEnergy* day = nullptr;
    QDate last;
    const std::string_view all(content.data(), std::size_t(content.size()));
    for (std::size_t from = 0; from < all.size();) {
        std::size_t to = all.find('\n', from);
        if (to == std::string_view::npos)
            to = all.size();
        std::string_view line = all.substr(from, to - from);
        from = to + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        const auto d = tagText(line, "<D>", "</D>");
        const auto h = tagText(line, "<H>", "</H>");
        const auto wh = tagText(line, "<WH>", "</WH>");
        const auto date = d ? ledgerDate(*d) : std::nullopt;
        const int hour = h ? digitsValue(*h).value_or(-1) : -1;
        const auto value = wh ? ledgerNumber(*wh, locale) : std::nullopt;
        if (!date || hour < 0 || hour > 23 || !value) {
            ++out.badLines;
            continue;
        }
        // Lines of one day stand together: the day found for the last line is tried first.
        if (!day || last != *date) {
            auto [it, made] = out.days.try_emplace(*date);
            if (made)
                it->second.fill(0);
            day = &it->second;
            last = *date;
        }
        (*day)[std::size_t(hour)] += *value;
    }
    return out;
}

LedgerContent readLedger(const core::AppDir& app)
{
    const QString path = energyLedgerFile(app);
    if (!QFile::exists(path))
        return {};
    const std::optional<QByteArray> bytes = core::readWholeFile(path);
    if (!bytes) {
        LedgerContent out;
        out.badLines = -1;
        return out;
    }
    return parseLedger(*bytes);
}

} // namespace season
