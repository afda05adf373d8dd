#include "trend/trendpicture.h"

#include "trend/trendscale.h"
#include "ui/windowlook.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>

namespace trend {
namespace {

// A pause longer than this is a gap: the day file's records come at the logging interval, and
// a line across a quarter hour without any would show what was never measured.
constexpr qint64 kBridgeSeconds = 15 * 60;
const QColor kGrid{0, 110, 0};

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

QImage drawTrendPicture(const std::vector<Slot>& shown, const TimeAxis& time, QSize size,
                        double devicePixelRatio, const SeriesLooks& looks, const QFont& font)
{
    size = size.expandedTo(QSize(kAxisWidth + 2, kSeriesCount * 4));
    QImage picture(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(ui::kWindowGround);
    QPainter p(&picture);
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int panelHeight = size.height() / int(kSeriesCount);
    const int maxTicks = std::clamp(panelHeight / (metrics.height() + 4), 2, 6);
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        // A gap between panels keeps one panel's top label clear of the bottom label above it.
        const QRect panel(kAxisWidth, int(k) * panelHeight + 3, size.width() - kAxisWidth,
                          panelHeight - 6);
        p.setPen(kGrid);
        p.drawRect(panel.adjusted(0, 0, -1, 0));
        float low = 1e30f, high = -1e30f;
        for (const Slot& s : shown) {
            low = std::min(low, s.low[k]);
            high = std::max(high, s.high[k]);
        }
        const RoundAxis axis = shown.empty() ? roundAxis(0, 1, maxTicks)
                                             : roundAxis(double(low), double(high), maxTicks);
        const auto yOf = [&](double v) {
            return panel.bottom() - (v - axis.low) / (axis.high - axis.low) * panel.height();
        };
        const SeriesLook& look = looks[k];
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
        if (shown.empty())
            continue;
        p.save();
        p.setClipRect(panel);
        // The bands in one call, then the lines as plain 2-pixel polylines: smoothing them cost
        // six times as much for a day of minutes in five panels, once a second.
        std::vector<QRectF> bands;
        std::vector<QPolygonF> lines(1);
        qint64 previous = Slot::kNever;
        for (const Slot& s : shown) {
            const double x = slotX(time, s.index, size.width());
            if (s.high[k] > s.low[k]) {
                const double y0 = yOf(double(s.high[k])), y1 = yOf(double(s.low[k]));
                bands.emplace_back(x - 0.5, y0, 1.0, std::max(1.0, y1 - y0));
            }
            if (previous != Slot::kNever &&
                (s.index - previous) * time.slotSeconds > kBridgeSeconds)
                lines.emplace_back();
            lines.back() << QPointF(x, yOf((double(s.low[k]) + double(s.high[k])) / 2));
            previous = s.index;
        }
        QColor band = look.colour;
        band.setAlpha(70);
        p.setPen(Qt::NoPen);
        p.setBrush(band);
        p.drawRects(bands.data(), int(bands.size()));
        p.setPen(QPen(look.colour, 2.0));
        p.setBrush(Qt::NoBrush);
        for (const QPolygonF& line : lines) {
            // A reading alone between two gaps still shows, as a dot.
            if (line.size() == 1)
                p.drawPoint(line.front());
            else
                p.drawPolyline(line);
        }
        p.restore();
    }
    return picture;
}

} // namespace trend
