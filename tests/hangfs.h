#pragma once

// A folder that stops answering, for the tests: tests/hangfs.py run over a real folder. The
// test's build names the script in HANGFS_PATH.

#include "tests/fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <unistd.h>

#ifndef HANGFS_PATH
#error "HANGFS_PATH names tests/hangfs.py"
#endif

// tests/hangfs.py over a real folder: the mount shows the folder's files until hang(), after which
// every call on the mount waits until release(), as on a network folder whose server has gone;
// or, after cut(), nothing written on the mount reaches the folder any more.
// Unmounted at the end whatever happened, so nothing is left waiting on it; the script ends with
// the test's process too.
class HangFs
{
public:
    // Kernel: the kernel keeps what it learnt of names and attributes for a second, and answers
    // from that while the folder hangs. Off: every call reaches the folder, so none gets through
    // a hung one.
    enum class Cache
    {
        Kernel,
        Off,
    };

    explicit HangFs(const QString& mirror, Cache cache = Cache::Kernel)
    {
        m_mount = m_dir.filePath(QStringLiteral("mount"));
        m_control = m_dir.filePath(QStringLiteral("hang"));
        m_log = m_dir.filePath(QStringLiteral("waiting.log"));
        m_cut = m_dir.filePath(QStringLiteral("cut"));
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            m_error = QStringLiteral("/dev/fuse cannot be used here");
            return;
        }
        if (QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty() ||
            QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import fusepy")}) != 0) {
            m_error = QStringLiteral("fuse3 and python3-fusepy are needed");
            return;
        }
        QDir().mkpath(m_mount);
        QStringList arguments{QStringLiteral(HANGFS_PATH), QStringLiteral("--die-with-parent")};
        if (cache == Cache::Off)
            arguments << QStringLiteral("--uncached");
        arguments << QStringLiteral("--cut") << m_cut << mirror << m_mount << m_control << m_log;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
        if (!waitFor([this] { return mounted() || m_process.state() == QProcess::NotRunning; },
                     30000) ||
            !mounted())
            m_error = QStringLiteral("hangfs.py did not mount the folder");
    }
    ~HangFs()
    {
        release();
        if (m_process.state() != QProcess::NotRunning) {
            QProcess::execute(QStringLiteral("fusermount3"),
                              {QStringLiteral("-u"), QStringLiteral("-z"), m_mount});
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    HangFs(const HangFs&) = delete;
    HangFs& operator=(const HangFs&) = delete;

    const QString& error() const { return m_error; }
    const QString& mount() const { return m_mount; }
    void hang() { ASSERT_TRUE(core::replaceFile(m_control, "hang\n")); }
    void release() { QFile::remove(m_control); }
    // A power cut: the mirror stays as it is now, and nothing written on the mount from here on
    // reaches it, while the mount goes on answering from a copy as if nothing had happened. A
    // call on the mount makes the cut happen before this returns.
    void cut()
    {
        ASSERT_TRUE(core::replaceFile(m_cut, "cut\n"));
        QFile probe(m_mount + QStringLiteral("/.cut"));
        ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
        probe.close();
        probe.remove();
        ASSERT_TRUE(waiting().contains("cut\n"));
    }
    // The calls that began to wait, a line each ("waiting open /logs/..."), and "cut".
    QByteArray waiting() const { return core::readWholeFile(m_log).value_or(QByteArray()); }

private:
    bool mounted() const
    {
        const QByteArray mounts =
            core::readWholeFile(QStringLiteral("/proc/self/mounts")).value_or("");
        return mounts.contains(' ' + QFile::encodeName(m_mount) + ' ');
    }

    QTemporaryDir m_dir;
    QString m_mount, m_control, m_log, m_cut, m_error;
    QProcess m_process;
};
