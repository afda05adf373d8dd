#include "season/energyledger.h"

#include "core/datetime.h"
#include "core/files.h"
#include "core/numbers.h"
#include "season/ledgertext.h"

#include <QFile>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace season {
namespace {

// The written form, with a point; a comma in its place, as a ledger written before the point was
// fixed may have it. Blanks, signs and digits beyond a double's range make a bad line.
std::optional<double> ledgerNumber(std::string_view text)
{
    char plain[64];
    if (text.empty() || text.size() > sizeof plain)
        return std::nullopt;
    bool separator = false;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const bool comma = text[k] == ',';
        if ((comma || text[k] == '.') && std::exchange(separator, true))
            return std::nullopt;
        plain[k] = comma ? '.' : text[k];
    }
    double value = 0;
    const char* end = plain + text.size();
    const auto res = std::from_chars(plain, end, value);
    if (res.ec != std::errc() || res.ptr != end || !std::isfinite(value) ||
        std::fabs(value) > kMaxHourWattHours)
        return std::nullopt;
    return value;
}

} // namespace

QString energyLedgerFile(const core::AppDir& app)
{
    return app.path(QStringLiteral("logs/energy.txt"));
}

QByteArray offsetText(int utcOffsetSeconds)
{
    // Real zones lie within 14 hours of UTC; the clamp only keeps the text at its width.
    const int minutes = std::abs(std::clamp(utcOffsetSeconds, -86340, 86340)) / 60;
    return QByteArray(1, utcOffsetSeconds < 0 ? '-' : '+') +
           QByteArray::number(minutes / 60).rightJustified(2, '0') +
           QByteArray::number(minutes % 60).rightJustified(2, '0');
}

QByteArray lineFor(const LedgerLine& line)
{
    return "<D>" + core::datePart(line.date).toLatin1() + "</D><H>" +
           QByteArray::number(line.hour) + "</H><Z>" + offsetText(line.utcOffsetSeconds) +
           "</Z><WH>" + core::numberText(line.wattHours, QLocale::c()).toLatin1() + "</WH>" +
           (line.ampHours
                ? "<AH>" +
                      core::numberText(core::roundTo(*line.ampHours, 3), QLocale::c()).toLatin1() +
                      "</AH>"
                : QByteArray()) +
           (line.loadMinutes
                ? "<LOAD>" +
                      core::numberText(core::roundTo(*line.loadMinutes, 1), QLocale::c())
                          .toLatin1() +
                      "</LOAD>"
                : QByteArray()) +
           "\r\n";
}

logging::FileWrite ledgerWrite(const core::AppDir& app, const LedgerLine& line)
{
    logging::FileWrite write;
    write.path = energyLedgerFile(app);
    write.bytes = lineFor(line);
    write.kind = logging::FileWrite::Kind::Append;
    write.records = {write.bytes.size()};
    return write;
}

bool EnergyLedger::isOpenHour(const QDateTime& localTime) const
{
    return localTime.date() == m_date && localTime.time().hour() == m_hour &&
           localTime.offsetFromUtc() == m_offset;
}

std::optional<LedgerLine> EnergyLedger::add(const QDateTime& localTime, double wattHours,
                                            double ampHours, double loadMinutes)
{
    std::optional<LedgerLine> done;
    if (!isOpenHour(localTime)) {
        done = closeHour();
        m_date = localTime.date();
        m_hour = localTime.time().hour();
        m_offset = localTime.offsetFromUtc();
    }
    m_wattHours += wattHours;
    m_ampHours += ampHours;
    m_loadMinutes += loadMinutes;
    m_counted = m_counted || wattHours != 0;
    m_charge = m_charge || ampHours != 0 || loadMinutes != 0;
    return done;
}

std::optional<LedgerLine> EnergyLedger::flush(const QDateTime& now)
{
    if (m_hour < 0 || isOpenHour(now))
        return std::nullopt;
    return closeHour();
}

std::optional<LedgerLine> EnergyLedger::closeHour()
{
    std::optional<LedgerLine> line = openHour();
    m_date = {};
    m_hour = -1;
    m_offset = 0;
    m_wattHours = 0;
    m_ampHours = 0;
    m_loadMinutes = 0;
    m_counted = false;
    m_charge = false;
    return line;
}

std::optional<LedgerLine> EnergyLedger::openHour() const
{
    if (m_hour < 0 || !m_counted)
        return std::nullopt;
    LedgerLine line{m_date, m_hour, m_wattHours, m_offset, {}, {}};
    if (m_charge) {
        line.ampHours = m_ampHours;
        line.loadMinutes = m_loadMinutes;
    }
    return line;
}

LedgerContent parseLedger(QByteArrayView content)
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
        const auto z = tagText(line, "<Z>", "</Z>");
        const auto wh = tagText(line, "<WH>", "</WH>");
        const auto ah = tagText(line, "<AH>", "</AH>");
        const auto load = tagText(line, "<LOAD>", "</LOAD>");
        const QDate date = d ? ledgerDate(*d).value_or(QDate()) : QDate();
        const int hour = h ? digitsValue(*h).value_or(-1) : -1;
        const auto value = wh ? ledgerNumber(*wh) : std::nullopt;
        // -1 stands for a tag that is there but holds no number of its kind.
        const double ampHours = ah ? ledgerNumber(*ah).value_or(-1) : 0.0;
        const double loadMinutes = load ? ledgerNumber(*load).value_or(-1) : 0.0;
        if (!date.isValid() || hour < 0 || hour > 23 || !value || (z && !ledgerOffset(*z)) ||
            !(ampHours >= 0) || !(loadMinutes >= 0 && loadMinutes <= 120)) {
            ++out.badLines;
            continue;
        }
        if (ah || load) {
            DayCharge& charge = out.charge[date];
            charge.ampHours += ampHours;
            charge.loadMinutes += loadMinutes;
            charge.hasAmpHours = charge.hasAmpHours || ah.has_value();
            charge.hasLoad = charge.hasLoad || load.has_value();
        }
        // Lines of one day stand together: the day found for the last line is tried first.
        if (!day || last != date) {
            auto [it, made] = out.days.try_emplace(date);
            if (made)
                it->second.fill(0);
            day = &it->second;
            last = date;
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
