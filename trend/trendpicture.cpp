#include "trend/trendpicture.h"

#include "trend/trendscale.h"
#include "ui/windowlook.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace trend {
namespace {

// A pause longer than this is a gap: the day file's records come at the logging interval, and
// a line across a quarter hour without any would show what was never measured.
constexpr qint64 kBridgeSeconds = 15 * 60;
const QColor kGrid{0, 110, 0};

// The slots of one series that fall in one device pixel column.
struct Column
{
    int x = 0;                  // the column, in device pixels
    qint64 first = 0, last = 0; // its oldest and newest slot's index
    float low = 0, high = 0;    // the lowest and highest of its slots
    double pointX = 0;          // its line point's x: a lone slot's own, else the column's middle
};

std::vector<Column> columnsOf(const std::vector<Slot>& shown, const TimeAxis& time, int width,
                              double devicePixelRatio, std::size_t k)
{
    std::vector<Column> columns;
    columns.reserve(shown.size());
    for (const Slot& s : shown) {
        const double x = slotX(time, s.index, width) * devicePixelRatio;
        const int column = int(std::floor(x));
        if (columns.empty() || columns.back().x != column) {
            columns.push_back({column, s.index, s.index, s.low[k], s.high[k], x});
            continue;
        }
        Column& c = columns.back();
        c.last = s.index;
        c.low = std::min(c.low, s.low[k]);
        c.high = std::max(c.high, s.high[k]);
        c.pointX = column + 0.5;
    }
    return columns;
}

// Blends a premultiplied colour over the rows y0 to y1 - 1 of column x, inside clip.
void blendColumn(QImage& picture, int x, int y0, int y1, QRgb colour, const QRect& clip)
{
    if (x < clip.left() || x > clip.right())
        return;
    const uint keep = 255 - qAlpha(colour);
    uchar* const bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    for (int y = std::max(y0, clip.top()); y < std::min(y1, clip.bottom() + 1); ++y) {
        QRgb& d = reinterpret_cast<QRgb*>(bits + y * stride)[x];
        const auto mix = [&](uint s, uint t) {
            return s + (t * keep + 127) / 255;
        };
        d = qRgba(int(mix(qRed(colour), qRed(d))), int(mix(qGreen(colour), qGreen(d))),
                  int(mix(qBlue(colour), qBlue(d))), int(mix(qAlpha(colour), qAlpha(d))));
    }
}

} // namespace

SeriesLooks seriesLooks(const QString& windUnit)
{
    return {{{QStringLiteral("Volts"), QStringLiteral("V"), QColor(255, 96, 96)},
             {QStringLiteral("Amps"), QStringLiteral("A"), QColor(96, 255, 96)},
             {QStringLiteral("Watts"), QStringLiteral("W"), QColor(150, 170, 255)},
             {QStringLiteral("RPM"), QStringLiteral("RPM"), QColor(255, 255, 0)},
             {QStringLiteral("Wind"), windUnit, QColor(255, 255, 255)}}};
}

double slotX(const TimeAxis& time, qint64 index, int width)
{
    const double plot = double(width - kAxisWidth);
    const double perSlot = plot / double(std::max<qint64>(1, time.count));
    return double(width) - 1 - double(time.lastIndex - index) * perSlot;
}

namespace {

// A gap between panels keeps one panel's top label clear of the bottom label above it.
QRect panelOf(QSize size, std::size_t k)
{
    const int panelHeight = size.height() / int(kSeriesCount);
    return QRect(kAxisWidth, int(k) * panelHeight + 3, size.width() - kAxisWidth, panelHeight - 6);
}

bool sameFrame(const TrendFrame& a, const TrendFrame& b)
{
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        if (a.axes[k].low != b.axes[k].low || a.axes[k].high != b.axes[k].high ||
            a.axes[k].step != b.axes[k].step || a.looks[k].name != b.looks[k].name ||
            a.looks[k].unit != b.looks[k].unit || a.looks[k].colour != b.looks[k].colour)
            return false;
    }
    return a.size == b.size && a.devicePixelRatio == b.devicePixelRatio && a.font == b.font;
}

// The panels with their ticks, labels and titles, drawn before any data.
QImage drawFrame(const TrendFrame& frame)
{
    QImage picture(frame.size * frame.devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(frame.devicePixelRatio);
    picture.fill(ui::kWindowGround);
    QPainter p(&picture);
    p.setFont(frame.font);
    const QFontMetrics metrics(frame.font);
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        const QRect panel = panelOf(frame.size, k);
        const RoundAxis& axis = frame.axes[k];
        p.setPen(kGrid);
        p.drawRect(panel.adjusted(0, 0, -1, 0));
        const auto yOf = [&](double v) {
            return panel.bottom() - (v - axis.low) / (axis.high - axis.low) * panel.height();
        };
        const SeriesLook& look = frame.looks[k];
        for (const double tick : axis.ticks) {
            const int y = int(std::lround(yOf(tick)));
            p.setPen(kGrid);
            p.drawLine(panel.left(), y, panel.right(), y);
            p.setPen(ui::kWindowText);
            // The end labels move inside their panel rather than across its neighbour's.
            const int top = std::clamp(y - metrics.height() / 2, panel.top() - 2,
                                       panel.bottom() + 2 - metrics.height());
            p.drawText(QRect(0, top, kAxisWidth - 4, metrics.height()),
                       Qt::AlignRight | Qt::AlignVCenter, tickText(tick, axis.step));
        }
        // The panel's name and unit, in its series' colour, at its top left.
        p.setPen(look.colour);
        const QString title = look.unit.isEmpty() || look.unit == look.name
                                  ? look.name
                                  : QStringLiteral("%1 (%2)").arg(look.name, look.unit);
        p.drawText(panel.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, title);
    }
    return picture;
}

} // namespace

QImage drawTrendPicture(const std::vector<Slot>& shown, const TimeAxis& time, QSize size,
                        double devicePixelRatio, const SeriesLooks& looks, const QFont& font,
                        TrendFrame* kept)
{
    TrendFrame frame;
    frame.size = size.expandedTo(QSize(kAxisWidth + 2, kSeriesCount * 4));
    frame.devicePixelRatio = devicePixelRatio;
    frame.looks = looks;
    frame.font = font;
    const int panelHeight = frame.size.height() / int(kSeriesCount);
    const int maxTicks = std::clamp(panelHeight / (QFontMetrics(font).height() + 4), 2, 6);
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        float low = 1e30f, high = -1e30f;
        for (const Slot& s : shown) {
            low = std::min(low, s.low[k]);
            high = std::max(high, s.high[k]);
        }
        frame.axes[k] = shown.empty() ? roundAxis(0, 1, maxTicks)
                                      : roundAxis(double(low), double(high), maxTicks);
    }
    // The frame's text and lines only change with the scales, the size or the looks.
    if (!kept || !sameFrame(*kept, frame)) {
        frame.picture = drawFrame(frame);
        if (kept)
            *kept = frame;
    }
    QImage picture = kept ? kept->picture : frame.picture;
    if (shown.empty())
        return picture;
    size = frame.size;
    QPainter p(&picture);
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        const QRect panel = panelOf(size, k);
        const RoundAxis& axis = frame.axes[k];
        const auto yOf = [&](double v) {
            return panel.bottom() - (v - axis.low) / (axis.high - axis.low) * panel.height();
        };
        const SeriesLook& look = looks[k];
        // The data in device pixels, one line point and one band per pixel column: a day of
        // minutes is more slots than the plot has columns, and stroking each cost 14 ms a second.
        p.save();
        p.resetTransform();
        p.setClipRect(QRectF(panel.x() * devicePixelRatio, panel.y() * devicePixelRatio,
                             panel.width() * devicePixelRatio, panel.height() * devicePixelRatio));
        const auto deviceY = [&](double v) {
            return yOf(v) * devicePixelRatio;
        };
        const std::vector<Column> columns =
            columnsOf(shown, time, size.width(), devicePixelRatio, k);
        // Each column's band blended into the picture by hand: through the painter a
        // one-pixel-wide rectangle costs a span for each of its pixels.
        QColor band = look.colour;
        band.setAlpha(70);
        const QRgb bandPixel = qPremultiply(band.rgba());
        const QRect clip(QPoint(int(std::ceil(panel.left() * devicePixelRatio)),
                                int(std::ceil(panel.top() * devicePixelRatio))),
                         QPoint(int(std::floor((panel.right() + 1) * devicePixelRatio)) - 1,
                                int(std::floor((panel.bottom() + 1) * devicePixelRatio)) - 1));
        std::vector<QLineF> segments;
        std::vector<QPointF> dots;
        QPointF before;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const Column& c = columns[i];
            if (c.high > c.low) {
                const int y0 = int(std::lround(deviceY(double(c.high))));
                const int y1 = std::max(y0 + 1, int(std::lround(deviceY(double(c.low)))));
                blendColumn(picture, c.x, y0, y1, bandPixel, clip);
            }
            const QPointF point(c.pointX, deviceY((double(c.low) + double(c.high)) / 2));
            const auto bridged = [&](const Column& from, const Column& to) {
                return (to.first - from.last) * time.slotSeconds <= kBridgeSeconds;
            };
            if (i > 0 && bridged(columns[i - 1], c))
                segments.emplace_back(before, point);
            else if (i + 1 == columns.size() || !bridged(c, columns[i + 1]))
                dots.push_back(point); // a reading alone between two gaps still shows
            before = point;
        }
        // The 2-pixel line as 1-pixel lines side by side, across each segment's run: the
        // engine draws those pixel by pixel, but a wide pen's segments a span per row.
        std::vector<QLineF> steep, flat;
        for (const QLineF& l : segments)
            (std::abs(l.dy()) > std::abs(l.dx()) ? steep : flat).push_back(l);
        const int widthPx = std::max(1, int(std::lround(2 * devicePixelRatio)));
        p.setPen(QPen(look.colour, 1.0));
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < widthPx; ++i) {
            const double off = i - (widthPx - 1) / 2.0;
            p.translate(off, 0);
            p.drawLines(steep.data(), int(steep.size()));
            p.translate(-off, off);
            p.drawLines(flat.data(), int(flat.size()));
            p.translate(0, -off);
        }
        p.setPen(QPen(look.colour, 2.0 * devicePixelRatio));
        p.drawPoints(dots.data(), int(dots.size()));
        p.restore();
    }
    return picture;
}

} // namespace trend
