#include "plant/plant.h"

#include "alarms/alarmconfig.h"
#include "curve/curvesettings.h"
#include "curve/refcurve.h"
#include "logging/logfiles.h"
#include "notify/notifyconfig.h"
#include "publish/publishconfig.h"
#include "publish/publishedtopics.h"
#include "season/batteryconfig.h"
#include "web/webconfig.h"

namespace plant {

Plant::Plant(const core::AppDir& app, const core::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_station(std::make_unique<station::Station>(app, clock))
{
    m_station->start();
    // The watchers read the settings the start-up just loaded (the wind's units, alarms.cfg).
    m_watchers = std::make_unique<Watchers>(*m_station);
    m_web = std::make_unique<web::WebService>(*m_station, m_watchers->alarms(), m_watchers->curve(),
                                              m_watchers->wind());
    // What the watchers' files hold reaches the web view once they are read, not a minute later.
    connect(m_watchers.get(), &Watchers::alarmsChanged, m_web.get(), &web::WebService::pushCurve);
    // The web view's status names a way of sending alarms that keeps failing.
    const auto notifyProblems = [this] {
        m_web->setNotifyProblems(m_watchers->notify().problems());
    };
    connect(&m_watchers->notify(), &notify::NotifyService::statusChanged, this, notifyProblems);
    notifyProblems();
    if (m_station->options().logOn)
        m_station->startLogging(m_station->options().logDelay);
}

QStringList Plant::filesReadAtStart(const core::AppDir& app)
{
    return {app.progCfg(),
            app.settingsCfg(),
            publish::publishCfgPath(app),
            publish::publishedCfgPath(app),
            logging::templateFile(app),
            curve::curveCfgPath(app),
            alarms::alarmsCfgPath(app),
            season::batteryCfgPath(app),
            curve::refCurvePath(app),
            web::webCfgPath(app),
            notify::notifyCfgPath(app)};
}

Plant::~Plant()
{
    // The web view and the watchers listen to the station, so they go first.
    m_web.reset();
    m_watchers.reset();
    m_station.reset();
}

station::CloseResult Plant::close(std::chrono::milliseconds deadline)
{
    if (!m_closed)
        m_closed = m_station->closeSteps(deadline);
    return *m_closed;
}

} // namespace plant
