#pragma once

#include <QThread>

namespace core {

// A thread for a part's own work (the web server, the notify worker): its event loop, then the
// objects deleted on it, then what OpenSSL keeps for it (Qt's TLS backend and libcurl use OpenSSL
// there). Qt's threads are detached, so their own thread-local cleanup may run after wait() has
// returned, and so after the library's cleanup at exit: that state would be lost.
class WorkerThread : public QThread
{
    Q_OBJECT
public:
    using QThread::QThread;

protected:
    void run() override;
};

} // namespace core
