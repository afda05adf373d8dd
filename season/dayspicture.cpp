#include "season/dayspicture.h"

#include "history/historyfacts.h"
#include "season/dateaxis.h"
#include "ui/windowlook.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace season {
namespace {

// Logical pixels: the date strip under the panels, the value axis left of them, their gap.
constexpr int kAxisHeight = 16;
constexpr int kValueAxisWidth = 52;
constexpr int kPanelGap = 6;
constexpr int kRightPad = 4;
// Logical pixels a value mark needs at the least.
constexpr int kValueTickSpacing = 18;
const QColor kGrid{0, 110, 0};

QString unitOf(std::size_t series, const QString& windUnit)
{
    const core::Quantity q = core::kLogged[series];
    if (core::facts(q).shortUnit)
        return QString::fromLatin1(core::facts(q).shortUnit);
    return windUnit.isEmpty() ? QStringLiteral("Wind") : QStringLiteral("Wind ") + windUnit;
}

// The series' colour for lines on the window's dark green: the tick boxes' lighter ones.
QColor seriesColour(std::size_t series)
{
    return ui::toColour(history::historyFacts(core::kLogged[series]).checkGround);
}

void drawDateAxis(QPainter& p, const std::vector<DateTick>& ticks, QRect strip, int plotTop,
                  qreal ratio)
{
    p.setPen(ui::kWindowText);
    p.drawLine(strip.left(), strip.top(), strip.right(), strip.top());
    for (const DateTick& t : ticks) {
        const int x = strip.left() + t.x;
        p.setPen(kGrid);
        p.drawLine(x, plotTop, x, strip.top());
        p.setPen(ui::kWindowText);
        p.drawLine(x, strip.top(), x, strip.top() + int(4 * ratio));
        p.drawText(
            QRect(x + int(2 * ratio), strip.top(), int(kTickSpacing * ratio), strip.height()),
            Qt::AlignLeft | Qt::AlignVCenter, t.label);
    }
}

// The shaded runs of columns without records, each labelled where the label fits.
void drawGaps(QPainter& p, const std::vector<Column>& columns, int left, int top, int bottom)
{
    const QFontMetrics fm = p.fontMetrics();
    const QString text = QStringLiteral("no data");
    std::size_t x = 0;
    while (x < columns.size()) {
        if (!columns[x].empty) {
            ++x;
            continue;
        }
        std::size_t end = x;
        while (end < columns.size() && columns[end].empty)
            ++end;
        const QRect gap(left + int(x), top, int(end - x), bottom - top);
        p.fillRect(gap, kNoData);
        if (gap.width() >= fm.horizontalAdvance(text) + 4) {
            p.setPen(Qt::white);
            p.drawText(gap, Qt::AlignCenter, text);
        }
        x = end;
    }
}

// A panel's pixel row of a value.
int panelY(const DaysPanel& panel, double v)
{
    const double high = panel.ticks.high;
    const double height = panel.bottom - 1 - panel.top;
    return panel.top + int(std::lround((high - v) / (high - panel.ticks.low) * height));
}

// The value axis at the panel's left and its grid across.
void drawPanelAxis(QPainter& p, const DaysPanel& panel, int left, int width, qreal ratio)
{
    const QFontMetrics fm = p.fontMetrics();
    for (const double v : panel.ticks.values) {
        const int at = panelY(panel, v);
        p.setPen(kGrid);
        p.drawLine(left, at, left + width - 1, at);
        p.setPen(ui::kWindowText);
        p.drawLine(left - int(4 * ratio), at, left - 1, at);
        const int textTop = std::clamp(at - fm.height() / 2, panel.top, panel.bottom - fm.height());
        p.drawText(QRect(0, textTop, left - int(6 * ratio), fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, tickText(v, panel.ticks.step));
    }
    p.setPen(ui::kWindowText);
    p.drawLine(left - 1, panel.top, left - 1, panel.bottom - 1);
}

// Each column's band from the lowest to the highest, marks beyond the range, and the unit.
void drawPanelBands(QPainter& p, const DaysPanel& panel, const std::vector<Column>& columns,
                    int left, const QString& unit, qreal ratio)
{
    const std::size_t s = panel.series;
    const QColor colour = seriesColour(s);
    const int mark = std::max(2, int(3 * ratio));
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const Column& c = columns[x];
        if (c.empty)
            continue;
        const int at = left + int(x);
        const int top = std::max(panel.top, panelY(panel, c.max[s]));
        const int bottom = std::min(panel.bottom - 1, panelY(panel, c.min[s]));
        if (top <= bottom) {
            p.setPen(colour);
            p.drawLine(at, top, at, bottom);
        }
        p.setPen(kBeyondRange);
        if (c.max[s] > panel.ticks.high)
            p.drawLine(at, panel.top, at, panel.top + mark - 1);
        if (c.min[s] < panel.ticks.low)
            p.drawLine(at, panel.bottom - mark, at, panel.bottom - 1);
    }
    // The unit in its series' colour, on the ground, at the panel's top left.
    const QFontMetrics fm = p.fontMetrics();
    const QRect box(left + int(4 * ratio), panel.top + 1,
                    fm.horizontalAdvance(unit) + int(6 * ratio), fm.height());
    p.fillRect(box, ui::kWindowGround);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, unit);
}

} // namespace

DaysPicture makeDaysPicture(const DayRun& run, const BucketView& view, const DaysLook& look,
                            QSize size, qreal ratio)
{
    DaysPicture out;
    out.image = QImage(size, QImage::Format_RGB32);
    out.image.fill(ui::kWindowGround);
    out.left = int(kValueAxisWidth * ratio);
    const int width = std::max(1, size.width() - out.left - int(kRightPad * ratio));
    out.columns = reduceColumns(run, view, width);
    const int strip = int(kAxisHeight * ratio);
    const int plotBottom = std::max(1, size.height() - strip);
    QPainter p(&out.image);
    QFont font = p.font();
    font.setPixelSize(std::max(1, int(11 * ratio)));
    p.setFont(font);

    std::vector<std::size_t> shown;
    for (std::size_t s = 0; s < kSeries; ++s) {
        if (look.shown[s])
            shown.push_back(s);
    }
    const int gap = int(kPanelGap * ratio);
    const int count = int(shown.size());
    const int panelHeight = count ? (plotBottom - gap * (count - 1)) / count : 0;
    std::vector<const DaySummary*> days;
    days.reserve(run.days.size());
    for (const auto& day : run.days)
        days.push_back(day ? &*day : nullptr);
    const auto range = seriesRanges(days, view, look.robust);
    for (int k = 0; k < count && panelHeight > 2; ++k) {
        const std::size_t s = shown[std::size_t(k)];
        DaysPanel panel;
        panel.series = s;
        panel.top = k * (panelHeight + gap);
        panel.bottom = panel.top + panelHeight;
        panel.ticks = insideTicks(range[s].low, range[s].high,
                                  std::max(2, panelHeight / int(kValueTickSpacing * ratio)));
        drawPanelAxis(p, panel, out.left, width, ratio);
        out.panels.push_back(std::move(panel));
    }
    // Over the grid, so a gap reads as one shade; under the bands, which never fall in one.
    drawGaps(p, out.columns, out.left, 0, plotBottom);
    for (const DaysPanel& panel : out.panels)
        drawPanelBands(p, panel, out.columns, out.left, unitOf(panel.series, look.windUnit), ratio);
    drawDateAxis(p, dateTicks(run, view, width, int(kTickSpacing * ratio)),
                 QRect(out.left, plotBottom, width, strip), 0, ratio);
    p.end();
    out.image.setDevicePixelRatio(ratio);
    return out;
}

} // namespace season
