#include "curve/powercurveview.h"

#include "core/files.h"
#include "core/messagebox.h"
#include "core/numbers.h"
#include "core/windowlook.h"
#include "curve/aep.h"
#include "curve/sitefigures.h"

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

QChart* buildChart(const CurveData& data)
{
    auto* chart = new QChart();
    chart->setBackgroundBrush(core::kWindowGround);
    chart->legend()->hide();
    auto* scatter = new QScatterSeries(chart);
    scatter->setMarkerSize(3);
    scatter->setColor(QColor(128, 128, 128));
    for (const MinuteMean& m : data.scatter())
        scatter->append(m.wind, m.watts);
    auto* mean = new QLineSeries(chart);
    auto* upper = new QLineSeries(chart);
    auto* lower = new QLineSeries(chart);
    auto* minutes = new QLineSeries(chart);
    mean->setColor(QColor(0, 0, 255));
    minutes->setColor(core::kWindowText);
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

PowerCurveView::PowerCurveView(const core::AppDir& app, CurveData& data, QWidget* parent)
    : QWidget(parent)
    , m_app(app)
    , m_data(data)
    , m_table(new QTableWidget(this))
    , m_note(new QLabel(this))
{
    setObjectName(QStringLiteral("PowerCurveView"));
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

QString PowerCurveView::note() const
{
    QString text;
    if (!m_data.scale().known)
        text = QStringLiteral("Wind unit \"%1\" is not known: bins are 1 %1 wide and no yearly "
                              "energy is computed.")
                   .arg(m_data.scale().unitName);
    else if (hasGap(m_data.curve().bins(), m_data.scale().binWidth))
        text = QStringLiteral("incomplete: a bin below the highest has fewer than 10 minutes.");
    const season::SummarySource source{m_app, season::summaryCacheDir(m_app), QDate::currentDate()};
    if (const auto site = siteFigures(source, m_data.scale(), m_data.curve().bins()))
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                siteFiguresText(*site, m_data.scale());
    return text;
}

void PowerCurveView::refresh()
{
    static_cast<QChartView*>(m_chart)->setChart(buildChart(m_data));
    m_note->setText(note());
    const std::vector<AepRow> rows = m_data.scale().known
                                         ? aepTable(m_data.curve().bins(), m_data.scale().binWidth)
                                         : std::vector<AepRow>();
    m_table->clear();
    m_table->setColumnCount(2);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Mean wind (m/s)"), QStringLiteral("kWh/year")});
    m_table->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        m_table->setItem(r, 0, new QTableWidgetItem(point(rows[std::size_t(r)].meanWind)));
        QString kwh = point(rows[std::size_t(r)].kWh);
        if (rows[std::size_t(r)].incomplete)
            kwh += QStringLiteral(" incomplete");
        m_table->setItem(r, 1, new QTableWidgetItem(kwh));
    }
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
    if (!m_data.scale().known)
        return out;
    for (const AepRow& r : aepTable(m_data.curve().bins(), m_data.scale().binWidth))
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
        core::askSaveFile(this, QStringLiteral("Save CSV"),
                          m_app.logsDir() + QStringLiteral("powercurve-%1.csv").arg(day),
                          QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString table = path;
    table.replace(QStringLiteral(".csv"), QStringLiteral("-aep.csv"));
    if (!core::replaceFile(path, binsCsv()) || !core::replaceFile(table, tableCsv()))
        core::showMessage(this, QStringLiteral("The CSV files could not be written."));
}

void PowerCurveView::startNewCurve()
{
    if (!core::askYesNo(this, QStringLiteral("Start a new curve? The bins measured so far are "
                                             "dropped (for a new turbine or a new site).")))
        return;
    m_data.startNew();
    core::replaceFile(m_data.path(), m_data.bytes());
    refresh();
}

} // namespace curve
