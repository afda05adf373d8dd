#include "alarms/autostart.h"
#include "tests/envguard.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// "Start with my desktop session": our entry in the user's autostart folder, told apart from one
// the user wrote, and never written with a field that would make a line of its own.
namespace {

using alarms::AutostartState;

const QString kProgram = QStringLiteral("/opt/wind $plant/100% \"x\"/Tessaly");

class Autostart : public ::testing::Test
{
protected:
    QTemporaryDir m_home;
    const EnvGuard m_config{"XDG_CONFIG_HOME", QFile::encodeName(m_home.path())};
    const QString m_path = m_home.path() + QStringLiteral("/autostart/tessaly.desktop");

    void write(const QByteArray& entry)
    {
        QDir().mkpath(m_home.path() + QStringLiteral("/autostart"));
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(entry), entry.size());
    }
    QByteArray read()
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }
};

TEST_F(Autostart, OurEntryValidatesAndGoesAwayWhenUnticked)
{
    EXPECT_EQ(alarms::execValue(kProgram), "\"/opt/wind \\\\$plant/100%% \\\\\"x\\\\\"/Tessaly\"");
    EXPECT_EQ(alarms::autostartPath("Tessaly"), m_path);
    EXPECT_EQ(alarms::autostartState("Tessaly", kProgram), AutostartState::None);
    ASSERT_TRUE(alarms::setAutostart(true, "Tessaly", kProgram));
    EXPECT_TRUE(alarms::autostartOn("Tessaly", kProgram));
    EXPECT_TRUE(read().contains("\nX-Tessaly-Autostart=true\n"));
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    if (validate.isEmpty()) {
        ADD_FAILURE() << "desktop-file-validate is not installed (Debian: desktop-file-utils)";
    } else {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(validate, {m_path});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();
    }
    ASSERT_TRUE(alarms::setAutostart(false, "Tessaly", kProgram));
    EXPECT_FALSE(QFile::exists(m_path));
}

// What stands in the file decides whether the box is ticked; only our own entry is removed.
TEST_F(Autostart, OnlyOurEntryForThisProgramCountsAndOnlyOursIsRemoved)
{
    const QByteArray ours = alarms::autostartEntry("Tessaly", kProgram);
    QByteArray elsewhere = alarms::autostartEntry("Tessaly", "/usr/bin/Tessaly");
    QByteArray switchedOff = ours;
    switchedOff.replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false");
    QByteArray hidden = ours + "Hidden=true\n";
    QByteArray users = ours;
    users.replace("X-Tessaly-Autostart=true\n", "");
    QByteArray otherGroup = users + "[Desktop Action x]\nX-Tessaly-Autostart=true\n";
    const struct
    {
        const char* what;
        QByteArray entry;
        AutostartState state;
    } cases[] = {
        {"ours", ours, AutostartState::On},
        {"ours for another copy", elsewhere, AutostartState::OursOff},
        {"ours switched off by the desktop", switchedOff, AutostartState::OursOff},
        {"ours hidden by the desktop", hidden, AutostartState::OursOff},
        {"the user's, for this very program", users, AutostartState::NotOurs},
        {"the user's, with our key in another group", otherGroup, AutostartState::NotOurs},
        {"not a desktop entry", "#!/bin/sh\nexec Tessaly\n", AutostartState::NotOurs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.entry);
        EXPECT_EQ(alarms::autostartState("Tessaly", kProgram), c.state);
        EXPECT_EQ(alarms::autostartOn("Tessaly", kProgram), c.state == AutostartState::On);
        QString error;
        if (c.state == AutostartState::NotOurs) {
            EXPECT_TRUE(alarms::setAutostart(false, "Tessaly", kProgram, &error));
            EXPECT_EQ(read(), c.entry) << "unticking leaves the user's entry";
            EXPECT_FALSE(alarms::setAutostart(true, "Tessaly", kProgram, &error));
            EXPECT_TRUE(error.contains("of your own")) << error.toStdString();
            EXPECT_EQ(read(), c.entry) << "ticking does not write over it";
        } else {
            ASSERT_TRUE(alarms::setAutostart(true, "Tessaly", kProgram, &error));
            EXPECT_EQ(read(), ours);
            ASSERT_TRUE(alarms::setAutostart(false, "Tessaly", kProgram, &error));
            EXPECT_FALSE(QFile::exists(m_path));
        }
    }
}

// A field that would start a line of its own is refused before anything is written.
TEST_F(Autostart, ANameOrPathThatWouldMakeALineOfItsOwnIsRefused)
{
    const struct
    {
        const char* program;
        QString path;
    } cases[] = {
        {"Tessaly", "/opt/wind\nExec=/bin/sh -c evil"},
        {"Tessaly", "/opt/wind\r/Tessaly"},
        {"Tessaly", QStringLiteral("/opt/wind") + QChar(0x7f)},
        {"Tessaly", "opt/Tessaly"},
        {"Tess\naly", "/opt/Tessaly"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_TRUE(alarms::autostartProblem(c.program, c.path));
        EXPECT_TRUE(alarms::autostartEntry(c.program, c.path).isEmpty());
        QString error;
        EXPECT_FALSE(alarms::setAutostart(true, c.program, c.path, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(QFile::exists(alarms::autostartPath(c.program)));
    }
}

} // namespace
