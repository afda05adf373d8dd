#include "programsetup.h"

#include "windowlook.h"

namespace config {

ProgramSetup::ProgramSetup(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("ProgramSetup"));
    setWindowTitle(QStringLiteral(" Setup"));
    setFixedSize(270, 204);
    core::applyWindowLook(this);
}

} // namespace config
