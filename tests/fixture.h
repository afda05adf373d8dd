#pragma once

// What the window tests share: a temporary application directory with its two files, message
// boxes caught through the program's own helper, a pseudo-terminal linked as a port, and ways
// to wait for the event loop and for a modal window.

#include "core/appdir.h"
#include "core/files.h"
#include "tools/pty.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

// A tool or a right a test needs is missing (a program, root, a mount of its own, the user
// nobody): skipped on a developer's machine, failed in CI (CI=true), where every tool is
// installed, the suite runs as root, and a check must never pass by not running.
#define SKIP_OR_FAIL_IN_CI(why)                                                                    \
    do {                                                                                           \
        if (qEnvironmentVariable("CI") == QLatin1String("true"))                                   \
            FAIL() << why;                                                                         \
        GTEST_SKIP() << why;                                                                       \
    } while (false)

// Runs the event loop until the condition holds or the time is up. It returns as soon as the
// condition holds, so the default limit is generous: it only ends a failing test, and a loaded
// machine with two cores may take seconds for what is usually at once.
template <typename Pred> bool waitFor(Pred pred, int ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return pred();
}

// The worked example of "settings.cfg": 512 raw volts read 12.8 V, 530 raw amps 9 A.
inline const QByteArray kSettings =
    "Calibration Settings\r\n\r\n\r\n<VoltDivider>40</VoltDivider>\r\n"
    "<VoltOffset>512</VoltOffset>\r\n<AmpDivider>2</AmpDivider>\r\n"
    "<RPMDivider>2</RPMDivider>\r\n<WSDivider>5</WSDivider>\r\n";

// A frame that reads, with kSettings, as kTitle says.
inline const std::string kFrame = "[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n";
inline const QString kTitle = QStringLiteral("Logger  12.8 V  9 A  115.2 W  300 RPM  5 WIND ");

// "prog.cfg" as the settings window writes it, with any of its texts chosen by the test:
// ProgFile{.Port = "2", .LogOn = "1"}.bytes().
struct ProgFile
{
    const char* Port = "1";
    const char* Savehtml = "0";
    const char* SaveExcel = "0";
    const char* LogDelay = "60";
    const char* LogOn = "0";
    const char* DisplayRPM = "0";
    const char* DisplayWS = "0";
    const char* WSUnits = "km/h";

    QByteArray bytes() const
    {
        QByteArray out = "Program Config File\r\n\r\n";
        const std::pair<const char*, const char*> lines[] = {
            {"Port", Port},           {"Savehtml", Savehtml}, {"SaveExcel", SaveExcel},
            {"LogDelay", LogDelay},   {"LogOn", LogOn},       {"DisplayRPM", DisplayRPM},
            {"DisplayWS", DisplayWS}, {"WSUnits", WSUnits}};
        for (const auto& [key, value] : lines)
            out += QByteArray("<") + key + ">" + value + "</" + key + ">\r\n";
        return out + "\r\n";
    }
};

// A test in its own application directory, holding kSettings and the default ProgFile, with
// every message box caught into m_messages.
class AppDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        ASSERT_TRUE(m_tmp.isValid());
        writeSettings(kSettings);
        writeProg(ProgFile{});
        ui::setMessageHandler([this](const QString& text) { m_messages << text; });
    }
    void TearDown() override { ui::setMessageHandler({}); }

    void writeProg(const ProgFile& prog) { writeProg(prog.bytes()); }
    void writeProg(const QByteArray& bytes)
    {
        ASSERT_TRUE(core::replaceFile(m_app.progCfg(), bytes));
    }
    void writeSettings(const QByteArray& bytes)
    {
        ASSERT_TRUE(core::replaceFile(m_app.settingsCfg(), bytes));
    }
    // A file's bytes, or "(no file)".
    static QByteArray fileBytes(const QString& path)
    {
        return core::readWholeFile(path).value_or(QByteArray("(no file)"));
    }

    // A pseudo-terminal standing in for the logger board, linked as port n's "com<n>".
    std::unique_ptr<sim::PseudoTerminal> line(int port)
    {
        auto pty = std::make_unique<sim::PseudoTerminal>();
        EXPECT_TRUE(pty->isOpen()) << pty->error();
        EXPECT_TRUE(pty->linkAt(m_app.comLink(port).toStdString())) << pty->error();
        return pty;
    }
    // Sends text in pieces with the loop running between them, as a real line delivers it.
    static void send(sim::PseudoTerminal& pty, const std::string& text, std::size_t piece = 7)
    {
        for (std::size_t k = 0; k < text.size(); k += piece) {
            ASSERT_TRUE(pty.write(text.substr(k, piece)));
            waitFor([] { return false; }, 15);
        }
    }

    QTemporaryDir m_tmp;
    core::AppDir m_app{m_tmp.path()};
    QStringList m_messages;
};

// A tmpfs of its own, mounted for the test: the real small disk that fills up. Mounting needs
// root; without it the tests that need one skip and say why (and fail in CI).
class SmallDisk
{
public:
    SmallDisk(const QString& at, int kib)
        : m_at(at)
    {
        if (::geteuid() != 0) {
            m_error = QStringLiteral("not running as root");
            return;
        }
        QDir().mkpath(at);
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=%1k").arg(kib), QStringLiteral("tmpfs"), at});
        m_mounted = mount.waitForFinished() && mount.exitStatus() == QProcess::NormalExit &&
                    mount.exitCode() == 0;
        if (!m_mounted)
            m_error = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_at});
    }
    bool mounted() const { return m_mounted; }
    const QString& error() const { return m_error; }

    // Takes every byte left.
    void fill()
    {
        QFile filler(m_at + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray page(4096, 'f');
        while (filler.write(page) == page.size()) {
        }
        while (filler.write("f", 1) == 1) {
        }
    }
    void free() { ASSERT_TRUE(QFile::remove(m_at + QStringLiteral("/filler"))); }
    // Mounted again read-only: not even root may write to it then.
    bool readOnly()
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_at}) == 0;
    }
    // And writable again.
    bool readWrite()
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,rw"), m_at}) == 0;
    }

private:
    QString m_at;
    bool m_mounted = false;
    QString m_error;
};

// A control of a window by its object name; a missing one fails the test.
template <typename T> T* child(const QObject& w, const char* name)
{
    T* found = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no control " << name;
    return found;
}

// The text a label or entry box shows.
inline QString textOf(const QObject& w, const char* name)
{
    if (auto* label = w.findChild<QLabel*>(QString::fromLatin1(name)))
        return label->text();
    if (auto* box = w.findChild<QLineEdit*>(QString::fromLatin1(name)))
        return box->text();
    ADD_FAILURE() << "no control " << name;
    return {};
}

// Runs action on the next modal window once it shows (inside its nested loop), then closes the
// window if the action left it open. It looks every 10 ms until deadlineMs has passed; a window
// that has not shown by then fails the test instead of leaving it waiting on a modal loop.
inline void onModal(std::function<void(QWidget&)> action, int deadlineMs = 20000)
{
    auto* timer = new QTimer;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, deadlineMs, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && clock.elapsed() < deadlineMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (!modal) {
            ADD_FAILURE() << "no modal window showed within " << deadlineMs << " ms";
            return;
        }
        action(*modal);
        if (modal->isVisible())
            modal->close();
    });
    timer->start(10);
}
