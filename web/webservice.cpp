#include "web/webservice.h"

#include "alarms/alarmconfig.h"
#include "alarms/alarmmonitor.h"
#include "curve/curvedata.h"
#include "curve/shortfall.h"
#include "curve/windbins.h"
#include "season/batteryconfig.h"
#include "season/summarycache.h"
#include "station/station.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace web {
namespace {

QString lineWord(const station::StationStatus& status)
{
    using State = core::LineStatus::State;
    if (status.handedOver)
        return QStringLiteral("elsewhere");
    switch (status.line.state) {
    case State::Open:
        return QStringLiteral("open");
    case State::Lost:
        return QStringLiteral("lost");
    case State::OpenFailed:
        return QStringLiteral("retrying");
    case State::Closed:
    case State::NotAPort:
        break;
    }
    return QStringLiteral("closed");
}

} // namespace

QString programWebDir()
{
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {dir + QStringLiteral("/web"), dir + QStringLiteral("/../share/tessaly/web")}) {
        if (QFileInfo(candidate + QStringLiteral("/index.html")).isFile())
            return QDir::cleanPath(candidate);
    }
    return dir + QStringLiteral("/web");
}

WebService::WebService(station::Station& station, alarms::AlarmMonitor& alarms,
                       const curve::CurveData& curve, const curve::SiteWind& wind, QString webDir,
                       QObject* parent)
    : QObject(parent)
    , m_station(station)
    , m_alarms(alarms)
    , m_curve(curve)
    , m_wind(wind)
{
    qRegisterMetaType<web::WebState>();
    if (webDir.isEmpty())
        webDir = programWebDir();
    // A day the page asks for shows the records held in memory too.
    m_server = std::make_unique<WebServer>(WebServer::Context{
        station.app(), station.clock(), webDir, season::summaryCacheDir(station.app()), [&station] {
            station.writeHeldNow();
        }});
    m_server->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("web"));
    m_thread.start();
    connect(m_server.get(), &WebServer::stateChanged, this, [this](const WebState& state) {
        m_state = state;
        emit stateChanged(m_state);
    });

    connect(&station, &station::Station::freshReading, this,
            [this](const core::QuantityValues& values, std::int16_t mode, qint64 ms) {
                m_live.values = values;
                m_live.mode = mode;
                m_live.frameMs = ms;
                m_live.time = m_station.clock().now();
                m_live.wattHours = m_station.wattHourTotal();
                m_live.stale = false;
                ++m_live.frames;
                push();
            });
    connect(&station, &station::Station::statusChanged, this, [this] { push(); });
    connect(&station, &station::Station::dataStale, this, [this] { push(); });
    connect(&station, &station::Station::recordWritten, this, [this] {
        ++m_live.records;
        push();
    });
    connect(&station, &station::Station::energyAdded, this, [this] { push(); });
    connect(&alarms, &alarms::AlarmMonitor::changed, this, [this] {
        push();
        pushCurve();
    });
    m_curveTimer.setInterval(60 * 1000);
    connect(&m_curveTimer, &QTimer::timeout, this, &WebService::pushCurve);
    m_curveTimer.start();
    pushCurve();
    push();
    reload();
}

WebService::~WebService()
{
    // The server and its sockets end on their own thread, as the thread finishes.
    m_server.release()->deleteLater();
    m_thread.quit();
    m_thread.wait();
}

void WebService::reload()
{
    const WebLoad load = readWebConfig(m_station.app());
    QMetaObject::invokeMethod(m_server.get(),
                              [server = m_server.get(), settings = load.settings,
                               warning = load.warning] { server->apply(settings, warning); });
}

void WebService::push()
{
    const station::StationStatus& status = m_station.status();
    m_live.wattHours = m_station.wattHourTotal();
    m_live.wsUnits = m_station.options().wsUnits;
    m_live.line = lineWord(status);
    m_live.stale = status.staleSince.has_value();
    m_live.logging = m_station.logging();
    m_live.writesWaiting = status.writes.records;
    m_live.alarms.clear();
    for (const auto& raised : m_alarms.raised())
        m_live.alarms << QString::fromLatin1(alarms::facts(raised.kind).key);
    QMetaObject::invokeMethod(m_server.get(),
                              [server = m_server.get(), live = m_live] { server->setLive(live); });
}

void WebService::pushCurve()
{
    CurveFacts facts;
    facts.scale = m_curve.scale();
    facts.bins = m_curve.curve().bins();
    facts.reference = m_curve.reference();
    if (facts.reference) {
        // As the Reference view counts them: up to this minute of the monotonic clock.
        const qint64 now = m_station.clock().elapsedMs() / 60000;
        facts.week = curve::shortfallOver(m_curve.scatter(), *facts.reference, now, 7);
        facts.month = curve::shortfallOver(m_curve.scatter(), *facts.reference, now, 30);
    }
    for (const curve::Bin& bin : facts.bins) {
        const auto held = m_curve.heldBack().find(m_curve.curve().binIndex(bin.centre));
        facts.heldBack.push_back(held == m_curve.heldBack().end() ? 0 : held->second);
    }
    facts.heldBackMinutes = m_curve.heldBackMinutes();
    facts.fullVolts = m_curve.fullVolts().value_or(season::kFullVolts12);
    facts.fullVoltsText = m_curve.fullVoltsText();
    facts.altitude = m_curve.altitude();
    facts.curveLowOn = m_alarms.config()[alarms::Kind::CurveLow].on;
    facts.curveLowRaised = m_alarms.isRaised(alarms::Kind::CurveLow);
    facts.wind = m_wind.bins();
    facts.turbulence = m_curve.rotor().turbulence().bins();
    facts.rotor = m_curve.rotorBins();
    facts.rotorDiameter = m_curve.rotorDiameter();
    facts.rotorNotice = curve::rotorNotice(facts.scale, facts.rotorDiameter);
    QMetaObject::invokeMethod(m_server.get(),
                              [server = m_server.get(), facts] { server->setCurve(facts); });
}

} // namespace web
