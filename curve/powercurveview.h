#pragma once

#include "core/appdir.h"
#include "curve/curvedata.h"

#include <QWidget>

class QTableWidget;
class QLabel;

namespace curve {

// The measured power curve: the mean of each bin with a band of one standard deviation, the
// minutes per bin on a second axis, the scatter of the recent minutes behind, and the yearly
// energy table. Hosted in any window with one line: new PowerCurveView(app, data, parent).
class PowerCurveView : public QWidget
{
    Q_OBJECT
public:
    PowerCurveView(const core::AppDir& app, CurveData& data, QWidget* parent = nullptr);

    // Draws the chart and table again from the data.
    void refresh();
    // The CSV texts (ISO dates, a point as decimal separator).
    QByteArray binsCsv() const;
    QByteArray tableCsv() const;
    QString note() const;

private:
    void saveCsv();
    void startNewCurve();

    core::AppDir m_app;
    CurveData& m_data;
    QWidget* m_chart = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_note = nullptr;
};

} // namespace curve
