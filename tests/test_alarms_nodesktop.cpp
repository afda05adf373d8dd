// The notification service as the owner met it: a session bus of the test's own whose only
// notification service is an activation file for a program that dies at start.

#include "alarms/alarmswindow.h"
#include "alarms/notifier.h"
#include "tests/envguard.h"
#include "tests/fixture.h"

#include <QDBusConnection>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

class DyingService : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        if (!QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            return;
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            FAIL() << "dbus-daemon is not installed (Debian: dbus-daemon)";
        GTEST_SKIP() << "dbus-daemon is not installed (Debian: dbus-daemon)";
    }
};

// A desktop whose notification service is only an activation file for a program that dies at
// start (as dunst does by signal 5 without a display): the bus answers "received signal 5",
// and the window, even after its test button, says it as an owner would read it.
TEST_F(DyingService, IsWordedAsNoServiceAlsoAfterTheTestButton)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The bus looks for activation files only in the data folders given here.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("dbus-1/services")));
    ASSERT_TRUE(
        core::replaceFile(dir.filePath("dbus-1/services/org.freedesktop.Notifications.service"),
                          "[D-BUS Service]\nName=org.freedesktop.Notifications\n"
                          "Exec=/bin/sh -c 'kill -TRAP $$'\n"));
    QProcess bus;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", dir.path());
    env.insert("XDG_DATA_DIRS", dir.path());
    bus.setProcessEnvironment(env);
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(bus.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return bus.canReadLine(); }, 10000))
        << bus.readAllStandardError().toStdString();
    const QString address = QString::fromLatin1(bus.readLine()).trimmed();
    {
        const QDBusConnection connection =
            QDBusConnection::connectToBus(address, QStringLiteral("dying-service"));
        ASSERT_TRUE(connection.isConnected());
        alarms::Notifier notifier(connection);
        ASSERT_TRUE(waitFor(
            [&] { return notifier.status().state != alarms::NotifierStatus::State::Asking; },
            30000));
        EXPECT_TRUE(notifier.status().detail.contains(u"signal 5"))
            << notifier.status().detail.toStdString();
        const EnvGuard unused("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        alarms::Alarms window(m_app);
        window.setNotifier(&notifier);
        for (QPushButton* b : window.findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Test notification"))
                b->click();
        const QString status = window.controls().Status->text();
        ASSERT_TRUE(waitFor(
            [&] { return window.controls().Status->text().contains(u"was not shown"); }, 30000))
            << window.controls().Status->text().toStdString();
        const QString after = window.controls().Status->text();
        for (const QString& text : {status, after}) {
            EXPECT_TRUE(text.contains("No notification service is running on this desktop; "
                                      "alarms still show here and in logs/alarms.txt"))
                << text.toStdString();
            EXPECT_FALSE(text.contains(u"signal")) << text.toStdString();
        }
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("dying-service"));
    bus.terminate();
    bus.waitForFinished(3000);
}

} // namespace
