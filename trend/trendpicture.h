#pragma once

#include "trend/trendring.h"
#include "trend/trendscale.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <array>
#include <vector>

namespace trend {

// What the picture shows of each series: its name, unit and colour.
struct SeriesLook
{
    QString name;
    QString unit;
    QColor colour;
};
using SeriesLooks = std::array<SeriesLook, kSeriesCount>;

// The series' looks on the window's dark green: bright colours, the wind in the given unit.
SeriesLooks seriesLooks(const QString& windUnit);

// Where the slots go across the picture: the newest slot at the right edge of the plot, which
// starts after the axes' labels.
struct TimeAxis
{
    qint64 lastIndex = 0; // the newest slot's index
    qint64 count = 1;     // how many slots the width stands for
    qint64 slotSeconds = 1;
};

inline constexpr int kAxisWidth = 64; // room for the y-axis labels left of the plot

// The x of a slot's index in a picture width pixels wide.
double slotX(const TimeAxis& time, qint64 index, int width);

// The picture's panels, ticks, labels and titles, with what they were drawn for: kept between
// pictures, as they change only with the scales, the size or the looks.
struct TrendFrame
{
    QSize size;
    double devicePixelRatio = 0;
    SeriesLooks looks;
    QFont font;
    std::array<RoundAxis, kSeriesCount> axes;
    QImage picture;
};

// The shown slots as aligned panels, one per series, sharing the time axis: each with its own
// y-axis of round ticks and its unit, a line through the middle of each pixel column's range (the
// lowest and highest of the slots in that column) and, where they differ, that range as a band;
// a pause of more than a quarter hour breaks the line. size is in device-independent pixels.
// kept, when given, holds the frame drawn last and is drawn afresh only when it no longer fits.
QImage drawTrendPicture(const std::vector<Slot>& shown, const TimeAxis& time, QSize size,
                        double devicePixelRatio, const SeriesLooks& looks, const QFont& font,
                        TrendFrame* kept = nullptr);

} // namespace trend
