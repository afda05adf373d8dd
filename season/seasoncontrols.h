#pragma once

#include "season/columns.h"
#include "season/dayspicture.h"

#include <QString>

class QGridLayout;
class QLabel;
class QWidget;

namespace season {

// The controls above Season's tabs, built from their table into the grid's first rows; the
// number of columns they take.
int addSeasonControls(QWidget* parent, QGridLayout* grid);

// A readout line that holds two lines of text and never asks for more room, however long its
// text: the window's size is never the readout's doing.
QLabel* makeReadout(QWidget* parent, const char* name);

// The readout of a column of the Days view: its time and each shown series' lowest and highest,
// with units.
QString columnReadout(const DayRun& run, const Column& column, const DaysLook& look);

} // namespace season
