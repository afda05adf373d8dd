#include "notify/notifyworker.h"

#include "core/files.h"
#include "core/ownerfile.h"

#include <QFile>
#include <QFileInfo>

namespace notify {

bool reportDue(const NotifyConfig& config, const QDateTime& now, const QDate& lastReport)
{
    if (!config.reportOn || now.time().hour() < config.reportHour)
        return false;
    const QDate day = now.date().addDays(-1);
    return !lastReport.isValid() || lastReport < day;
}

qint64 retryAfterS(int failures)
{
    qint64 wait = kFirstRetryS;
    for (int i = 1; i < failures && wait < kLongestRetryS; ++i)
        wait *= 2;
    return std::min(wait, kLongestRetryS);
}

NotifyWorker::NotifyWorker(const core::AppDir& app, const core::Clock& clock)
    : m_app(app)
    , m_clock(clock)
    // While a send waits for its server, what the plant posts meanwhile goes to the disk: a cut
    // then loses nothing that was posted more than a second before it.
    , m_meanwhile([this] {
        takePosted();
        sayProblems();
    })
{}

// What came after the last turn is kept for the next start.
NotifyWorker::~NotifyWorker()
{
    takePosted();
}

void NotifyWorker::start()
{
    const QString path = queuePath(m_app);
    if (QFileInfo::exists(path)) {
        QString error;
        if (const auto bytes = core::readWholeFile(path, &error)) {
            QueueState state = readQueue(*bytes);
            m_events = std::move(state.events);
            m_lastSeq = state.lastSeq;
            m_lastReport = state.lastReport;
            for (const auto& [way, seq] : state.done)
                m_ways[way].done = seq;
            m_written = !m_events.empty();
        } else {
            m_fileProblem = QStringLiteral("%1 cannot be read: %2").arg(path, error);
        }
    }
    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, &NotifyWorker::pump);
    m_tick->start();
    sayProblems();
}

void NotifyWorker::setConfig(const NotifyConfig& config)
{
    m_config = config;
    for (const Way way : kWays) {
        WayState& state = m_ways[way];
        if (!config.on(way) && state.done < m_lastSeq) {
            // What waits for a way turned off is dropped, or it would all come at once when the
            // way is turned on again, perhaps weeks later.
            append(doneLine(way, m_lastSeq));
            state.done = m_lastSeq;
        }
        state.failures = 0;
        state.retryAt = {};
        state.failing.clear();
    }
    compact();
    sayProblems();
    pump();
}

bool NotifyWorker::append(const QByteArray& line)
{
    const QString path = queuePath(m_app);
    QString error;
    // The file is made owner-only before anything is in it: the events may name the plant.
    if (!QFileInfo::exists(path) && !core::replaceOwnerOnlyFile(path, {}, &error)) {
        m_fileProblem = QStringLiteral("%1 cannot be written: %2").arg(path, error);
        return false;
    }
    if (!core::appendWhole(path, line, {}, &error)) {
        m_fileProblem = QStringLiteral("%1 cannot be written: %2").arg(path, error);
        return false;
    }
    m_fileProblem.clear();
    m_written = true;
    return true;
}

void NotifyWorker::post(Event event)
{
    {
        const std::lock_guard lock(m_postedLock);
        m_posted.push_back(std::move(event));
    }
    QMetaObject::invokeMethod(this, [this] {
        takePosted();
        sayProblems();
        pump();
    });
}

void NotifyWorker::postReport(const QDate& day, Event event)
{
    // What was posted before it goes before it.
    takePosted();
    queue(std::move(event), day);
    sayProblems();
    pump();
}

void NotifyWorker::takePosted()
{
    std::vector<Event> posted;
    {
        const std::lock_guard lock(m_postedLock);
        posted.swap(m_posted);
    }
    // Nothing holds on to m_events while a send waits (the send has copies of what it sends),
    // so what comes meanwhile joins the queue at once.
    for (Event& event : posted)
        queue(std::move(event));
}

void NotifyWorker::queue(Event event, const QDate& reportDay)
{
    event.ways.clear();
    for (const Way way : kWays) {
        if (m_config.on(way))
            event.ways.push_back(way);
    }
    if (event.ways.empty())
        return;
    event.seq = m_lastSeq + 1;
    if (reportDay.isValid()) {
        append(reportLine(reportDay));
        m_lastReport = reportDay;
    }
    // An event the file could not take is sent from memory all the same (the status line says
    // the file cannot be written): a restart might send it again, but it is not lost.
    append(queueLine(event));
    m_lastSeq = event.seq;
    m_events.push_back(std::move(event));
}

void NotifyWorker::pump()
{
    // A send waits for the network; a post that comes meanwhile is handled after it.
    if (m_pumping || m_stop)
        return;
    m_pumping = true;
    const QDateTime now = m_clock.now();
    if (reportDue(m_config, now, m_lastReport)) {
        m_lastReport = now.date().addDays(-1);
        emit reportWanted(m_lastReport);
    }
    for (const Way way : kWays) {
        if (m_config.on(way))
            pumpWay(way, m_ways[way], now);
    }
    compact();
    m_pumping = false;
    sayProblems();
}

void NotifyWorker::pumpWay(Way way, WayState& state, const QDateTime& now)
{
    while (!m_stop) {
        std::vector<Event> waiting;
        for (const Event& e : m_events) {
            if (e.seq > state.done && std::find(e.ways.begin(), e.ways.end(), way) != e.ways.end())
                waiting.push_back(e);
        }
        if (waiting.empty())
            return;
        if (state.retryAt.isValid() && now < state.retryAt)
            return;
        while (!state.sent.empty() && state.sent.front().secsTo(now) >= 3600)
            state.sent.pop_front();
        // The hour's allowance is nearly spent: what comes now waits, and goes as one message
        // once the oldest send of the hour has aged out.
        if (int(state.sent.size()) >= kMessagesPerHour - 1) {
            state.folding = true;
            return;
        }
        if (!state.folding)
            waiting.resize(1);
        const Event message = foldedEvent(waiting);
        const Answer answer = send(way, m_config, message, waiting, &m_stop, m_meanwhile);
        if (m_stop)
            return;
        emit tried(way, answer.ok, answer.text);
        if (!answer.ok) {
            ++state.failures;
            state.retryAt = now.addSecs(retryAfterS(state.failures));
            if (state.failures == 1)
                state.firstError = answer.text;
            if (state.failures >= kFailingAfter && state.failing.isEmpty()) {
                state.failing = QStringLiteral("%1 alarms cannot be delivered (%2): they wait "
                                               "in %3 and are tried again.")
                                    .arg(wayTitle(way), state.firstError,
                                         QFileInfo(queuePath(m_app)).fileName());
            }
            return;
        }
        // Taken, whether or not the file can say so: sent again at once it would come twice.
        append(doneLine(way, waiting.back().seq));
        state.done = waiting.back().seq;
        state.failures = 0;
        state.retryAt = {};
        state.failing.clear();
        state.folding = false;
        state.sent.push_back(now);
        emit delivered(way, state.done);
    }
}

// Once every way has taken everything, the file starts afresh: it never grows for long.
void NotifyWorker::compact()
{
    for (const Event& e : m_events) {
        for (const Way way : e.ways) {
            if (m_ways[way].done < e.seq)
                return;
        }
    }
    if (!m_written) {
        // Only what the file could not take, all sent.
        m_events.clear();
        return;
    }
    const QByteArray kept = m_lastReport.isValid() ? reportLine(m_lastReport) : QByteArray();
    QString error;
    if (!core::replaceOwnerOnlyFile(queuePath(m_app), kept, &error)) {
        m_fileProblem = QStringLiteral("%1 cannot be written: %2").arg(queuePath(m_app), error);
        return;
    }
    // The numbers go on: a way's progress stays what it was.
    m_written = false;
    m_events.clear();
}

void NotifyWorker::test(Way way, const NotifyConfig& config, const Event& event)
{
    const Answer answer = send(way, config, event, {}, &m_stop, m_meanwhile);
    emit tested(way, answer.ok, answer.text);
}

void NotifyWorker::sayProblems()
{
    QStringList problems;
    if (!m_fileProblem.isEmpty())
        problems << m_fileProblem;
    for (const Way way : kWays) {
        if (m_config.on(way) && !m_ways[way].failing.isEmpty())
            problems << m_ways[way].failing;
    }
    if (problems != m_said) {
        m_said = problems;
        emit problemsChanged(problems);
    }
}

} // namespace notify
