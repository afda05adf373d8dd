#pragma once

#include "core/quantities.h"
#include "history/graphlayout.h"

#include <QString>
#include <utility>
#include <vector>

class QAbstractItemModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QWidget;

namespace history {

// The object name a control is known by. The per-series ones come from the quantity table:
// "vv" (readout), "VMax1", "VMin1" and "Check1" for volts, numbered in the table's order.
QString graphControlName(GraphControlId id);

// The controls the history window works with, each filled by its row of the control table.
struct GraphControls
{
    core::PerQuantity<QLabel*> Readout{};
    core::PerQuantity<QLabel*> Max{};
    core::PerQuantity<QLabel*> Min{};
    core::PerQuantity<QCheckBox*> SeriesBox{};
    QLabel* vt = nullptr;
    QLabel* stime = nullptr;
    QLabel* ftime = nullptr;
    QLabel* Plot = nullptr;
    QCheckBox* RefVBox = nullptr;
    QTableView* ListView1 = nullptr;
    QLineEdit* DateY1 = nullptr;
    QLineEdit* DateM1 = nullptr;
    QLineEdit* DateD1 = nullptr;
    QLineEdit* Time1h = nullptr;
    QLineEdit* Time1m = nullptr;
    QLineEdit* Time2h = nullptr;
    QLineEdit* Time2m = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* SaveCsv = nullptr; // the view's records to a CSV file
    // "Date", "From" and "To", which name the boxes after them.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    // Every control built, bound or not, with what it is, so the window can place them again.
    std::vector<std::pair<QWidget*, GraphControlId>> all;
};

// Builds every control of the history window from its table, in the window's creation order,
// each at its place for the client width (pixels) and with its design caption and colours; the
// record list shows listModel. Nothing is connected yet.
GraphControls buildGraphControls(QWidget* window, int width, QAbstractItemModel* listModel);

} // namespace history
