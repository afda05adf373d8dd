#include "core/files.h"
#include "programs/onecopy.h"
#include "station/station.h"
#include "tests/fixture.h"
#include "tests/freeport.h"
#include "tests/hangfs.h"
#include "tests/notifysocket.h"
#include "tests/webclient.h"
#include "web/webconfig.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>

// tessalyd as a service manager runs it: a process of its own with no display, on a folder of
// its own, a pseudo-terminal as the board and a real notify socket.
namespace {

const QByteArray kRecordEnd = "</T>\r\n";

class Tessalyd : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        m_state = m_app.path(QStringLiteral("state"));
    }
    void TearDown() override
    {
        for (QProcess* p : {&m_daemon, &m_desktop}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(10000);
            }
        }
        AppDirTest::TearDown();
    }

    // No display of any kind, the spool in the folder's own state place, and systemd's
    // variables only where the test gives them.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET",
                                 "WATCHDOG_USEC", "WATCHDOG_PID", "STATE_DIRECTORY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_state);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_app.path(QStringLiteral("cache")));
        return env;
    }

    // On the test's folder, or with the arguments given (none: as the system unit starts it).
    void startDaemon(const QProcessEnvironment& env, std::optional<QStringList> arguments = {})
    {
        m_err.clear();
        m_daemon.setProcessEnvironment(env);
        m_daemon.start(QStringLiteral(TESSALYD_PATH),
                       arguments.value_or(QStringList{QStringLiteral("--dir"), m_app.dir}));
        ASSERT_TRUE(m_daemon.waitForStarted());
    }
    // Until the daemon's standard error holds text (its journal); false if it never does.
    bool said(const QString& text, int ms = 15000)
    {
        return waitFor(
            [&] {
                m_err += QString::fromUtf8(m_daemon.readAllStandardError());
                return m_err.contains(text);
            },
            ms);
    }
    // SIGTERM (or another end signal), and the exit code once it has ended.
    int terminate(int signal = SIGTERM)
    {
        ::kill(pid_t(m_daemon.processId()), signal);
        EXPECT_TRUE(m_daemon.waitForFinished(30000));
        m_err += QString::fromUtf8(m_daemon.readAllStandardError());
        EXPECT_EQ(m_daemon.exitStatus(), QProcess::NormalExit) << m_err.toStdString();
        return m_daemon.exitCode();
    }
    // The day files in logs/, by name: the service runs on the real clock.
    QStringList dayFiles() const
    {
        QStringList days = QDir(m_app.logsDir()).entryList({QStringLiteral("2*_*_*.txt")});
        return days;
    }
    QByteArray dayBytes() const
    {
        QByteArray all;
        for (const QString& day : dayFiles())
            all += fileBytes(m_app.logsDir() + day);
        return all;
    }
    // Frames every 200 ms until done says so, so the energy and the records have fresh data.
    bool feed(sim::PseudoTerminal& pty, const std::function<bool()>& done, int ms)
    {
        return waitFor(
            [&] {
                pty.write(kFrame);
                waitFor([] { return false; }, 200);
                return done();
            },
            ms);
    }

    // The web view on a free port of the loopback, for its count of records: the sign that a
    // record was taken while records are held (storage.cfg), when no file shows it.
    void webOn()
    {
        m_port = freePort();
        ASSERT_NE(m_port, 0);
        web::WebConfig web;
        web.WebOn = QStringLiteral("1");
        web.Port = QString::number(m_port);
        ASSERT_TRUE(web::saveWebConfig(m_app, web));
    }
    QString webSaid() const { return QStringLiteral("Web view: http://127.0.0.1:%1/").arg(m_port); }
    // The records the running program has taken, held or not.
    int recordsSoFar() const
    {
        WebClient client(m_port);
        const QByteArray metrics = client.get("/metrics").body;
        static const QRegularExpression count(QStringLiteral("^tessaly_records_total (\\d+)$"),
                                              QRegularExpression::MultilineOption);
        return count.match(QString::fromUtf8(metrics)).captured(1).toInt();
    }
    // Frames with volts rising from one to the next (512 is 12.8 V, above the level of a 12 V
    // bank), until the program has taken one more record.
    bool recordTaken(sim::PseudoTerminal& pty)
    {
        const int before = recordsSoFar();
        return waitFor(
            [&] {
                pty.write("[<V>" + std::to_string(m_raw++) + "</V><I>530</I>]\r\n");
                waitFor([] { return false; }, 200);
                return recordsSoFar() > before;
            },
            40000);
    }
    // Every line a whole record, with volts rising from one to the next: none torn, none twice.
    static bool wholeAndRising(const QByteArray& days)
    {
        double last = 0;
        for (const QByteArray& line : days.split('\n')) {
            if (line.isEmpty())
                continue;
            if (!line.startsWith("<V>") || !line.endsWith("</T>\r"))
                return false;
            const double volts = line.mid(3, line.indexOf("</V>") - 3).toDouble();
            if (volts <= last)
                return false;
            last = volts;
        }
        return true;
    }

    QString m_state;
    QProcess m_daemon, m_desktop;
    QString m_err;
    quint16 m_port = 0;
    int m_raw = 512;
};

// Records and the ledger logged with no display; ready, status, the watchdog's pings and
// stopping reach the service manager's socket; SIGTERM ends it through the close steps with 0.
TEST_F(Tessalyd, LogsWithNoDisplayAndTellsTheServiceManager)
{
    writeProg(ProgFile{.LogDelay = "10", .LogOn = "1"});
    auto pty = line(1);
    NotifySocket socket;
    ASSERT_TRUE(socket.bound());
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLocal8Bit(socket.path()));
    env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));
    startDaemon(env);

    const std::vector<QByteArray> start = socket.until("READY=1");
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(start.back(), "READY=1");
    ASSERT_TRUE(said(QStringLiteral("Port 1 (")));
    EXPECT_TRUE(said(QStringLiteral("Logging every 10 s.")));
    EXPECT_TRUE(said(QStringLiteral("Files are kept in ") + QDir::toNativeSeparators(m_app.dir)));

    // Pings at half of WATCHDOG_USEC: five of them span at least three intervals, by the moments
    // they were sent, however long they waited in the socket before the test read them. A timer
    // held up by a busy loop (the plant is built on it) fires late and then keeps to its
    // schedule, so one gap may be short; the others are whole intervals.
    std::vector<qint64> pings;
    while (pings.size() < 5) {
        const std::optional<QByteArray> datagram = socket.next();
        ASSERT_TRUE(datagram);
        if (*datagram == "WATCHDOG=1")
            pings.push_back(socket.sentNs());
    }
    EXPECT_GE(pings.back() - pings.front(), 3 * 90 * 1'000'000LL);

    std::vector<QByteArray> later;
    auto recorded = [&] {
        for (QByteArray& d : socket.drain())
            later.push_back(std::move(d));
        return dayBytes().contains(kRecordEnd);
    };
    ASSERT_TRUE(feed(*pty, recorded, 30000))
        << m_err.toStdString() << QDir(m_app.logsDir()).entryList().join(u' ').toStdString();
    EXPECT_TRUE(dayBytes().contains("<V>12.8</V><I>9</I><W>115.2</W>")) << dayBytes().data();

    EXPECT_EQ(terminate(), 0);
    EXPECT_TRUE(m_err.contains(QStringLiteral("Ending on signal 15"))) << m_err.toStdString();
    for (QByteArray& d : socket.drain())
        later.push_back(std::move(d));
    ASSERT_FALSE(later.empty());
    EXPECT_EQ(later.back(), "STOPPING=1");
    EXPECT_TRUE(std::count(later.begin(), later.end(), "WATCHDOG=1") > 0);
    // The hour so far went to the ledger at close.
    EXPECT_TRUE(fileBytes(m_app.logsDir() + QStringLiteral("energy.txt")).contains("<WH>"));
    EXPECT_FALSE(QFileInfo::exists(programs::lockFilePath(m_app)));
}

// One copy per folder, whichever program it is: the desktop program refuses a folder the
// service holds, and the service refuses one the desktop program holds, naming its process.
TEST_F(Tessalyd, SharesNoFolderWithTheDesktopProgram)
{
    writeProg(ProgFile{.Port = "9"});
    startDaemon(environment());
    const QString lockPath = programs::lockFilePath(m_app);
    ASSERT_TRUE(waitFor(
        [&] {
            qint64 pid = 0;
            QString host, name;
            return QLockFile(lockPath).getLockInfo(&pid, &host, &name) &&
                   pid == m_daemon.processId();
        },
        30000));
    {
        QLockFile lock(lockPath);
        const auto refusal = programs::claimAppDir(lock, m_app);
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(refusal->startsWith(QStringLiteral("tessalyd is already running")))
            << refusal->toStdString();
        EXPECT_TRUE(refusal->contains(QString::number(m_daemon.processId())));
    }
    EXPECT_EQ(terminate(), 0);

    // The desktop program, from the folder beside it, holds it now.
    const QString desktop = m_app.path(QStringLiteral("Tessaly"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TESSALY_PATH), desktop));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_desktop.setProcessEnvironment(env);
    m_desktop.start(desktop, {});
    ASSERT_TRUE(m_desktop.waitForStarted());
    ASSERT_TRUE(waitFor(
        [&] {
            qint64 pid = 0;
            QString host, name;
            return QLockFile(lockPath).getLockInfo(&pid, &host, &name) &&
                   pid == m_desktop.processId();
        },
        60000));
    startDaemon(environment());
    ASSERT_TRUE(m_daemon.waitForFinished(30000));
    const QString err = QString::fromUtf8(m_daemon.readAllStandardError());
    EXPECT_EQ(m_daemon.exitCode(), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Tessaly is already running on the folder")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QString::number(m_desktop.processId()))) << err.toStdString();
    ::kill(pid_t(m_desktop.processId()), SIGTERM);
    EXPECT_TRUE(m_desktop.waitForFinished(30000));
}

// A day file that never answers (a FIFO with no reader: every open of it blocks, as on a
// network folder that has gone): the journal says the folder is silent, SIGTERM still ends the
// service within its close deadline, the record is kept, and the next start writes it once.
TEST_F(Tessalyd, AStuckDiskAtCloseCostsNoRecordAndNoHang)
{
    // Today's and tomorrow's, so a run across midnight meets one too.
    const QDate today = QDate::currentDate();
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    for (const QDate day : {today, today.addDays(1)})
        ASSERT_EQ(::mkfifo(QFile::encodeName(m_app.dailyLog(day)).constData(), 0600), 0);
    writeProg(ProgFile{.LogDelay = "10", .LogOn = "1"});
    auto pty = line(1);
    startDaemon(environment());
    ASSERT_TRUE(feed(
        *pty, [&] { return said(QStringLiteral("has not answered since"), 0); }, 40000))
        << m_err.toStdString();

    // A close that waited on the disk would never end; this one ends at its deadline.
    EXPECT_EQ(terminate(), 0);
    EXPECT_TRUE(m_err.contains(QStringLiteral("are kept in ") + m_state)) << m_err.toStdString();

    for (const QDate day : {today, today.addDays(1)})
        ASSERT_TRUE(QFile::remove(m_app.dailyLog(day)));
    writeProg(ProgFile{.Port = "9"});
    startDaemon(environment());
    ASSERT_TRUE(said(QStringLiteral("lines kept from the last run")));
    const QRegularExpressionMatch kept =
        QRegularExpression(QStringLiteral("(\\d+) of (\\d+) lines kept")).match(m_err);
    ASSERT_TRUE(kept.hasMatch());
    EXPECT_EQ(kept.captured(1), kept.captured(2)) << m_err.toStdString();
    // Every record the service took reached its file, each once: the ticks came 10 s apart.
    const QByteArray days = dayBytes();
    EXPECT_GE(days.count(kRecordEnd), 1) << days.data();
    EXPECT_EQ(days.count("<V>12.8</V>"), days.count(kRecordEnd)) << days.data();
    EXPECT_EQ(terminate(), 0);
}

// Records held in memory (storage.cfg, five minutes: 30 records at 10 s): the close writes them;
// a kill loses what was held and nothing else, leaves every line whole, and the next start writes
// none of them twice. The board's volts rise with every frame, so each record is told from the
// others by its volts.
TEST_F(Tessalyd, AKillLosesOnlyTheHeldRecordsAndTheCloseWritesThem)
{
    constexpr int kPeriodRecords = 300 / 10;
    writeProg(ProgFile{.Savehtml = "1", .LogDelay = "10", .LogOn = "1"});
    ASSERT_TRUE(QDir(m_app.dir).mkpath(QStringLiteral("html")));
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("html/template.asp")), "<p><VV></p>"));
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("storage.cfg")),
                                  "Storage Settings\r\n\r\n<SyncSeconds>300</SyncSeconds>\r\n"));
    webOn();
    auto pty = line(1);

    startDaemon(environment());
    ASSERT_TRUE(said(QStringLiteral("Records are written every 5 minutes (storage.cfg)")))
        << m_err.toStdString();
    ASSERT_TRUE(said(webSaid())) << m_err.toStdString();
    for (int k = 0; k < 2; ++k)
        ASSERT_TRUE(recordTaken(*pty)) << k << m_err.toStdString();
    const int held = recordsSoFar();
    EXPECT_EQ(terminate(), 0);
    const QByteArray closed = dayBytes();
    EXPECT_GE(closed.count(kRecordEnd), held) << closed.data();
    EXPECT_TRUE(wholeAndRising(closed)) << closed.data();

    startDaemon(environment());
    ASSERT_TRUE(said(webSaid())) << m_err.toStdString();
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(recordTaken(*pty)) << k << m_err.toStdString();
    const int taken = recordsSoFar();
    ::kill(pid_t(m_daemon.processId()), SIGKILL);
    ASSERT_TRUE(m_daemon.waitForFinished(30000));
    const QByteArray killed = dayBytes();
    EXPECT_TRUE(killed.startsWith(closed)) << killed.data();
    // At most the period's records lost: those held since the last write.
    const qsizetype written = killed.count(kRecordEnd) - closed.count(kRecordEnd);
    EXPECT_LE(taken - written, kPeriodRecords) << killed.data();
    EXPECT_TRUE(wholeAndRising(killed)) << killed.data();

    // Nothing was spooled for them: the next start writes nothing of the last run's.
    writeProg(ProgFile{.Savehtml = "1", .LogDelay = "10"});
    startDaemon(environment());
    ASSERT_TRUE(said(QStringLiteral("Files are kept in ")));
    EXPECT_EQ(terminate(), 0);
    EXPECT_EQ(dayBytes(), killed);
    EXPECT_FALSE(m_err.contains(QStringLiteral("kept from the last run"))) << m_err.toStdString();
}

// Started as the system unit starts it (no --dir: the folder systemd made, $STATE_DIRECTORY), it
// gets ready and logs there; each end signal (SIGTERM from systemd, SIGINT from Ctrl-C, SIGQUIT
// from Ctrl-\\, SIGPWR from a UPS daemon as the power fails) ends it through the close steps
// with 0, the records it held (storage.cfg) written and the lock file removed. (SIGHUP reloads
// web.cfg instead: see test_tessalyd_web.)
TEST_F(Tessalyd, StartsInTheStateDirectoryAndEndsCleanlyOnEachEndSignal)
{
    const int endSignals[] = {SIGTERM, SIGINT, SIGQUIT, SIGPWR};
    writeProg(ProgFile{.LogDelay = "10", .LogOn = "1"});
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("storage.cfg")),
                                  "Storage Settings\r\n\r\n<SyncSeconds>300</SyncSeconds>\r\n"));
    webOn();
    auto pty = line(1);
    for (const int signal : endSignals) {
        SCOPED_TRACE(::testing::Message() << "signal " << signal);
        NotifySocket socket;
        ASSERT_TRUE(socket.bound());
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("STATE_DIRECTORY"), m_app.dir);
        env.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLocal8Bit(socket.path()));
        startDaemon(env, QStringList{});
        ASSERT_FALSE(socket.until("READY=1").empty()) << m_err.toStdString();
        ASSERT_TRUE(
            said(QStringLiteral("Files are kept in ") + QDir::toNativeSeparators(m_app.dir)))
            << m_err.toStdString();
        ASSERT_TRUE(said(webSaid())) << m_err.toStdString();
        const qsizetype before = dayBytes().count(kRecordEnd);
        ASSERT_TRUE(recordTaken(*pty)) << m_err.toStdString();
        const int held = recordsSoFar();
        EXPECT_EQ(terminate(signal), 0);
        EXPECT_TRUE(m_err.contains(QStringLiteral("Ending on signal %1.").arg(signal)))
            << m_err.toStdString();
        EXPECT_GE(dayBytes().count(kRecordEnd) - before, held) << dayBytes().data();
        std::vector<QByteArray> later = socket.drain();
        ASSERT_FALSE(later.empty());
        EXPECT_EQ(later.back(), "STOPPING=1");
        EXPECT_FALSE(QFileInfo::exists(programs::lockFilePath(m_app)));
    }
}

// The whole folder stops answering while the service logs to it and a web request reads a day
// from it: SIGTERM still ends the service within the close deadline and two seconds, with the
// record it could not write kept in the spool and its lock file left behind (removing it would
// wait on the folder). The next start takes the lock over and writes the record once.
TEST_F(Tessalyd, AHungFolderWithAWebRequestInFlightEndsInTime)
{
    HangFs fs(m_app.dir);
    if (!fs.error().isEmpty())
        SKIP_OR_FAIL_IN_CI(fs.error().toStdString());
    // An old day for the web request, and the records of the service's own days.
    const QDate old(2024, 3, 7);
    const QByteArray oldRecord =
        "<V>12.5</V><I>4</I><W>50</W><R>100</R><S>7</S><M>1</M><T>10:00</T>\r\n";
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    ASSERT_TRUE(core::replaceFile(m_app.dailyLog(old), oldRecord));
    auto logged = [&] {
        return dayBytes().replace(oldRecord, "");
    };
    webOn();
    const quint16 port = m_port;
    writeProg(ProgFile{.LogDelay = "10", .LogOn = "1"});
    auto pty = line(1);
    startDaemon(environment(), QStringList{QStringLiteral("--dir"), fs.mount()});
    ASSERT_TRUE(said(webSaid())) << m_err.toStdString();
    ASSERT_TRUE(feed(
        *pty, [&] { return logged().contains(kRecordEnd); }, 30000))
        << m_err.toStdString();

    fs.hang();
    // The day's reader waits on the folder: the request is in flight, on the web view's pool.
    WebClient client(port);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send("GET /api/day?date=2024-03-07 HTTP/1.1\r\nHost: 127.0.0.1:" +
                            QByteArray::number(port) + "\r\n\r\n"));
    const QByteArray oldName = "/logs/" + QFileInfo(m_app.dailyLog(old)).fileName().toUtf8();
    ASSERT_TRUE(waitFor([&] { return fs.waiting().contains(oldName); }, 15000))
        << fs.waiting().data();
    // A record waits for the disk too.
    ASSERT_TRUE(feed(
        *pty, [&] { return said(QStringLiteral("has not answered since"), 0); }, 40000))
        << m_err.toStdString();

    // The requirement is a bound: the deadline and two seconds, however the folder hangs.
    QElapsedTimer ending;
    ending.start();
    ::kill(pid_t(m_daemon.processId()), SIGTERM);
    const bool ended = m_daemon.waitForFinished(60000);
    const qint64 took = ending.elapsed();
    m_err += QString::fromUtf8(m_daemon.readAllStandardError());
    ASSERT_TRUE(ended) << m_err.toStdString();
    EXPECT_LE(took, station::Station::kCloseDeadline.count() + 2000) << m_err.toStdString();
    EXPECT_EQ(m_daemon.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_daemon.exitCode(), 0) << m_err.toStdString();
    EXPECT_TRUE(m_err.contains(QStringLiteral("are kept in ") + m_state)) << m_err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(programs::lockFilePath(m_app)));

    // The folder answers again, under the same name (a spool is kept for the folder it names):
    // the lock of the ended process is taken over.
    fs.release();
    writeProg(ProgFile{.Port = "9"});
    startDaemon(environment(), QStringList{QStringLiteral("--dir"), fs.mount()});
    EXPECT_TRUE(waitFor(
        [&] {
            qint64 pid = 0;
            QString host, name;
            return QLockFile(programs::lockFilePath(m_app)).getLockInfo(&pid, &host, &name) &&
                   pid == m_daemon.processId();
        },
        30000));
    ASSERT_TRUE(said(QStringLiteral("lines kept from the last run"))) << m_err.toStdString();
    const QRegularExpressionMatch kept =
        QRegularExpression(QStringLiteral("(\\d+) of (\\d+) lines kept")).match(m_err);
    ASSERT_TRUE(kept.hasMatch());
    EXPECT_EQ(kept.captured(1), kept.captured(2)) << m_err.toStdString();
    const QByteArray days = logged();
    EXPECT_GE(days.count(kRecordEnd), 2) << days.data();
    EXPECT_EQ(days.count("<V>12.8</V>"), days.count(kRecordEnd)) << days.data();
    EXPECT_EQ(terminate(), 0);
    EXPECT_FALSE(QFileInfo::exists(programs::lockFilePath(m_app)));
}

// A folder that does not answer from the start: the service still tells systemd it is ready,
// with a status that says why nothing is logged yet, and its loop pings the watchdog while the
// start-up waits on the folder. SIGTERM ends it while the folder still hangs; when the folder
// answers instead, the plant starts as usual and logs, ready said once.
TEST_F(Tessalyd, StartsOnAFolderThatDoesNotAnswer)
{
    HangFs fs(m_app.dir);
    if (!fs.error().isEmpty())
        SKIP_OR_FAIL_IN_CI(fs.error().toStdString());
    writeProg(ProgFile{.LogDelay = "10", .LogOn = "1"});
    auto pty = line(1);
    const QString waiting = QStringLiteral("The folder %1 does not answer: logging starts when "
                                           "it does.")
                                .arg(QDir::toNativeSeparators(fs.mount()));
    for (const bool answers : {false, true}) {
        SCOPED_TRACE(answers ? "the folder answers" : "ended while the folder hangs");
        NotifySocket socket;
        ASSERT_TRUE(socket.bound());
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLocal8Bit(socket.path()));
        env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));
        fs.hang();
        const qsizetype waitedBefore = fs.waiting().size();
        startDaemon(env, QStringList{QStringLiteral("--dir"), fs.mount()});

        const std::vector<QByteArray> start = socket.until("READY=1");
        ASSERT_FALSE(start.empty());
        ASSERT_EQ(start.back(), "READY=1") << m_err.toStdString();
        EXPECT_NE(std::find(start.begin(), start.end(), "STATUS=" + waiting.toUtf8()), start.end());
        ASSERT_TRUE(said(waiting)) << m_err.toStdString();
        // The start-up waits on the folder, and the loop pings on meanwhile.
        ASSERT_TRUE(waitFor([&] { return fs.waiting().size() > waitedBefore; }));
        for (int pings = 0; pings < 2;) {
            const std::optional<QByteArray> datagram = socket.next();
            ASSERT_TRUE(datagram);
            pings += *datagram == "WATCHDOG=1";
        }
        std::vector<QByteArray> later;
        auto heard = [&](const QString& text) {
            return waitFor([&] {
                for (QByteArray& d : socket.drain())
                    later.push_back(std::move(d));
                return said(text, 0);
            });
        };
        if (!answers) {
            EXPECT_EQ(terminate(), 0);
            EXPECT_TRUE(m_err.contains(QStringLiteral("Ending on signal 15.")))
                << m_err.toStdString();
            for (QByteArray& d : socket.drain())
                later.push_back(std::move(d));
            ASSERT_FALSE(later.empty());
            EXPECT_EQ(later.back(), "STOPPING=1");
            continue;
        }

        fs.release();
        ASSERT_TRUE(
            heard(QStringLiteral("Files are kept in ") + QDir::toNativeSeparators(fs.mount())))
            << m_err.toStdString();
        ASSERT_TRUE(heard(QStringLiteral("Logging every 10 s."))) << m_err.toStdString();
        auto recorded = [&] {
            for (QByteArray& d : socket.drain())
                later.push_back(std::move(d));
            return dayBytes().contains(kRecordEnd);
        };
        ASSERT_TRUE(feed(*pty, recorded, 30000)) << m_err.toStdString();
        EXPECT_TRUE(dayBytes().contains("<V>12.8</V><I>9</I><W>115.2</W>")) << dayBytes().data();
        // The usual status follows the folder's, and ready is not said again.
        EXPECT_TRUE(std::any_of(later.begin(), later.end(), [](const QByteArray& d) {
            return d.startsWith("STATUS=Port 1 (");
        }));
        EXPECT_EQ(std::count(later.begin(), later.end(), "READY=1"), 0);
        EXPECT_EQ(terminate(), 0);
        EXPECT_FALSE(QFileInfo::exists(programs::lockFilePath(m_app)));
    }
}

} // namespace
