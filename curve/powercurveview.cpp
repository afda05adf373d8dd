#include "curve/powercurveview.h"

#include "core/files.h"
#include "core/numbers.h"
#include "curve/sitefigures.h"
#include "season/viewjobs.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

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
    if (hasGap(data.curve().bins(), data.scale().binWidth))
        return QStringLiteral("incomplete: a bin below the highest has fewer than 10 minutes.");
    return {};
}

QString lines(const QString& first, const QString& second)
{
    return first.isEmpty() || second.isEmpty() ? first + second
                                               : first + QLatin1Char('\n') + second;
}

QChart* buildChart(const CurveData& data)
{
    auto* chart = new QChart();
    chart->setBackgroundBrush(ui::kWindowGround);
    chart->legend()->hide();
    auto* scatter = new QScatterSeries(chart);
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
    mean->setColor(QColor(0, 0, 255));
    minutes->setColor(ui::kWindowText);
    for (const Bin& b : data.curve().bins()) {
        mean->append(b.centre, b.meanWatts);
        upper->append(b.centre, b.meanWatts + b.sdWatts);
        lower->append(b.centre, b.meanWatts - b.sdWatts);
        minutes->append(b.centre, b.minutes);
    }
    auto* band = new QAreaSeries(upper, lower);
    band->setColor(QColor(128, 128, 255, 90));
    band->setBorderColor(QColor(128, 128, 255, 90));
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(scatter), static_cast<QAbstractSeries*>(band),
          static_cast<QAbstractSeries*>(mean), static_cast<QAbstractSeries*>(minutes)})
        chart->addSeries(s);
    auto* wind = new QValueAxis(chart);
    wind->setTitleText(QStringLiteral("Wind (%1)").arg(data.scale().unitName));
    auto* watts = new QValueAxis(chart);
    watts->setTitleText(QStringLiteral("Watts"));
    auto* count = new QValueAxis(chart);
    count->setTitleText(QStringLiteral("Minutes"));
    chart->addAxis(wind, Qt::AlignBottom);
    chart->addAxis(watts, Qt::AlignLeft);
    chart->addAxis(count, Qt::AlignRight);
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(scatter), static_cast<QAbstractSeries*>(band),
          static_cast<QAbstractSeries*>(mean)}) {
        s->attachAxis(wind);
        s->attachAxis(watts);
    }
    minutes->attachAxis(wind);
    minutes->attachAxis(count);
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
    layout->addWidget(view, 3);
    layout->addWidget(m_note);
    layout->addWidget(m_table, 1);
    auto* buttons = new QHBoxLayout();
    auto* save = new QPushButton(QStringLiteral("Save CSV"), this);
    auto* fresh = new QPushButton(QStringLiteral("Start a new curve"), this);
    buttons->addWidget(save);
    buttons->addWidget(fresh);
    buttons->addStretch();
    layout->addLayout(buttons);
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
    view->setChart(buildChart(m_data));
    const QString known = curveNote(m_data);
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
    m_table->setColumnCount(2);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Mean wind (m/s)"), QStringLiteral("kWh/year")});
    m_table->setRowCount(int(m_rows.size()));
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const AepRow& row = m_rows[std::size_t(r)];
        m_table->setItem(r, 0, new QTableWidgetItem(point(row.meanWind)));
        m_table->setItem(
            r, 1,
            new QTableWidgetItem(point(row.kWh) +
                                 (row.incomplete ? QStringLiteral(" incomplete") : QString())));
    }
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
    QByteArray out = "mean_wind_m_s,kwh_per_year,incomplete\r\n";
    for (const AepRow& r : m_rows)
        out +=
            (point(r.meanWind) + QLatin1Char(',') + point(r.kWh) + QLatin1Char(',') +
             (r.incomplete ? QStringLiteral("yes") : QStringLiteral("no")) + QStringLiteral("\r\n"))
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
