#include "calibrate.h"

#include "windowlook.h"

namespace calibration {

Calibrate::Calibrate(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("Calibrate"));
    setWindowTitle(QStringLiteral("Calibrate"));
    setFixedSize(362, 308);
    core::applyWindowLook(this);
}

} // namespace calibration
