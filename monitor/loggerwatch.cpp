#include "alarms/alarmswindow.h"
#include "alarms/alarmtexts.h"
#include "curve/powercurveview.h"
#include "monitor/logger.h"
#include "season/season.h"
#include "trend/livetrend.h"
#include "web/webwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

// What the main window shows beyond its design: the live trend in free room, the Season, Alarms
// and Web buttons, and the line of the alarms raised.
namespace monitor {

void Logger::watchThePlant()
{
    connect(&m_plant.watchers(), &station::Watchers::alarmsChanged, this, &Logger::showAlarms);
    connect(m_controls.Season, &QPushButton::clicked, this, &Logger::Season_Click);
    connect(m_controls.Alarms, &QPushButton::clicked, this, &Logger::Alarms_Click);
    connect(m_controls.Web, &QPushButton::clicked, this, &Logger::Web_Click);
    // The status line says where the web view is, or why it is not: its line goes below the
    // others each time they are shown.
    connect(&m_plant.web(), &web::WebService::stateChanged, this, &Logger::showStatus);
    connect(&m_plant.web(), &web::WebService::stateChanged, this, &Logger::showStatus);
    // The alarms stay on the status line until they clear; only their notifications wait.
    connect(m_controls.Silence, &QPushButton::clicked, this,
            [this] { m_plant.watchers().alarms().silenceRaised(); });
    auto* trend = new trend::LiveTrend(m_content);
    trend->setObjectName(QStringLiteral("LiveTrend"));
    trend->setGeometry(m_variant.trend);
    QCheckBox* toggle = trend::makeTrendToggle(m_content, trend, m_app);
    toggle->setGeometry(m_variant.trendToggle);
    connect(&m_station, &station::Station::freshReading, trend,
            [this, trend](const core::QuantityValues& values, std::int16_t, qint64 ms) {
                trend->add(values, ms, m_clock.now());
            });
    showAlarms();
}

void Logger::showAlarms()
{
    m_controls.Alarms->setText(alarms::alarmsCaption(m_plant.watchers().raisedCount()));
    m_controls.Silence->setEnabled(m_plant.watchers().raisedCount() > 0);
    showStatus();
}

void Logger::Season_Click()
{
    season::Season window(m_app, m_clock, this);
    auto* curve = new curve::PowerCurveView(m_app, m_plant.watchers().curve(), &window);
    curve->setObjectName(QStringLiteral("PowerCurve"));
    curve->refresh();
    window.addView(curve, QStringLiteral("Power curve"));
    window.exec();
    // "Start a new curve" empties the bins; the file follows at once.
    m_plant.watchers().saveCurve();
}

void Logger::Alarms_Click()
{
    {
        alarms::Alarms window(m_app, this);
        window.setNotifier(&m_plant.watchers().notifier());
        window.exec();
    }
    m_plant.watchers().reload();
}

void Logger::Web_Click()
{
    {
        web::Web window(m_app, m_plant.web().state(), this);
        window.exec();
    }
    m_plant.reloadWeb();
}

} // namespace monitor
