#pragma once

#include "core/workerthread.h"
#include "web/livevalues.h"
#include "web/webserver.h"
#include "web/webstate.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace alarms {
class AlarmMonitor;
}
namespace curve {
class CurveData;
class SiteWind;
} // namespace curve
namespace station {
class Station;
}

namespace web {

// The web view as a part of the plant: it copies what the station, the alarms and the power
// curve announce into values for the server, which runs on a thread of its own, and reads
// web.cfg at the start and at each reload().
class WebService : public QObject
{
    Q_OBJECT
public:
    // webDir empty: the program's own web folder (programWebDir()).
    WebService(station::Station& station, alarms::AlarmMonitor& alarms,
               const curve::CurveData& curve, const curve::SiteWind& wind, QString webDir = {},
               QObject* parent = nullptr);
    ~WebService() override;

    // web.cfg again (after the Web window): the server listens as it now says, or stops.
    void reload();
    const WebState& state() const { return m_state; }
    // The ways of sending alarms that keep failing, for /api/now's "notify".
    void setNotifyProblems(const QStringList& problems)
    {
        m_live.notify = problems;
        push();
    }

    // The power curve, the site's wind and the rotor copied for the server again: every minute,
    // when an alarm changes, and when the watchers have read their files.
    void pushCurve();

    // An object on the server's thread, for a call to run there: a test holds the thread with
    // it to hand the server a burst of frames at once.
    QObject& serverThreadContext() { return *m_server; }

signals:
    void stateChanged(const web::WebState& state);

private:
    void push();

    station::Station& m_station;
    alarms::AlarmMonitor& m_alarms;
    const curve::CurveData& m_curve;
    const curve::SiteWind& m_wind;
    LiveValues m_live;
    WebState m_state;
    core::WorkerThread m_thread;
    std::unique_ptr<WebServer> m_server; // lives on m_thread
    QTimer m_curveTimer;
};

// The program's own web folder: "web" beside the program (a portable copy, the build), else
// share/tessaly/web of the installed layout.
QString programWebDir();

} // namespace web
