#include "windowlook.h"

#include <QFont>
#include <QFontDatabase>
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

void installFontSubstitutes()
{
    const QString standIn = QStringLiteral("Liberation Sans");
    if (!QFontDatabase::hasFamily(standIn))
        return;
    for (const QString& family : {QStringLiteral("Arial"), QStringLiteral("MS Sans Serif")}) {
        if (!QFontDatabase::hasFamily(family))
            QFont::insertSubstitution(family, standIn);
    }
}

} // namespace core
