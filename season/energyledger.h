#pragma once

#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <array>
#include <map>
#include <optional>
#include <vector>

namespace season {

// "logs/energy.txt": one line per clock hour in which energy was counted.
QString energyLedgerFile(const core::AppDir& app);

// The energy of one clock hour (or of the part of it this run of the program counted).
struct LedgerLine
{
    QDate date;
    int hour = 0; // 0 to 23
    double wattHours = 0;

    bool operator==(const LedgerLine&) const = default;
};

// "<D>2024_3_7</D><H>14</H><WH>123.45</WH>" CR LF: the date as the daily log's file name, the
// watt-hours as number text, as the daily log writes its numbers.
QByteArray lineFor(QDate date, int hour, double wattHours, const QLocale& locale = QLocale());
QByteArray lineFor(const LedgerLine& line, const QLocale& locale = QLocale());

// The append of one line to the ledger, made as the records' writes are, so it waits with them
// when the disk cannot take it.
logging::FileWrite ledgerWrite(const core::AppDir& app, const LedgerLine& line,
                               const QLocale& locale = QLocale());

// Adds up the energy counted in each clock hour of local time. The station feeds it every
// increment; when an increment falls in another hour than the one open, the open hour is done
// and its line comes back to be appended. An hour in which nothing but zero was counted makes
// no line, so a day without frames leaves the ledger as it was.
class EnergyLedger
{
public:
    // One increment, counted at localTime. Returns the line of the hour it closes, if any.
    std::optional<LedgerLine> add(const QDateTime& localTime, double wattHours);
    // The open hour's line when now lies in a later hour (a clock tick without energy).
    std::optional<LedgerLine> flush(const QDateTime& now);
    // The hour so far, at close; the ledger is empty afterwards.
    std::optional<LedgerLine> closeHour();

    // The open hour and its watt-hours so far.
    std::optional<LedgerLine> openHour() const;

private:
    QDate m_date;
    int m_hour = -1;
    double m_wattHours = 0;
    bool m_counted = false;
};

// Watt-hours of each hour of a day, the lines of one hour added together.
using DayEnergy = std::array<double, 24>;
struct LedgerContent
{
    std::map<QDate, DayEnergy> days;
    int badLines = 0; // lines that are not empty and not a ledger line
};

// Reads a ledger's content: lines split at LF (a CR before it dropped), empty lines ignored,
// a line without a valid date, an hour 0 to 23 and a number skipped and counted.
LedgerContent parseLedger(QByteArrayView content, const QLocale& locale = QLocale());

// The ledger file, or an empty content when there is none (badLines -1 when it cannot be read).
LedgerContent readLedger(const core::AppDir& app);

} // namespace season
