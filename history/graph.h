#pragma once

#include "appdir.h"
#include "chartgeometry.h"
#include "clock.h"
#include "graphcontrols.h"
#include "historystore.h"

#include <QDialog>
#include <QImage>

namespace history {

class RecordListModel;

// The history window "Data Graph", shown modally over the live window: one day's records for a
// time range as a chart of one series per logged quantity and as a list, with a pointer readout
// and a one-step zoom.
class Graph : public QDialog
{
    Q_OBJECT
public:
    // width: the client width of the build's window in pixels. The store belongs to the caller,
    // who keeps it from one opening of the window to the next.
    Graph(HistoryStore& store, const core::AppDir& app, const core::Clock& clock, int width,
          QWidget* parent);

    const HistoryStore& store() const { return m_store; }
    const SeriesFlags& seriesFlags() const { return m_flags; }
    int buttonDown() const { return m_ButtonDown; }
    // The chart as last drawn, and its width in chart units.
    const QImage& picture() const { return m_picture; }
    double chartWidth() const { return m_chartWidth; }

    // Display: load the day's records for the range and draw them.
    void Command1_Click();
    void DrawHistoryChart();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectControls();
    void setUp();
    void Check_Click(core::Quantity series, bool checked);
    void Check6_Click(bool checked);
    void Plot_MouseDown(float x);
    void Plot_MouseMove(float x);
    void Plot_MouseUp(float x);
    float chartX(const QPointF& position) const;
    void showPicture();

    HistoryStore& m_store;
    core::AppDir m_app;
    core::Clock m_clock;

    SeriesFlags m_flags;
    QString m_WSUnits;
    int m_ButtonDown = 0;
    QImage m_picture;
    double m_chartWidth = 0;
    bool m_chartDrawn = false; // in this opening of the window

    RecordListModel* m_records = nullptr;
    GraphControls m_ui;
};

} // namespace history
