#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "plant/watchers.h"
#include "station/station.h"
#include "web/webservice.h"

#include <QObject>
#include <QStringList>
#include <memory>

namespace plant {

// The whole plant, built once by the program and handed to its window, or to none: the station
// and what watches it (the energy ledger, the power curve and the alarms). It runs from its
// construction (the start-up steps, and logging when prog.cfg's LogOn says so) until close().
class Plant : public QObject
{
    Q_OBJECT
public:
    Plant(const core::AppDir& app, const core::Clock& clock, QObject* parent = nullptr);
    ~Plant() override;

    // The files of the folder that the construction reads (each settings file and the page's
    // template): what a start-up looks at first on a thread that may wait on the folder.
    static QStringList filesReadAtStart(const core::AppDir& app);

    station::Station& station() { return *m_station; }
    const station::Station& station() const { return *m_station; }
    Watchers& watchers() { return *m_watchers; }
    const Watchers& watchers() const { return *m_watchers; }
    // The web view, as web.cfg says; reloadWeb() after the Web window.
    web::WebService& web() { return *m_web; }
    const web::WebService& web() const { return *m_web; }
    void reloadWeb() { m_web->reload(); }
    const core::AppDir& app() const { return m_station->app(); }
    const core::Clock& clock() const { return m_station->clock(); }

    // The close steps of the station, once; a second call returns the first one's result.
    station::CloseResult
    close(std::chrono::milliseconds deadline = station::Station::kCloseDeadline);
    // The disk did not answer at close: the program must end without waiting for it.
    bool diskLeftBehind() const { return m_closed && m_closed->diskSilent; }

private:
    std::unique_ptr<station::Station> m_station;
    std::unique_ptr<Watchers> m_watchers;
    std::unique_ptr<web::WebService> m_web;
    std::optional<station::CloseResult> m_closed;
};

} // namespace plant
