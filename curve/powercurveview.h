#pragma once

#include "core/appdir.h"
#include "curve/aep.h"
#include "curve/curvedata.h"

#include <QWidget>
#include <memory>
#include <vector>

class QCheckBox;
class QTableWidget;
class QLabel;

namespace season {
class ViewJobs;
}

namespace curve {

// The measured power curve: the mean of each bin with a band of one standard deviation, the
// minutes per bin on a second axis, the scatter of the recent minutes behind, and the yearly
// energy table. Hosted in any window with one line: new PowerCurveView(app, data, parent).
// The table and the site's figures (which read every day logged) are made off the window's
// thread; the note says "Reading the logs…" until they come.
class PowerCurveView : public QWidget
{
    Q_OBJECT
public:
    PowerCurveView(const core::AppDir& app, CurveData& data, QWidget* parent = nullptr);
    // Drops the figures still being made, waiting at most for the day they are on.
    ~PowerCurveView() override;

    // Draws the chart from the data and asks for the table and figures again, on the loop's next
    // turn: the asks of one turn (a host's right after the constructor's) make one drawing.
    void refresh();
    // The CSV texts (ISO dates, a point as decimal separator): the bins as they are now and the
    // yearly energy table as shown (measured, then with the missing bins filled).
    QByteArray binsCsv() const;
    QByteArray tableCsv() const;
    // The line under the chart, as shown.
    QString note() const;

signals:
    // The table and the note of the last refresh are shown.
    void figuresShown();

private:
    struct Figures;
    void redraw();
    void showFigures(const Figures& figures, const QString& curveNote);
    void saveCsv();
    void startNewCurve();

    core::AppDir m_app;
    CurveData& m_data;
    QWidget* m_chart = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_note = nullptr;
    QCheckBox* m_allWinds = nullptr; // the wind axis to every minute, not only complete bins
    std::vector<AepRow> m_rows;      // as the table shows them
    bool m_redrawAsked = false;
    // Last, so it goes first: no answer comes back to a view half taken down.
    std::unique_ptr<season::ViewJobs> m_jobs;
};

} // namespace curve
