#include "tests/fixture.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <sys/stat.h>

// tessalyd in the folders its system unit gives it, as systemd lays them out: no home, the state
// and cache folders as links into a "private" folder only root may enter, XDG_CACHE_HOME as the
// unit sets it, and a temporary folder of its own that is emptied at every stop.
namespace {

const QByteArray kRecordEnd = "</T>\r\n";

class UnitLayout : public AppDirTest
{
protected:
    void TearDown() override
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(10000);
        }
        AppDirTest::TearDown();
    }

    // /var/lib/tessaly and /var/cache/tessaly as links into private/, whose folders have the
    // mode the unit asks for (0755 when it asks for none); /var/lib/private itself is root's,
    // 0700, as systemd makes it.
    void layOut(const QString& root, mode_t mode)
    {
        m_root = root;
        for (const char* base : {"var/lib", "var/cache"}) {
            const QString priv = root + QLatin1Char('/') + QLatin1String(base) + "/private";
            ASSERT_TRUE(QDir().mkpath(priv + "/tessaly"));
            ASSERT_EQ(::chmod(QFile::encodeName(priv).constData(), 0700), 0);
            ASSERT_EQ(::chmod(QFile::encodeName(priv + "/tessaly").constData(), mode), 0);
            ASSERT_TRUE(QFile::link(QStringLiteral("private/tessaly"),
                                    root + QLatin1Char('/') + QLatin1String(base) + "/tessaly"));
        }
        ASSERT_TRUE(QDir().mkpath(tmp()));
        m_unit = core::AppDir{stateDir()};
        ASSERT_TRUE(core::replaceFile(m_unit.settingsCfg(), kSettings));
    }
    QString stateDir() const { return m_root + "/var/lib/tessaly"; }
    QString cacheDir() const { return m_root + "/var/cache/tessaly"; }
    QString tmp() const { return m_root + "/tmp"; }

    // The unit's environment: no HOME, STATE_DIRECTORY and CACHE_DIRECTORY, XDG_CACHE_HOME=%C,
    // its own TMPDIR; nothing of the user's.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
              "XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET",
              "WATCHDOG_USEC", "WATCHDOG_PID"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("STATE_DIRECTORY"), stateDir());
        env.insert(QStringLiteral("CACHE_DIRECTORY"), cacheDir());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_root + "/var/cache");
        env.insert(QStringLiteral("TMPDIR"), tmp());
        return env;
    }
    void startDaemon()
    {
        m_err.clear();
        m_daemon.setProcessEnvironment(environment());
        m_daemon.start(QStringLiteral(TESSALYD_PATH), {});
        ASSERT_TRUE(m_daemon.waitForStarted());
    }
    bool said(const QString& text, int ms = 15000)
    {
        return waitFor(
            [&] {
                m_err += QString::fromUtf8(m_daemon.readAllStandardError());
                return m_err.contains(text);
            },
            ms);
    }
    int terminate()
    {
        ::kill(pid_t(m_daemon.processId()), SIGTERM);
        EXPECT_TRUE(m_daemon.waitForFinished(30000));
        m_err += QString::fromUtf8(m_daemon.readAllStandardError());
        EXPECT_EQ(m_daemon.exitStatus(), QProcess::NormalExit) << m_err.toStdString();
        return m_daemon.exitCode();
    }
    // The stop takes the unit's temporary folder with it.
    void emptyTmp()
    {
        ASSERT_TRUE(QDir(tmp()).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(tmp()));
    }
    QByteArray dayBytes() const
    {
        QByteArray all;
        for (const QString& day :
             QDir(m_unit.logsDir()).entryList({QStringLiteral("2*_*_*.txt")}, QDir::Files))
            all += fileBytes(m_unit.logsDir() + day);
        return all;
    }

    QString m_root;
    core::AppDir m_unit;
    QProcess m_daemon;
    QString m_err;
};

// Records that wait at a stop are kept in the cache folder the unit names, behind its link, and
// every one lands once at the next start although the temporary folder was emptied between.
TEST_F(UnitLayout, RecordsWaitingAtAStopLandOnceAtTheNextStart)
{
    for (const mode_t mode : {mode_t(0755), mode_t(0700)}) {
        SCOPED_TRACE(mode);
        layOut(m_tmp.filePath(QStringLiteral("unit%1").arg(mode, 0, 8)), mode);
        if (HasFatalFailure())
            return;
        // A day file that is a folder refuses every append, root's too: today's and
        // tomorrow's, so a run across midnight meets one.
        const QDate today = QDate::currentDate();
        for (const QDate day : {today, today.addDays(1)})
            ASSERT_TRUE(QDir().mkpath(m_unit.dailyLog(day)));
        ASSERT_TRUE(
            core::replaceFile(m_unit.progCfg(), ProgFile{.LogDelay = "10", .LogOn = "1"}.bytes()));
        sim::PseudoTerminal pty;
        ASSERT_TRUE(pty.isOpen()) << pty.error();
        ASSERT_TRUE(pty.linkAt(m_unit.comLink(1).toStdString())) << pty.error();
        startDaemon();
        ASSERT_TRUE(waitFor(
            [&] {
                pty.write(kFrame);
                waitFor([] { return false; }, 200);
                return said(QStringLiteral("lines waiting"), 0);
            },
            40000))
            << m_err.toStdString();
        // The status names where the lines wait: the cache folder, not the temporary one.
        ASSERT_TRUE(said(QStringLiteral("The waiting lines are kept in ") + cacheDir()))
            << m_err.toStdString();

        EXPECT_EQ(terminate(), 0);
        const qsizetype close = m_err.indexOf(
            QStringLiteral("Lines that could not be written are kept in ") + cacheDir());
        ASSERT_GE(close, 0) << m_err.toStdString();
        // The close's own lines, right after it: how many records each file still had waiting.
        int held = 0;
        const QStringList after = m_err.mid(close).split(QLatin1Char('\n')).mid(1);
        for (const QString& line : after) {
            const QRegularExpressionMatch waiting =
                QRegularExpression(QStringLiteral("^Cannot write .*: (\\d+) lines? waiting"))
                    .match(line);
            if (!waiting.hasMatch())
                break;
            held += waiting.captured(1).toInt();
        }
        ASSERT_GE(held, 1) << m_err.toStdString();
        EXPECT_FALSE(m_err.contains(tmp())) << m_err.toStdString();
        EXPECT_FALSE(m_err.contains(QStringLiteral("/.local/"))) << m_err.toStdString();
        struct stat st
        {};
        const QString realCache = m_root + "/var/cache/private/tessaly";
        ASSERT_EQ(::stat(QFile::encodeName(realCache).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_FALSE(QDir(realCache).entryList({QStringLiteral("waiting-*.bin")}).isEmpty());
        emptyTmp();

        for (const QDate day : {today, today.addDays(1)})
            ASSERT_TRUE(QDir(m_unit.dailyLog(day)).removeRecursively());
        ASSERT_TRUE(core::replaceFile(m_unit.progCfg(), ProgFile{.Port = "9"}.bytes()));
        startDaemon();
        ASSERT_TRUE(said(QStringLiteral("lines kept from the last run"))) << m_err.toStdString();
        const QRegularExpressionMatch kept =
            QRegularExpression(QStringLiteral("(\\d+) of (\\d+) lines kept")).match(m_err);
        ASSERT_TRUE(kept.hasMatch());
        EXPECT_EQ(kept.captured(1), kept.captured(2)) << m_err.toStdString();
        EXPECT_EQ(kept.captured(2).toInt(), held) << m_err.toStdString();
        // Every record the stop held, once.
        const QByteArray days = dayBytes();
        EXPECT_EQ(days.count(kRecordEnd), held) << days.data();
        EXPECT_EQ(days.count("<V>12.8</V><I>9</I>"), held) << days.data();
        EXPECT_EQ(terminate(), 0);
        EXPECT_TRUE(QDir(realCache).entryList({QStringLiteral("waiting-*.bin")}).isEmpty());
    }
}

} // namespace
