#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace season {

// Set when a window no longer wants a computation's answer; the long ones look at it between
// days and stop early.
using CancelFlag = std::atomic<bool>;

// Makes the calling thread give way to the windows' thread, which is also the plant's, whenever
// both want a core: on Linux a nice of 10 for this thread alone, once. The windows' thread
// itself is left as it is, so a test or a tool may call the same work there.
void giveWayToTheWindows();

// A window's computations, kept off the window's thread (which is also the plant's): each runs
// on a pool of the window's own, never on the summaries' month pool it waits on (a wait from
// inside that pool could be for itself), and its answer comes back on the window's thread. Each
// kind of computation is a lane; a newer job of a lane supersedes the older, whose answer is
// dropped when it comes. Destroying it cancels every job and waits only for the day each is on.
class ViewJobs : public QObject
{
public:
    explicit ViewJobs(int lanes, QObject* parent = nullptr);
    ~ViewJobs() override;

    // Runs work(cancel) on the pool and then done(result) on this object's thread, unless a newer
    // job of the lane has started since. work holds values and shared data only, never a widget.
    template <typename Work, typename Done> void start(int lane, Work work, Done done);
    // Drops the lane's job: its answer will not be handed on.
    void cancel(int lane);
    // While a lane's latest job has not handed its answer on.
    bool busy(int lane) const;

private:
    struct Lane
    {
        std::shared_ptr<CancelFlag> cancel;
        quint64 generation = 0;
        bool busy = false;
    };
    // The lane's older job cancelled; the new job's flag.
    std::shared_ptr<CancelFlag> restart(int lane);
    // Whether the job of that generation is still the lane's latest (it is done then).
    bool finish(int lane, quint64 generation);

    std::vector<Lane> m_lanes;
    QThreadPool m_pool;
};

template <typename Work, typename Done> void ViewJobs::start(int lane, Work work, Done done)
{
    using Result = std::invoke_result_t<Work&, const CancelFlag&>;
    std::shared_ptr<CancelFlag> flag = restart(lane);
    const quint64 generation = m_lanes[std::size_t(lane)].generation;
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, watcher,
            [this, watcher, lane, generation, done = std::move(done)]() mutable {
                watcher->deleteLater();
                if (finish(lane, generation))
                    done(watcher->future().takeResult());
            });
    watcher->setFuture(
        QtConcurrent::run(&m_pool, [work = std::move(work), flag = std::move(flag)]() mutable {
            giveWayToTheWindows();
            return work(std::as_const(*flag));
        }));
}

} // namespace season
