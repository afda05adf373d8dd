// Season's pages, Energy and Days, and the view it keeps in view.cfg between openings.
#include "history/historyfacts.h"
#include "season/season.h"
#include "season/seasoncontrols.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

namespace season {
namespace {

// A plot that takes the room it is given and never asks for more, whatever picture it shows.
QLabel* makePlot(QWidget* parent, const char* name)
{
    auto* plot = new QLabel(parent);
    plot->setObjectName(QString::fromLatin1(name));
    plot->setMinimumSize(200, 100);
    plot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    plot->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    plot->setMouseTracking(true);
    return plot;
}

// A tab's page on the window's ground, so every text of it keeps the window's contrast.
QWidget* makePage(QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setAutoFillBackground(true);
    QPalette pal = page->palette();
    pal.setColor(QPalette::Window, ui::kWindowGround);
    pal.setColor(QPalette::WindowText, ui::kWindowText);
    page->setPalette(pal);
    return page;
}

} // namespace

QWidget* Season::buildEnergyPage()
{
    auto* page = makePage(m_views);
    auto* column = new QVBoxLayout(page);
    m_energyPlot = makePlot(page, "EnergyPlot");
    m_energyPlot->installEventFilter(this);
    m_energyText = makeReadout(page, "EnergyText");
    m_barText = makeReadout(page, "BarText");
    m_energyText->setFixedHeight(m_energyText->fontMetrics().lineSpacing() + 4);
    column->addWidget(m_energyPlot, 1);
    column->addWidget(m_barText);
    column->addWidget(m_energyText);
    return page;
}

QWidget* Season::buildDaysPage()
{
    auto* page = makePage(m_views);
    auto* column = new QVBoxLayout(page);
    m_plot = makePlot(page, "DaysPlot");
    m_plot->installEventFilter(this);
    column->addWidget(m_plot, 1);
    // The series toggles, each in its series' colour, where they act: on this page alone.
    auto* row = new QHBoxLayout;
    for (std::size_t k = 0; k < kSeries; ++k) {
        const history::HistoryFacts& q = history::historyFacts(core::kLogged[k]);
        auto* box = new QCheckBox(QString::fromLatin1(q.checkCaption), page);
        box->setObjectName(QStringLiteral("Show") + QString::fromLatin1(q.checkCaption));
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, ui::toColour(q.checkGround));
        box->setPalette(pal);
        connect(box, &QCheckBox::toggled, this, [this, k](bool on) {
            m_look.shown[k] = on;
            if (!m_run->days.empty())
                drawDays();
        });
        m_seriesBoxes[k] = box;
        row->addWidget(box);
    }
    m_robust = new QCheckBox(QStringLiteral("Robust scale"), page);
    m_robust->setObjectName(QStringLiteral("RobustScale"));
    m_robust->setToolTip(QStringLiteral("Each panel from the 0.1 to the 99.9 percentile; values "
                                        "beyond are marked at its edge"));
    connect(m_robust, &QCheckBox::toggled, this, [this](bool on) {
        m_look.robust = on;
        if (!m_run->days.empty())
            drawDays();
    });
    row->addWidget(m_robust);
    row->addStretch(1);
    column->addLayout(row);
    m_daysText = makeReadout(page, "DaysText");
    column->addWidget(m_daysText);
    return page;
}

void Season::applyView(const SeasonView& view)
{
    QSize size = view.size;
    // A size kept on a larger screen (or a second monitor since unplugged) opens within this one.
    if (size != SeasonView{}.size && screen())
        size = size.boundedTo(screen()->availableGeometry().size());
    resize(size);
    for (std::size_t k = 0; k < kSeries; ++k) {
        m_look.shown[k] = view.series[k];
        m_seriesBoxes[k]->setChecked(view.series[k]);
    }
    m_look.robust = view.robust;
    m_robust->setChecked(view.robust);
    const QDate today = m_clock.now().date();
    QDate from = today.addDays(-29);
    QDate to = today;
    if (view.days == QLatin1String("7"))
        from = today.addDays(-6);
    else if (view.days == QLatin1String("year"))
        from = QDate(today.year(), 1, 1);
    else if (view.days != QLatin1String("30")) {
        const QStringList ends = view.days.split(QStringLiteral(".."));
        from = QDate::fromString(ends.value(0), Qt::ISODate);
        to = QDate::fromString(ends.value(1), Qt::ISODate);
    }
    m_daysChoice = view.days;
    m_from->setText(from.toString(Qt::ISODate));
    m_to->setText(to.toString(Qt::ISODate));
    {
        // Setting the box is not a new ask: one reading of the ledger follows.
        const QSignalBlocker quiet(m_span);
        m_span->setCurrentIndex(view.energySpan);
    }
    showEnergy();
    m_restoreTab = view.tab;
    if (view.tab == kDaysTab)
        showDays();
}

void Season::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (event->spontaneous())
        return;
    SeasonView view;
    view.tab = m_views->currentIndex();
    view.energySpan = m_span->currentIndex();
    view.days = m_daysChoice;
    view.series = m_look.shown;
    view.robust = m_look.robust;
    view.size = size();
    // Should it fail the window opens as it did before: nothing the user must act on.
    writeSeasonView(m_app, view);
}

} // namespace season
