#pragma once

#include "core/quantities.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QTime>
#include <cstdint>

namespace logging {

// The highest value of each logged quantity seen while logging runs since the last record;
// the others stay 0.
struct IntervalPeaks
{
    core::QuantityValues peak{};

    double operator[](core::Quantity q) const { return peak[q]; }
    bool operator==(const IntervalPeaks&) const = default;
};

// "Load On" for mode 1, otherwise empty.
QString loadText(std::int16_t mode);

// The texts below are the bytes written to the files: 8-bit text (Latin-1; a character it
// cannot hold becomes "?"), CR LF at the end of each line, numbers as core::numberText gives
// them under the locale.

// One line of the daily log: "<V>13.62</V>...<M>1</M><T>14:05</T>" CR LF, the time as hours
// and minutes on the 24-hour clock.
QByteArray logRecordLine(const IntervalPeaks& peaks, std::int16_t mode, QTime time,
                         const QLocale& locale = QLocale());

// One line of the web history file: each value with its unit, two TABs between the pieces,
// then the load text and the long time text.
QByteArray historyLine(const IntervalPeaks& peaks, const QString& wsUnits, const QString& load,
                       const QString& longTime, const QLocale& locale = QLocale());

// The web page: the template with every "<VV>", "<II>", "<WW>", "<WH>", "<RR>", "<SS>", "<TT>"
// and "<MM>" replaced in that order (exact case), and a CR LF added at the end. The template's
// own bytes pass through unchanged, whatever its character set.
QByteArray webPage(const QByteArray& pageTemplate, const IntervalPeaks& peaks, double wattHourTotal,
                   const QString& longTime, const QString& load, const QLocale& locale = QLocale());

// The spreadsheet's header (followed by an empty line), written once when its file is made,
// and one row of seven cells (also followed by an empty line).
QByteArray spreadsheetHeader(const QString& wsUnits);
QByteArray spreadsheetRow(const IntervalPeaks& peaks, const QString& load, const QString& longTime,
                          const QLocale& locale = QLocale());

} // namespace logging
