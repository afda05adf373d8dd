#include "season/energypicture.h"

#include "season/dayspicture.h"
#include "ui/windowlook.h"

#include <QPainter>
#include <algorithm>

namespace season {
namespace {

const QColor kGrid{0, 110, 0};
constexpr int kSteps[] = {1, 2, 3, 5, 7, 10, 15, 20, 25, 50, 100};

// Every how many bars a label stands, so each shown label is whole.
int labelEvery(const EnergyBars& bars, const QFontMetrics& fm, double slot)
{
    int widest = 0;
    for (const EnergyBar& b : bars.bars)
        widest = std::max(widest, fm.horizontalAdvance(b.label));
    for (const int step : kSteps) {
        if (slot * step >= widest + 4)
            return step;
    }
    return int(bars.bars.size());
}

// A small square of the key and its text; the key's left edge after it.
int keyItem(QPainter& p, int right, int top, int h, const QString& text, const QBrush& swatch)
{
    const QFontMetrics fm = p.fontMetrics();
    const int textLeft = right - fm.horizontalAdvance(text);
    p.setPen(ui::kWindowText);
    p.drawText(QRect(textLeft, top, fm.horizontalAdvance(text), h), Qt::AlignVCenter, text);
    const QRect box(textLeft - h - 4, top + 2, h - 4, h - 4);
    p.fillRect(box, swatch);
    p.drawRect(box);
    return box.left() - 12;
}

// The mark above a bar whose days the plant saw less than 90 % of.
const QColor kUnseen{200, 80, 0};

QBrush partialBrush()
{
    return QBrush(kEnergyBar.darker(160), Qt::BDiagPattern);
}

} // namespace

EnergyPicture makeEnergyPicture(const EnergyBars& bars, QSize size, qreal ratio, QFont font)
{
    EnergyPicture out;
    out.image = QImage(size * ratio, QImage::Format_RGB32);
    out.image.setDevicePixelRatio(ratio);
    out.image.fill(ui::kWindowGround);
    QPainter p(&out.image);
    font.setPixelSize(12);
    p.setFont(font);
    const QFontMetrics fm = p.fontMetrics();
    double highest = 0;
    for (const EnergyBar& b : bars.bars)
        highest = std::max(highest, b.kWh);
    out.unit = energyUnit(highest);
    out.ticks = roundTicks(0, std::max(highest * out.unit.perKWh, 1e-9), 6);
    if (highest <= 0)
        out.ticks = roundTicks(0, 1, 6);
    int axisWidth = fm.horizontalAdvance(out.unit.name);
    for (const double v : out.ticks.values)
        axisWidth = std::max(axisWidth, fm.horizontalAdvance(tickText(v, out.ticks.step)));
    const int line = fm.height();
    const QRect plot(axisWidth + 12, line + 10, std::max(1, size.width() - axisWidth - 20),
                     std::max(1, size.height() - 2 * line - 18));
    // The unit above the value axis, the key at the top right.
    p.setPen(ui::kWindowText);
    p.drawText(QRect(0, 2, axisWidth + 8, line), Qt::AlignRight | Qt::AlignVCenter, out.unit.name);
    int keyLeft = keyItem(p, plot.right(), 2, line, QStringLiteral("no data"), kNoData);
    keyLeft = keyItem(p, keyLeft, 2, line, QStringLiteral("partial"), partialBrush());
    keyItem(p, keyLeft, 2, line, QStringLiteral("seen < 90 %"), kUnseen);

    auto y = [&](double v) {
        return plot.bottom() -
               int((v - out.ticks.low) / (out.ticks.high - out.ticks.low) * (plot.height() - 1));
    };
    for (const double v : out.ticks.values) {
        p.setPen(kGrid);
        p.drawLine(plot.left(), y(v), plot.right(), y(v));
        p.setPen(ui::kWindowText);
        p.drawText(QRect(0, y(v) - line / 2, axisWidth + 6, line),
                   Qt::AlignRight | Qt::AlignVCenter, tickText(v, out.ticks.step));
    }
    const double slot = bars.bars.empty() ? 0 : double(plot.width()) / double(bars.bars.size());
    const int every = labelEvery(bars, fm, slot);
    for (std::size_t i = 0; i < bars.bars.size(); ++i) {
        const EnergyBar& b = bars.bars[i];
        const int x0 = plot.left() + int(slot * double(i));
        const int x1 = plot.left() + int(slot * double(i + 1));
        out.barSlots.emplace_back(x0, plot.top(), x1 - x0, plot.height() + line + 6);
        const int pad = std::max(1, (x1 - x0) / 6);
        const QRect bar(QPoint(x0 + pad, y(b.kWh * out.unit.perKWh)),
                        QPoint(x1 - pad - 1, plot.bottom()));
        if (b.noData()) {
            const QRect shade(QPoint(x0 + pad, plot.top()), QPoint(x1 - pad - 1, plot.bottom()));
            p.fillRect(shade, kNoData);
        } else {
            p.fillRect(bar, kEnergyBar);
            if (b.partial()) {
                p.fillRect(bar, partialBrush());
                p.setPen(kEnergyBar.darker(160));
                p.drawRect(bar.adjusted(0, 0, -1, -1));
            }
        }
        if (lessThanComplete(b.seen)) {
            const int side = std::clamp((x1 - x0) / 2, 3, 8);
            p.fillRect(QRect((x0 + x1 - side) / 2, plot.top() + 1, side, side), kUnseen);
        }
        if (i % std::size_t(every) == 0) {
            p.setPen(ui::kWindowText);
            const int w = fm.horizontalAdvance(b.label) + 4;
            const int centre = (x0 + x1) / 2;
            p.drawText(QRect(centre - w / 2, plot.bottom() + 4, w, line), Qt::AlignCenter, b.label);
            out.labelled.push_back(i);
        }
    }
    p.setPen(ui::kWindowText);
    p.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
    p.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());
    return out;
}

int barAt(const EnergyPicture& picture, QPoint at)
{
    for (std::size_t i = 0; i < picture.barSlots.size(); ++i) {
        if (picture.barSlots[i].contains(at))
            return int(i);
    }
    return -1;
}

} // namespace season
