#include "season/season.h"

#include "config/configfiles.h"
#include "core/files.h"
#include "history/graph.h"
#include "history/historyfacts.h"
#include "season/seasoncontrols.h"
#include "season/seasoncsv.h"
#include "season/summarycache.h"
#include "season/viewjobs.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

namespace season {
namespace {

// Stands where a view will show while its data is read.
const QString kReading = QStringLiteral("Reading the logs…");

// The window's kinds of work: each newer ask supersedes the older of its kind.
enum Lane : int
{
    kEnergyLane,
    kRunLane,
    kPictureLane,
    kLanes
};

} // namespace

Season::Season(const core::AppDir& app, const core::Clock& clock, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
    , m_clock(clock)
    , m_run(std::make_shared<const DayRun>())
    , m_jobs(std::make_unique<ViewJobs>(kLanes))
{
    setObjectName(QStringLiteral("Season"));
    setWindowTitle(QStringLiteral("Season"));
    ui::applyWindowLook(this);
    setSizeGripEnabled(true);
    m_look.windUnit = config::ReadProgramConfig(m_app).WSUnits.trimmed();
    buildControls();
    const QDate today = m_clock.now().date();
    m_year->setText(QString::number(today.year()));
    m_month->setText(QString::number(today.month()));
    ui::makeKeyboardFriendly(this);
    applyView(readSeasonView(m_app));
}

Season::~Season() = default;

void Season::buildControls()
{
    auto* grid = new QGridLayout(this);
    const int columns = addSeasonControls(this, grid);
    auto box = [this](const char* name) {
        return findChild<QLineEdit*>(QLatin1String(name));
    };
    m_year = box("Year");
    m_month = box("Month");
    m_from = box("From");
    m_to = box("To");
    for (const auto& [label, buddy] : {std::pair("YearLabel", m_year),
                                       {"MonthLabel", m_month},
                                       {"FromLabel", m_from},
                                       {"ToLabel", m_to}})
        findChild<QLabel*>(QLatin1String(label))->setBuddy(buddy);
    m_span = new QComboBox(this);
    m_span->setObjectName(QStringLiteral("Span"));
    m_span->addItems({QStringLiteral("Days of the month"), QStringLiteral("Months of the year"),
                      QStringLiteral("All years")});
    m_span->setAccessibleName(QStringLiteral("Energy bars"));
    ui::paintBox(m_span, QPalette::Button, QPalette::ButtonText);
    grid->addWidget(m_span, 0, 4);

    m_views = new QTabWidget(this);
    m_views->setObjectName(QStringLiteral("Views"));
    // No pane frame: the pages stand on the window's ground like the rest of it.
    m_views->setDocumentMode(true);
    // Season's own pages in the order of SeasonTab; another view joins with addView.
    struct OwnPage
    {
        const char* title;
        QWidget* (Season::*build)();
    };
    for (const OwnPage& page :
         {OwnPage{"Energy", &Season::buildEnergyPage}, OwnPage{"Days", &Season::buildDaysPage}})
        m_views->addTab((this->*page.build)(), QString::fromLatin1(page.title));
    grid->addWidget(m_views, 3, 0, 1, columns);
    grid->setRowStretch(3, 1);
    // A readout belongs to the view it was read from.
    connect(m_views, &QTabWidget::currentChanged, this, [this] {
        m_barText->clear();
        if (m_daysText->text() != kReading)
            m_daysText->clear();
    });

    auto button = [this](const char* name) {
        return findChild<QPushButton*>(QLatin1String(name));
    };
    connect(button("ShowEnergy"), &QPushButton::clicked, this, &Season::showEnergy);
    connect(button("Previous"), &QPushButton::clicked, this, [this] { stepEnergy(-1); });
    connect(button("Next"), &QPushButton::clicked, this, [this] { stepEnergy(1); });
    connect(m_span, &QComboBox::currentIndexChanged, this, &Season::showEnergy);
    connect(button("ShowDays"), &QPushButton::clicked, this, [this] {
        m_daysChoice = m_from->text().trimmed() + QStringLiteral("..") + m_to->text().trimmed();
        showDays();
    });
    connect(button("SaveCsv"), &QPushButton::clicked, this, &Season::saveCsv);
    connect(button("Exit"), &QPushButton::clicked, this, &QWidget::close);
    const QDate today = m_clock.now().date();
    connect(button("Last7"), &QPushButton::clicked, this,
            [this, today] { setRun(today.addDays(-6), today, QStringLiteral("7")); });
    connect(button("Last30"), &QPushButton::clicked, this,
            [this, today] { setRun(today.addDays(-29), today, QStringLiteral("30")); });
    connect(button("ThisYear"), &QPushButton::clicked, this,
            [this, today] { setRun(QDate(today.year(), 1, 1), today, QStringLiteral("year")); });
}

void Season::addView(QWidget* view, const QString& title)
{
    if (m_views->addTab(view, title) == m_restoreTab)
        m_views->setCurrentIndex(m_restoreTab);
}

void Season::stepEnergy(int by)
{
    const int year = m_year->text().toInt();
    const int month = m_month->text().toInt();
    switch (EnergySpan(m_span->currentIndex())) {
    case EnergySpan::Month: {
        const QDate first = QDate(year, month, 1);
        if (!first.isValid())
            return;
        const QDate stepped = first.addMonths(by);
        m_year->setText(QString::number(stepped.year()));
        m_month->setText(QString::number(stepped.month()));
        break;
    }
    case EnergySpan::Year:
        m_year->setText(QString::number(year + by));
        break;
    case EnergySpan::AllYears:
        return;
    }
    showEnergy();
}

void Season::showEnergy()
{
    m_energyText->setText(kReading);
    m_barText->clear();
    m_views->setCurrentIndex(kEnergyTab);
    m_jobs->start(
        kEnergyLane,
        [app = m_app, span = EnergySpan(m_span->currentIndex()), year = m_year->text().toInt(),
         month = m_month->text().toInt(), now = m_clock.now()](const CancelFlag&) {
            EnergyBars bars = energyBars(readLedger(app), span, year, month);
            markCompleteness(bars, readCompleteness(app), programIntervalSeconds(app), now);
            return bars;
        },
        [this](EnergyBars bars) {
            m_bars = std::move(bars);
            drawEnergy();
            m_energyText->setText(QStringLiteral("Total %1 kWh").arg(m_bars.totalKWh, 0, 'f', 2) +
                                  (m_bars.bestDay.isValid()
                                       ? QStringLiteral(", best day %1 (%2 kWh)")
                                             .arg(m_bars.bestDay.toString(Qt::ISODate))
                                             .arg(m_bars.bestDayKWh, 0, 'f', 2)
                                       : QString()));
            emit energyShown();
        });
}

void Season::drawEnergy()
{
    // A few dozen bars: drawn here, at once.
    m_energy = makeEnergyPicture(m_bars, m_energyPlot->size(), devicePixelRatioF(), font());
    m_energyPlot->setPixmap(QPixmap::fromImage(m_energy.image));
}

void Season::showBarReadout(const QPoint& at)
{
    const int i = barAt(m_energy, at);
    if (i < 0 || std::size_t(i) >= m_bars.bars.size())
        return m_barText->clear();
    const EnergyBar& b = m_bars.bars[std::size_t(i)];
    QString text = b.isoPeriod + QStringLiteral(": ");
    if (b.noData())
        text += QStringLiteral("no data");
    else
        text += QStringLiteral("%1 kWh").arg(b.kWh, 0, 'f', 2);
    if (b.partial())
        text += QStringLiteral(" (partial: %1 of %2 days)").arg(b.dataDays).arg(b.calendarDays);
    if (b.seen.minutes > 0)
        text += QStringLiteral("; seen %1 % of minutes, records %2 % of intervals")
                    .arg(std::floor(b.seen.freshShare * 100))
                    .arg(std::floor(b.seen.recordShare * 100));
    m_barText->setText(text);
}

void Season::setRun(QDate from, QDate to, const QString& choice)
{
    m_daysChoice = choice;
    m_from->setText(from.toString(Qt::ISODate));
    m_to->setText(to.toString(Qt::ISODate));
    showDays();
}

void Season::showDays()
{
    const QDate from = QDate::fromString(m_from->text().trimmed(), Qt::ISODate);
    const QDate to = QDate::fromString(m_to->text().trimmed(), Qt::ISODate);
    if (!from.isValid() || !to.isValid() || from > to || from.daysTo(to) >= 366) {
        ui::showMessage(this, QStringLiteral("From and To must be dates (2024-03-07), at most 366 "
                                             "days apart"));
        return;
    }
    const SummarySource source{m_app, summaryCacheDir(m_app), m_clock.now().date()};
    m_views->setCurrentIndex(kDaysTab);
    m_daysText->setText(kReading);
    // A picture still being made is of the run this one replaces.
    m_jobs->cancel(kPictureLane);
    m_jobs->start(
        kRunLane,
        [source, from, to](const CancelFlag& cancel) {
            return std::make_shared<const DayRun>(
                DayRun{from, runSummaries(source, from, to, &cancel)});
        },
        [this](std::shared_ptr<const DayRun> run) {
            m_run = std::move(run);
            m_view = {0, double(m_run->bucketCount())};
            m_days.columns.clear();
            m_daysText->clear();
            drawDays();
        });
}

void Season::drawDays()
{
    // A run on its way draws itself at the plot's size when it comes.
    if (m_jobs->busy(kRunLane))
        return;
    const qreal ratio = devicePixelRatioF();
    m_jobs->start(
        kPictureLane,
        [run = m_run, view = m_view, look = m_look, size = m_plot->size() * ratio,
         ratio](const CancelFlag&) { return makeDaysPicture(*run, view, look, size, ratio); },
        [this](DaysPicture made) {
            m_days = std::move(made);
            m_plot->setPixmap(QPixmap::fromImage(m_days.image));
            emit daysShown();
        });
}

const Column* Season::columnAt(const QPointF& position) const
{
    const int x = int(position.x() * devicePixelRatioF()) - m_days.left;
    if (x < 0 || x >= int(m_days.columns.size()))
        return nullptr;
    return &m_days.columns[std::size_t(x)];
}

void Season::showReadout(const Column& c)
{
    m_daysText->setText(columnReadout(*m_run, c, m_look));
}

bool Season::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == m_plot && !m_run->days.empty())
            drawDays();
        if (watched == m_energyPlot && !m_bars.bars.empty())
            drawEnergy();
    }
    if (watched == m_energyPlot && event->type() == QEvent::MouseMove)
        showBarReadout(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (watched == m_energyPlot && event->type() == QEvent::Leave)
        m_barText->clear();
    if (watched == m_plot && !m_days.columns.empty())
        daysMouse(event);
    return QDialog::eventFilter(watched, event);
}

void Season::daysMouse(QEvent* event)
{
    const auto* mouse = dynamic_cast<QMouseEvent*>(event);
    const Column* c = mouse ? columnAt(mouse->position()) : nullptr;
    if (c && event->type() == QEvent::MouseMove)
        showReadout(*c);
    if (c && event->type() == QEvent::MouseButtonDblClick)
        openDay(columnDay(*m_run, *c));
    // A drag to the right zooms into the columns between press and release.
    if (c && event->type() == QEvent::MouseButtonPress)
        m_pressBucket = c->firstBucket;
    if (c && event->type() == QEvent::MouseButtonRelease && c->endBucket > m_pressBucket + 1 &&
        m_pressBucket >= 0) {
        m_view = {m_pressBucket, c->endBucket};
        m_pressBucket = -1;
        drawDays();
    }
}

void Season::openDay(QDate date)
{
    history::Graph graph(m_history, m_app, m_clock, 758, this);
    graph.showDay(date);
    graph.exec();
}

void Season::saveCsv()
{
    const bool energy = m_views->currentIndex() == kEnergyTab;
    const QString path = ui::askSaveFile(this, QStringLiteral("Save CSV"),
                                         m_app.path(QStringLiteral("logs/season.csv")),
                                         QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    const QByteArray text = energy ? barsCsv(m_bars) : columnsCsv(*m_run, m_days.columns);
    if (!core::replaceFile(path, text, &error))
        ui::showMessage(this, QStringLiteral("Cannot write %1: %2").arg(path, error));
}

} // namespace season
