#include "logging/spool.h"
#include "station/station.h"
#include "tests/fixture.h"
#include "tests/hangfs.h"
#include "tests/notifysocket.h"
#include "tests/stationprobe.h"

#include <QDir>
#include <QScopeGuard>
#include <chrono>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

logging::FileWrite logLine(const QString& path, const QByteArray& bytes)
{
    return {path, bytes, logging::FileWrite::Kind::Append, {}};
}

class SpoolFolders : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        m_state = m_tmp.filePath(QStringLiteral("state"));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state));
    }
    void TearDown() override
    {
        logging::removeSpool(m_app);
        qputenv("XDG_STATE_HOME", m_savedState);
        AppDirTest::TearDown();
    }
    logging::PendingWrites waiting(int records)
    {
        logging::PendingWrites p;
        for (int k = 1; k <= records; ++k)
            p.add(
                logLine(m_app.dailyLog(QDate(2024, 3, 7)), "<V>" + QByteArray::number(k) + "\r\n"));
        return p;
    }

    QByteArray m_savedState = qgetenv("XDG_STATE_HOME");
    QString m_state;
    ScopedEnv m_noCache{"CACHE_DIRECTORY", std::nullopt};
    ScopedEnv m_noState{"STATE_DIRECTORY", std::nullopt};
};

// A folder another account made (and may read or change) is never used; a link named like the
// spool inside it is never followed.
TEST_F(SpoolFolders, AFolderOfAnotherAccountIsSkippedWithAWarning)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        SKIP_OR_FAIL_IN_CI("needs root and the user nobody to make a folder of another account");
    ASSERT_TRUE(QDir().mkpath(m_state));
    const QString folder = m_state + QStringLiteral("/tessaly");
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    const QString first = logging::spoolCandidates(m_app).first();
    ASSERT_TRUE(first.startsWith(folder)) << first.toStdString();
    const QString target = m_tmp.filePath(QStringLiteral("target"));
    ASSERT_TRUE(QFile::link(target, first));

    QString error;
    const auto kept = logging::saveSpool(m_app, waiting(2), &error);
    ASSERT_TRUE(kept) << error.toStdString();
    EXPECT_FALSE(kept->startsWith(folder)) << kept->toStdString();
    EXPECT_FALSE(QFileInfo::exists(target)) << "the link was followed";
    EXPECT_TRUE(QFileInfo(first).isSymLink()) << "another account's file is left alone";
    const logging::SpooledWrites back = logging::loadSpool(m_app);
    EXPECT_EQ(back.writes.size(), 1u);
    ASSERT_FALSE(back.problems.isEmpty());
    EXPECT_TRUE(back.problems.first().contains(folder)) << back.problems.first().toStdString();
    struct stat st
    {};
    ASSERT_EQ(::lstat(QFile::encodeName(QFileInfo(*kept).absolutePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());
}

// With the state folder on a RAM disk, a folder on a disk takes the spool first; a spool that
// ends up on one says so.
TEST_F(SpoolFolders, RamDisksComeAfterEveryDisk)
{
    SmallDisk ram(m_state, 256);
    if (!ram.mounted())
        SKIP_OR_FAIL_IN_CI("no tmpfs: " << ram.error().toStdString());
    const QStringList candidates = logging::spoolCandidates(m_app);
    ASSERT_EQ(candidates.size(), 3);
    EXPECT_TRUE(candidates.last().startsWith(m_state)) << candidates.last().toStdString();
    EXPECT_EQ(logging::spoolPlaceNote(candidates.first()), QString());
    EXPECT_TRUE(logging::spoolPlaceNote(candidates.last()).contains("RAM disk"));
}

// Killed between the append and letting the spool go: the next start writes no record twice,
// and what had not been written yet is.
TEST_F(SpoolFolders, AKillBetweenAppendAndSpoolRemovalDoublesNoRecord)
{
    const QString log = m_app.dailyLog(QDate(2024, 3, 7));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(log).absolutePath()));
    ASSERT_TRUE(core::appendWhole(log, "<V>0\r\n"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        logging::PendingWrites p = waiting(3);
        if (!logging::saveSpool(m_app, p))
            ::_exit(2);
        if (!logging::writePending(p).empty())
            ::_exit(3);
        // The moment between the append and the spool's removal.
        ::kill(::getpid(), SIGKILL);
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    // One more line reached the file after the spool was written, by another hand.
    ASSERT_TRUE(core::appendWhole(log, "\r\n"));

    logging::SpooledWrites spooled = logging::loadSpool(m_app);
    ASSERT_EQ(spooled.writes.size(), 1u);
    logging::PendingWrites again;
    again.queue = spooled.writes;
    EXPECT_TRUE(logging::writePending(again).empty());
    EXPECT_EQ(fileBytes(log), QByteArray("<V>0\r\n<V>1\r\n<V>2\r\n<V>3\r\n\r\n"));
    EXPECT_EQ(logging::removeSpool(m_app), QString());
    EXPECT_TRUE(logging::loadSpool(m_app).writes.empty());

    // A spool whose writes never got there is replayed whole.
    logging::PendingWrites later = waiting(2);
    ASSERT_TRUE(logging::saveSpool(m_app, later));
    again.queue = logging::loadSpool(m_app).writes;
    EXPECT_TRUE(logging::writePending(again).empty());
    EXPECT_TRUE(fileBytes(log).endsWith("\r\n\r\n<V>1\r\n<V>2\r\n"));
}

// A spool that cannot be removed is emptied, and an empty spool is done.
TEST_F(SpoolFolders, ASpoolThatCannotBeRemovedIsEmptied)
{
    const auto kept = logging::saveSpool(m_app, waiting(1));
    ASSERT_TRUE(kept);
    const QByteArray folder = QFile::encodeName(QFileInfo(*kept).absolutePath());
    // Not even root may remove a file from a folder on a read-only mount; an immutable folder
    // does for a test what a folder of another owner does for a user.
    if (::geteuid() != 0 ||
        QProcess::execute("chattr", {"+i", QString::fromLocal8Bit(folder)}) != 0)
        SKIP_OR_FAIL_IN_CI("needs root and chattr to make a folder whose files cannot be removed");
    const QString message = logging::removeSpool(m_app);
    QProcess::execute("chattr", {"-i", QString::fromLocal8Bit(folder)});
    EXPECT_EQ(message, QString()) << message.toStdString();
    EXPECT_TRUE(logging::loadSpool(m_app).writes.empty());
}

// The folders a system unit gives the service: /var/lib/tessaly (the application directory)
// and /var/cache/tessaly as links into private/, no home, XDG_CACHE_HOME=/var/cache. The spool
// goes into the cache folder behind its link, whatever mode systemd gave it, and never into the
// application directory or a home that is not there.
TEST_F(SpoolFolders, TheUnitsCacheFolderTakesTheSpoolBehindItsLink)
{
    for (const mode_t mode : {mode_t(0755), mode_t(0700)}) {
        SCOPED_TRACE(mode);
        const QString root = m_tmp.filePath(QStringLiteral("unit%1").arg(mode, 0, 8));
        for (const char* base : {"/var/lib", "/var/cache"}) {
            const QString priv = root + QLatin1String(base) + "/private";
            ASSERT_TRUE(QDir().mkpath(priv + "/tessaly"));
            ASSERT_EQ(::chmod(QFile::encodeName(priv).constData(), 0700), 0);
            ASSERT_EQ(::chmod(QFile::encodeName(priv + "/tessaly").constData(), mode), 0);
            ASSERT_TRUE(QFile::link(QStringLiteral("private/tessaly"),
                                    root + QLatin1String(base) + "/tessaly"));
        }
        const QString state = root + "/var/lib/tessaly";
        const QString cache = root + "/var/cache/tessaly";
        const QString tmp = root + "/tmp";
        ASSERT_TRUE(QDir().mkpath(tmp));
        const ScopedEnv stateDir("STATE_DIRECTORY", state.toUtf8());
        const ScopedEnv cacheDir("CACHE_DIRECTORY", cache.toUtf8());
        const ScopedEnv cacheHome("XDG_CACHE_HOME", (root + "/var/cache").toUtf8());
        const ScopedEnv noStateHome("XDG_STATE_HOME", std::nullopt);
        const ScopedEnv noHome("HOME", std::nullopt);
        const ScopedEnv tmpDir("TMPDIR", tmp.toUtf8());
        const core::AppDir unit{state};

        const QStringList candidates = logging::spoolCandidates(unit);
        ASSERT_EQ(candidates.size(), 2) << candidates.join(u' ').toStdString();
        EXPECT_EQ(QFileInfo(candidates[0]).path(), cache);
        EXPECT_EQ(QFileInfo(candidates[1]).path(),
                  tmp + QStringLiteral("/tessaly-%1").arg(::getuid()));
        EXPECT_EQ(candidates, logging::spoolCandidates(unit, logging::AppFolder::Untouched));
        EXPECT_TRUE(logging::spoolPlaceNote(candidates[1]).contains(u"service stop"));
        EXPECT_EQ(logging::spoolPlaceNote(candidates[0]), QString());
        EXPECT_TRUE(logging::spoolStatusNote(candidates[0]).contains(candidates[0]));

        logging::PendingWrites p;
        p.add(logLine(unit.dailyLog(QDate(2024, 3, 7)), "<V>1\r\n"));
        QString error;
        const auto kept = logging::saveSpool(unit, p, &error);
        ASSERT_TRUE(kept) << error.toStdString();
        EXPECT_EQ(*kept, candidates[0]);
        struct stat st
        {};
        ASSERT_EQ(::stat(QFile::encodeName(cache).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_EQ(::lstat(QFile::encodeName(*kept).constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const logging::SpooledWrites back = logging::loadSpool(unit);
        EXPECT_EQ(back.writes.size(), 1u);
        EXPECT_EQ(back.files, QStringList{*kept});
        EXPECT_TRUE(back.problems.isEmpty()) << back.problems.join(u'\n').toStdString();
        EXPECT_EQ(logging::removeSpool(unit), QString());
        EXPECT_FALSE(QFileInfo::exists(*kept));
    }
}

// A link in the spool file's place is never followed: the save replaces the link, the load
// leaves it unread, the removal takes the link away; the file it names stays as it was.
TEST_F(SpoolFolders, ALinkInTheSpoolsPlaceIsNotFollowed)
{
    const QString file = logging::spoolCandidates(m_app).first();
    ASSERT_TRUE(file.startsWith(m_state)) << file.toStdString();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    ASSERT_EQ(::chmod(QFile::encodeName(QFileInfo(file).path()).constData(), 0700), 0);
    const QString target = m_tmp.filePath(QStringLiteral("target"));
    ASSERT_TRUE(core::replaceFile(target, "not a spool"));

    ASSERT_TRUE(QFile::link(target, file));
    const logging::SpooledWrites planted = logging::loadSpool(m_app);
    EXPECT_TRUE(planted.writes.empty());
    ASSERT_EQ(planted.problems.size(), 1) << planted.problems.join(u'\n').toStdString();
    EXPECT_TRUE(planted.problems.first().contains(file)) << planted.problems.first().toStdString();
    EXPECT_EQ(logging::removeSpool(m_app), QString());
    EXPECT_FALSE(QFileInfo(file).isSymLink());
    EXPECT_EQ(fileBytes(target), "not a spool");

    ASSERT_TRUE(QFile::link(target, file));
    const auto kept = logging::saveSpool(m_app, waiting(2));
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, file);
    EXPECT_FALSE(QFileInfo(file).isSymLink());
    EXPECT_EQ(fileBytes(target), "not a spool");
    EXPECT_EQ(logging::loadSpool(m_app).writes.size(), 1u);
}

// A folder that cannot be used is said once in the run, not at every save.
TEST_F(SpoolFolders, AnUnusableFolderIsSaidOnce)
{
    ASSERT_TRUE(QDir().mkpath(m_state));
    const QString folder = m_state + QStringLiteral("/tessaly");
    ASSERT_TRUE(core::replaceFile(folder, "a file where the folder would be"));
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler before = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    const auto restore = qScopeGuard([&] { qInstallMessageHandler(before); });
    for (int save = 0; save < 3; ++save) {
        const auto kept = logging::saveSpool(m_app, waiting(1));
        ASSERT_TRUE(kept);
        EXPECT_FALSE(kept->startsWith(folder));
    }
    EXPECT_EQ(warnings.filter(folder).size(), 1) << warnings.join(u'\n').toStdString();
}

// The folder stops answering as a whole with three records handed to the disk: the close keeps
// them all from its snapshot without a single call on the folder (its page from the template the
// disk thread had read), the disk thread, once the folder answers again, writes none of them, and
// the next start writes each once.
TEST_F(SpoolFolders, AFolderThatHangsAsAWholeCostsNoRecordAtClose)
{
    if (::geteuid() != 0)
        SKIP_OR_FAIL_IN_CI("needs root for a folder that hangs");
    const QString mirror = m_tmp.filePath(QStringLiteral("fuse"));
    ASSERT_TRUE(QDir().mkpath(mirror));
    // Every call on the folder reaches it, so none gets through while it hangs.
    HangFs folder(mirror, HangFs::Cache::Off);
    if (!folder.error().isEmpty())
        SKIP_OR_FAIL_IN_CI(folder.error().toStdString());
    const core::AppDir app{folder.mount() + QStringLiteral("/app")};
    ASSERT_TRUE(QDir().mkpath(app.htmlDir()));
    ASSERT_TRUE(core::replaceFile(app.settingsCfg(), kSettings));
    ASSERT_TRUE(core::replaceFile(app.progCfg(), ProgFile{.Port = "9", .Savehtml = "1"}.bytes()));
    ASSERT_TRUE(core::replaceFile(app.htmlDir() + QStringLiteral("template.asp"), "<p><TT></p>"));
    QDateTime now(QDate(2024, 3, 7), QTime(14, 5));
    const core::Clock clock{
        [&now] { return now; },
        [] {
            using namespace std::chrono;
            return qint64(
                duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
        }};
    const QString log = app.dailyLog(now.date());
    QString keptIn;
    {
        station::Station first(app, clock);
        // Whatever fails, the folder answers again before the station goes.
        const auto unhang = qScopeGuard([&] { folder.release(); });
        first.start();
        ASSERT_TRUE(waitFor([&] { return first.status().writes.takenUpTo >= 1; }, 10000));
        folder.hang();
        for (int record = 0; record < 3; ++record) {
            station::StationProbe::logTick(first);
            now = now.addSecs(60);
        }
        const station::CloseResult result = first.closeSteps(std::chrono::milliseconds(6000));
        EXPECT_TRUE(result.diskSilent);
        ASSERT_TRUE(result.keptIn) << result.spoolError.toStdString();
        EXPECT_TRUE(result.keptIn->startsWith(m_state)) << result.keptIn->toStdString();
        keptIn = *result.keptIn;
        // The folder answers again before the program has ended: the writer left behind writes
        // nothing the spool holds.
        folder.release();
        station::StationProbe::waitForDisk(first);
        EXPECT_FALSE(QFileInfo::exists(log)) << fileBytes(log).data();
        EXPECT_TRUE(QFileInfo::exists(keptIn));
    }
    {
        station::Station again(app, clock);
        again.start();
        station::StationProbe::waitForDisk(again);
        EXPECT_EQ(fileBytes(log),
                  "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:05</T>\r\n"
                  "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:06</T>\r\n"
                  "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:07</T>\r\n");
        EXPECT_EQ(fileBytes(app.htmlDir() + QStringLiteral("log.asp")), "<p>14:07:00</p>\r\n");
        EXPECT_FALSE(QFileInfo::exists(keptIn));
    }
}

} // namespace
