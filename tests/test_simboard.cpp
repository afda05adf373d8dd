// The pseudo-terminal the simulated board talks through, and the simboard program as a whole.
//
// Expects the compile definition SIMBOARD_PATH, the simboard executable's path:
//   target_compile_definitions(test_simboard PRIVATE SIMBOARD_PATH="$<TARGET_FILE:simboard>")
//   add_dependencies(test_simboard simboard)

#include "tools/boardmodel.h"
#include "tools/pty.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#ifndef SIMBOARD_PATH
#error "SIMBOARD_PATH must name the simboard executable"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;
using sim::Fault;
using sim::RawSample;
using Text = std::string;

// Bounds only so a broken test cannot hang; nothing is timed against them.
constexpr int kWaitMs = 20000;

const std::regex
    kFramePattern(R"(\[<V>-?\d+</V><I>-?\d+</I><R>-?\d+</R><M>[01]</M><S>-?\d+</S>\]\r\n)");
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd)
    {}
    Fd(Fd&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {}
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

class TempDir
{
public:
    TempDir()
    {
        Text pattern = (fs::temp_directory_path() / "simboard-test-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) != nullptr ? pattern : Text();
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    fs::path operator/(const Text& name) const { return m_path / name; }

private:
    fs::path m_path;
};

bool waitUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        ::poll(nullptr, 0, 2);
    }
    return true;
}

// Opens the line as the program would: read-write, not as controlling terminal.
Fd openLine(const fs::path& path, bool makeRaw)
{
    Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios tio{};
    if (makeRaw && ::tcgetattr(fd.get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd.get(), TCSANOW, &tio);
    }
    return fd;
}

int queuedBytes(int fd)
{
    int n = -1;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

// Reads until done says the text is complete, the line ends, or the bound runs out.
Text readUntil(int fd, const std::function<bool(const Text&)>& done, int* reads = nullptr)
{
    Text got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!done(got)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0 && (n == 0 || errno != EAGAIN)) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (reads != nullptr && n > 0) {
            ++*reads;
        }
    }
    return got;
}

Text readCount(int fd, std::size_t count)
{
    return readUntil(fd, [count](const Text& s) { return s.size() >= count; });
}

// What reaches fd up to a marker sent after everything else: nothing but the marker when
// nothing else came, a positive sign instead of a pause that found nothing.
Text upToMarker(int fd, const std::function<bool(const Text&)>& sendMarker)
{
    const Text marker = "[marker]";
    if (!sendMarker(marker)) {
        return "(the marker could not be sent)";
    }
    return readUntil(fd, [&](const Text& s) { return s.ends_with(marker); });
}

bool isLink(const fs::path& path)
{
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
}

// How many of this process's descriptors have the device open (a hung-up pty shows as deleted).
int descriptorsOn(const Text& device)
{
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        const Text target = fs::read_symlink(entry.path(), ec).string();
        count += target == device || target == device + " (deleted)" ? 1 : 0;
    }
    return count;
}

// --- The pseudo-terminal ---------------------------------------------------------------------

class Line : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_pty.isOpen()) << m_pty.error(); }
    fs::path link() const { return m_dir / "com1"; }
    void linkIt() { ASSERT_TRUE(m_pty.linkAt(link())) << m_pty.error(); }

    TempDir m_dir;
    sim::PseudoTerminal m_pty;
};

TEST_F(Line, LinksToItsSlave)
{
    EXPECT_GE(m_pty.masterFd(), 0);
    EXPECT_TRUE(m_pty.slavePath().starts_with("/dev/")) << m_pty.slavePath();
    linkIt();
    EXPECT_EQ(fs::read_symlink(link()), m_pty.slavePath());
    EXPECT_EQ(m_pty.linkPath(), link().string());
}

TEST_F(Line, LinkReplacesAFileOrLinkButNotADirectory)
{
    const std::pair<const char*, std::function<void(const fs::path&)>> cases[] = {
        {"file",
         [](const fs::path& p) {
             Fd(::creat(p.c_str(), 0644));
         }},
        {"link",
         [](const fs::path& p) {
             fs::create_symlink("/dev/null", p);
         }},
        {"dangling link",
         [](const fs::path& p) {
             fs::create_symlink("/nowhere/at/all", p);
         }},
    };
    for (const auto& [what, make] : cases) {
        const fs::path path = m_dir / what;
        make(path);
        ASSERT_TRUE(m_pty.linkAt(path)) << what << ": " << m_pty.error();
        EXPECT_EQ(fs::read_symlink(path), m_pty.slavePath()) << what;
    }
    fs::create_directory(link());
    EXPECT_FALSE(m_pty.linkAt(link()));
    EXPECT_FALSE(m_pty.error().empty());
    EXPECT_TRUE(fs::is_directory(link()));
}

TEST_F(Line, IsRawAt4800BeforeAnyoneSetsItUp)
{
    linkIt();
    const Fd line = openLine(link(), false);
    termios tio{};
    ASSERT_EQ(::tcgetattr(line.get(), &tio), 0) << std::strerror(errno);
    EXPECT_EQ(::cfgetispeed(&tio), B4800);
    EXPECT_EQ(::cfgetospeed(&tio), B4800);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);

    // Bytes arrive as sent, CR included, whether written whole or in pieces, and none echo back.
    const Text frame = "[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n";
    ASSERT_TRUE(m_pty.write(frame.substr(0, 5)));
    ASSERT_TRUE(m_pty.write(frame.substr(5)));
    EXPECT_EQ(readCount(line.get(), frame.size()), frame);
    // An echo would reach the board before what the program writes after reading.
    EXPECT_EQ(upToMarker(m_pty.masterFd(),
                         [&](const Text& m) {
                             return ::write(line.get(), m.data(), m.size()) ==
                                    static_cast<ssize_t>(m.size());
                         }),
              "[marker]");
}

TEST_F(Line, StaysUpBetweenUsers)
{
    linkIt();
    for (const Text text : {"first user\r\n", "second user\r\n"}) {
        const Fd line = openLine(link(), true);
        ASSERT_TRUE(m_pty.write(text)) << m_pty.error();
        EXPECT_EQ(readCount(line.get(), text.size()), text);
    }
}

// The board ignores what the program sends; left unread it would fill the line and block the
// program's writes.
TEST_F(Line, ReadsAwayWhatTheProgramSends)
{
    linkIt();
    const Fd line = openLine(link(), true);
    ASSERT_EQ(::write(line.get(), "hello", 5), 5);
    ASSERT_TRUE(waitUntil([&] { return queuedBytes(m_pty.masterFd()) == 5; }));
    ASSERT_TRUE(m_pty.write("."));
    EXPECT_EQ(queuedBytes(m_pty.masterFd()), 0);
}

TEST_F(Line, CloseHangsUpAndRemovesTheLink)
{
    linkIt();
    const Fd line = openLine(link(), true);
    m_pty.close();
    EXPECT_FALSE(m_pty.isOpen());
    EXPECT_FALSE(isLink(link()));
    EXPECT_FALSE(m_pty.write("late"));
    EXPECT_EQ(descriptorsOn(m_pty.slavePath()), 1) << "only the reader's should be left";

    pollfd pfd{line.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, kWaitMs), 1) << "the reader never saw the line go";
    char c = 0;
    const ssize_t n = ::read(line.get(), &c, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n << ", " << std::strerror(errno);
}

TEST_F(Line, CloseLeavesALinkSomeoneElseMade)
{
    linkIt();
    fs::remove(link());
    fs::create_symlink("/dev/null", link());
    m_pty.close();
    EXPECT_EQ(fs::read_symlink(link()), "/dev/null");
}

// A long unread queue means nobody has the port open: it goes. A short one is a reader that is
// merely behind: it stays.
TEST(LineQueue, DropsAStaleQueueButKeepsAShortOne)
{
    for (const auto& [unread, kept] :
         {std::pair{600, false}, {2000, false}, {100, true}, {500, true}}) {
        TempDir dir;
        sim::PseudoTerminal pty;
        ASSERT_TRUE(pty.linkAt(dir / "com1"));
        // Open only to watch the queue; nothing is read until the fresh frame is written.
        const Fd line = openLine(dir / "com1", false);
        const Text old(static_cast<std::size_t>(unread), 'o');
        ASSERT_TRUE(pty.write(old));
        ASSERT_TRUE(waitUntil([&] { return queuedBytes(line.get()) >= unread; }));

        const Text fresh = "[fresh]\r\n";
        ASSERT_TRUE(pty.write(fresh));
        const Text got = readUntil(line.get(), [&](const Text& s) { return s.ends_with(fresh); });
        EXPECT_EQ(got, kept ? old + fresh : fresh) << unread << " unread bytes";
        // Nothing of the old queue comes after the fresh frame either.
        EXPECT_EQ(upToMarker(line.get(), [&](const Text& m) { return pty.write(m); }), "[marker]")
            << unread << " unread bytes";
    }
}

// --- The simboard program --------------------------------------------------------------------

struct Child
{
    pid_t pid = -1;
    Fd out, err;
};

Child start(std::vector<Text> args)
{
    int out[2], err[2];
    Child child;
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        return child;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    args.insert(args.begin(), SIMBOARD_PATH);
    std::vector<char*> argv;
    for (Text& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    if (::posix_spawn(&child.pid, SIMBOARD_PATH, &actions, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    child.out = Fd(out[0]);
    child.err = Fd(err[0]);
    return child;
}

// The exit status; -1 if it would not end, and then it is killed.
int finish(const Child& child)
{
    int status = 0;
    if (!waitUntil([&] { return ::waitpid(child.pid, &status, WNOHANG) == child.pid; })) {
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Text readAll(int fd)
{
    return readUntil(fd, [](const Text&) { return false; });
}

class SimboardStop : public ::testing::TestWithParam<int>
{};

TEST_P(SimboardStop, SendsWholeFramesInPiecesThenStopsCleanly)
{
    TempDir dir;
    const fs::path link = dir / "com1";
    const Child child = start({"--link", link.string(), "--rate", "20", "--seed", "3", "--quiet"});
    ASSERT_GT(child.pid, 0);
    const Text hello = readUntil(child.out.get(), [](const Text& s) { return s.ends_with("\n"); });
    EXPECT_NE(hello.find(" on /dev/"), Text::npos) << hello;
    EXPECT_NE(hello.find("linked at " + link.string()), Text::npos) << hello;

    // Whatever queued up before we opened, and the rest of the frame in progress, is skipped;
    // the three frames after that must be whole.
    const Fd line = openLine(link, true);
    Text got = readUntil(line.get(), [](const Text& s) { return s.ends_with("\n"); });
    ASSERT_TRUE(got.ends_with("\n")) << got;
    int reads = 0;
    got = readUntil(
        line.get(), [](const Text& s) { return std::count(s.begin(), s.end(), '\n') >= 3; },
        &reads);
    for (int n = 0; n < 3; ++n) {
        const std::size_t end = got.find('\n');
        ASSERT_NE(end, Text::npos) << got;
        EXPECT_TRUE(std::regex_match(got.substr(0, end + 1), kFramePattern)) << got;
        got.erase(0, end + 1);
    }
    // Paced at 4800 baud a frame takes about a tenth of a second, so it comes in pieces.
    EXPECT_GT(reads, 3);

    ASSERT_EQ(::kill(child.pid, GetParam()), 0);
    EXPECT_EQ(finish(child), 0) << readAll(child.err.get());
    EXPECT_FALSE(isLink(link));
}

INSTANTIATE_TEST_SUITE_P(Signals, SimboardStop, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "Term" : "Int"; });

TEST(Simboard, RejectsBadArgumentsAndReportsFailures)
{
    TempDir dir;
    const Text link = (dir / "com1").string();
    const std::pair<std::vector<Text>, int> cases[] = {
        {{}, 2},
        {{"--rate", "1"}, 2},
        {{"--link"}, 2},
        {{"--link", link, "--rate", "0"}, 2},
        {{"--link", link, "--rate", "fast"}, 2},
        {{"--link", link, "--rate", "51"}, 2},
        {{"--link", link, "--malformed", "1.5"}, 2},
        {{"--link", link, "--seed", "-1"}, 2},
        {{"--link", link, "--colour"}, 2},
        {{"--link", (dir / "missing" / "com1").string(), "--quiet"}, 1},
    };
    for (const auto& [args, status] : cases) {
        const Child child = start(args);
        ASSERT_GT(child.pid, 0);
        const Text said = readAll(child.err.get());
        const Text asked = args.empty() ? Text("(no arguments)") : args.back();
        EXPECT_EQ(finish(child), status) << asked;
        EXPECT_TRUE(said.starts_with("simboard: ")) << asked << ": " << said;
    }
    EXPECT_FALSE(fs::exists(link));
}

} // namespace
