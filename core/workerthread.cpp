#include "core/workerthread.h"

#include <QCoreApplication>
#include <QEvent>
#include <openssl/crypto.h>

namespace core {

void WorkerThread::run()
{
    exec();
    // Objects given up with deleteLater before the quit end here, before OpenSSL lets go.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    OPENSSL_thread_stop();
}

} // namespace core
