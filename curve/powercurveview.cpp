#include "curve/powercurveview.h"

#include "core/files.h"
#include "core/numbers.h"
#include "curve/aeprange.h"
#include "curve/sitefigures.h"
#include "season/viewjobs.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace curve {
namespace {

QString point(double v)
{
    return core::numberText(core::roundTo(v, 2), QLocale::c());
}

// What the curve itself says about its bins, known without reading the logs.
QString curveNote(const CurveData& data)
{
    if (!data.scale().known)
        return QStringLiteral("Wind unit \"%1\" is not known: bins are 1 %1 wide and no yearly "
                              "energy is computed.")
            .arg(data.scale().unitName);
    const std::vector<Bin> bins = data.curve().bins();
    if (bins.empty() || !incompleteInRange(bins, data.scale().binWidth))
        return {};
    const AepRange range = aepRange(bins, data.scale().binWidth);
    if (!range.known)
        return QStringLiteral("incomplete: no bin gives power yet.");
    return QStringLiteral("incomplete: a bin from %1 to %2 %3 (one bin below cut-in to 1.5 times "
                          "the wind at 85 % of the highest power) has fewer than %4 minutes; the "
                          "last column fills it from its neighbours.")
        .arg(point(range.low), point(range.high), data.scale().unitName)
        .arg(kCompleteMinutes);
}

QString lines(const QString& first, const QString& second)
{
    return first.isEmpty() || second.isEmpty() ? first + second
                                               : first + QLatin1Char('\n') + second;
}

// The wind axis ends after the last bin with kCompleteMinutes, so a few storm minutes do not
// squeeze the curve into the left of the chart; allWinds shows every bin and minute.
double windAxisEnd(const CurveData& data, bool allWinds)
{
    double end = 0;
    for (const Bin& b : data.curve().bins()) {
        if (allWinds || b.minutes >= kCompleteMinutes)
            end = std::max(end, b.centre + data.scale().binWidth / 2);
    }
    if (allWinds) {
        for (const MinuteMean& m : data.scatter())
            end = std::max(end, m.wind);
    }
    return end > 0 ? end : data.scale().binWidth * 20;
}

QChart* buildChart(const CurveData& data, bool allWinds)
{
    auto* chart = new QChart();
    chart->setBackgroundBrush(ui::kWindowGround);
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setLabelColor(ui::kWindowText);
    auto* scatter = new QScatterSeries(chart);
    scatter->setName(QStringLiteral("Minute means"));
    scatter->setMarkerSize(3);
    scatter->setColor(QColor(128, 128, 128));
    // A month of minutes in one go: a point at a time redraws the series for each.
    QList<QPointF> points;
    points.reserve(qsizetype(data.scatter().size()));
    for (const MinuteMean& m : data.scatter())
        points.append(QPointF(m.wind, m.watts));
    scatter->replace(points);
    auto* mean = new QLineSeries(chart);
    auto* upper = new QLineSeries(chart);
    auto* lower = new QLineSeries(chart);
    auto* minutes = new QLineSeries(chart);
    mean->setName(QStringLiteral("Mean power"));
    mean->setPen(QPen(QColor(150, 170, 255), 2.5));
    minutes->setName(QStringLiteral("Minutes in bin"));
    minutes->setColor(ui::kWindowText);
    for (const Bin& b : data.curve().bins()) {
        mean->append(b.centre, b.meanWatts);
        upper->append(b.centre, b.meanWatts + b.sdWatts);
        lower->append(b.centre, b.meanWatts - b.sdWatts);
        minutes->append(b.centre, b.minutes);
    }
    auto* band = new QAreaSeries(upper, lower);
    band->setName(QStringLiteral("Spread (one standard deviation)"));
    band->setColor(QColor(128, 128, 255, 90));
    band->setBorderColor(QColor(128, 128, 255, 90));
    std::vector<QAbstractSeries*> onWatts{scatter, band, mean};
    // The reference beside the bins, in their unit (CurveData holds it converted).
    if (const std::optional<RefCurve>& ref = data.reference()) {
        auto* reference = new QLineSeries(chart);
        reference->setObjectName(QStringLiteral("ReferenceSeries"));
        reference->setName(QStringLiteral("Reference"));
        reference->setPen(QPen(QColor(255, 170, 60), 2, Qt::DashLine));
        for (const RefPoint& p : ref->points)
            reference->append(p.wind, p.watts);
        onWatts.push_back(reference);
    }
    for (QAbstractSeries* s : onWatts)
        chart->addSeries(s);
    chart->addSeries(minutes);
    auto* wind = new QValueAxis(chart);
    wind->setObjectName(QStringLiteral("WindAxis"));
    wind->setTitleText(QStringLiteral("Wind (%1)").arg(data.scale().unitName));
    auto* watts = new QValueAxis(chart);
    watts->setTitleText(QStringLiteral("Watts"));
    auto* count = new QValueAxis(chart);
    count->setTitleText(QStringLiteral("Minutes"));
    for (QValueAxis* axis : {wind, watts, count}) {
        axis->setLabelsColor(ui::kWindowText);
        axis->setTitleBrush(ui::kWindowText);
    }
    chart->addAxis(wind, Qt::AlignBottom);
    chart->addAxis(watts, Qt::AlignLeft);
    chart->addAxis(count, Qt::AlignRight);
    for (QAbstractSeries* s : onWatts) {
        s->attachAxis(wind);
        s->attachAxis(watts);
    }
    minutes->attachAxis(wind);
    minutes->attachAxis(count);
    // Each axis set from what its range shows, so a storm bin left off the wind axis does not
    // set the watts either.
    const double end = windAxisEnd(data, allWinds);
    double bottom = 0, top = 0;
    int most = 1;
    for (const Bin& b : data.curve().bins()) {
        if (b.centre - data.scale().binWidth / 2 > end)
            continue;
        bottom = std::min(bottom, b.meanWatts - b.sdWatts);
        top = std::max(top, b.meanWatts + b.sdWatts);
        most = std::max(most, b.minutes);
    }
    for (const MinuteMean& m : data.scatter()) {
        if (m.wind <= end) {
            bottom = std::min(bottom, m.watts);
            top = std::max(top, m.watts);
        }
    }
    if (data.reference()) {
        for (const RefPoint& p : data.reference()->points) {
            if (p.wind <= end)
                top = std::max(top, p.watts);
        }
    }
    wind->setRange(0, end);
    watts->setRange(bottom, top > bottom ? top : bottom + 1);
    count->setRange(0, most * 1.15); // the line of the fullest bins under the top, not on it
    for (QValueAxis* axis : {wind, watts, count})
        axis->applyNiceNumbers();
    return chart;
}

} // namespace

// What a refresh asks for off the window's thread.
struct PowerCurveView::Figures
{
    std::optional<SiteFigures> site;
    std::vector<AepRow> rows;
};

PowerCurveView::PowerCurveView(const core::AppDir& app, CurveData& data, QWidget* parent)
    : QWidget(parent)
    , m_app(app)
    , m_data(data)
    , m_table(new QTableWidget(this))
    , m_note(new QLabel(this))
    , m_jobs(std::make_unique<season::ViewJobs>(1))
{
    setObjectName(QStringLiteral("PowerCurveView"));
    m_note->setObjectName(QStringLiteral("CurveNote"));
    auto* layout = new QVBoxLayout(this);
    auto* view = new QChartView(this);
    m_chart = view;
    // The table stands beside the chart: under it, it left the chart a strip too thin to read.
    auto* chartAndTable = new QHBoxLayout();
    view->setMinimumSize(320, 200); // the legend's own wish would push the table out of sight
    chartAndTable->addWidget(view, 1);
    chartAndTable->addWidget(m_table, 0, Qt::AlignTop);
    layout->addLayout(chartAndTable, 1);
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    auto* buttons = new QHBoxLayout();
    auto* save = new QPushButton(QStringLiteral("Save CSV"), this);
    auto* fresh = new QPushButton(QStringLiteral("Start a new curve"), this);
    m_allWinds = new QCheckBox(QStringLiteral("Show all winds"), this);
    m_allWinds->setObjectName(QStringLiteral("ShowAllWinds"));
    m_allWinds->setToolTip(
        QStringLiteral("Run the wind axis past the last bin with %1 minutes, to every minute kept")
            .arg(kCompleteMinutes));
    buttons->addWidget(m_allWinds);
    buttons->addWidget(save);
    buttons->addWidget(fresh);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(m_allWinds, &QCheckBox::toggled, this, &PowerCurveView::refresh);
    m_table->setObjectName(QStringLiteral("AepTable"));
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(save, &QPushButton::clicked, this, &PowerCurveView::saveCsv);
    connect(fresh, &QPushButton::clicked, this, &PowerCurveView::startNewCurve);
    refresh();
}

PowerCurveView::~PowerCurveView() = default;

QString PowerCurveView::note() const
{
    return m_note->text();
}

void PowerCurveView::refresh()
{
    if (m_redrawAsked)
        return;
    m_redrawAsked = true;
    QMetaObject::invokeMethod(this, &PowerCurveView::redraw, Qt::QueuedConnection);
}

void PowerCurveView::redraw()
{
    m_redrawAsked = false;
    auto* view = static_cast<QChartView*>(m_chart);
    // The view lets go of the chart it showed without deleting it.
    const std::unique_ptr<QChart> shown(view->chart());
    view->setChart(buildChart(m_data, m_allWinds->isChecked()));
    const QString density = densityText(m_data.altitude());
    const QString known =
        lines(density.isEmpty() ? density : density + QLatin1Char('.'), curveNote(m_data));
    m_note->setText(lines(known, QStringLiteral("Reading the logs…")));
    // The bins as they are now: the plant goes on adding minutes to the data meanwhile.
    const season::SummarySource source{m_app, season::summaryCacheDir(m_app), QDate::currentDate()};
    m_jobs->start(
        0,
        [source, scale = m_data.scale(),
         bins = m_data.curve().bins()](const season::CancelFlag& cancel) {
            Figures out;
            if (scale.known)
                out.rows = aepTable(bins, scale.binWidth);
            out.site = siteFigures(source, scale, bins, &cancel);
            return out;
        },
        [this, known](const Figures& figures) { showFigures(figures, known); });
}

void PowerCurveView::showFigures(const Figures& figures, const QString& curveNote)
{
    m_note->setText(lines(curveNote, figures.site ? siteFiguresText(*figures.site, m_data.scale())
                                                  : QString()));
    m_rows = figures.rows;
    m_table->clear();
    m_table->setColumnCount(3);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Mean wind\n(m/s)"),
                                        QStringLiteral("kWh/year,\nbins measured"),
                                        QStringLiteral("kWh/year,\nmissing bins filled")});
    m_table->setRowCount(int(m_rows.size()));
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const AepRow& row = m_rows[std::size_t(r)];
        m_table->setItem(r, 0, new QTableWidgetItem(point(row.meanWind)));
        m_table->setItem(
            r, 1,
            new QTableWidgetItem(point(row.kWh) +
                                 (row.incomplete ? QStringLiteral(" incomplete") : QString())));
        m_table->setItem(r, 2, new QTableWidgetItem(point(row.kWhFilled)));
    }
    // Whole, header and every row, never a scrolled strip of two.
    m_table->resizeColumnsToContents();
    m_table->resizeRowsToContents();
    int height = m_table->horizontalHeader()->sizeHint().height() + 2 * m_table->frameWidth();
    for (int r = 0; r < m_table->rowCount(); ++r)
        height += m_table->rowHeight(r);
    m_table->setFixedSize(m_table->horizontalHeader()->length() + 2 * m_table->frameWidth(),
                          height);
    emit figuresShown();
}

QByteArray PowerCurveView::binsCsv() const
{
    QByteArray out = "wind,minutes,mean_watts,sd_watts,complete\r\n";
    for (const Bin& b : m_data.curve().bins())
        out += (point(b.centre) + QLatin1Char(',') + QString::number(b.minutes) + QLatin1Char(',') +
                point(b.meanWatts) + QLatin1Char(',') + point(b.sdWatts) + QLatin1Char(',') +
                (b.minutes >= kCompleteMinutes ? QStringLiteral("yes") : QStringLiteral("no")) +
                QStringLiteral("\r\n"))
                   .toLatin1();
    return out;
}

QByteArray PowerCurveView::tableCsv() const
{
    QByteArray out = "mean_wind_m_s,kwh_per_year,incomplete,kwh_per_year_filled\r\n";
    for (const AepRow& r : m_rows)
        out += (point(r.meanWind) + QLatin1Char(',') + point(r.kWh) + QLatin1Char(',') +
                (r.incomplete ? QStringLiteral("yes") : QStringLiteral("no")) + QLatin1Char(',') +
                point(r.kWhFilled) + QStringLiteral("\r\n"))
                   .toLatin1();
    return out;
}

void PowerCurveView::saveCsv()
{
    const QString day = QDate::currentDate().toString(Qt::ISODate);
    const QString path =
        ui::askSaveFile(this, QStringLiteral("Save CSV"),
                        m_app.logsDir() + QStringLiteral("powercurve-%1.csv").arg(day),
                        QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString table = path;
    table.replace(QStringLiteral(".csv"), QStringLiteral("-aep.csv"));
    if (!core::replaceFile(path, binsCsv()) || !core::replaceFile(table, tableCsv()))
        ui::showMessage(this, QStringLiteral("The CSV files could not be written."));
}

void PowerCurveView::startNewCurve()
{
    if (!ui::askYesNo(this, QStringLiteral("Start a new curve? The bins measured so far are "
                                           "dropped (for a new turbine or a new site).")))
        return;
    m_data.startNew();
    refresh();
}

} // namespace curve
