#include "season/viewjobs.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace season {

// Qt's thread priorities change nothing under Linux's ordinary scheduling, and its idle one
// could starve a year's reading on a busy machine; a nice value of a thread's own does neither.
void giveWayToTheWindows()
{
    thread_local bool given = false;
    const QCoreApplication* app = QCoreApplication::instance();
    if (given || (app && QThread::currentThread() == app->thread()))
        return;
    given = true;
#ifdef Q_OS_LINUX
    // Should it fail, the thread only competes as it did before: nothing to report.
    ::setpriority(PRIO_PROCESS, id_t(::gettid()), 10);
#endif
}

// A thread a lane, so a quick job (a resize's columns) never waits behind a year being read.
ViewJobs::ViewJobs(int lanes, QObject* parent)
    : QObject(parent)
    , m_lanes(std::size_t(std::max(lanes, 1)))
{
    m_pool.setMaxThreadCount(int(m_lanes.size()));
}

// The pool waits for its jobs as it goes; cancelled, each ends within the day it is on.
ViewJobs::~ViewJobs()
{
    for (Lane& l : m_lanes) {
        if (l.cancel)
            *l.cancel = true;
    }
    m_pool.waitForDone();
}

std::shared_ptr<CancelFlag> ViewJobs::restart(int lane)
{
    Lane& l = m_lanes[std::size_t(lane)];
    if (l.cancel)
        *l.cancel = true;
    l.cancel = std::make_shared<CancelFlag>(false);
    ++l.generation;
    l.busy = true;
    return l.cancel;
}

void ViewJobs::cancel(int lane)
{
    Lane& l = m_lanes[std::size_t(lane)];
    if (l.cancel)
        *l.cancel = true;
    ++l.generation;
    l.busy = false;
}

bool ViewJobs::busy(int lane) const
{
    return m_lanes[std::size_t(lane)].busy;
}

bool ViewJobs::finish(int lane, quint64 generation)
{
    Lane& l = m_lanes[std::size_t(lane)];
    if (generation != l.generation)
        return false;
    l.busy = false;
    return true;
}

} // namespace season
