#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "history/chartgeometry.h"
#include "history/graphcontrols.h"
#include "history/historystore.h"

#include <QDate>
#include <QDialog>
#include <QImage>
#include <QPushButton>
#include <functional>
#include <vector>

namespace history {

class RecordListModel;

// The history window "Data Graph", shown modally over the live window: one day's records for a
// time range as a chart of one series per logged quantity and as a list, with a pointer readout
// and a one-step zoom.
class Graph : public QDialog
{
    Q_OBJECT
public:
    // width: the client width of the build's window in pixels, laid out at its design size, which
    // is also the smallest it can be made. The store belongs to the caller, who keeps it from one
    // opening of the window to the next.
    Graph(HistoryStore& store, const core::AppDir& app, const core::Clock& clock, int width,
          QWidget* parent);

    const HistoryStore& store() const { return m_store; }
    const SeriesFlags& seriesFlags() const { return m_flags; }
    int buttonDown() const { return m_ButtonDown; }
    // The chart as last drawn, at the chart's size times the screen's device pixel ratio, and its
    // width in chart units.
    const QImage& picture() const { return m_picture; }
    double chartWidth() const { return m_chartWidth; }

    // Called before each read of a day: the records held in memory go to their files first.
    void setBeforeDayRead(std::function<void()> before) { m_beforeDayRead = std::move(before); }
    // Display: load the day's records for the range and draw them.
    void Command1_Click();
    // The day typed into the date boxes, then Display.
    void showDay(QDate date);
    void DrawHistoryChart();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The selection line drawn since the last drawing, from one press: how far it reaches either
    // side, so a new picture can show it again.
    struct DrawnSelection
    {
        double from = 0;
        double leftmost = 0;
        double rightmost = 0;
    };

    void connectControls();
    void placeControls();
    // A new picture at the chart's current size and pixel ratio, with the last drawing in it.
    void renewPicture();
    void paintPicture();
    void setUp();
    void Check_Click(core::Quantity series, bool checked);
    void Check6_Click(bool checked);
    void Plot_MouseDown(float x);
    void Plot_MouseMove(float x);
    void Plot_MouseUp(float x);
    float chartX(const QPointF& position) const;
    void showPicture();
    void SaveCsv_Click();

    HistoryStore& m_store;
    core::AppDir m_app;
    core::Clock m_clock;

    SeriesFlags m_flags;
    QString m_WSUnits;
    int m_ButtonDown = 0;
    int m_width = 0;
    QDate m_shownDate; // the day of the records on show
    QImage m_picture;
    double m_chartWidth = 0;
    bool m_chartDrawn = false; // in this opening of the window
    ChartPlan m_plan;          // the last drawing
    std::vector<DrawnSelection> m_selections;

    RecordListModel* m_records = nullptr;
    GraphControls m_ui;
    std::function<void()> m_beforeDayRead;
};

} // namespace history
