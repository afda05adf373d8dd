#pragma once

#include "core/quantities.h"

#include <QColor>
#include <QPalette>
#include <QRect>
#include <cmath>

class QFont;
class QWidget;

namespace ui {

// Every window of the program: dark green ground, bright green text.
inline const QColor kWindowGround{0, 64, 0};
inline const QColor kWindowText{0, 255, 0};

inline QColor toColour(const core::Rgb& c)
{
    return QColor(c.r, c.g, c.b);
}

void applyWindowLook(QWidget* window);

// The bright green of the settings windows' boxes and buttons, with black text, in the palette
// roles the control paints with (Base and Text for an entry box, Button and ButtonText for a
// button).
inline const QColor kBoxGround{0, 255, 0};
void paintBox(QWidget* w, QPalette::ColorRole ground, QPalette::ColorRole text);

// The windows were laid out in twips, 15 to a pixel; positions round to the nearest pixel.
inline constexpr int kTwipsPerPixel = 15;
inline int twipsToPixels(double twips)
{
    return int(std::lround(twips / kTwipsPerPixel));
}
inline QRect twipsToPixels(const QRect& twips)
{
    return QRect(twipsToPixels(twips.x()), twipsToPixels(twips.y()), twipsToPixels(twips.width()),
                 twipsToPixels(twips.height()));
}

// The windows name Arial and MS Sans Serif; where those are not installed, the metric-compatible
// Liberation Sans stands in, so captions fill their labels as laid out.
void installFontSubstitutes();

// A font of the layout: the family and size the windows were designed with, in pixels at the
// design's 96 dots per inch, so neither a desktop font nor a theme can make a caption outgrow
// its control; screen scaling still scales it with the layout.
struct FontSpec
{
    const char* family;
    double points;
    bool bold = false;
};
inline constexpr FontSpec kDefaultFont{"MS Sans Serif", 8};
QFont layoutFont(const FontSpec& design);

// Keyboard use of a window: Enter or Return presses a focused button (Space already does), and
// the control that has the focus gets a frame in the warning colour that no background hides.
void makeKeyboardFriendly(QWidget* window);

} // namespace ui
