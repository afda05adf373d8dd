#include "alarms/alarmswindow.h"
#include "alarms/alarmtexts.h"
#include "curve/powercurveview.h"
#include "curve/referencepanel.h"
#include "curve/windview.h"
#include "monitor/logger.h"

#include "notify/notifywindow.h"
#include "season/batteryconfig.h"
#include "season/batteryview.h"
#include "season/season.h"
#include "trend/livetrend.h"
#include "ui/windowlook.h"
#include "web/webwindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

// What the main window shows beyond its design: the live trend in free room, the Season, Alarms
// and Web buttons, and the line of the alarms raised.
namespace monitor {
namespace {

const QColor kAlarmGround{192, 0, 0};
constexpr ui::FontSpec kBannerFont{"Arial", 20, true};

} // namespace

void Logger::watchThePlant()
{
    connect(&m_plant.watchers(), &plant::Watchers::alarmsChanged, this, &Logger::showAlarms);
    connect(m_controls.Season, &QPushButton::clicked, this, &Logger::Season_Click);
    connect(m_controls.Alarms, &QPushButton::clicked, this, &Logger::Alarms_Click);
    connect(m_controls.Web, &QPushButton::clicked, this, &Logger::Web_Click);
    connect(m_controls.Notify, &QPushButton::clicked, this, &Logger::Notify_Click);
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
    trend->setWindUnit(m_station.options().wsUnits);
    connect(
        &m_station, &station::Station::configurationLoaded, trend,
        [trend](const config::ProgramOptions& options) { trend->setWindUnit(options.wsUnits); });
    // The day so far, from today's day file, so a restart does not empty the 24-hour view.
    trend->fillFromDayFile(m_app, m_clock);
    connect(&m_station, &station::Station::freshReading, trend,
            [this, trend](const core::QuantityValues& values, std::int16_t, qint64 ms) {
                trend->add(values, ms, m_clock.now());
            });
    // Readable across the room: the alarm colour, large bold text, gone when all is clear.
    m_alarmBanner = new QLabel(m_content);
    m_alarmBanner->setObjectName(QStringLiteral("AlarmBanner"));
    m_alarmBanner->setFont(ui::layoutFont(kBannerFont));
    m_alarmBanner->setWordWrap(true);
    m_alarmBanner->setAlignment(Qt::AlignCenter);
    m_alarmBanner->setAccessibleName(QStringLiteral("Raised alarms"));
    m_alarmBanner->hide();
    setBackground(m_alarmBanner, kAlarmGround);
    QPalette pal = m_alarmBanner->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    m_alarmBanner->setPalette(pal);
    showAlarms();
}

void Logger::showAlarms()
{
    m_alarmBanner->setText(m_plant.watchers().alarmLine());
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
    auto* reference =
        new curve::ReferencePanel(m_app, m_plant.watchers().curve(), m_clock, &window);
    reference->setObjectName(QStringLiteral("Reference"));
    window.addView(reference, QStringLiteral("Reference"));
    auto* battery = new season::BatteryView(
        m_app, m_clock.now().date(),
        m_plant.watchers().curve().fullVolts().value_or(season::kFullVolts12), &window);
    battery->setObjectName(QStringLiteral("Battery"));
    window.addView(battery, QStringLiteral("Battery"));
    window.addView(new curve::WindView(m_app, m_plant.watchers().curve(), m_plant.watchers().wind(),
                                       m_clock, &window),
                   QStringLiteral("Wind"));
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

void Logger::Notify_Click()
{
    {
        notify::Notify window(m_app, m_plant.watchers().notify(), this);
        window.exec();
    }
    m_plant.watchers().notify().reload();
}

} // namespace monitor
