#include "programs/onecopy.h"
#include "tests/logger_window.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLockFile>
#include <QProcess>
#include <QScreen>
#include <QScrollArea>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

TEST_F(LoggerWindow, DecodesFramesArrivingInPieces)
{
    auto pty = line(1);
    auto w = start();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Logger - No Signal"));
    ASSERT_TRUE(w->portOpen()) << w->statusText().toStdString();
    send(*pty, "no brackets yet ");
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Logger - No Signal"));
    EXPECT_EQ(w->holder(0), 0);
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }))
        << w->windowTitle().toStdString();
    EXPECT_EQ(child<QLabel>(*w, "txtMode")->text(), QStringLiteral("On Load"));
    EXPECT_EQ(w->reading()[core::kWatts], 115.2);
    EXPECT_EQ(w->holder(0), 13);
    EXPECT_EQ(w->holder(12), 115);
    EXPECT_EQ(child<QLabel>(*w, "Label5_0")->text(), QStringLiteral("13"));
    EXPECT_EQ(child<QLabel>(*w, "Label5_10")->text(), QStringLiteral("300"));
    EXPECT_EQ(w->peaks(), monitor::IntervalPeaks{}); // not logging: peaks stay
    EXPECT_EQ(child<QPushButton>(*w, "BlinkData")->palette().button().color(), QColor(Qt::red));
    w->Timer2_Timer();
    EXPECT_NE(child<QPushButton>(*w, "BlinkData")->palette().button().color(), QColor(Qt::red));

    // Watt-hours grow at each 5-second tick and reach the holders with the next notification.
    m_now = m_now.addSecs(5);
    station::StationProbe::energyTick(w->station());
    EXPECT_DOUBLE_EQ(w->wattHourTotal(), 115.2 / 720);
    send(*pty, "[<V>512</V><I>530</I><M>0</M>]");
    ASSERT_TRUE(waitFor([&] { return w->reading().mode == 0; }));
    EXPECT_EQ(child<QLabel>(*w, "txtMode")->text(), QString());
}

TEST_F(LoggerWindow, SurvivesALostLineAndReconnects)
{
    auto pty = line(1);
    auto w = start();
    ASSERT_TRUE(w->portOpen());
    pty->close();
    ASSERT_TRUE(waitFor([&] { return !w->portOpen(); }));
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("line lost")))
        << w->statusText().toStdString();
    pty = line(1);
    ASSERT_TRUE(waitFor([&] { return w->portOpen(); })) << w->statusText().toStdString();
    send(*pty, kFrame);
    EXPECT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(LoggerWindow, MissingPortIsReportedInTheWindow)
{
    writeProg(ProgFile{.Port = "COM2"});
    auto w = start();
    EXPECT_FALSE(w->portOpen());
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("COM2")));
    writeProg(ProgFile{.Port = "7"});
    w = start();
    EXPECT_FALSE(w->portOpen());
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("cannot open")));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(LoggerWindow, AutomaticStartCorrectsTheInterval)
{
    struct Case
    {
        const char* delay;
        const char* logOn;
        bool logging;
        const char* text;
        int ms;
    } cases[] = {{"700", "1", true, "600", 600000},  {"5", "1", true, "10", 10000},
                 {"10", "1", true, "10", 10000},     {"600", " 1 ", true, "600", 600000},
                 {"12.5", "1", true, "12.5", 12500}, {"abc", "1", false, "abc", 0},
                 {"60", "0", false, "60", 0},        {"60", "2", false, "60", 0}};
    for (const Case& c : cases) {
        writeProg(ProgFile{.LogDelay = c.delay, .LogOn = c.logOn});
        auto w = start();
        EXPECT_EQ(w->logging(), c.logging) << c.delay;
        EXPECT_EQ(child<QLineEdit>(*w, "delay")->text(), QString::fromLatin1(c.text));
        EXPECT_EQ(child<QPushButton>(*w, "StartLogging")->isEnabled(), !c.logging);
        EXPECT_EQ(child<QPushButton>(*w, "StopLogging")->isEnabled(), c.logging);
        if (c.logging) {
            EXPECT_EQ(w->loggingInterval(), c.ms);
        }
    }
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(LoggerWindow, PeaksMoveOnlyWhileLogging)
{
    auto pty = line(1);
    auto w = start();
    child<QLineEdit>(*w, "delay")->setText(QStringLiteral("x"));
    child<QPushButton>(*w, "StartLogging")->click();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral(
                              "Invalid delay period, needs to be a number between 10 and 600")});
    EXPECT_FALSE(w->logging());
    child<QLineEdit>(*w, "delay")->setText(QStringLiteral("30"));
    child<QPushButton>(*w, "StartLogging")->click();
    ASSERT_TRUE(w->logging());
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->peaks()[core::kWatts] == 115.2; }));
    child<QPushButton>(*w, "StopLogging")->click();
    send(*pty, "[<V>600</V><I>530</I>]");
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kVolts] == 15; }));
    EXPECT_EQ(w->peaks()[core::kVolts], 12.8);
}

// Closes the modal window once it shows, noting its name and the port state.
void closeModalSoon(QString* name, bool* portOpenMeanwhile, const monitor::Logger* w)
{
    onModal([=](QWidget& modal) {
        *name = modal.objectName();
        *portOpenMeanwhile = w->portOpen();
    });
}

TEST_F(LoggerWindow, HandsThePortToTheOtherWindows)
{
    auto com1 = line(1);
    auto com2 = line(2);
    auto w = start();
    ASSERT_TRUE(w->portOpen());
    QString name;
    bool openMeanwhile = true;

    writeProg(ProgFile{.Port = "2"}); // after Calib the port number is not read again
    closeModalSoon(&name, &openMeanwhile, w.get());
    child<QPushButton>(*w, "CalibrateButton")->click();
    EXPECT_EQ(name, QStringLiteral("Calibrate"));
    EXPECT_FALSE(openMeanwhile);
    ASSERT_TRUE(w->portOpen());
    send(*com1, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));

    closeModalSoon(&name, &openMeanwhile, w.get());
    child<QPushButton>(*w, "Setup")->click();
    EXPECT_EQ(name, QStringLiteral("ProgramSetup"));
    EXPECT_FALSE(openMeanwhile);
    ASSERT_TRUE(w->portOpen());
    send(*com2, "[<V>480</V><I>530</I>]");
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kVolts] == 12; }));

    closeModalSoon(&name, &openMeanwhile, w.get());
    child<QPushButton>(*w, "ShowLogs")->click();
    EXPECT_EQ(name, QStringLiteral("Graph"));
    EXPECT_TRUE(openMeanwhile);
}

TEST_F(LoggerWindow, CorvennaAssignsOnlyTheMeterHolders)
{
    auto pty = line(1);
    auto w = start(programs::corvenna());
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));
    EXPECT_EQ(w->holder(0), 13);
    EXPECT_EQ(w->holder(4), 300);
    for (int i : {7, 8, 10, 11, 12, 13})
        EXPECT_EQ(w->holder(i), 0) << i;
    EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("Label5_7")), nullptr);
}

} // namespace

namespace {

// A line that goes quiet, or is lost, says since when no data came; the values stay on show
// and the next frame clears it.
TEST_F(LoggerWindow, AQuietOrLostLineSaysSinceWhenNoDataCame)
{
    auto pty = line(1);
    auto w = start();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));
    // A second short of the limit the watch, run now as its timer runs it, says nothing.
    m_now = m_now.addMSecs(monitor::Logger::kStaleAfterMs - 1000);
    station::StationProbe::checkData(w->station());
    EXPECT_FALSE(w->statusText().contains(QStringLiteral("No data")));
    m_now = m_now.addSecs(2);
    ASSERT_TRUE(waitFor([&] { return w->statusText().contains(u"No data since 14:05:07"); }))
        << w->statusText().toStdString();
    EXPECT_EQ(w->windowTitle(), kTitle);
    EXPECT_EQ(child<QLabel>(*w, "Status")->palette().color(QPalette::WindowText),
              QColor(255, 214, 64));
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return !w->statusText().contains(u"No data"); }));

    // Lost: said at once, and it stands while the line comes back without data.
    const QDateTime lastFrame = m_now;
    pty->close();
    ASSERT_TRUE(waitFor([&] { return w->statusText().contains(u"No data since"); }));
    EXPECT_TRUE(w->statusText().contains(lastFrame.time().toString(u"HH:mm:ss")));
    pty = line(1);
    ASSERT_TRUE(waitFor([&] { return w->portOpen(); }));
    EXPECT_TRUE(w->statusText().contains(u"No data since"));
    send(*pty, kFrame);
    EXPECT_TRUE(waitFor([&] { return !w->statusText().contains(u"No data"); }));
}

// The program itself, copied into a folder of its own, holds the folder's lock while it runs;
// another copy is refused with the folder and the process named; a killed copy's lock is taken
// over; a copy ended by the system releases it.
TEST_F(LoggerWindow, OneRunningCopyPerFolder)
{
    const QString program = m_app.path(QStringLiteral("Tessaly"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TESSALY_PATH), program));
    writeProg(ProgFile{.Port = "9"});
    const QString lockPath = programs::lockFilePath(m_app);
    auto runCopy = [&](QProcess& copy) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        copy.setProcessEnvironment(env);
        copy.start(program, {});
        ASSERT_TRUE(copy.waitForStarted());
        // The lock file is made first and its holder written into it after: only a file that
        // names the copy says it holds the folder (a busy machine shows the gap).
        ASSERT_TRUE(waitFor(
            [&] {
                qint64 pid = 0;
                QString host, name;
                return QLockFile(lockPath).getLockInfo(&pid, &host, &name) &&
                       pid == copy.processId();
            },
            60000));
    };

    QProcess first;
    runCopy(first);
    {
        QLockFile lock(lockPath);
        const auto refusal = programs::claimAppDir(lock, m_app);
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(refusal->contains(m_app.dir)) << refusal->toStdString();
        EXPECT_TRUE(refusal->contains(QString::number(first.processId())));
        EXPECT_TRUE(refusal->startsWith(QStringLiteral("Tessaly is already running")));
    }
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(lockPath));

    QProcess killed;
    runCopy(killed);
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    ASSERT_TRUE(QFileInfo::exists(lockPath));
    QLockFile lock(lockPath);
    EXPECT_FALSE(programs::claimAppDir(lock, m_app));
    EXPECT_TRUE(lock.isLocked());
}

} // namespace

namespace {

// Keyboard and screen reader: Enter presses the focused button, the focused control is framed,
// and the controls that show no text of their own have names.
TEST_F(LoggerWindow, KeyboardAndScreenReaderReachEveryControl)
{
    auto pty = line(1);
    auto w = start();
    w->activateWindow();
    auto* startButton = child<QPushButton>(*w, "StartLogging");
    startButton->setFocus();
    ASSERT_TRUE(waitFor([&] { return startButton->hasFocus(); }));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(startButton, &enter);
    ASSERT_TRUE(waitFor([&] { return w->logging(); }));

    auto* stop = child<QPushButton>(*w, "StopLogging");
    stop->setFocus();
    ASSERT_TRUE(waitFor([&] { return stop->hasFocus(); }));
    auto* frame = w->findChild<QWidget*>(u"FocusFrame"_s);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(waitFor([&] { return frame->isVisible(); }));
    EXPECT_TRUE(frame->geometry().contains(stop->geometry()));
    auto* delay = child<QLineEdit>(*w, "delay");

    EXPECT_EQ(child<QLabel>(*w, "Picture1_0")->accessibleName(), u"Volts meter"_s);
    EXPECT_EQ(child<QLabel>(*w, "Picture1_4")->accessibleName(), u"Mill rpm meter"_s);
    EXPECT_EQ(child<QPushButton>(*w, "BlinkData")->accessibleName(), u"Data lamp"_s);
    EXPECT_EQ(delay->accessibleName(), u"Logging interval in seconds"_s);
    EXPECT_EQ(child<QLabel>(*w, "Label10")->buddy(), delay);
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));
    EXPECT_EQ(child<QLabel>(*w, "Picture1_0")->accessibleDescription(), u"13 V"_s);
}

// On a screen with less room than the layout (the test's screen is 800 x 600), the window fits
// the screen and the rest, the status line included, is reached by scrolling.
TEST_F(LoggerWindow, ASmallScreenScrollsToEveryControl)
{
    auto w = start();
    const QRect room = w->screen()->availableGeometry();
    if (room.height() >= 800)
        GTEST_SKIP() << "needs a screen smaller than the layout: the SmallScreen entry gives one";
    EXPECT_LE(w->frameGeometry().height(), room.height());
    EXPECT_LE(w->frameGeometry().width(), room.width());
    auto* scroll = child<QScrollArea>(*w, "LoggerScroll");
    auto* status = child<QLabel>(*w, "Status");
    scroll->ensureWidgetVisible(status);
    EXPECT_FALSE(status->visibleRegion().isEmpty());
    // The designed positions stay as they are inside it.
    EXPECT_EQ(child<QPushButton>(*w, "ShowLogs")->geometry(), QRect(864, 0, 45, 21));
}

// On a screen at 200 %, the faces are drawn with its pixels: twice as many each way.
TEST_F(LoggerWindow, FacesFollowTheScreensPixelRatio)
{
    auto w = start();
    if (w->devicePixelRatioF() != 2)
        GTEST_SKIP() << "needs a screen at 200 %: the DoubleScreen entry gives one";
    const QPixmap face = child<QLabel>(*w, "Picture1_0")->pixmap();
    EXPECT_EQ(face.devicePixelRatio(), 2);
    EXPECT_EQ(face.size(), QSize(344, 200));
}

} // namespace
