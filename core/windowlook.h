#pragma once

#include <QColor>

class QWidget;

namespace core {

// Every window of the program: dark green ground, bright green text.
inline const QColor kWindowGround{0, 64, 0};
inline const QColor kWindowText{0, 255, 0};

void applyWindowLook(QWidget* window);

} // namespace core
