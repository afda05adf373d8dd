#include "season/season.h"

#include "core/files.h"
#include "history/graph.h"
#include "history/historyfacts.h"
#include "season/seasoncsv.h"
#include "season/summarycache.h"
#include "season/viewjobs.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QValueAxis>

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

enum class Kind
{
    Label,
    TextBox,
    Button
};

// One control of the window: where it stands in the grid above the views.
struct SeasonControl
{
    Kind kind;
    const char* name;
    const char* caption;
    int row;
    int column;
};

constexpr SeasonControl kControls[] = {
    {Kind::Label, "YearLabel", "&Year", 0, 0},
    {Kind::TextBox, "Year", "", 0, 1},
    {Kind::Label, "MonthLabel", "&Month", 0, 2},
    {Kind::TextBox, "Month", "", 0, 3},
    {Kind::Button, "ShowEnergy", "Show energy", 0, 5},
    {Kind::Label, "FromLabel", "&From", 1, 0},
    {Kind::TextBox, "From", "", 1, 1},
    {Kind::Label, "ToLabel", "&To", 1, 2},
    {Kind::TextBox, "To", "", 1, 3},
    {Kind::Button, "ShowDays", "Show days", 1, 5},
    {Kind::Button, "Last7", "Last 7 days", 2, 1},
    {Kind::Button, "Last30", "Last 30 days", 2, 2},
    {Kind::Button, "ThisYear", "This year", 2, 3},
    {Kind::Button, "SaveCsv", "Save CSV", 2, 5},
    {Kind::Button, "Exit", "Exit", 2, 6},
};

QWidget* makeControl(QWidget* parent, const SeasonControl& c)
{
    QWidget* w = nullptr;
    switch (c.kind) {
    case Kind::Label:
        w = new QLabel(QString::fromLatin1(c.caption), parent);
        break;
    case Kind::TextBox:
        w = new QLineEdit(parent);
        ui::paintBox(w, QPalette::Base, QPalette::Text);
        break;
    case Kind::Button:
        w = new QPushButton(QString::fromLatin1(c.caption), parent);
        ui::paintBox(w, QPalette::Button, QPalette::ButtonText);
        static_cast<QPushButton*>(w)->setAutoDefault(false);
        break;
    }
    w->setObjectName(QString::fromLatin1(c.name));
    return w;
}

} // namespace

void Season::addView(QWidget* view, const QString& title)
{
    m_views->addTab(view, title);
}

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
    resize(900, 560);
    buildControls();
    const QDate today = m_clock.now().date();
    m_year->setText(QString::number(today.year()));
    m_month->setText(QString::number(today.month()));
    m_from->setText(today.addDays(-29).toString(Qt::ISODate));
    m_to->setText(today.toString(Qt::ISODate));
    ui::makeKeyboardFriendly(this);
    showEnergy();
}

Season::~Season() = default;

void Season::buildControls()
{
    auto* grid = new QGridLayout(this);
    for (const SeasonControl& c : kControls)
        grid->addWidget(makeControl(this, c), c.row, c.column);
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
    m_chart = new QChartView(m_views);
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_plot = new QLabel(m_views);
    m_plot->setObjectName(QStringLiteral("DaysPlot"));
    m_plot->setMinimumSize(200, 100);
    m_plot->setMouseTracking(true);
    m_plot->installEventFilter(this);
    m_views->addTab(m_chart, QStringLiteral("Energy"));
    m_views->addTab(m_plot, QStringLiteral("Days"));
    grid->addWidget(m_views, 3, 0, 1, 7);
    grid->setRowStretch(3, 1);
    addSeriesToggles(grid);
    m_energyText = new QLabel(this);
    m_energyText->setObjectName(QStringLiteral("EnergyText"));
    m_daysText = new QLabel(this);
    m_daysText->setObjectName(QStringLiteral("DaysText"));
    grid->addWidget(m_energyText, 4, 0, 1, 4);
    grid->addWidget(m_daysText, 4, 4, 1, 3);

    auto button = [this](const char* name) {
        return findChild<QPushButton*>(QLatin1String(name));
    };
    connect(button("ShowEnergy"), &QPushButton::clicked, this, &Season::showEnergy);
    connect(button("ShowDays"), &QPushButton::clicked, this, &Season::showDays);
    connect(button("SaveCsv"), &QPushButton::clicked, this, &Season::saveCsv);
    connect(button("Exit"), &QPushButton::clicked, this, &QWidget::close);
    const QDate today = m_clock.now().date();
    connect(button("Last7"), &QPushButton::clicked, this,
            [this, today] { setRun(today.addDays(-6), today); });
    connect(button("Last30"), &QPushButton::clicked, this,
            [this, today] { setRun(today.addDays(-29), today); });
    connect(button("ThisYear"), &QPushButton::clicked, this,
            [this, today] { setRun(QDate(today.year(), 1, 1), today); });
}

void Season::addSeriesToggles(QGridLayout* grid)
{
    // The series toggles, each in its series' colour, all shown at first.
    for (std::size_t k = 0; k < kSeries; ++k) {
        const history::HistoryFacts& q = history::historyFacts(core::kLogged[k]);
        auto* box = new QCheckBox(QString::fromLatin1(q.checkCaption), this);
        box->setObjectName(QStringLiteral("Show") + QString::fromLatin1(q.checkCaption));
        box->setChecked(true);
        m_shown[k] = true;
        QPalette pal = box->palette();
        pal.setColor(QPalette::WindowText, ui::toColour(q.seriesColour));
        box->setPalette(pal);
        connect(box, &QCheckBox::toggled, this, [this, k](bool on) {
            m_shown[k] = on;
            if (!m_run->days.empty())
                drawDays();
        });
        grid->addWidget(box, 5, int(k));
    }
}

void Season::showEnergy()
{
    m_energyText->setText(kReading);
    m_views->setCurrentIndex(0);
    m_jobs->start(
        kEnergyLane,
        [app = m_app, span = EnergySpan(m_span->currentIndex()), year = m_year->text().toInt(),
         month = m_month->text().toInt()](const CancelFlag&) {
            return energyBars(readLedger(app), span, year, month);
        },
        [this](EnergyBars bars) {
            m_bars = std::move(bars);
            drawEnergy();
        });
}

void Season::drawEnergy()
{
    auto* set = new QBarSet(QStringLiteral("kWh"));
    QStringList labels;
    for (const EnergyBar& b : m_bars.bars) {
        *set << b.kWh;
        labels << b.label;
    }
    auto* series = new QBarSeries;
    series->append(set);
    auto* chart = new QChart;
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    auto* y = new QValueAxis;
    y->setTitleText(QStringLiteral("kWh"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    chart->legend()->hide();
    chart->setBackgroundBrush(ui::kWindowGround);
    // The view lets go of the chart it showed without deleting it.
    const std::unique_ptr<QChart> shown(m_chart->chart());
    m_chart->setChart(chart);
    connect(set, &QBarSet::hovered, this, [this](bool on, int i) {
        if (on && i >= 0 && std::size_t(i) < m_bars.bars.size())
            m_daysText->setText(QStringLiteral("%1: %2 kWh")
                                    .arg(m_bars.bars[std::size_t(i)].isoPeriod)
                                    .arg(m_bars.bars[std::size_t(i)].kWh, 0, 'f', 2));
    });
    m_energyText->setText(QStringLiteral("Total %1 kWh").arg(m_bars.totalKWh, 0, 'f', 2) +
                          (m_bars.bestDay.isValid() ? QStringLiteral(", best day %1 (%2 kWh)")
                                                          .arg(m_bars.bestDay.toString(Qt::ISODate))
                                                          .arg(m_bars.bestDayKWh, 0, 'f', 2)
                                                    : QString()));
    emit energyShown();
}

void Season::setRun(QDate from, QDate to)
{
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
    m_daysText->setText(kReading);
    m_views->setCurrentIndex(1);
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
            m_columns.clear();
            m_daysText->clear();
            drawDays();
        });
}

void Season::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (!m_run->days.empty())
        drawDays();
}

void Season::drawDays()
{
    // A run on its way draws itself at the plot's size when it comes.
    if (m_jobs->busy(kRunLane))
        return;
    const qreal ratio = devicePixelRatioF();
    m_jobs->start(
        kPictureLane,
        [run = m_run, view = m_view, shown = m_shown, size = m_plot->size() * ratio,
         ratio](const CancelFlag&) { return makeDaysPicture(*run, view, shown, size, ratio); },
        [this](DaysPicture made) {
            m_columns = std::move(made.columns);
            m_picture = std::move(made.image);
            m_plot->setPixmap(QPixmap::fromImage(m_picture));
            emit daysShown();
        });
}

const Column* Season::columnAt(const QPointF& position) const
{
    const int x = int(position.x() * devicePixelRatioF());
    if (x < 0 || x >= int(m_columns.size()))
        return nullptr;
    return &m_columns[std::size_t(x)];
}

void Season::showReadout(const Column& c)
{
    QString text = m_run->bucketTime(c.firstBucket).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (c.empty)
        text += QStringLiteral("  no records");
    // A column within one day needs only the times of its lowest and highest.
    const bool oneDay = c.endBucket - c.firstBucket <= 1 ||
                        columnDay(*m_run, c) == m_run->bucketTime(c.endBucket - 1).date();
    const QString when = oneDay ? QStringLiteral("HH:mm") : QStringLiteral("MM-dd HH:mm");
    for (std::size_t s = 0; s < kSeries && !c.empty; ++s) {
        text += QStringLiteral("  %1 %2 (%3)..%4 (%5)")
                    .arg(QString::fromLatin1(history::historyFacts(core::kLogged[s]).checkCaption))
                    .arg(double(c.min[s]), 0, 'f', 2)
                    .arg(m_run->minuteTime(c.minAt[s]).toString(when))
                    .arg(double(c.max[s]), 0, 'f', 2)
                    .arg(m_run->minuteTime(c.maxAt[s]).toString(when));
    }
    m_daysText->setText(text);
}

bool Season::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_plot && !m_columns.empty()) {
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
    return QDialog::eventFilter(watched, event);
}

void Season::openDay(QDate date)
{
    history::Graph graph(m_history, m_app, m_clock, 758, this);
    graph.showDay(date);
    graph.exec();
}

void Season::saveCsv()
{
    const bool energy = m_views->currentIndex() == 0;
    const QString path = ui::askSaveFile(this, QStringLiteral("Save CSV"),
                                         m_app.path(QStringLiteral("logs/season.csv")),
                                         QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    const QByteArray text = energy ? barsCsv(m_bars) : columnsCsv(*m_run, m_columns);
    if (!core::replaceFile(path, text, &error))
        ui::showMessage(this, QStringLiteral("Cannot write %1: %2").arg(path, error));
}

} // namespace season
