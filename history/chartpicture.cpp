#include "history/chartpicture.h"
#include "history/historyfacts.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace history {
namespace {

QPen linePen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(colour, 1, style);
    pen.setCosmetic(true);
    return pen;
}

// The highest and lowest ordinate, in device pixels, that a line reaches in one pixel column.
struct ColumnExtent
{
    double top = std::numeric_limits<double>::infinity();
    double bottom = -std::numeric_limits<double>::infinity();

    void take(double y)
    {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
};

// The rows a column's extent covers, as a one-pixel line covers them: from the row of its top to
// the row of its bottom. (A line turning at a peak or a trough reaches into the row it turns in.)
std::pair<int, int> extentRows(const ColumnExtent& extent)
{
    return {int(std::floor(extent.top)), int(std::floor(extent.bottom))};
}

// Colours each column's rows straight into the picture: one store a pixel, which is what makes
// a day's chart cheap.
void fillColumns(QImage& picture, const std::vector<ColumnExtent>& columns, const QColor& colour)
{
    const int height = picture.height();
    const QImage::Format format = picture.format();
    const bool direct = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                        format == QImage::Format_ARGB32_Premultiplied;
    const QRgb pixel = colour.rgb();
    uchar* const bits = direct ? picture.bits() : nullptr;
    const qsizetype stride = picture.bytesPerLine();
    std::unique_ptr<QPainter> painter;
    if (!direct) {
        painter = std::make_unique<QPainter>(&picture);
        const qreal dpr = picture.devicePixelRatio();
        painter->setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr));
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (!(columns[c].top <= columns[c].bottom))
            continue;
        auto [first, last] = extentRows(columns[c]);
        first = std::max(first, 0);
        last = std::min(last, height - 1);
        if (last < first)
            continue;
        if (painter) {
            painter->fillRect(QRect(int(c), first, 1, last - first + 1), colour);
            continue;
        }
        uchar* p = bits + first * stride + qsizetype(c) * 4;
        for (int y = first; y <= last; ++y, p += stride)
            *reinterpret_cast<QRgb*>(p) = pixel;
    }
}

// One polyline a series through every record of the view.
void drawEverySegment(QPainter& painter, const ChartPlan& plan, const HistoryStore& store,
                      QSizeF size)
{
    const double sx = size.width() / plan.width;
    std::vector<QPointF> points(plan.rowSlots.size());
    for (const core::Quantity q : core::kLogged) {
        if (!plan.shown[q])
            continue;
        const SeriesScale& scale = plan.scales[q];
        const std::vector<double>& values = store.Values[q];
        const double sy = size.height() / scale.range;
        for (std::size_t i = 0; i < points.size(); ++i)
            points[i] = QPointF(double(i) * sx, plotY(scale, values[plan.rowSlots[i]]) * sy);
        painter.setPen(linePen(ui::toColour(historyFacts(q).seriesColour)));
        painter.drawPolyline(points.data(), int(points.size()));
    }
}

// Each series from its extent in every device pixel column, the series one after the other as
// they overlap. A column's extent comes from its own records, and from the segments that join its
// first and last record to the neighbouring columns, cut where they cross the column's edge.
void drawColumnExtents(QImage& picture, const ChartPlan& plan, const HistoryStore& store)
{
    const int lastColumn = picture.width() - 1;
    const double sx = picture.width() / plan.width;
    std::vector<ColumnExtent> columns(std::size_t(picture.width()));
    for (const core::Quantity q : core::kLogged) {
        if (!plan.shown[q])
            continue;
        const SeriesScale& scale = plan.scales[q];
        const std::vector<double>& values = store.Values[q];
        const double sy = picture.height() / scale.range;
        std::fill(columns.begin(), columns.end(), ColumnExtent());
        double px = 0;
        double py = 0;
        int pc = 0;
        for (std::size_t i = 0; i < plan.rowSlots.size(); ++i) {
            const double x = double(i) * sx;
            const double y = plotY(scale, values[plan.rowSlots[i]]) * sy;
            const int c = std::min(int(x), lastColumn);
            columns[std::size_t(c)].take(y);
            if (i > 0 && c != pc) {
                const double slope = (y - py) / (x - px);
                for (int edge = pc + 1; edge <= c; ++edge) {
                    const double ye = py + (edge - px) * slope;
                    columns[std::size_t(edge - 1)].take(ye);
                    columns[std::size_t(edge)].take(ye);
                }
            }
            px = x;
            py = y;
            pc = c;
        }
        fillColumns(picture, columns, ui::toColour(historyFacts(q).seriesColour));
    }
}

} // namespace

bool drawsReduced(std::size_t records, int pixelColumns)
{
    return records > 2 * std::size_t(std::max(pixelColumns, 1));
}

void paintChart(QImage& picture, const ChartPlan& plan, const HistoryStore& store,
                LineDetail detail)
{
    if (!plan.drawn || plan.width <= 0 || picture.isNull())
        return;
    const QSizeF size = picture.deviceIndependentSize();
    const double sx = size.width() / plan.width;
    const std::size_t count = plan.rowSlots.size();
    const bool reduce = detail == LineDetail::Auto && drawsReduced(count, picture.width());
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing, false);

        for (const ShadeRun& run : plan.shading) {
            const double depth = std::clamp(run.depth, 0.0, 1.0) * size.height();
            painter.fillRect(QRectF(run.x1 * sx, 0, (run.x2 - run.x1) * sx, depth), kShadeColour);
        }

        // The zero lines over the band, so a long load-on stretch cannot hide them.
        painter.setPen(linePen(kZeroLineColour, Qt::DashLine));
        for (const core::Quantity q : core::kLogged) {
            if (const std::optional<double>& y = plan.zeroY[q]) {
                const double py = *y / plan.scales[q].range * size.height();
                painter.drawLine(QPointF(0, py), QPointF(size.width(), py));
            }
        }

        if (count >= 2 && !reduce)
            drawEverySegment(painter, plan, store, size);
    }
    if (count >= 2 && reduce)
        drawColumnExtents(picture, plan, store);
}

void paintSelection(QImage& picture, double chartWidth, const Selection& selection)
{
    if (chartWidth <= 0)
        return;
    const double sx = picture.deviceIndependentSize().width() / chartWidth;
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(linePen(kSelectionColour));
    painter.drawLine(QPointF(selection.from * sx, 0), QPointF(selection.to * sx, 0));
}

} // namespace history
