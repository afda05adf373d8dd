#pragma once

#include "core/appdir.h"
#include "core/clock.h"
#include "notify/notifyconfig.h"
#include "notify/notifyevent.h"
#include "notify/notifysend.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace notify {

// The most messages one way sends in an hour. Once all but one are spent, what comes waits and
// goes as one message ("... and N more") when the oldest send of the hour has aged out.
inline constexpr int kMessagesPerHour = 20;
// The longest wait between two tries of a way that fails, and the first.
inline constexpr qint64 kLongestRetryS = 600;
inline constexpr qint64 kFirstRetryS = 10;
// A way is said to be failing once this many tries in a row have failed: one lost packet is
// not worth a word.
inline constexpr int kFailingAfter = 2;

// Whether the daily report of the day before is due at now: on, past ReportHour, and not sent
// for that day yet (lastReport: the day the last report was about).
bool reportDue(const NotifyConfig& config, const QDateTime& now, const QDate& lastReport);

// The wait before the next try after failures tries in a row have failed: kFirstRetryS,
// doubling, at most kLongestRetryS.
qint64 retryAfterS(int failures);

// The queue and its sending, on a thread of its own: the plant hands it events and never waits
// for the disk or the network. Each event is appended to the queue file (synced) before any way
// sends it, also while a send waits for its server; each way sends its events in order and
// appends how far it got, so a restart goes on where each way stood, neither losing nor
// repeating. When the file cannot be written the events are sent from memory all the same: a
// restart might send one again, which beats losing it. The times of the retries and of the
// hourly allowance are the plant's clock's.
class NotifyWorker : public QObject
{
    Q_OBJECT
public:
    NotifyWorker(const core::AppDir& app, const core::Clock& clock);
    ~NotifyWorker() override;

    // Reads the queue file and begins the second's tick. Call on the worker's thread.
    void start();
    // New settings: a way turned off takes none of what waits (it is marked taken).
    void setConfig(const NotifyConfig& config);
    // Queues an event for the ways that are on now; nothing when none is. Called on any thread:
    // the event waits in memory until the worker's thread writes it, at its next turn or while
    // a send waits, whichever comes first.
    void post(Event event);
    // Queues the daily report of a day. Call on the worker's thread.
    void postReport(const QDate& day, Event event);
    // Sends what is due now (the second's tick does it too).
    void pump();
    // Sends a test by one way, with these settings, and says the answer (tested()).
    void test(Way way, const NotifyConfig& config, const Event& event);
    // Ends a send under way at once: the program is closing.
    void stop() { m_stop = true; }

signals:
    // The ways failing now, one line each, anew on each change.
    void problemsChanged(const QStringList& problems);
    // A way's send was answered (or failed): the server's words.
    void tried(notify::Way way, bool ok, const QString& answer);
    // A way has taken the events up to seq.
    void delivered(notify::Way way, qint64 seq);
    void tested(notify::Way way, bool ok, const QString& answer);
    // A daily report is due for the day: the plant composes it.
    void reportWanted(const QDate& day);

private:
    struct WayState
    {
        qint64 done = 0;
        int failures = 0;
        QDateTime retryAt; // invalid: now
        std::deque<QDateTime> sent;
        QString failing; // what is said of it, empty while it delivers
        QString firstError;
        bool folding = false; // the allowance ran out: the next message folds what waits
    };

    // The events posted since the last time, into the queue file and the queue.
    void takePosted();
    // One event into the queue file and the queue, for the ways on now.
    void queue(Event event, const QDate& reportDay = {});
    void pumpWay(Way way, WayState& state, const QDateTime& now);
    bool append(const QByteArray& line);
    void compact();
    void sayProblems();

    core::AppDir m_app;
    core::Clock m_clock;
    NotifyConfig m_config;
    std::vector<Event> m_events;
    std::map<Way, WayState> m_ways;
    qint64 m_lastSeq = 0;
    QDate m_lastReport;
    QString m_fileProblem;
    QStringList m_said;
    QTimer* m_tick = nullptr;
    std::atomic<bool> m_stop = false;
    std::mutex m_postedLock;
    std::vector<Event> m_posted; // posted from the plant's thread, not queued yet
    std::function<void()> m_meanwhile;
    bool m_pumping = false;
    bool m_written = false; // the file holds events or progress since it last started afresh
};

} // namespace notify
