#pragma once

#include "appdir.h"
#include "quantities.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace history {

// Slots 0 to 10000; records fill 1 to RecordCount, slot 0 stays all zeros.
inline constexpr int kSlots = 10001;
inline constexpr int kLastSlot = kSlots - 1;
// A load takes at most this many records; the next one is refused.
inline constexpr int kMaxRecords = 9999;

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

// One line of a day file as the loader takes it.
struct LoadedRecord
{
    double time = 0;
    core::QuantityValues values{}; // the logged quantities'; the others 0
    std::int16_t mode = 0;
};

// "H:M" with hours 0 to 23 and minutes 0 to 59, one or two digits each, blanks allowed around
// each number: the minutes after midnight, or nullopt.
std::optional<int> minutesOfDay(std::string_view text);
std::optional<int> minutesOfDay(const QString& text);

// A time of day as days after midnight (12:00 is 0.5), and back to "HH:mm".
double dayTime(int minutes);
QString timeText(double dayTime);

// Day and month of one or two digits, a four-digit year, blanks allowed around each, naming a
// day that exists (29 February only in leap years).
bool isCalendarDate(const QString& day, const QString& month, const QString& year);

// The records of a day file's content whose time lies strictly between start and finish, in file
// order. Lines without a readable time are skipped; a value that is missing or no number is 0.
// overLimit is set, and reading stops, when a record beyond kMaxRecords would be taken.
struct DayRecords
{
    std::vector<LoadedRecord> records;
    bool overLimit = false;
};
DayRecords parseDayLog(QByteArrayView content, double start, double finish);

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
