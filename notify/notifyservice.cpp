#include "notify/notifyservice.h"

#include "notify/notifyworker.h"
#include "publish/publishconfig.h"

namespace notify {

NotifyService::NotifyService(const core::AppDir& app, const core::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_clock(clock)
{
    m_thread.setObjectName(QStringLiteral("notify"));
    reload();
}

NotifyService::~NotifyService()
{
    if (!m_worker)
        return;
    // A send under way ends at once; what it carried is still in the queue for the next start.
    m_worker->stop();
    m_worker->deleteLater();
    m_thread.quit();
    m_thread.wait();
}

void NotifyService::reload()
{
    const QString before = m_warning;
    m_config = readNotifyConfig(m_app, &m_warning);
    m_plant = publish::readPublishConfig(m_app).Name;
    if (m_plant.isEmpty())
        m_plant = publish::defaultPublishConfig().Name;
    if (m_config.anyOn())
        ensureWorker();
    if (m_worker) {
        QMetaObject::invokeMethod(
            m_worker, [worker = m_worker.data(), config = m_config] { worker->setConfig(config); });
    }
    if (before != m_warning)
        emit statusChanged();
}

void NotifyService::ensureWorker()
{
    if (m_worker)
        return;
    auto* worker = new NotifyWorker(m_app, m_clock);
    worker->moveToThread(&m_thread);
    m_worker = worker;
    connect(worker, &NotifyWorker::problemsChanged, this, [this](const QStringList& problems) {
        m_problems = problems;
        emit statusChanged();
    });
    connect(worker, &NotifyWorker::tested, this, &NotifyService::tested);
    connect(worker, &NotifyWorker::delivered, this, &NotifyService::delivered);
    connect(worker, &NotifyWorker::tried, this, &NotifyService::tried);
    connect(worker, &NotifyWorker::reportWanted, this, [this](const QDate& day) {
        if (!m_reportMaker || !m_worker)
            return;
        const PlantFacts facts = m_reportFacts ? m_reportFacts(day) : PlantFacts();
        // The report reads the plant's files: on the worker's thread.
        QMetaObject::invokeMethod(
            m_worker, [worker = m_worker.data(), maker = m_reportMaker, day, facts,
                       plant = m_plant] { worker->postReport(day, maker(day, facts, plant)); });
    });
    m_thread.start();
    QMetaObject::invokeMethod(worker, &NotifyWorker::start);
}

void NotifyService::alarmChanged(alarms::Kind kind, bool raised, double value,
                                 const alarms::AlarmSettings& settings, const QString& wsUnits,
                                 const QDateTime& at)
{
    post(alarmEvent(kind, raised, value, settings, wsUnits, at, m_plant));
}

void NotifyService::post(const Event& event)
{
    // A way that is off never queues: with all off there is nobody to hand it to.
    if (!m_config.anyOn() || !m_worker)
        return;
    // Straight into the worker's hands, not behind a send that waits for its server.
    m_worker->post(event);
}

void NotifyService::test(Way way, const NotifyConfig& config)
{
    ensureWorker();
    QMetaObject::invokeMethod(m_worker, [worker = m_worker.data(), way, config,
                                         event = testEvent(m_clock.now(), m_plant)] {
        worker->test(way, config, event);
    });
}

void NotifyService::kick()
{
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, &NotifyWorker::pump);
}

QString NotifyService::statusText() const
{
    QStringList lines{m_warning};
    lines << m_problems;
    lines.removeAll(QString());
    return lines.join(QLatin1Char(' '));
}

} // namespace notify
