#include "season/batteryview.h"

#include "core/files.h"
#include "core/numbers.h"
#include "season/viewjobs.h"
#include "ui/messagebox.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace season {
namespace {

QString point(double v)
{
    return core::numberText(core::roundTo(v, 2), QLocale::c());
}

} // namespace

BatteryView::BatteryView(const core::AppDir& app, QDate today, double fullVolts, QWidget* parent)
    : QWidget(parent)
    , m_app(app)
    , m_today(today)
    , m_fullVolts(fullVolts)
    , m_summary(new QLabel(QStringLiteral("Reading the logs…"), this))
    , m_table(new QTableWidget(this))
    , m_jobs(std::make_unique<ViewJobs>(1))
{
    setObjectName(QStringLiteral("BatteryView"));
    m_summary->setObjectName(QStringLiteral("BatterySummary"));
    m_summary->setWordWrap(true);
    m_table->setObjectName(QStringLiteral("BatteryDays"));
    auto* save = new QPushButton(QStringLiteral("Save CSV"), this);
    save->setObjectName(QStringLiteral("BatterySaveCsv"));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(save);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &BatteryView::saveCsv);
    refresh();
}

BatteryView::~BatteryView() = default;

QString BatteryView::summary() const
{
    return m_summary->text();
}

void BatteryView::refresh()
{
    const SummarySource source{m_app, summaryCacheDir(m_app), m_today};
    const QDate first = m_today.addDays(1 - kBatteryViewDays);
    m_jobs->start(
        0,
        [source, first, today = m_today, full = m_fullVolts](const CancelFlag& cancel) {
            return readBatteryDays(source, first, today, full, &cancel);
        },
        [this](const std::vector<BatteryDay>& days) { showDays(days); });
}

void BatteryView::showDays(const std::vector<BatteryDay>& days)
{
    m_days = days;
    m_summary->setText(batterySummary(days, m_today, m_fullVolts));
    m_table->clear();
    m_table->setColumnCount(9);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Day"), QStringLiteral("Lowest V"), QStringLiteral("at"),
         QStringLiteral("Highest V"), QStringLiteral("at"), QStringLiteral("Charge Ah"),
         QStringLiteral("Charge Wh"), QStringLiteral("Load hours"), QStringLiteral("Full")});
    m_table->setRowCount(int(days.size()));
    // Newest first: the owner asks about last night before last month.
    for (int r = 0; r < int(days.size()); ++r) {
        const BatteryDay& d = days[days.size() - 1 - std::size_t(r)];
        const QString cells[] = {
            d.date.toString(Qt::ISODate),
            d.logged ? point(d.lowVolts) : QString(),
            d.logged ? d.lowAt.toString(QStringLiteral("HH:mm")) : QString(),
            d.logged ? point(d.highVolts) : QString(),
            d.logged ? d.highAt.toString(QStringLiteral("HH:mm")) : QString(),
            d.chargeAh ? point(*d.chargeAh) : QString(),
            point(d.chargeWh),
            d.loadHours ? point(*d.loadHours) : QString(),
            d.logged ? (d.reachedFull ? QStringLiteral("yes") : QStringLiteral("no")) : QString()};
        for (int c = 0; c < 9; ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    emit daysShown();
}

void BatteryView::saveCsv()
{
    const QString path = ui::askSaveFile(
        this, QStringLiteral("Save CSV"),
        m_app.logsDir() + QStringLiteral("battery-%1.csv").arg(m_today.toString(Qt::ISODate)),
        QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    if (!core::replaceFile(path, csv()))
        ui::showMessage(this, QStringLiteral("The CSV file could not be written."));
}

} // namespace season
