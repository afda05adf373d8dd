#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "curve/curvedata.h"

#include <QWidget>

class QLabel;
class QTableWidget;

namespace curve {

// The turbine against its reference: each bin's measured and promised watts and their ratio, the
// minutes left out while the battery was full, the shortfall over the last 7 and 30 days and the
// yearly energy by both curves. "Enter the maker's curve" and "Use the measured curve as the
// reference" write refcurve.cfg and hand the plant the new reference at once. Hosted in any
// window with one line: new ReferencePanel(app, data, clock, parent).
class ReferencePanel : public QWidget
{
    Q_OBJECT
public:
    ReferencePanel(const core::AppDir& app, CurveData& data, const core::Clock& clock,
                   QWidget* parent = nullptr);

    // Shows the data as it is now (a few tens of thousands of minutes: quick).
    void refresh();
    // The lines above the table, as shown.
    QString note() const;
    // The CSV of the bins table (a point as separator): wind, minutes, measured and reference
    // watts, ratio in per cent, minutes left out.
    QByteArray binsCsv() const;
    // Writes refcurve.cfg and gives the plant the curve; false (and said) when it cannot be used.
    bool useReference(const RefCurve& reference);
    // "Use the measured curve as the reference": the bins with at least kRefMinutes, frozen today.
    void useMeasured();

private:
    void enterMakers();

    core::AppDir m_app;
    CurveData& m_data;
    core::Clock m_clock;
    QLabel* m_note = nullptr;
    QTableWidget* m_bins = nullptr;
    QTableWidget* m_yearly = nullptr;
};

} // namespace curve
