#include "core/systemsignals.h"

#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace core {
namespace {

// SIGQUIT (Ctrl-\) ends the program like Ctrl-C, without a core dump; SIGPWR is what a UPS
// daemon or init sends when the power is failing, the moment above all others to write what is
// held.
constexpr int kHandled[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPWR};
int g_pipe[2] = {-1, -1};
// Seconds from the first end signal to the last resort; 0: none.
std::atomic<unsigned> g_endWithin{0};
std::atomic<bool> g_ending{false};
std::atomic<bool> g_hangupReloads{false};
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "read from a signal handler");

constexpr char kTooLate[] =
    "The close steps did not end in time, so the program ends without them.\n";

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    if (signal != SIGHUP || !g_hangupReloads)
        g_ending = true;
    const char number = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &number, 1);
    errno = saved;
}

sigset_t endSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kHandled)
        sigaddset(&set, signal);
    return set;
}

} // namespace

SystemSignals::SystemSignals(QObject* parent)
    : QObject(parent)
{
    if (g_pipe[0] >= 0)
        qFatal("Only one SystemSignals may exist at a time");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) {
        qWarning("Cannot watch for the system's end signals: %s", std::strerror(errno));
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SystemSignals::readPipe);
    struct sigaction action
    {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kHandled)
        ::sigaction(signal, &action, nullptr);
}

// A thread stuck in a call on a folder that does not answer cannot take a signal, and the kernel
// may hand a signal for the process to just that thread (the main one, as likely as not). So the
// end signals are blocked here, before any other thread exists to inherit them unblocked, and
// taken by a thread of their own that does nothing else; it also keeps the time limit.
void SystemSignals::endWithin(std::chrono::seconds limit)
{
    g_endWithin = unsigned(std::max<std::chrono::seconds::rep>(limit.count(), 1));
    const sigset_t ends = endSignals();
    ::pthread_sigmask(SIG_BLOCK, &ends, nullptr);
    std::thread([] {
        sigset_t waiting;
        ::pthread_sigmask(SIG_SETMASK, nullptr, &waiting);
        for (const int signal : kHandled)
            sigdelset(&waiting, signal);
        while (!g_ending)
            ::sigsuspend(&waiting);
        std::this_thread::sleep_for(std::chrono::seconds(g_endWithin.load()));
        if (g_endWithin == 0)
            return; // the program ended in time: the object is gone
        [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kTooLate, sizeof kTooLate - 1);
        ::_exit(1);
    }).detach();
}

void SystemSignals::hangupReloads()
{
    g_hangupReloads = true;
}

SystemSignals::~SystemSignals()
{
    g_endWithin = 0;
    g_hangupReloads = false;
    if (g_pipe[0] < 0)
        return;
    for (const int signal : kHandled)
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SystemSignals::readPipe()
{
    char numbers[16];
    ssize_t n = 0;
    while ((n = ::read(g_pipe[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit received(int(numbers[i]));
    }
}

} // namespace core
