#include "windowlook.h"

#include <QWidget>

namespace core {

void applyWindowLook(QWidget* window)
{
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, kWindowGround);
    pal.setColor(QPalette::WindowText, kWindowText);
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

} // namespace core
