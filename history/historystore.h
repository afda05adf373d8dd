#pragma once

#include "core/appdir.h"
#include "core/quantities.h"
#include "history/dayreader.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace history {

// Slots 0 to 10000; records fill 1 to RecordCount, slot 0 stays all zeros.
inline constexpr int kSlots = 10001;
inline constexpr int kLastSlot = kSlots - 1;

// The history window's records, query range and view range. It outlives each opening of the
// window; only a Display replaces its records.
struct HistoryStore
{
    HistoryStore();

    // The logged quantities' values slot by slot (Values[core::kVolts][k]); the others stay empty.
    core::PerQuantity<std::vector<double>> Values;
    std::vector<std::int16_t> Mode;
    std::vector<double> Time; // days after midnight
    std::int16_t RecordCount = 0;
    double StartTime = 0;
    double FinishTime = 0;
    double ViewStart = 0;
    double ViewEnd = 0;
    int Zoomed = 0;
};

// minutesOfDay for a text typed into the window.
std::optional<int> minutesOfDay(const QString& text);

// A time of day as days after midnight, as "HH:mm".
QString timeText(double dayTime);

// Day and month of one or two digits, a four-digit year, blanks allowed around each, naming a
// day that exists (29 February only in leap years).
bool isCalendarDate(const QString& day, const QString& month, const QString& year);

// The seven query boxes of the window, as typed.
struct QueryTexts
{
    QString year;
    QString month;
    QString day;
    QString startHour;
    QString startMinute;
    QString finishHour;
    QString finishMinute;
};

inline const QString kBadStartMessage = QStringLiteral("Bad time format for start time");
inline const QString kBadFinishMessage = QStringLiteral("Bad time format for finish time");
inline const QString kBadDateMessage = QStringLiteral("Bad date format for record date");
inline const QString kNoDataMessage = QStringLiteral("No data for that date");
inline const QString kOverLimitMessage = QStringLiteral(
    "Over 10,000 records, too many to display. Please use a smaller time range. If you set you "
    "logging interval to 10 seconds or more, you wont have this problem in the future. ");

// The day file a query names: "logs/" + year + "_" + month + "_" + day + ".txt", as typed.
QString dayFilePath(const core::AppDir& app, const QueryTexts& query);

enum class DisplayOutcome
{
    Rejected,  // a box failed its check; nothing changed
    FileError, // the day file could not be appended to or read; the store is as it was
    NoData,    // no record taken: RecordCount and Zoomed are 0, the view is kept
    OverLimit, // too many records: the store is as it was
    Loaded,    // records in slots 1 to RecordCount, the view is all of them
};

struct DisplayResult
{
    DisplayOutcome outcome = DisplayOutcome::Rejected;
    QString message; // what to tell the user; empty when loaded
};

// The Display button's work up to the drawing: checks the boxes, appends an empty line to the
// day file, reads it and fills the store. The records of a load that fails stay out of the
// store, so it never holds a mix of two days.
DisplayResult loadDay(HistoryStore& store, const core::AppDir& app, const QueryTexts& query);

} // namespace history
