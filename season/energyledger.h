#pragma once

#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <array>
#include <map>
#include <optional>
#include <vector>

namespace season {

// "logs/energy.txt": one line per clock hour in which energy was counted.
QString energyLedgerFile(const core::AppDir& app);

// The energy of one clock hour (or of the part of it this run of the program counted), by its
// local date and hour and the offset from UTC in force then: the hour repeated when the clocks
// go back is two hours with one local name, told apart by the offset.
struct LedgerLine
{
    LedgerLine() = default;
    // The charge and load last, so that lines made before they were kept read as they did.
    LedgerLine(QDate date, int hour, double wattHours, int utcOffsetSeconds,
               std::optional<double> ampHours = {}, std::optional<double> loadMinutes = {})
        : date(date)
        , hour(hour)
        , wattHours(wattHours)
        , utcOffsetSeconds(utcOffsetSeconds)
        , ampHours(ampHours)
        , loadMinutes(loadMinutes)
    {}

    QDate date;
    int hour = 0; // 0 to 23
    double wattHours = 0;
    int utcOffsetSeconds = 0; // local time minus UTC, +3600 in Central European winter time
    // The turbine's charge in amp-hours and the minutes with the load on, when counted; lines
    // written before they were have neither.
    std::optional<double> ampHours;
    std::optional<double> loadMinutes;

    bool operator==(const LedgerLine&) const = default;
};

// The years a ledger line may name; a line of any other year is a bad line.
inline constexpr int kFirstLedgerYear = 2000;
inline constexpr int kLastLedgerYear = 2100;
// No small plant counts a gigawatt-hour in an hour: a line beyond is a bad line.
inline constexpr double kMaxHourWattHours = 1e9;

// "<D>2024_3_7</D><H>14</H><Z>+0100</Z><WH>123.45</WH>" CR LF: the date as the daily log's file
// name, the offset as sign, hours and minutes, the watt-hours as the daily log writes numbers but
// always with a point, so a ledger reads the same whatever the locale of the one who wrote it;
// then, when counted, "<AH>9.8</AH><LOAD>42</LOAD>" (amp-hours, minutes with the load on).
QByteArray lineFor(const LedgerLine& line);

// "+0100", "-0330": the offset as the ledger writes it (whole minutes).
QByteArray offsetText(int utcOffsetSeconds);

// The append of one line to the ledger, made as the records' writes are, so it waits with them
// when the disk cannot take it.
logging::FileWrite ledgerWrite(const core::AppDir& app, const LedgerLine& line);

// Adds up the energy counted in each clock hour of local time. The station feeds it every
// increment; when an increment falls in another hour than the one open (another local date or
// hour, or the same ones at another offset from UTC), the open hour is done and its line comes
// back to be appended. An hour in which nothing but zero was counted makes no line, so a day
// without frames leaves the ledger as it was.
class EnergyLedger
{
public:
    // One increment, counted at localTime (a local date and time that knows its offset from
    // UTC, as the clock gives it), with the amp-hours and load minutes of the same time when
    // they are counted. Returns the line of the hour it closes, if any.
    std::optional<LedgerLine> add(const QDateTime& localTime, double wattHours, double ampHours = 0,
                                  double loadMinutes = 0);
    // The open hour's line when now lies in a later hour (a clock tick without energy).
    std::optional<LedgerLine> flush(const QDateTime& now);
    // The hour so far, at close; the ledger is empty afterwards.
    std::optional<LedgerLine> closeHour();

    // The open hour and its watt-hours so far.
    std::optional<LedgerLine> openHour() const;

private:
    bool isOpenHour(const QDateTime& localTime) const;

    QDate m_date;
    int m_hour = -1;
    int m_offset = 0;
    double m_wattHours = 0;
    double m_ampHours = 0;
    double m_loadMinutes = 0;
    bool m_counted = false;
    bool m_charge = false; // amp-hours or load minutes were given
};

// Watt-hours of each hour of a day, the lines of one hour added together.
using DayEnergy = std::array<double, 24>;
// A day's charge amp-hours and load minutes, from the lines that have them.
struct DayCharge
{
    double ampHours = 0;
    double loadMinutes = 0;
    bool hasAmpHours = false;
    bool hasLoad = false;
};
struct LedgerContent
{
    std::map<QDate, DayEnergy> days;
    std::map<QDate, DayCharge> charge; // only days with a line that has <AH> or <LOAD>
    int badLines = 0;                  // lines that are not empty and not a ledger line
};

// Reads a ledger's content: lines split at LF (a CR before it dropped), empty lines ignored; a
// line without a valid date of the years above, an hour 0 to 23 and a number of watt-hours
// within kMaxHourWattHours (a point or a comma as its separator: lines written before the point
// was fixed have the writer's locale), or with an offset that is not one, is skipped and
// counted. A line without an offset (written before they were) is an hour of local time; <AH>
// and <LOAD> are optional, but one that is there must hold a number from 0 within the limit. The
// two hours of one local name when the clocks go back are added in the day's hour.
LedgerContent parseLedger(QByteArrayView content);

// The ledger file, or an empty content when there is none (badLines -1 when it cannot be read).
LedgerContent readLedger(const core::AppDir& app);

} // namespace season
