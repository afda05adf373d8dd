#include "logging/spool.h"
#include "tests/fixture.h"

#include <QDir>
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

} // namespace
