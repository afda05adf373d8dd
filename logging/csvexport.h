#pragma once

#include "core/quantities.h"

#include <QDate>
#include <QString>
#include <cstdint>
#include <span>

class QIODevice;

namespace logging {

// One record as the history window loaded it.
struct CsvRecord
{
    double dayTime = 0;            // days after midnight (12:00 is 0.5)
    core::QuantityValues values{}; // the logged quantities' values; the others are not written
    std::int16_t mode = 0;
};

// "2024-03-07.csv": the default name for a day's records.
QString csvFileName(QDate date);

// Writes the records to out as RFC 4180 text: the header
// "date,time,mode,volts,amps,watts,rpm,wind_speed" with the wind unit after the last column's
// name ("wind_speed (km/h)"), then one row per record in the order given: ISO date, time as
// HH:mm, the mode number and the values as loaded, in plain decimals with a point whatever the
// locale. CR LF after every row; a field holding a comma, a quote or a line break is quoted.
// UTF-8. False when the device took less than all of it.
bool writeCsv(QIODevice& out, QDate date, const QString& wsUnits,
              std::span<const CsvRecord> records);

} // namespace logging
