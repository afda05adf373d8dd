#pragma once

#include <QColor>

class QWidget;

namespace core {

// Every window of the program: dark green ground, bright green text.
inline const QColor kWindowGround{0, 64, 0};
inline const QColor kWindowText{0, 255, 0};

void applyWindowLook(QWidget* window);

// The windows name Arial and MS Sans Serif; where those are not installed, the metric-compatible
// Liberation Sans stands in, so captions fill their labels as laid out.
void installFontSubstitutes();

} // namespace core
