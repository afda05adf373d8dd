#pragma once

#include "season/energybars.h"
#include "season/ticks.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <vector>

namespace season {

// The energy bars as drawn: the picture, each bar's slot (logical pixels, for the pointer) and
// which bars have their label under them.
struct EnergyPicture
{
    QImage image;
    std::vector<QRect> barSlots;
    std::vector<std::size_t> labelled;
    EnergyUnit unit;
    Ticks ticks; // in the unit
};

// The bars at `size` logical pixels, `ratio` device pixels each, in `font`'s family: a value
// axis at round marks in kWh (Wh under 1 kWh), every label whole (every second, third... when
// they cannot all stand side by side), bars without ledger lines shaded "no data" instead of
// drawn as 0, and partial ones hatched, with a key to both.
EnergyPicture makeEnergyPicture(const EnergyBars& bars, QSize size, qreal ratio, QFont font);

// The bar whose slot holds the logical point, or -1.
int barAt(const EnergyPicture& picture, QPoint at);

inline const QColor kEnergyBar{255, 210, 60};

} // namespace season
