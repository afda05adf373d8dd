#pragma once

#include "appdir.h"

#include <QDialog>

namespace config {

// The settings window " Setup", shown modally by the main window while its port is closed.
class ProgramSetup : public QDialog
{
    Q_OBJECT
public:
    ProgramSetup(const core::AppDir& app, QWidget* parent);

private:
    core::AppDir m_app;
};

} // namespace config
