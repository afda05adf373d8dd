#include "monitor/meterface.h"

#include "core/numbers.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace monitor {
namespace {

constexpr double kDegree = 0.0174532925199433;
constexpr double kAngleRange = 30; // units of 6 degrees from left over the top to right

const QColor kDial{246, 242, 228};
const QColor kDialEdge{214, 207, 186};
const QColor kInk{44, 44, 52};
const QColor kBezel{92, 96, 92};
const QColor kHub{70, 70, 76};

// The point at distance r from the centre for a position g on the 0 to 30 scale.
QPointF onScale(const NeedleGeometry& geo, double g, double r)
{
    const double a = (270 - 6 * g) * kDegree;
    return {std::sin(a) * r + geo.centreX, std::cos(a) * r + geo.centreY};
}

QString scaleNumber(double value)
{
    return QString::number(value, 'g', 6);
}

// Ticks just inside the arc: minor every 2.5 %, longer every 12.5 %, major with numbers every 25 %.
void drawTicks(QPainter& p, const NeedleGeometry& geo, double arcRadius, QSize size,
               double fullScale)
{
    QFont numbers(QStringLiteral("Arial"));
    numbers.setPixelSize(std::max(8, size.height() / 11));
    numbers.setBold(true);
    p.setFont(numbers);
    const QFontMetricsF fm(numbers);
    for (int k = 0; k <= 40; ++k) {
        const double g = kAngleRange * k / 40;
        const bool major = k % 10 == 0;
        const double length = major ? 8 : (k % 5 == 0 ? 5.5 : 3);
        p.setPen(QPen(kInk, major ? 1.8 : 1));
        p.drawLine(onScale(geo, g, arcRadius), onScale(geo, g, arcRadius - length));
        if (major) {
            const QString text = scaleNumber(fullScale * k / 40);
            const QPointF at = onScale(geo, g, arcRadius - 15);
            QRectF box(0, 0, fm.horizontalAdvance(text) + 2, fm.height());
            box.moveCenter(at);
            // Keep the end numbers inside the dial.
            box.moveLeft(std::clamp(box.left(), 4.0, size.width() - 4.0 - box.width()));
            p.drawText(box, Qt::AlignCenter, text);
        }
    }
}

} // namespace

NeedleGeometry needleGeometry(QSize face)
{
    NeedleGeometry geo;
    geo.centreX = core::toInt16(face.width() / 2.0);
    geo.centreY = core::toInt16(face.height() - 12.0);
    geo.radius = static_cast<float>(std::min(geo.centreX, geo.centreY) - 5);
    geo.inner = core::toInt16(geo.radius * 0.1);
    return geo;
}

QPointF needleTip(const NeedleGeometry& geometry, double value, double fullScale)
{
    const double v = std::clamp(value, 0.0, fullScale);
    // The scale's general form, from (lowest value, lowest position) to (full scale, highest
    // position); both lows are 0 on these meters, and are kept so a scale not starting at 0
    // changes only them.
    const double g = (kAngleRange - 0) / (fullScale - 0) * v + 0;
    return onScale(geometry, g, geometry.radius - geometry.inner);
}

QImage meterFace(QSize size, double fullScale, const QString& name, double devicePixelRatio)
{
    // Drawn with the screen's pixels, in the layout's coordinates.
    QImage image(size * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Bezel and dial.
    const QRect face(QPoint(0, 0), size);
    p.fillRect(face, kBezel);
    QLinearGradient shade(0, 0, 0, size.height());
    shade.setColorAt(0, kDial);
    shade.setColorAt(1, kDialEdge);
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(face).adjusted(2, 2, -2, -2), 5, 5);

    const NeedleGeometry geo = needleGeometry(size);
    const double tipRadius = geo.radius - geo.inner;
    const QPointF centre(geo.centreX, geo.centreY);

    // The scale arc just outside the needle's reach, with a coloured band at its top end.
    const double arcRadius = tipRadius + 3;
    const QRectF arcBox(centre.x() - arcRadius, centre.y() - arcRadius, 2 * arcRadius,
                        2 * arcRadius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(196, 64, 48), 3, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(arcBox, 0, 30 * 16); // the last sixth of the scale
    p.setPen(QPen(kInk, 1.2));
    p.drawArc(arcBox, 0, 180 * 16);

    drawTicks(p, geo, arcRadius, size, fullScale);

    // The quantity's name, under the top of the scale.
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(std::max(9, size.height() / 8));
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(title);
    p.setPen(QColor(120, 40, 36));
    const double titleY = centre.y() - tipRadius * 0.42;
    p.drawText(QRectF(0, titleY - 8, size.width(), 16), Qt::AlignCenter, name);

    // The hub at the bottom centre.
    QRadialGradient hub(centre - QPointF(1.5, 1.5), 7);
    hub.setColorAt(0, QColor(160, 160, 166));
    hub.setColorAt(1, kHub);
    p.setPen(QPen(QColor(40, 40, 46), 1));
    p.setBrush(hub);
    p.drawEllipse(centre, 6.5, 6.5);
    return image;
}

QImage faceWithNeedle(const QImage& face, double value, double fullScale)
{
    QImage image = face;
    // The needle's geometry is the layout's, whatever the screen's pixels.
    const NeedleGeometry geo = needleGeometry(face.deviceIndependentSize().toSize());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(geo.centreX, geo.centreY), needleTip(geo, value, fullScale));
    return image;
}

} // namespace monitor
