#include "graph.h"

#include "windowlook.h"

namespace history {

Graph::Graph(const core::AppDir& app, const core::Clock& clock, int width, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
    , m_clock(clock)
{
    setObjectName(QStringLiteral("Graph"));
    setWindowTitle(QStringLiteral("Data Graph"));
    resize(width, 550);
    core::applyWindowLook(this);
}

} // namespace history
