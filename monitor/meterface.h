#pragma once

#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>
#include <cstdint>

namespace monitor {

// Where the needle turns and how long it is, from the face's size.
struct NeedleGeometry
{
    std::int16_t centreX = 0;
    std::int16_t centreY = 0;
    float radius = 0;
    std::int16_t inner = 0;
};

NeedleGeometry needleGeometry(QSize face);

// The needle's tip for value on a scale from 0 to fullScale: 0 points left, half scale up,
// full scale right. A value beyond either end stops at that end, as a needle stops at its peg.
QPointF needleTip(const NeedleGeometry& geometry, double value, double fullScale);

// The meter's face: a light dial with a half-circle scale, ticks, numbers at every quarter of
// the full scale, the quantity's name and the hub. Drawn without pure black, which is the
// needle's alone. Drawn at the screen's device pixel ratio: size is in the layout's pixels.
QImage meterFace(QSize size, double fullScale, const QString& name, double devicePixelRatio = 1.0);

// The face with the needle for value drawn over it: black, 3 pixels wide, not anti-aliased.
QImage faceWithNeedle(const QImage& face, double value, double fullScale);

} // namespace monitor
