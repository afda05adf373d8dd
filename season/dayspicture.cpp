#include "season/dayspicture.h"

#include "history/chartgeometry.h"
#include "history/historyfacts.h"
#include "season/dateaxis.h"
#include "ui/windowlook.h"

#include <QPainter>

namespace season {
namespace {

// The height of the date marks' strip, in logical pixels.
constexpr int kAxisHeight = 16;

// The date marks along the bottom of the picture, in its device pixels: the height left above.
int drawDateAxis(QPainter& p, const std::vector<DateTick>& ticks, QSize size, qreal ratio)
{
    const int strip = int(kAxisHeight * ratio);
    const int top = size.height() - strip;
    QFont font = p.font();
    font.setPixelSize(std::max(1, int(11 * ratio)));
    p.setFont(font);
    p.setPen(ui::kWindowText);
    p.drawLine(0, top, size.width(), top);
    for (const DateTick& t : ticks) {
        p.drawLine(t.x, top, t.x, top + int(4 * ratio));
        p.drawText(QRect(t.x + int(2 * ratio), top, int(kTickSpacing * ratio), strip),
                   Qt::AlignLeft | Qt::AlignVCenter, t.label);
    }
    return std::max(1, top - 1);
}

} // namespace

DaysPicture makeDaysPicture(const DayRun& run, const BucketView& view,
                            const std::array<bool, kSeries>& shown, QSize size, qreal ratio)
{
    DaysPicture out{reduceColumns(run, view, size.width()), QImage(size, QImage::Format_RGB32)};
    out.image.fill(ui::kWindowGround);
    const ColumnExtremes e = columnExtremes(out.columns);
    QPainter p(&out.image);
    const int plotHeight =
        drawDateAxis(p, dateTicks(run, view, size.width(), int(kTickSpacing * ratio)), size, ratio);
    for (std::size_t s = 0; s < kSeries; ++s) {
        if (!shown[s])
            continue;
        const history::SeriesScale scale = history::seriesScale(e.max[s], e.min[s]);
        const double toPixels = plotHeight / scale.range;
        p.setPen(ui::toColour(history::historyFacts(core::kLogged[s]).seriesColour));
        for (int x = 0; x < int(out.columns.size()); ++x) {
            const Column& c = out.columns[std::size_t(x)];
            if (c.empty)
                continue;
            const int top = int(history::plotY(scale, c.max[s]) * toPixels);
            const int bottom = int(history::plotY(scale, c.min[s]) * toPixels);
            p.drawLine(x, top, x, bottom);
        }
    }
    p.end();
    out.image.setDevicePixelRatio(ratio);
    return out;
}

} // namespace season
