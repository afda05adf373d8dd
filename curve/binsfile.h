#pragma once

#include "core/appdir.h"
#include "curve/powercurve.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <optional>
#include <vector>

namespace curve {

// A small file of wind bins kept beside powercurve.txt (turbulence.txt, rotor.txt): the curve
// file's header line first, then one line a bin, "<B>5.5</B><N>42</N><TI>0.182</TI><SD>0.031</SD>"
// CR LF. Each bin is a running sum held in a PowerCurve: a count, and the mean and spread of one
// figure (the spread left out of the file when the format has none).
struct BinsFormat
{
    const char* meanTag = "";
    const char* spreadTag = nullptr; // nullptr: no spread is kept
    double lowest = 0;               // the figure's limits; beyond them a line is damaged
    double highest = 0;
    int decimals = 3; // as the figure and its spread are written
};

// The file: the header (its altitude left out at 0), then the bins.
QByteArray binsFileBytes(const PowerCurve& bins, const BinsFormat& format, const QString& unitName,
                         double altitudeMetres = 0);

// The bins of a file's text, as parsePowerCurve reads its own: a line without its CR LF, without
// one of its numbers, with a count that is not a whole number from 1 to kMaxBinMinutes, a centre
// beyond kMaxBinCentre, a figure beyond the format's limits or a negative spread is skipped whole.
// The spread of a format without one reads as 0.
PowerCurveContent parseBinsFile(const QByteArray& bytes, const BinsFormat& format);

// The file read for the scale and altitude set now, as loadCurveFile reads powercurve.txt: a
// damaged one renamed "*.damaged" and its good bins used; another unit or width converted only
// when its bins nest exactly, else set aside with the bytes, as is one of another altitude.
CurveFileLoad loadBinsFile(const QString& path, const BinsFormat& format, const WindScale& scale,
                           double altitudeMetres = 0,
                           const std::optional<QByteArray>& waiting = std::nullopt);

// Where a file set aside is kept: logs/<stem>-<date>.txt, or -2, -3.. when that is taken.
QString keptAsPath(const core::AppDir& app, const QString& stem, const QDate& day);

} // namespace curve
