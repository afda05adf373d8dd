// "tessalyd web" run as its own process on a folder of its own: the web.cfg it writes, what it
// prints, and the running service that serves as the file says on SIGHUP.

#include "core/files.h"
#include "tests/fixture.h"
#include "tests/freeport.h"
#include "tests/webclient.h"
#include "web/webaddress.h"
#include "web/webconfig.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Ran
{
    int code = -1;
    QString out;
    QString err;
};

class TessalydWeb : public AppDirTest
{
protected:
    void TearDown() override
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_daemon.processId()), SIGTERM);
            if (!m_daemon.waitForFinished(30000))
                m_daemon.kill();
        }
        AppDirTest::TearDown();
    }

    // No display and no service manager; the cache in the test's folder.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET",
                                 "WATCHDOG_USEC", "WATCHDOG_PID", "STATE_DIRECTORY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_app.path(QStringLiteral("cache")));
        return env;
    }

    Ran web(const QStringList& options)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(TESSALYD_PATH),
                QStringList{QStringLiteral("--dir"), m_app.dir, QStringLiteral("web")} + options);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    web::WebConfig saved() const
    {
        return web::parseWebConfig(QString::fromUtf8(fileBytes(web::webCfgPath(m_app))));
    }
    int mode() const
    {
        struct stat s
        {};
        ::stat(QFile::encodeName(web::webCfgPath(m_app)).constData(), &s);
        return int(s.st_mode & 07777);
    }

    QProcess m_daemon;
};

// The address printed after the sentence, up to the end of its line.
QString printedAddress(const QString& out)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("open (http://\\S+)\\n")).match(out);
    return m.captured(1);
}

// The QR code read back from the half blocks printed (light drawn, dark left blank), without
// its quiet zone; empty when there is none.
web::QrModules printedCode(const QString& out)
{
    QStringList rows;
    for (const QString& line : out.split(u'\n')) {
        if (!line.isEmpty() &&
            QRegularExpression(QStringLiteral("^[ \u2580\u2584\u2588]+$")).match(line).hasMatch())
            rows << line;
    }
    web::QrModules code;
    if (rows.isEmpty())
        return code;
    const int size = int(rows.first().size());
    constexpr int quiet = 4;
    code.width = size - 2 * quiet;
    if (code.width <= 0 || rows.size() != (size + 1) / 2)
        return {};
    code.dark.assign(size_t(code.width * code.width), false);
    for (int y = 0; y < code.width; ++y) {
        const QString& row = rows[(y + quiet) / 2];
        if (row.size() != size)
            return {};
        for (int x = 0; x < code.width; ++x) {
            const QChar cell = row[x + quiet];
            const bool top = (y + quiet) % 2 == 0;
            const bool light = cell == u'\u2588' || (top ? cell == u'\u2580' : cell == u'\u2584');
            code.dark[size_t(y * code.width + x)] = !light;
        }
    }
    return code;
}

// Each switch in turn, on a folder with no web.cfg yet: the file as the Web window writes it
// (owner-only), the address with the token and its QR code on the network.
TEST_F(TessalydWeb, SwitchesTheWebViewAsTheWindowSaves)
{
    const Ran network = web({QStringLiteral("--network")});
    ASSERT_EQ(network.code, 0) << network.err.toStdString();
    const web::WebConfig on = saved();
    EXPECT_EQ(on.WebOn, QStringLiteral("1"));
    EXPECT_EQ(on.Address, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(on.Port, QStringLiteral("8470"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{48}$")).match(on.Token).hasMatch())
        << on.Token.toStdString();
    EXPECT_EQ(fileBytes(web::webCfgPath(m_app)), web::webConfigText(on));
    EXPECT_EQ(mode(), 0600);
    EXPECT_TRUE(web::readWebConfig(m_app).warning.isEmpty());
    const QString address = printedAddress(network.out);
    EXPECT_TRUE(
        network.out.startsWith(QStringLiteral("On a phone or computer in the house, open ")))
        << network.out.toStdString();
    EXPECT_TRUE(address.endsWith(QStringLiteral(":8470/?token=") + on.Token))
        << address.toStdString();
    const web::QrModules code = printedCode(network.out);
    ASSERT_GT(code.width, 0) << network.out.toStdString();
    EXPECT_EQ(code.dark, web::qrModules(address.toUtf8()).dark);
    EXPECT_TRUE(network.out.contains(QStringLiteral("No copy runs on this folder")));

    const Ran again = web({QStringLiteral("--new-token")});
    ASSERT_EQ(again.code, 0) << again.err.toStdString();
    const web::WebConfig renewed = saved();
    EXPECT_NE(renewed.Token, on.Token);
    EXPECT_EQ(renewed.Address, on.Address);
    EXPECT_TRUE(printedAddress(again.out).endsWith(renewed.Token));
    EXPECT_EQ(printedCode(again.out).dark, web::qrModules(printedAddress(again.out).toUtf8()).dark);
    EXPECT_EQ(mode(), 0600);

    const Ran local =
        web({QStringLiteral("--local"), QStringLiteral("--port"), QStringLiteral("8471")});
    ASSERT_EQ(local.code, 0) << local.err.toStdString();
    EXPECT_EQ(saved().Address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(saved().Token, renewed.Token); // kept for the network's next turn, as the window does
    EXPECT_TRUE(
        local.out.startsWith(QStringLiteral("On this computer, open http://127.0.0.1:8471/\n")))
        << local.out.toStdString();
    EXPECT_EQ(printedCode(local.out).width, 0);

    const Ran off = web({QStringLiteral("--off")});
    ASSERT_EQ(off.code, 0) << off.err.toStdString();
    EXPECT_EQ(saved().WebOn, QStringLiteral("0"));
    EXPECT_EQ(saved().Port, QStringLiteral("8471"));
    EXPECT_TRUE(off.out.startsWith(QStringLiteral("The web view is off.\n")));
    EXPECT_EQ(mode(), 0600);

    // Refused, and the file left as it was.
    const QByteArray before = fileBytes(web::webCfgPath(m_app));
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("--port"), QStringLiteral("70000")},
          QStringList{QStringLiteral("--network"), QStringLiteral("--off")}}) {
        const Ran refused = web(wrong);
        EXPECT_NE(refused.code, 0) << wrong.join(u' ').toStdString();
        EXPECT_FALSE(refused.err.isEmpty());
        EXPECT_EQ(fileBytes(web::webCfgPath(m_app)), before);
    }
}

// The address printed for the file as it is: one of the server's own in web.cfg is the one to
// open (an IPv6 one in brackets); on every address, one of this computer's (by the default
// route when there is one: which, a test without a network cannot tell).
TEST_F(TessalydWeb, PrintsTheAddressTheServerListensOn)
{
    const QString token = web::newToken();
    const std::pair<const char*, QString> rows[] = {
        {"192.168.7.9", QStringLiteral("http://192.168.7.9:8470/?token=") + token},
        {"fd00::5", QStringLiteral("http://[fd00::5]:8470/?token=") + token},
        {"::1", QStringLiteral("http://[::1]:8470/")},
        {"127.0.0.1", QStringLiteral("http://127.0.0.1:8470/")},
    };
    for (const auto& [address, shown] : rows) {
        web::WebConfig values;
        values.WebOn = QStringLiteral("1");
        values.Address = QString::fromLatin1(address);
        values.Port = QStringLiteral("8470");
        values.Token = token;
        ASSERT_TRUE(web::saveWebConfig(m_app, values));
        const Ran ran = web({});
        ASSERT_EQ(ran.code, 0) << ran.err.toStdString();
        EXPECT_EQ(printedAddress(ran.out), shown) << address << "\n" << ran.out.toStdString();
    }
    web::WebConfig every;
    every.WebOn = QStringLiteral("1");
    every.Address = QStringLiteral("0.0.0.0");
    every.Port = QStringLiteral("8470");
    every.Token = token;
    ASSERT_TRUE(web::saveWebConfig(m_app, every));
    const Ran ran = web({});
    ASSERT_EQ(ran.code, 0) << ran.err.toStdString();
    const QUrl printed(printedAddress(ran.out));
    QStringList own{QHostInfo::localHostName()};
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        own << address.toString();
    EXPECT_TRUE(own.contains(printed.host())) << ran.out.toStdString();
    EXPECT_FALSE(QHostAddress(printed.host()).isLoopback()) << ran.out.toStdString();
}

// Run as root on a folder another user owns, as the system service's is, the file is given to
// that user: the service could not read it otherwise.
TEST_F(TessalydWeb, RunAsRootTheFileIsTheFolderOwners)
{
    if (::geteuid() != 0)
        SKIP_OR_FAIL_IN_CI("only root gives a file to another user");
    constexpr uid_t kNobody = 65534;
    const QByteArray folder = QFile::encodeName(m_app.dir);
    ASSERT_EQ(::chown(folder.constData(), kNobody, kNobody), 0);
    const Ran network = web({QStringLiteral("--network")});
    ASSERT_EQ(network.code, 0) << network.err.toStdString();
    struct stat file
    {};
    ASSERT_EQ(::stat(QFile::encodeName(web::webCfgPath(m_app)).constData(), &file), 0);
    EXPECT_EQ(file.st_uid, kNobody);
    EXPECT_EQ(file.st_gid, gid_t(kNobody));
    EXPECT_EQ(file.st_mode & 07777, 0600u);
    ASSERT_EQ(::chown(folder.constData(), 0, 0), 0);
}

// A tessalyd running on the folder with the web view off: "tessalyd web --local" has it read the
// file again (SIGHUP), and it then answers on the port; the signal ends nothing.
TEST_F(TessalydWeb, ARunningServiceServesTheNewFileOnSighup)
{
    m_daemon.setProcessEnvironment(environment());
    m_daemon.start(QStringLiteral(TESSALYD_PATH), {QStringLiteral("--dir"), m_app.dir});
    ASSERT_TRUE(m_daemon.waitForStarted());
    QString said;
    auto saysSo = [&](const QString& text) {
        return waitFor([&] {
            said += QString::fromUtf8(m_daemon.readAllStandardError());
            return said.contains(text);
        });
    };
    ASSERT_TRUE(saysSo(QStringLiteral("Files are kept in "))) << said.toStdString();

    const quint16 port = freePort();
    const Ran local =
        web({QStringLiteral("--local"), QStringLiteral("--port"), QString::number(port)});
    ASSERT_EQ(local.code, 0) << local.err.toStdString();
    EXPECT_TRUE(local.out.contains(
        QStringLiteral("tessalyd, running on this folder (process %1), now serves as it says.")
            .arg(m_daemon.processId())))
        << local.out.toStdString();
    ASSERT_TRUE(saysSo(QStringLiteral("Web view: http://127.0.0.1:%1/").arg(port)))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("Reading web.cfg again (signal 1).")));
    EXPECT_EQ(WebClient(port).get("/api/now").status, 200);
    EXPECT_EQ(m_daemon.state(), QProcess::Running);
}

} // namespace
