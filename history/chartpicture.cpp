#include "chartpicture.h"

#include <QPainter>
#include <algorithm>
#include <vector>

namespace history {
namespace {

QPen linePen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(colour, 1, style);
    pen.setCosmetic(true);
    return pen;
}

} // namespace

void paintChart(QImage& picture, const ChartPlan& plan, const HistoryStore& store)
{
    if (!plan.drawn || plan.width <= 0)
        return;
    const double w = picture.width();
    const double h = picture.height();
    const double sx = w / plan.width;
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);

    for (const ShadeRun& run : plan.shading) {
        const double depth = std::clamp(run.depth, 0.0, 1.0) * h;
        painter.fillRect(QRectF(run.x1 * sx, 0, (run.x2 - run.x1) * sx, depth), kShadeColour);
    }

    // The zero lines over the band, so a long load-on stretch cannot hide them.
    painter.setPen(linePen(kZeroLineColour, Qt::DashLine));
    for (const core::Quantity q : core::kLogged) {
        if (const std::optional<double>& y = plan.zeroY[q]) {
            const double py = *y / plan.scales[q].range * h;
            painter.drawLine(QPointF(0, py), QPointF(w, py));
        }
    }

    std::vector<QPointF> points(plan.rowSlots.size());
    for (const core::Quantity q : core::kLogged) {
        if (!plan.shown[q] || points.size() < 2)
            continue;
        const SeriesScale& scale = plan.scales[q];
        const std::vector<double>& values = store.Values[q];
        const double sy = h / scale.range;
        for (std::size_t i = 0; i < plan.rowSlots.size(); ++i)
            points[i] = QPointF(double(i) * sx, plotY(scale, values[plan.rowSlots[i]]) * sy);
        painter.setPen(linePen(core::toColour(core::facts(q).seriesColour)));
        painter.drawPolyline(points.data(), int(points.size()));
    }
}

void paintSelection(QImage& picture, double chartWidth, const Selection& selection)
{
    if (chartWidth <= 0)
        return;
    const double sx = picture.width() / chartWidth;
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(linePen(kSelectionColour));
    painter.drawLine(QPointF(selection.from * sx, 0), QPointF(selection.to * sx, 0));
}

} // namespace history
