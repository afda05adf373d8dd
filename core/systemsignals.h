#pragma once

#include <QObject>

class QSocketNotifier;

namespace core {

// The signals with which the system or a terminal ends a program (SIGTERM at logout or shutdown,
// SIGINT for Ctrl-C, SIGHUP when the terminal goes) arrive as received() on the thread that made
// this object, so the program can take its normal close steps. The handler itself only writes
// the signal's number into a pipe; everything else runs from the event loop. One at a time.
class SystemSignals : public QObject
{
    Q_OBJECT
public:
    explicit SystemSignals(QObject* parent = nullptr);
    ~SystemSignals() override;

signals:
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace core
