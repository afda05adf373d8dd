#include "curve/referencedialog.h"

#include "core/numbers.h"
#include "core/windunits.h"
#include "ui/messagebox.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QTableWidget>
#include <QVBoxLayout>

namespace curve {
namespace {

constexpr int kRows = 25;

} // namespace

ReferenceDialog::ReferenceDialog(const QString& units, const std::optional<RefCurve>& current,
                                 QWidget* parent)
    : QDialog(parent)
    , m_units(new QLineEdit(current ? current->units : units, this))
    , m_points(new QTableWidget(kRows, 2, this))
{
    setObjectName(QStringLiteral("ReferenceDialog"));
    setWindowTitle(QStringLiteral("Enter the maker's curve"));
    m_units->setObjectName(QStringLiteral("RefUnits"));
    m_points->setObjectName(QStringLiteral("RefPoints"));
    m_points->setHorizontalHeaderLabels({QStringLiteral("Wind"), QStringLiteral("Watts")});
    m_points->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    if (current) {
        const QLocale c = QLocale::c();
        for (int r = 0; r < int(current->points.size()) && r < kRows; ++r) {
            const RefPoint& p = current->points[std::size_t(r)];
            m_points->setItem(r, 0, new QTableWidgetItem(core::numberText(p.wind, c)));
            m_points->setItem(r, 1, new QTableWidgetItem(core::numberText(p.watts, c)));
        }
    }
    auto* form = new QFormLayout();
    form->addRow(QStringLiteral("Wind unit"), m_units);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_points);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ReferenceDialog::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::optional<RefCurve> ReferenceDialog::read(QString* problem) const
{
    RefCurve out;
    out.units = m_units->text().trimmed();
    if (out.units.isEmpty()) {
        *problem = QStringLiteral("Give the unit of the winds (m/s, km/h, mph, knots...).");
        return std::nullopt;
    }
    const QLocale c = QLocale::c();
    for (int r = 0; r < kRows; ++r) {
        const QString wind =
            m_points->item(r, 0) ? m_points->item(r, 0)->text().trimmed() : QString();
        const QString watts =
            m_points->item(r, 1) ? m_points->item(r, 1)->text().trimmed() : QString();
        if (wind.isEmpty() && watts.isEmpty())
            continue;
        const auto v = core::numericValue(wind, c);
        const auto w = core::numericValue(watts, c);
        if (!v || !w) {
            *problem = QStringLiteral("Row %1 is not a wind and watts in numbers (with a point).")
                           .arg(r + 1);
            return std::nullopt;
        }
        out.points.push_back({*v, *w});
    }
    if (const auto why = pointsProblem(out.points)) {
        *problem = QStringLiteral("The curve cannot be used: %1.").arg(*why);
        return std::nullopt;
    }
    return out;
}

void ReferenceDialog::tryAccept()
{
    QString problem;
    m_curve = read(&problem);
    if (!m_curve) {
        ui::showMessage(this, problem);
        return;
    }
    accept();
}

} // namespace curve
