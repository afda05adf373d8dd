#include "curve/windview.h"

#include "core/numbers.h"
#include "curve/curvesettings.h"
#include "curve/windstats.h"
#include "season/completeness.h"
#include "season/viewjobs.h"
#include "ui/windowlook.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QLocale>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace curve {
namespace {

QString point(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

// Thousands grouped with a comma: "8,760".
QString whole(double v)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(qint64(std::llround(v)));
}

QString percent(double share)
{
    return QStringLiteral("%1 %").arg(std::floor(share * 100));
}

// The months from first to last as the note names them: "2026-11", or "2025-12 to 2026-11".
QString monthsText(int first, int last)
{
    const QString from = QString::fromLatin1(monthText(first));
    return first == last ? from
                         : from + QStringLiteral(" to ") + QString::fromLatin1(monthText(last));
}

QValueAxis* makeAxis(QChart* chart, const QString& title, Qt::Alignment side)
{
    auto* axis = new QValueAxis(chart);
    axis->setTitleText(title);
    axis->setLabelsColor(ui::kWindowText);
    axis->setTitleBrush(ui::kWindowText);
    chart->addAxis(axis, side);
    return axis;
}

QChart* makeChart()
{
    auto* chart = new QChart();
    chart->setBackgroundBrush(ui::kWindowGround);
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setLabelColor(ui::kWindowText);
    chart->setMargins(QMargins(2, 2, 2, 2));
    return chart;
}

void attach(QChart* chart, QAbstractSeries* series, QValueAxis* x, QValueAxis* y)
{
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

// Replaces the chart a view shows; the view lets go of the old one without deleting it.
void showChart(QWidget* view, QChart* chart)
{
    auto* chartView = static_cast<QChartView*>(view);
    const std::unique_ptr<QChart> shown(chartView->chart());
    chartView->setChart(chart);
}

// The Weibull density at v, per unit of wind.
double weibullDensity(double v, double k, double c)
{
    if (v <= 0)
        return k == 1 ? 1 / c : 0; // below a shape of 1 it runs to infinity: left off the chart
    return k / c * std::pow(v / c, k - 1) * std::exp(-std::pow(v / c, k));
}

// Why a histogram has no fit, in the words of fitWeibull's rule.
QString noFitReason(const std::vector<WindBin>& histogram)
{
    int minutes = 0;
    int filled = 0;
    for (const WindBin& b : histogram) {
        minutes += b.minutes;
        filled += b.minutes > 0 ? 1 : 0;
    }
    if (minutes == 0)
        return QStringLiteral("No wind counted yet.");
    if (minutes < kWeibullMinutes)
        return QStringLiteral("No Weibull fit: %1 of the %2 minutes (a day's) a fit needs.")
            .arg(whole(minutes), whole(kWeibullMinutes));
    if (filled < 3)
        return QStringLiteral("No Weibull fit: the winds fill fewer than 3 bins.");
    return QStringLiteral("No Weibull fit: nearly every minute lies in one bin.");
}

} // namespace

// What a refresh asks for off the window's thread.
struct WindView::Figures
{
    MonthSpan span;
    std::vector<WindBin> histogram;
    std::optional<WeibullFit> fit;
    SiteEnergy year;
    std::optional<double> rayleighKWh; // at the site's mean, with a fit of the year
    std::optional<double> rayleighReferenceKWh;
    season::Completeness seen;
};

WindView::WindView(const core::AppDir& app, const CurveData& data, const SiteWind& wind,
                   const core::Clock& clock, QWidget* parent)
    : QWidget(parent)
    , m_app(app)
    , m_data(data)
    , m_wind(wind)
    , m_clock(clock)
    , m_period(new QComboBox(this))
    , m_rotorNotice(new QLabel(this))
    , m_turbulence(new QTableWidget(this))
    , m_note(new QLabel(this))
    , m_jobs(std::make_unique<season::ViewJobs>(1))
{
    setObjectName(QStringLiteral("WindView"));
    m_period->setObjectName(QStringLiteral("WindPeriod"));
    m_period->setAccessibleName(QStringLiteral("Wind of"));
    ui::paintBox(m_period, QPalette::Button, QPalette::ButtonText);
    auto* periodLabel = new QLabel(QStringLiteral("Wind of"), this);
    periodLabel->setBuddy(m_period);
    auto* top = new QHBoxLayout();
    top->addWidget(periodLabel);
    top->addWidget(m_period);
    top->addStretch();

    auto* histogram = new QChartView(this);
    histogram->setObjectName(QStringLiteral("WindHistogram"));
    auto* rotor = new QChartView(this);
    rotor->setObjectName(QStringLiteral("RotorChart"));
    m_histogram = histogram;
    m_rotor = rotor;
    // Both charts share the room; neither asks for more than it is given.
    for (QChartView* view : {histogram, rotor}) {
        view->setMinimumSize(240, 180);
        view->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    }
    m_rotorNotice->setObjectName(QStringLiteral("RotorNotice"));
    m_rotorNotice->setWordWrap(true);
    m_rotorNotice->setAlignment(Qt::AlignCenter);
    m_rotorNotice->setMinimumWidth(240);
    m_rotorNotice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_turbulence->setObjectName(QStringLiteral("TurbulenceBins"));
    m_turbulence->verticalHeader()->hide();
    m_turbulence->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_turbulence->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_turbulence->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    auto* middle = new QHBoxLayout();
    middle->addWidget(histogram, 1);
    middle->addWidget(rotor, 1);
    middle->addWidget(m_rotorNotice, 1);
    middle->addWidget(m_turbulence);

    m_note->setObjectName(QStringLiteral("WindNote"));
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(m_note);
    connect(m_period, &QComboBox::currentIndexChanged, this, &WindView::refresh);
    refresh();
}

WindView::~WindView() = default;

QString WindView::note() const
{
    return m_note->text();
}

void WindView::refresh()
{
    // The plant's counts as they are now: it goes on adding minutes meanwhile.
    const WindBins bins = m_wind.bins();
    const int chosen = m_period->currentData().toInt();
    {
        // Filling the chooser is not a new ask.
        const QSignalBlocker quiet(m_period);
        m_period->clear();
        m_period->addItem(QStringLiteral("Last 12 months"), 0);
        const std::vector<int> months = bins.months();
        for (auto m = months.rbegin(); m != months.rend(); ++m)
            m_period->addItem(QString::fromLatin1(monthText(*m)), *m);
        m_period->setCurrentIndex(std::max(m_period->findData(chosen), 0));
    }
    const int month = m_period->currentData().toInt();
    const QDateTime now = m_clock.now();
    m_note->setText(QStringLiteral("Reading the logs…"));

    // The turbulence and the rotor are small: drawn here, at once.
    const WindScale& scale = m_data.scale();
    const std::vector<Bin> turbulence = m_data.rotor().turbulence().bins();
    m_turbulence->clear();
    m_turbulence->setColumnCount(3);
    m_turbulence->setHorizontalHeaderLabels({QStringLiteral("Wind\n(%1)").arg(scale.unitName),
                                             QStringLiteral("Turbulence\nintensity"),
                                             QStringLiteral("Ten-minute\nblocks")});
    m_turbulence->setRowCount(int(turbulence.size()));
    for (int r = 0; r < int(turbulence.size()); ++r) {
        const Bin& b = turbulence[std::size_t(r)];
        const QString cells[] = {point(b.centre, 1), point(b.meanWatts, 3),
                                 QString::number(b.minutes)};
        for (int c = 0; c < 3; ++c)
            m_turbulence->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_turbulence->resizeColumnsToContents();
    m_turbulence->setFixedWidth(m_turbulence->horizontalHeader()->length() +
                                2 * m_turbulence->frameWidth() +
                                m_turbulence->verticalScrollBar()->sizeHint().width());

    const QString notice = rotorNotice(scale, m_data.rotorDiameter());
    m_rotorNotice->setText(notice);
    m_rotorNotice->setVisible(!notice.isEmpty());
    m_rotor->setVisible(notice.isEmpty());
    if (notice.isEmpty()) {
        QChart* chart = makeChart();
        QValueAxis* wind = makeAxis(chart, QStringLiteral("Wind (m/s)"), Qt::AlignBottom);
        QValueAxis* cpAxis = makeAxis(chart, QStringLiteral("Power coefficient"), Qt::AlignLeft);
        QValueAxis* tsrAxis = makeAxis(chart, QStringLiteral("Tip-speed ratio"), Qt::AlignRight);
        auto* cp = new QLineSeries(chart);
        cp->setName(QStringLiteral("Cp"));
        cp->setPen(QPen(QColor(150, 170, 255), 2.5));
        auto* tsr = new QLineSeries(chart);
        tsr->setName(QStringLiteral("TSR"));
        tsr->setPen(QPen(QColor(255, 170, 60), 2));
        double end = 0, topTsr = 1;
        for (const RotorBin& b : m_data.rotorBins()) {
            end = std::max(end, b.centre + scale.binWidth / 2);
            if (b.cp)
                cp->append(b.centre, *b.cp);
            if (b.tsr) {
                tsr->append(b.centre, *b.tsr);
                topTsr = std::max(topTsr, *b.tsr);
            }
        }
        end = end > 0 ? end : scale.binWidth * 20;
        auto* betz = new QLineSeries(chart);
        betz->setName(QStringLiteral("Betz limit 0.593"));
        betz->setPen(QPen(ui::kWindowText, 1, Qt::DashLine));
        betz->append(0, kBetzLimit);
        betz->append(end, kBetzLimit);
        attach(chart, betz, wind, cpAxis);
        attach(chart, cp, wind, cpAxis);
        attach(chart, tsr, wind, tsrAxis);
        wind->setRange(0, end);
        cpAxis->setRange(0, 0.7);
        cpAxis->setTickCount(8); // 0.1 apart
        cpAxis->setLabelFormat(QStringLiteral("%.1f"));
        // The grid is the coefficient's; the ratio's own lines would cross it.
        tsrAxis->setGridLineVisible(false);
        tsrAxis->setRange(0, topTsr * 1.15);
        wind->applyNiceNumbers();
        tsrAxis->applyNiceNumbers();
        showChart(m_rotor, chart);
    }

    m_jobs->start(
        0,
        [app = m_app, bins, month, now, scale, curveBins = m_data.curve().bins(),
         reference = m_data.reference(),
         factor = densityFactor(m_data.altitude())](const season::CancelFlag&) {
            Figures out;
            out.span = month > 0 ? MonthSpan{month, month} : lastTwelveMonths(now.date());
            out.histogram = bins.histogram(out.span.first, out.span.last);
            out.fit = fitWeibull(out.histogram, bins.binWidth());
            out.year = siteEnergy(bins, now.date(), curveBins, factor, reference);
            if (scale.known && out.year.fit) {
                // The curve's winds are of sea-level air: the site's mean in them.
                const double mean = out.year.fit->mean * factor;
                out.rayleighKWh = aepAt(curveBins, scale.binWidth, mean).kWh;
                if (reference)
                    out.rayleighReferenceKWh =
                        aepAt(reference->asBins(scale.binWidth), scale.binWidth, mean).kWh;
            }
            const season::CompletenessContent content = season::readCompleteness(app);
            const int interval = season::programIntervalSeconds(app);
            const QDate first = monthStart(out.span.first);
            const QDate end = monthStart(out.span.last).addMonths(1);
            out.seen =
                season::rangeCompleteness(content, first, int(first.daysTo(end)), interval, now);
            return out;
        },
        [this](const Figures& figures) { showFigures(figures); });
}

void WindView::showFigures(const Figures& f)
{
    const WindScale& scale = m_data.scale();
    const QString unit = scale.unitName;
    const double width = m_wind.bins().binWidth();
    const QString period = monthsText(f.span.first, f.span.last);

    // The histogram as the share of the time per unit of wind, so the fit's density lies on it.
    QChart* chart = makeChart();
    QValueAxis* wind = makeAxis(chart, QStringLiteral("Wind (%1)").arg(unit), Qt::AlignBottom);
    QValueAxis* share =
        makeAxis(chart, QStringLiteral("% of the time per %1").arg(unit), Qt::AlignLeft);
    double total = 0;
    for (const WindBin& b : f.histogram)
        total += b.minutes;
    auto* upper = new QLineSeries(chart);
    auto* lower = new QLineSeries(chart);
    double end = 0, top = 1;
    for (const WindBin& b : f.histogram) {
        const double value = b.minutes / total / width * 100;
        upper->append(b.centre - width / 2, value);
        upper->append(b.centre + width / 2, value);
        lower->append(b.centre - width / 2, 0);
        lower->append(b.centre + width / 2, 0);
        end = std::max(end, b.centre + width / 2);
        top = std::max(top, value);
    }
    auto* bars = new QAreaSeries(upper, lower);
    bars->setObjectName(QStringLiteral("WindCounts"));
    bars->setName(QStringLiteral("Minutes counted"));
    bars->setColor(QColor(128, 128, 255, 120));
    bars->setBorderColor(QColor(128, 128, 255));
    attach(chart, bars, wind, share);
    if (f.fit) {
        auto* fit = new QLineSeries(chart);
        fit->setObjectName(QStringLiteral("WeibullFit"));
        fit->setName(QStringLiteral("Weibull fit"));
        fit->setPen(QPen(QColor(255, 170, 60), 2.5));
        for (int i = 0; i <= 200; ++i) {
            const double v = end * i / 200;
            const double value = weibullDensity(v, f.fit->k, f.fit->c) * 100;
            fit->append(v, value);
            top = std::max(top, value);
        }
        attach(chart, fit, wind, share);
    }
    wind->setRange(0, end > 0 ? end : width * 20);
    share->setRange(0, top * 1.1);
    wind->applyNiceNumbers();
    share->applyNiceNumbers();
    showChart(m_histogram, chart);

    QStringList lines;
    if (!m_wind.fileRead())
        lines << QStringLiteral("The wind counts' file is still being read: these are this run's "
                                "minutes alone.");
    lines << (f.fit ? QStringLiteral("%1: Weibull k %2, c %3 %4, mean %5 %4 from %6 h.")
                          .arg(period, point(f.fit->k, 1), point(f.fit->c, 1), unit,
                               point(f.fit->mean, 1), whole(f.fit->minutes / 60.0))
                    : period + QStringLiteral(": ") + noFitReason(f.histogram));

    const MonthSpan year = lastTwelveMonths(m_clock.now().date());
    const QString yearName = monthsText(year.first, year.last);
    if (!scale.known) {
        lines << QStringLiteral("No yearly energy: the wind unit \"%1\" is not known.").arg(unit);
    } else if (!f.year.fit || !f.year.measured) {
        lines << QStringLiteral("No yearly energy: no Weibull fit to %1.").arg(yearName);
    } else {
        QString line = QStringLiteral("Yearly energy under the site's wind of %1 (%2 months with "
                                      "data, %3 to %4): %5 kWh by the measured curve")
                           .arg(yearName)
                           .arg(f.year.months.size())
                           .arg(QString::fromLatin1(monthText(f.year.months.front())),
                                QString::fromLatin1(monthText(f.year.months.back())),
                                whole(f.year.measured->kWh));
        if (f.year.referenceKWh)
            line += QStringLiteral(", %1 kWh by the reference").arg(whole(*f.year.referenceKWh));
        line += QStringLiteral("; Rayleigh at the same mean (%1 m/s): %2 kWh")
                    .arg(point(f.year.measured->meanWind, 1), whole(f.rayleighKWh.value_or(0)));
        if (f.rayleighReferenceKWh)
            line += QStringLiteral(", %1 kWh by the reference").arg(whole(*f.rayleighReferenceKWh));
        lines << line + QLatin1Char('.');
    }

    if (f.seen.minutes == 0)
        lines << QStringLiteral("Seen in %1: no hours counted.").arg(period);
    else
        lines << QStringLiteral("Seen in %1: %2 of minutes with a fresh frame, %3 of intervals "
                                "with a record.")
                     .arg(period, percent(f.seen.freshShare), percent(f.seen.recordShare));
    m_note->setText(lines.join(QLatin1Char('\n')));
    emit figuresShown();
}

} // namespace curve
