#include "tools/pty.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

bool setFdFlag(int fd, int getCmd, int setCmd, int flag)
{
    const int flags = ::fcntl(fd, getCmd);
    return flags >= 0 && ::fcntl(fd, setCmd, flags | flag) == 0;
}

std::string readLinkTarget(const std::string& path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// Two boards linking in the same folder must not trip over each other's temporary names.
std::atomic<unsigned> gLinkCounter{0};

} // namespace

PseudoTerminal::PseudoTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        setError("cannot open a pseudo-terminal", errno);
        return;
    }
    if (!setFdFlag(m_master, F_GETFD, F_SETFD, FD_CLOEXEC) || ::grantpt(m_master) != 0 ||
        ::unlockpt(m_master) != 0) {
        setError("cannot prepare the pseudo-terminal", errno);
        close();
        return;
    }

    char name[PATH_MAX] = {};
#ifdef __linux__
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        setError("cannot name the pseudo-terminal", errno);
        close();
        return;
    }
#else
    const char* found = ::ptsname(m_master);
    if (found == nullptr) {
        setError("cannot name the pseudo-terminal", errno);
        close();
        return;
    }
    std::strncpy(name, found, sizeof name - 1);
#endif
    m_slavePath = name;

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        setError("cannot open " + m_slavePath, errno);
        close();
        return;
    }

    termios tio{};
    bool configured = ::tcgetattr(m_slave, &tio) == 0;
    if (configured) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        configured = ::cfsetispeed(&tio, B4800) == 0 && ::cfsetospeed(&tio, B4800) == 0 &&
                     ::tcsetattr(m_slave, TCSANOW, &tio) == 0;
    }
    if (!configured) {
        setError("cannot set " + m_slavePath + " to raw 4800 baud", errno);
        close();
        return;
    }
    if (!setFdFlag(m_master, F_GETFL, F_SETFL, O_NONBLOCK)) {
        setError("cannot make the pseudo-terminal non-blocking", errno);
        close();
    }
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::linkAt(const std::string& path)
{
    if (!isOpen()) {
        m_error = "the pseudo-terminal is not open";
        return false;
    }
    std::error_code ec;
    const std::string target = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (path.empty() || ec) {
        m_error = "cannot use link path '" + path + "'";
        return false;
    }

    // Link under a temporary name and rename it into place: that replaces whatever was there
    // in one step, and refuses to clobber a directory.
    const std::string temporary = target + ".simboard-" + std::to_string(::getpid()) + "-" +
                                  std::to_string(gLinkCounter.fetch_add(1));
    ::unlink(temporary.c_str());
    if (::symlink(m_slavePath.c_str(), temporary.c_str()) != 0) {
        setError("cannot create a link at " + target, errno);
        return false;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        setError("cannot replace " + target, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (m_linkPath != target) {
        removeLink();
    }
    m_linkPath = target;
    m_error.clear();
    return true;
}

bool PseudoTerminal::write(std::string_view data)
{
    if (!isOpen()) {
        m_error = "the pseudo-terminal is not open";
        return false;
    }
    discardLineInput();
    dropStaleQueue();

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    while (!data.empty()) {
        const ssize_t n = ::write(m_master, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            setError("cannot write to the line", errno);
            return false;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            m_error = "the line stayed full; dropped " + std::to_string(data.size()) + " bytes";
            return false;
        }
        pollfd pfd{m_master, POLLOUT, 0};
        ::poll(&pfd, 1, static_cast<int>(left));
    }
    m_error.clear();
    return true;
}

void PseudoTerminal::close()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
    removeLink();
}

void PseudoTerminal::setError(std::string_view what, int errorNumber)
{
    m_error = std::string(what) + ": " + std::strerror(errorNumber);
}

// The board ignores whatever a program sends it. Reading it away keeps the line's other
// direction from filling up and blocking that program.
void PseudoTerminal::discardLineInput()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return;
    }
}

// A real line loses what is sent while no program has the port open. Without this, a program
// opening the port would first get minutes of old frames.
void PseudoTerminal::dropStaleQueue()
{
    int waiting = 0;
    if (::ioctl(m_slave, FIONREAD, &waiting) == 0 && waiting > kStaleQueueBytes) {
        ::tcflush(m_slave, TCIFLUSH);
    }
}

void PseudoTerminal::removeLink()
{
    if (m_linkPath.empty()) {
        return;
    }
    // Another board may have taken the name over since; its link is not ours to remove.
    if (readLinkTarget(m_linkPath) == m_slavePath) {
        ::unlink(m_linkPath.c_str());
    }
    m_linkPath.clear();
}

} // namespace sim
