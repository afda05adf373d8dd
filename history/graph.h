#pragma once

#include "appdir.h"
#include "chartgeometry.h"
#include "clock.h"
#include "historystore.h"

#include <QDialog>
#include <QImage>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace history {

class RecordListModel;

// The history window "Data Graph", shown modally over the live window: one day's records for a
// time range as a chart of up to five series and as a list, with a pointer readout and a
// one-step zoom.
class Graph : public QDialog
{
    Q_OBJECT
public:
    // width: the client width of the build's window in pixels. Works on the program's own store,
    // so the records stay from one opening to the next.
    Graph(const core::AppDir& app, const core::Clock& clock, int width, QWidget* parent);
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
    void buildControls(int width);
    void setUp();
    void Check_Click(int index, bool checked);
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

    QLabel* m_vv = nullptr;
    QLabel* m_av = nullptr;
    QLabel* m_wv = nullptr;
    QLabel* m_rv = nullptr;
    QLabel* m_sv = nullptr;
    QLabel* m_vt = nullptr;
    QLabel* m_stime = nullptr;
    QLabel* m_ftime = nullptr;
    QLabel* m_Plot = nullptr;
    // VMax1, VMin1, AMax1, AMin1, WMax1, WMin1, RMax1, RMin1, SMax1, SMin1.
    std::array<QLabel*, 10> m_extremes{};
    std::array<QCheckBox*, 6> m_Check{};
    QTableView* m_ListView1 = nullptr;
    RecordListModel* m_records = nullptr;
    QLineEdit* m_DateY1 = nullptr;
    QLineEdit* m_DateM1 = nullptr;
    QLineEdit* m_DateD1 = nullptr;
    QLineEdit* m_Time1h = nullptr;
    QLineEdit* m_Time1m = nullptr;
    QLineEdit* m_Time2h = nullptr;
    QLineEdit* m_Time2m = nullptr;
    QPushButton* m_Command1 = nullptr;
    QPushButton* m_Command2 = nullptr;
};

} // namespace history
