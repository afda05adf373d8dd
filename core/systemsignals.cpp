#include "core/systemsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace core {
namespace {

constexpr int kHandled[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &number, 1);
    errno = saved;
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

SystemSignals::~SystemSignals()
{
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
