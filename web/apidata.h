#pragma once

#include "core/appdir.h"
#include "curve/powercurve.h"
#include "curve/refcurve.h"
#include "curve/rotor.h"
#include "curve/shortfall.h"
#include "curve/windbins.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QUrlQuery>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace web {

class SummaryMemo;

// The power curve as the plant holds it, copied for the server, with the turbine's health as
// the Reference view reads it: the shortfall is worked out on the plant's thread, which holds the
// minutes it weighs.
struct CurveFacts
{
    curve::WindScale scale;
    std::vector<curve::Bin> bins;
    std::optional<curve::RefCurve> reference; // in the scale's unit
    curve::Shortfall week;                    // the last 7 days
    curve::Shortfall month;                   // the last 30 days
    std::vector<int> heldBack;                // minutes left out while full, bin by bin
    int heldBackMinutes = 0;
    QString fullVoltsText;
    double fullVolts = 0;
    double altitude = 0; // the winds normalised to sea-level air for it; 0: not normalised
    bool curveLowOn = false;
    bool curveLowRaised = false;
    // The site's wind as the plant counts it: the one-minute means by month (as measured), the
    // turbulence per bin of the ten-minute mean, and the rotor's bins with why they may lack
    // their TSR and Cp.
    curve::WindBins wind;
    std::vector<curve::Bin> turbulence; // minutes: blocks, meanWatts: TI, sdWatts: its spread
    std::vector<curve::RotorBin> rotor;
    std::optional<double> rotorDiameter;
    QString rotorNotice;
};

// A slow answer's word with the server that waits for it. Each file read done is a step, so the
// server can tell a job that is working through a year from one stuck on a folder that does not
// answer; a job told to stop gives up at its next step.
struct JobControl
{
    std::atomic<bool> cancelled{false};
    std::atomic<quint64> steps{0};

    // One more read done; false when the job is to stop.
    bool step()
    {
        steps.fetch_add(1, std::memory_order_relaxed);
        return !cancelled.load(std::memory_order_relaxed);
    }
};

// What the slow answers read: the application directory, where the day summaries are kept,
// today (its file is still being written), the curve and the summaries kept in memory (none:
// read through the packs each time), and the job's control (none: it runs to its end).
struct ApiContext
{
    core::AppDir app;
    QString summaryDir;
    QDate today;
    CurveFacts curve;
    QString wsUnits;
    SummaryMemo* memo = nullptr;
    JobControl* control = nullptr;
    // Before a day file is read: the records held in memory go to their files first.
    std::function<void()> beforeDayRead = {};
    // The plant's clock when the request came: the day under way counts up to its hour.
    QDateTime now = {};

    // One more read done; false when the job is to stop.
    bool step() const { return !control || control->step(); }
};

struct ApiAnswer
{
    int status = 200;
    QByteArray body; // JSON, or a short text for an error
};

// The answer of a job that was told to stop (503): the folder is slow to answer, try again.
ApiAnswer busyAnswer();

// The longest run of days /api/days takes, and the most columns.
inline constexpr int kMaxRunDays = 366;
inline constexpr int kMaxColumns = 4000;

// /api/energy?by=day|month|year&year=Y&month=M: the ledger's energy bars, as the Season window
// draws them: by, year, month, totalKWh, bestDay, bestDayKWh and bars [{period, kWh, noData}]
// (noData: no ledger line in the bar's days, drawn as a gap), each with freshShare and
// recordShare (from 0 to 1: the minutes with a fresh frame, the intervals with a record; null
// for a bar still to come) and lessThanComplete (either share below 90 %).
ApiAnswer energyAnswer(const QUrlQuery& query, const ApiContext& context);

// /api/days?from=YYYY-MM-DD&to=YYYY-MM-DD&columns=N: the five series over the run reduced to N
// columns (each the lowest and highest of its records; null where none), from the day
// summaries the Season window uses: from, to, columns, series, units, scales [{low, high, step}]
// (each series' axis as the Days view scales it, robust), data [{start, end, min, max}].
ApiAnswer daysAnswer(const QUrlQuery& query, const ApiContext& context);

// /api/curve: the measured bins (wind, minutes, meanWatts, sdWatts) in the curve's unit, and the
// yearly energy for mean winds of 4 to 11 m/s when the unit is a known one.
ApiAnswer curveAnswer(const ApiContext& context);

// /api/day?date=YYYY-MM-DD: the day file's records as the history window reads them: date and
// records [{time, volts, amps, watts, rpm, wind, mode}], or 404 when there is no such file.
ApiAnswer dayAnswer(const QUrlQuery& query, const ApiContext& context);

} // namespace web
