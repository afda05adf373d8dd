#pragma once

#include "appdir.h"
#include "clock.h"

#include <QDialog>

namespace history {

// The history window "Data Graph", shown modally over the live window.
class Graph : public QDialog
{
    Q_OBJECT
public:
    // width: the client width of the build's window in pixels.
    Graph(const core::AppDir& app, const core::Clock& clock, int width, QWidget* parent);

private:
    core::AppDir m_app;
    core::Clock m_clock;
};

} // namespace history
