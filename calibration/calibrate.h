#pragma once

#include "appdir.h"

#include <QDialog>

namespace calibration {

// The calibration window, shown modally by the main window while the main port is closed.
class Calibrate : public QDialog
{
    Q_OBJECT
public:
    Calibrate(const core::AppDir& app, QWidget* parent);

private:
    core::AppDir m_app;
};

} // namespace calibration
