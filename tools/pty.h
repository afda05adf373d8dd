#pragma once

#include <string>
#include <string_view>

namespace sim {

// One pseudo-terminal that stands in for the logger board's serial line.
//
// We keep the slave side open ourselves, in raw mode at 4800 baud, so the line never echoes, never
// translates CR/LF and does not hang up when the program on the other end closes and reopens the
// port. The master is non-blocking: a stalled reader must never stall the board.
class PseudoTerminal
{
public:
    // Above this many unread bytes nobody is listening; the queue is dropped before writing.
    static constexpr int kStaleQueueBytes = 512;
    // How long write() waits for a full line to drain before it gives up on the rest.
    static constexpr int kWriteWaitMs = 200;

    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isOpen() const { return m_master >= 0; }
    // Why the last operation failed; empty when nothing has.
    const std::string& error() const { return m_error; }
    // The slave device, e.g. /dev/pts/5.
    const std::string& slavePath() const { return m_slavePath; }
    // Absolute path of the link made by linkAt(), or empty.
    const std::string& linkPath() const { return m_linkPath; }
    int masterFd() const { return m_master; }

    // Points a symbolic link at path to the slave, replacing a file or link already there.
    // The link is removed again by close(), unless someone has replaced it meanwhile.
    bool linkAt(const std::string& path);

    // Writes all of data to the line. Returns false if the line stayed full for kWriteWaitMs;
    // what was not written by then is dropped, as a real line would.
    bool write(std::string_view data);

    // Closes the master first, so a program on the line sees it go away, then the slave, and
    // removes the link.
    void close();

private:
    void setError(std::string_view what, int errorNumber);
    void discardLineInput();
    void dropStaleQueue();
    void removeLink();

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_linkPath;
    std::string m_error;
};

} // namespace sim
