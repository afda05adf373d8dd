#pragma once

#include <QObject>
#include <chrono>

class QSocketNotifier;

namespace core {

// The signals with which the system or a terminal ends a program (SIGTERM at logout or shutdown,
// SIGINT for Ctrl-C, SIGQUIT for Ctrl-\, SIGHUP when the terminal goes, SIGPWR when the power
// fails) arrive as received() on the thread that made this object, so the program can take its
// normal close steps. The handler itself only writes
// the signal's number into a pipe; everything else runs from the event loop. One at a time.
class SystemSignals : public QObject
{
    Q_OBJECT
public:
    explicit SystemSignals(QObject* parent = nullptr);
    ~SystemSignals() override;

    // For a service whose stop must end in time whatever its threads wait for: the end signals
    // are taken by a thread of their own (call this before any other thread starts, as the
    // others inherit the signals blocked), and once the first has come the process ends at the
    // latest `limit` after it, even if its event loop never gets to the signal. That last resort
    // says so on standard error and exits with status 1, as the close steps said nothing.
    void endWithin(std::chrono::seconds limit);

    // For a service: SIGHUP no longer ends the program but asks it to read its settings again
    // (a service has no terminal to lose). It still arrives as received().
    void hangupReloads();

signals:
    void received(int signal);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace core
