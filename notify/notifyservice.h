#pragma once

#include "alarms/alarmconfig.h"
#include "core/appdir.h"
#include "core/clock.h"
#include "core/workerthread.h"
#include "notify/notifyconfig.h"
#include "notify/notifyevent.h"
#include "notify/notifyreport.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

namespace notify {

class NotifyWorker;

// The plant's side of the alarms sent by push, webhook and e-mail: it reads notify.cfg, turns the
// alarms' changes into events and hands them to a worker on a thread of its own, which queues
// them on disk and sends them; nothing here waits for the disk or the network. With every way
// off there is no thread and nothing is queued.
class NotifyService : public QObject
{
    Q_OBJECT
public:
    NotifyService(const core::AppDir& app, const core::Clock& clock, QObject* parent = nullptr);
    ~NotifyService() override;

    // notify.cfg and the plant's name (publish.cfg's Name) again; at start and after the
    // Notify or Publish window.
    void reload();
    const NotifyConfig& config() const { return m_config; }
    // The plant's name as the messages carry it.
    const QString& plantName() const { return m_plant; }

    // An alarm raised or cleared, as the alarm log takes it.
    void alarmChanged(alarms::Kind kind, bool raised, double value,
                      const alarms::AlarmSettings& settings, const QString& wsUnits,
                      const QDateTime& at);
    // Any other event. It is in the queue file within about a second, a send under way or not.
    void post(const Event& event);
    // Sends a test by one way with these settings (the window's, maybe not saved yet); the
    // answer comes as tested().
    void test(Way way, const NotifyConfig& config);
    // Sends what is due now rather than at the next second's tick.
    void kick();
    // The daily report of a day, when it is due: facts gives what the plant holds in memory of
    // that day (the turbine's shortfall), on the plant's thread; maker composes the report with
    // them and the plant's name as it is then, on the worker's thread, where it may read the
    // plant's files.
    using ReportFacts = std::function<PlantFacts(const QDate& day)>;
    using ReportMaker =
        std::function<Event(const QDate& day, const PlantFacts& facts, const QString& plant)>;
    void setReport(ReportFacts facts, ReportMaker maker)
    {
        m_reportFacts = std::move(facts);
        m_reportMaker = std::move(maker);
    }

    // The status line's words: why notify.cfg is not used as written, and each way that keeps
    // failing; empty while all is well.
    QString statusText() const;
    const QStringList& problems() const { return m_problems; }
    const QString& warning() const { return m_warning; }

signals:
    void statusChanged();
    void tested(notify::Way way, bool ok, const QString& answer);
    void delivered(notify::Way way, qint64 seq);
    void tried(notify::Way way, bool ok, const QString& answer);

private:
    void ensureWorker();

    core::AppDir m_app;
    core::Clock m_clock;
    NotifyConfig m_config;
    QString m_warning;
    QString m_plant;
    QStringList m_problems;
    ReportFacts m_reportFacts;
    ReportMaker m_reportMaker;
    core::WorkerThread m_thread;
    QPointer<NotifyWorker> m_worker;
};

} // namespace notify
