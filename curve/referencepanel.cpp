#include "curve/referencepanel.h"

#include "core/files.h"
#include "core/numbers.h"
#include "curve/aep.h"
#include "curve/referencedialog.h"
#include "curve/shortfall.h"
#include "ui/messagebox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace curve {
namespace {

QString point(double v, int decimals = 1)
{
    return core::numberText(core::roundTo(v, decimals), QLocale::c());
}

void fillRow(QTableWidget* table, int row, const QStringList& cells)
{
    for (int c = 0; c < cells.size(); ++c)
        table->setItem(row, c, new QTableWidgetItem(cells[c]));
}

} // namespace

ReferencePanel::ReferencePanel(const core::AppDir& app, CurveData& data, const core::Clock& clock,
                               QWidget* parent)
    : QWidget(parent)
    , m_app(app)
    , m_data(data)
    , m_clock(clock)
    , m_note(new QLabel(this))
    , m_bins(new QTableWidget(this))
    , m_yearly(new QTableWidget(this))
{
    setObjectName(QStringLiteral("ReferencePanel"));
    m_note->setObjectName(QStringLiteral("ReferenceNote"));
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_bins->setObjectName(QStringLiteral("ReferenceBins"));
    m_yearly->setObjectName(QStringLiteral("ReferenceYearly"));
    auto* makers = new QPushButton(QStringLiteral("Enter the maker's curve"), this);
    auto* measured =
        new QPushButton(QStringLiteral("Use the measured curve as the reference"), this);
    makers->setObjectName(QStringLiteral("EnterMakersCurve"));
    measured->setObjectName(QStringLiteral("UseMeasuredCurve"));
    auto* tables = new QHBoxLayout();
    tables->addWidget(m_bins, 3);
    tables->addWidget(m_yearly, 2);
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(makers);
    buttons->addWidget(measured);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_note);
    layout->addLayout(tables, 1);
    layout->addLayout(buttons);
    connect(makers, &QPushButton::clicked, this, &ReferencePanel::enterMakers);
    connect(measured, &QPushButton::clicked, this, &ReferencePanel::useMeasured);
    refresh();
}

QString ReferencePanel::note() const
{
    return m_note->text();
}

void ReferencePanel::refresh()
{
    const std::optional<RefCurve>& reference = m_data.reference();
    QStringList lines;
    if (!reference) {
        lines << QStringLiteral("No reference curve: enter the maker's curve, or use the measured "
                                "one while the turbine is known to be well.");
    } else {
        lines << QStringLiteral("Reference: %1 points%2, cut-in %3 %4.")
                     .arg(reference->points.size())
                     .arg(reference->frozenOn.isValid()
                              ? QStringLiteral(", the measured curve of %1")
                                    .arg(reference->frozenOn.toString(Qt::ISODate))
                              : QString())
                     .arg(point(reference->cutIn()), m_data.scale().unitName);
        const qint64 now = m_clock.elapsedMs() / 60000;
        for (const int days : {7, 30})
            lines << shortfallText(shortfallOver(m_data.scatter(), *reference, now, days), days);
    }
    if (const QString density = densityText(m_data.altitude()); !density.isEmpty())
        lines << density + QLatin1Char('.');
    lines << heldBackText(m_data.heldBackMinutes()) + QLatin1Char(' ') + m_data.fullVoltsText() +
                 QLatin1Char('.');
    m_note->setText(lines.join(QLatin1Char('\n')));

    const std::vector<Bin> bins = m_data.curve().bins();
    m_bins->clear();
    m_bins->setColumnCount(6);
    m_bins->setHorizontalHeaderLabels({QStringLiteral("Wind (%1)").arg(m_data.scale().unitName),
                                       QStringLiteral("Minutes"), QStringLiteral("Measured W"),
                                       QStringLiteral("Reference W"), QStringLiteral("Ratio %"),
                                       QStringLiteral("Left out (full)")});
    m_bins->setRowCount(int(bins.size()));
    for (int r = 0; r < int(bins.size()); ++r) {
        const Bin& b = bins[std::size_t(r)];
        const double promised = reference ? reference->wattsAt(b.centre) : 0;
        const auto held = m_data.heldBack().find(m_data.curve().binIndex(b.centre));
        fillRow(m_bins, r,
                {point(b.centre, 2), QString::number(b.minutes), point(b.meanWatts),
                 reference ? point(promised) : QString(),
                 promised > 0 ? point(b.meanWatts / promised * 100) : QString(),
                 QString::number(held == m_data.heldBack().end() ? 0 : held->second)});
    }
    m_bins->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_yearly->clear();
    m_yearly->setColumnCount(3);
    m_yearly->setHorizontalHeaderLabels({QStringLiteral("Mean wind (m/s)"),
                                         QStringLiteral("kWh/year"),
                                         QStringLiteral("Reference kWh/year")});
    const WindScale& scale = m_data.scale();
    const std::vector<AepRow> rows =
        scale.known ? aepTable(bins, scale.binWidth) : std::vector<AepRow>();
    const std::vector<AepRow> promised =
        scale.known && reference ? aepTable(reference->asBins(scale.binWidth), scale.binWidth)
                                 : std::vector<AepRow>();
    m_yearly->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const AepRow& row = rows[std::size_t(r)];
        fillRow(
            m_yearly, r,
            {point(row.meanWind), point(row.kWh),
             std::size_t(r) < promised.size() ? point(promised[std::size_t(r)].kWh) : QString()});
    }
}

QByteArray ReferencePanel::binsCsv() const
{
    QByteArray out = "wind,minutes,measured_watts,reference_watts,ratio_percent,left_out_full\r\n";
    for (int r = 0; r < m_bins->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_bins->columnCount(); ++c)
            cells << (m_bins->item(r, c) ? m_bins->item(r, c)->text() : QString());
        out += cells.join(QLatin1Char(',')).toLatin1() + "\r\n";
    }
    return out;
}

bool ReferencePanel::useReference(const RefCurve& reference)
{
    QString problem;
    std::optional<RefCurve> scaled = inScale(reference, m_data.scale(), &problem);
    if (!scaled) {
        ui::showMessage(this, QStringLiteral("The curve cannot be used: %1.").arg(problem));
        return false;
    }
    QString error;
    if (!core::replaceFile(refCurvePath(m_app), refCurveBytes(reference), &error)) {
        ui::showMessage(this, QStringLiteral("refcurve.cfg could not be written: %1").arg(error));
        return false;
    }
    m_data.setReference(std::move(scaled));
    refresh();
    return true;
}

void ReferencePanel::useMeasured()
{
    const std::optional<RefCurve> measured =
        refCurveFromBins(m_data.curve().bins(), m_data.scale(), m_clock.now().date());
    if (!measured) {
        ui::showMessage(this, QStringLiteral("The measured curve has fewer than 3 bins of %1 "
                                             "minutes or more: let it grow first.")
                                  .arg(kRefMinutes));
        return;
    }
    if (!ui::askYesNo(this, QStringLiteral("Use the measured curve as the reference? The turbine "
                                           "will be weighed against what it does now.")))
        return;
    useReference(*measured);
}

void ReferencePanel::enterMakers()
{
    ReferenceDialog dialog(m_data.scale().unitName, m_data.reference(), this);
    if (dialog.exec() == QDialog::Accepted && dialog.curve())
        useReference(*dialog.curve());
}

} // namespace curve
