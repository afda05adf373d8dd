// simboard: a stand-in for the wind-turbine logger board. It sends the board's frames on a
// pseudo-terminal, linked where the program expects its serial port, at the board's pace.

#include "tools/boardmodel.h"
#include "tools/daylog.h"
#include "tools/pty.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <signal.h>
#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
constexpr double kMinRate = 0.1;
constexpr double kMaxRate = 50.0;
constexpr double kLineBytesPerSecond = 480.0; // 4800 baud, 10 bits a byte
constexpr std::size_t kChunkBytes = 8;
constexpr auto kSplitPause = std::chrono::milliseconds(500);
constexpr auto kSleepSlice = std::chrono::milliseconds(50);

std::atomic<bool> gStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onStopSignal(int)
{
    gStopRequested.store(true);
}

struct Options
{
    std::string link;
    std::optional<std::uint32_t> seed;
    double rate = 1.0;
    double malformed = 0.0;
    bool quiet = false;
    bool help = false;
    std::string writeDay; // instead of a line: write a whole day's log file here
    std::optional<std::tm> date;
};

void printUsage(std::FILE* to)
{
    std::fputs("usage: simboard --link PATH [--seed N] [--rate FRAMES_PER_SECOND]\n"
               "                [--malformed FRACTION] [--quiet]\n"
               "\n"
               "Sends the logger board's frames on a pseudo-terminal linked at PATH.\n"
               "  --link PATH       where to put the link to the line, e.g. the program's com1\n"
               "  --seed N          repeat a run exactly (0 to 4294967295; random if left out)\n"
               "  --rate R          frames a second, 0.1 to 50 (default 1); the 4800-baud line\n"
               "                    carries about 9 at most, faster rates send back to back\n"
               "  --malformed F     damage about this fraction of frames, 0 to 1 (default 0)\n"
               "  --quiet           do not print each frame\n"
               "\n"
               "The turbine follows a stated power curve at the wind each frame reports:\n"
               "P(v) = 0 W below the cut-in of 3 m/s, else min(600 W, 0.45 x v^3) with v in\n"
               "m/s (rated from about 11 m/s); the current is the turbine's charge current, so\n"
               "volts x amps is that power. The wind gusts only a little around its mean.\n"
               "\n"
               "   or: simboard --write-day PATH [--date Y-M-D] [--seed N]\n"
               "\n"
               "Writes the daily log file the program would log from the board over a whole\n"
               "day, one record every 10 seconds, and exits.\n"
               "  --write-day PATH  the file to write, or a folder (such as the program's logs\n"
               "                    folder) to write the date's file Y_M_D.txt in; an existing\n"
               "                    file is never overwritten\n"
               "  --date Y-M-D      the day that names the file in a folder (default today)\n",
               to);
}

bool parseNumber(const std::string& text, double low, double high, double& out)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

bool parseSeed(const std::string& text, std::uint32_t& out)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || value > UINT32_MAX) {
        return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

bool parseDate(const std::string& text, std::tm& out)
{
    int y = 0;
    int m = 0;
    int d = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &y, &m, &d, &end) != 3 || y < 1 || y > 9999 ||
        m < 1 || m > 12 || d < 1) {
        return false;
    }
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d > days[m - 1]) {
        return false;
    }
    out = std::tm{};
    out.tm_year = y - 1900;
    out.tm_mon = m - 1;
    out.tm_mday = d;
    return true;
}

// Returns the options, or nullopt after telling what is wrong in error.
std::optional<Options> parseArguments(int argc, char** argv, std::string& error)
{
    Options options;
    for (int at = 1; at < argc; ++at) {
        std::string name = argv[at];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        const auto takeValue = [&]() -> std::optional<std::string> {
            if (value) {
                return value;
            }
            if (at + 1 < argc) {
                return std::string(argv[++at]);
            }
            return std::nullopt;
        };

        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--quiet") {
            options.quiet = true;
        } else if (name == "--link" || name == "--seed" || name == "--rate" ||
                   name == "--malformed" || name == "--write-day" || name == "--date") {
            const std::optional<std::string> text = takeValue();
            if (!text) {
                error = name + " needs a value";
                return std::nullopt;
            }
            bool ok = true;
            if (name == "--link") {
                options.link = *text;
                ok = !text->empty();
            } else if (name == "--seed") {
                std::uint32_t seed = 0;
                ok = parseSeed(*text, seed);
                options.seed = seed;
            } else if (name == "--rate") {
                ok = parseNumber(*text, kMinRate, kMaxRate, options.rate);
            } else if (name == "--write-day") {
                options.writeDay = *text;
                ok = !text->empty();
            } else if (name == "--date") {
                std::tm date{};
                ok = parseDate(*text, date);
                options.date = date;
            } else {
                ok = parseNumber(*text, 0.0, 1.0, options.malformed);
            }
            if (!ok) {
                error = "bad value for " + name + ": '" + *text + "'";
                return std::nullopt;
            }
        } else {
            error = "unknown argument '" + name + "'";
            return std::nullopt;
        }
    }
    if (!options.help && options.link.empty() && options.writeDay.empty()) {
        error = "--link PATH is required";
        return std::nullopt;
    }
    return options;
}

// Sleeps until when, in short slices so a stop request is seen promptly. False if stopped.
bool sleepUntil(Clock::time_point when)
{
    while (!gStopRequested.load()) {
        const auto left = when - Clock::now();
        if (left <= Clock::duration::zero()) {
            return true;
        }
        const auto slice = std::min<Clock::duration>(left, kSleepSlice);
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(slice).count();
        timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        ::nanosleep(&ts, nullptr); // a signal cuts it short; the loop looks at the flag
    }
    return false;
}

class LineWriter
{
public:
    explicit LineWriter(sim::PseudoTerminal& pty)
        : m_pty(pty)
    {}

    // Writes text a few bytes at a time, each after the line has carried the ones before, so
    // the program gets a frame in pieces as it would from the real board.
    bool send(std::string_view text)
    {
        using Seconds = std::chrono::duration<double>;
        m_wireFreeAt = std::max(m_wireFreeAt, Clock::now());
        while (!text.empty()) {
            const std::string_view chunk = text.substr(0, kChunkBytes);
            text.remove_prefix(chunk.size());
            const bool ok = m_pty.write(chunk);
            if (!ok && !m_stalled) {
                std::fprintf(stderr, "simboard: %s\n", m_pty.error().c_str());
            }
            m_stalled = !ok;
            m_wireFreeAt += std::chrono::duration_cast<Clock::duration>(
                Seconds(static_cast<double>(chunk.size()) / kLineBytesPerSecond));
            if (!sleepUntil(m_wireFreeAt)) {
                return false;
            }
        }
        return true;
    }

private:
    sim::PseudoTerminal& m_pty;
    Clock::time_point m_wireFreeAt{};
    bool m_stalled = false;
};

std::string printable(const std::vector<std::string>& pieces)
{
    std::string out;
    for (const std::string& piece : pieces) {
        if (!out.empty()) {
            out += " ... ";
        }
        for (const char c : piece) {
            out += c == '\r'   ? std::string("\\r")
                   : c == '\n' ? std::string("\\n")
                               : std::string(1, c);
        }
    }
    return out;
}

// Writes a whole day's log file and returns the exit status.
int writeDay(const Options& options)
{
    namespace fs = std::filesystem;
    const std::uint32_t seed = options.seed ? *options.seed : std::random_device{}();
    fs::path path = options.writeDay;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        std::tm date{};
        if (options.date) {
            date = *options.date;
        } else {
            const std::time_t now = std::time(nullptr);
            localtime_r(&now, &date);
        }
        path /= std::to_string(date.tm_year + 1900) + "_" + std::to_string(date.tm_mon + 1) + "_" +
                std::to_string(date.tm_mday) + ".txt";
    }
    // A day file may hold real records: never overwrite one.
    if (fs::exists(fs::symlink_status(path, ec))) {
        std::fprintf(stderr, "simboard: %s exists already; not overwritten\n", path.c_str());
        return kExitFailure;
    }
    sim::DayLogShape shape;
    shape.seed = seed;
    const std::string text = sim::dayLogText(shape);
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "simboard: cannot write %s\n", path.c_str());
        return kExitFailure;
    }
    std::printf("simboard: wrote %d records to %s, seed %u\n", shape.records, path.c_str(),
                static_cast<unsigned>(seed));
    return 0;
}

int run(const Options& options)
{
    const std::uint32_t seed = options.seed ? *options.seed : std::random_device{}();

    sim::PseudoTerminal pty;
    if (!pty.isOpen()) {
        std::fprintf(stderr, "simboard: %s\n", pty.error().c_str());
        return kExitFailure;
    }
    if (!pty.linkAt(options.link)) {
        std::fprintf(stderr, "simboard: %s\n", pty.error().c_str());
        return kExitFailure;
    }
    std::printf("simboard: logger board on %s, linked at %s, seed %u (Ctrl+C to stop)\n",
                pty.slavePath().c_str(), pty.linkPath().c_str(), static_cast<unsigned>(seed));
    std::fflush(stdout);

    sim::BoardModel model(seed);
    LineWriter line(pty);
    const double dt = 1.0 / options.rate;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(dt));
    auto nextFrameAt = Clock::now();

    while (!gStopRequested.load()) {
        const std::string frame = sim::frameText(model.step(dt));
        std::vector<std::string> pieces{frame};
        const std::optional<sim::Fault> fault = model.nextFault(options.malformed);
        if (fault) {
            const std::string next =
                *fault == sim::Fault::Merged ? sim::frameText(model.step(dt)) : std::string();
            pieces = model.malform(*fault, frame, next);
        }
        if (!options.quiet) {
            std::printf("%s%s%s\n", fault ? sim::faultName(*fault).data() : "", fault ? ": " : "",
                        printable(pieces).c_str());
            std::fflush(stdout);
        }

        bool going = true;
        for (std::size_t at = 0; going && at < pieces.size(); ++at) {
            if (at > 0) {
                going = sleepUntil(Clock::now() + kSplitPause);
            }
            going = going && line.send(pieces[at]);
        }

        nextFrameAt = std::max(nextFrameAt + period, Clock::now());
        if (!going || !sleepUntil(nextFrameAt)) {
            break;
        }
    }
    pty.close();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    struct sigaction action
    {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a stop should cut sleeps short
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::string error;
    const std::optional<Options> options = parseArguments(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "simboard: %s\n", error.c_str());
        printUsage(stderr);
        return kExitUsage;
    }
    if (options->help) {
        printUsage(stdout);
        return 0;
    }
    if (!options->writeDay.empty()) {
        return writeDay(*options);
    }
    return run(*options);
}
