#pragma once

#include "curve/refcurve.h"

#include <QDialog>
#include <optional>

class QLineEdit;
class QTableWidget;

namespace curve {

// "Enter the maker's curve": a small table of wind and watts in a unit WSUnits allows. Accepted
// only when the points make a reference (winds rising, watts not negative, at least 3 points);
// otherwise the reason is shown and the dialog stays.
class ReferenceDialog : public QDialog
{
    Q_OBJECT
public:
    ReferenceDialog(const QString& units, const std::optional<RefCurve>& current,
                    QWidget* parent = nullptr);

    // The curve as entered, once accepted.
    const std::optional<RefCurve>& curve() const { return m_curve; }
    // Takes the table as it stands: the curve, or why not (the text shown).
    std::optional<RefCurve> read(QString* problem) const;

private:
    void tryAccept();

    QLineEdit* m_units = nullptr;
    QTableWidget* m_points = nullptr;
    std::optional<RefCurve> m_curve;
};

} // namespace curve
