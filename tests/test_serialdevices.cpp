#include "config/setupsteps.h"
#include "core/appdir.h"
#include "core/serialdevices.h"
#include "core/serialline.h"
#include "tests/fixture.h"
#include "tools/pty.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

// Failures show texts, not their bytes.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace core {
void PrintTo(const SerialDevice& d, std::ostream* out)
{
    *out << "{" << d.path.toStdString() << ", " << d.location.toStdString() << ", "
         << d.description.toStdString() << ", " << d.maker.toStdString() << ", "
         << d.serialNumber.toStdString() << "}";
}
} // namespace core

namespace {

using namespace Qt::StringLiterals;

using core::DeviceAccess;
using core::ExistingLink;
using core::SerialDevice;

QString slaveOf(const sim::PseudoTerminal& pty)
{
    return QString::fromStdString(pty.slavePath());
}

std::unique_ptr<sim::PseudoTerminal> openPty()
{
    auto pty = std::make_unique<sim::PseudoTerminal>();
    EXPECT_TRUE(pty->isOpen()) << pty->error();
    return pty;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no file)");
}

// What readlink gives, unresolved.
QString rawLink(const QString& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return n > 0 ? QFile::decodeName(QByteArray(buffer, n)) : QStringLiteral("(no link)");
}

class DeviceFiles : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_tmp.isValid()); }
    QString at(const QString& name) const { return m_tmp.filePath(name); }
    QStringList entries() const
    {
        return QDir(m_tmp.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDir::Name);
    }

    QTemporaryDir m_tmp;
};

// --- The list ---------------------------------------------------------------------------------

class SerialListing : public DeviceFiles
{
protected:
    void SetUp() override
    {
        DeviceFiles::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_byId));
        ASSERT_TRUE(writeFile(at("plain"), "not a device"));
    }
    void byIdLink(const char* name, const QString& target)
    {
        ASSERT_TRUE(QFile::link(target, m_byId + QLatin1Char('/') + QLatin1String(name)));
    }

    QString m_byId = at("by-id");
};

TEST_F(SerialListing, ByIdNamesFirstEachDeviceOnceOnlyCharacterDevices)
{
    const auto ftdi = openPty();
    const auto prolific = openPty();
    const auto onboard = openPty();
    const QString ftdiPath = m_byId + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const QString prolificPath = m_byId + "/usb-Prolific_PL2303-if00-port0";
    byIdLink("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", slaveOf(*ftdi));
    byIdLink("usb-Prolific_PL2303-if00-port0", slaveOf(*prolific));
    byIdLink("usb-Zz_second_name_of_FTDI-if00-port0", slaveOf(*ftdi));
    byIdLink("usb-Gone-if00-port0", QStringLiteral("/nonexistent/ttyUSB7"));
    byIdLink("usb-Plain-if00-port0", at("plain"));
    ASSERT_TRUE(writeFile(m_byId + "/not-a-link", "x"));
    ASSERT_TRUE(QFile::link(slaveOf(*onboard), at("onboard-link")));

    const std::vector<core::SerialPortFacts> ports{
        {QStringLiteral("/nonexistent/ttyUSB9"), "Gone", "Maker", "1"},
        {slaveOf(*onboard), "Onboard port", "", ""},
        {slaveOf(*ftdi), "FT232R USB UART", "FTDI", "A50285BI"},
        {at("plain"), "A file", "", ""},
        {at("onboard-link"), "The onboard port again", "", ""},
    };
    const std::vector<SerialDevice> expected{
        {ftdiPath, slaveOf(*ftdi), "FT232R USB UART", "FTDI", "A50285BI"},
        {prolificPath, slaveOf(*prolific), {}, {}, {}},
        {slaveOf(*onboard), slaveOf(*onboard), "Onboard port", {}, {}},
    };
    EXPECT_EQ(core::listSerialDevices(ports, m_byId), expected);

    // The same devices without the port list: the by-id folder alone still finds them.
    const std::vector<SerialDevice> byIdOnly{{ftdiPath, slaveOf(*ftdi), {}, {}, {}},
                                             {prolificPath, slaveOf(*prolific), {}, {}, {}}};
    EXPECT_EQ(core::listSerialDevices({}, m_byId), byIdOnly);
    // No by-id folder (no USB adapter was ever plugged in): the ports by their own names.
    EXPECT_EQ(core::listSerialDevices({ports[2]}, at("none")),
              (std::vector<SerialDevice>{
                  {slaveOf(*ftdi), slaveOf(*ftdi), "FT232R USB UART", "FTDI", "A50285BI"}}));
    EXPECT_TRUE(core::listSerialDevices({}, at("none")).empty());

    // A device that goes leaves the list.
    prolific->close();
    EXPECT_EQ(core::listSerialDevices({}, m_byId), std::vector<SerialDevice>{byIdOnly[0]});
}

TEST_F(SerialListing, PortsWithoutByIdNameInNumberOrder)
{
    // Device nodes of our own, so the names are ours to choose.
    for (const char* name : {"ttyS10", "ttyS2", "ttyACM0", "ttyS1"}) {
        if (::mknod(QFile::encodeName(at(name)).constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            SKIP_OR_FAIL_IN_CI(
                "cannot make a device node here (needs root): " << std::strerror(errno));
    }
    std::vector<core::SerialPortFacts> ports;
    for (const char* name : {"ttyS10", "ttyS2", "ttyACM0", "ttyS1"})
        ports.push_back({at(name), {}, {}, {}});
    QStringList order;
    for (const SerialDevice& d : core::listSerialDevices(ports, m_byId))
        order << QFileInfo(d.location).fileName();
    EXPECT_EQ(order.join(' ').toStdString(), "ttyACM0 ttyS1 ttyS2 ttyS10");
}

TEST(DeviceListText, NameThenWhatIsKnown)
{
    const struct
    {
        SerialDevice device;
        const char* text;
    } cases[] = {
        {{"/dev/serial/by-id/usb-FTDI_X-if00-port0", "/dev/ttyUSB0", "FT232R USB UART", "FTDI",
          "A50285BI"},
         "usb-FTDI_X-if00-port0\n/dev/ttyUSB0, FT232R USB UART, FTDI, serial A50285BI"},
        {{"/dev/serial/by-id/usb-X", "/dev/ttyACM0", {}, {}, "7"}, "usb-X\n/dev/ttyACM0, serial 7"},
        {{"/dev/ttyS0", "/dev/ttyS0", "16550A", {}, {}}, "/dev/ttyS0\n16550A"},
        {{"/dev/ttyS1", "/dev/ttyS1", {}, {}, {}}, "/dev/ttyS1\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(config::deviceListText(c.device), QString::fromLatin1(c.text));
}

// --- Access, as this process (root on CI: every device opens) --------------------------------

TEST_F(DeviceFiles, AccessTellsMissingAndNotADevice)
{
    const auto pty = openPty();
    ASSERT_TRUE(writeFile(at("plain"), "x"));
    ASSERT_TRUE(QDir().mkpath(at("folder")));
    ASSERT_TRUE(QFile::link(slaveOf(*pty), at("com1")));
    ASSERT_TRUE(QFile::link(at("gone"), at("com2")));
    ASSERT_TRUE(QFile::link(at("plain"), at("com3")));

    using S = DeviceAccess::State;
    const struct
    {
        QString path;
        S state;
        QString device;
        const char* says;
    } cases[] = {
        {slaveOf(*pty), S::Ok, slaveOf(*pty), ""},
        {at("com1"), S::Ok, slaveOf(*pty), ""},
        {at("gone"), S::Missing, at("gone"), "does not exist"},
        {at("com2"), S::Missing, at("com2"), "does not exist"},
        {at("plain"), S::NotACharacterDevice, at("plain"), "is not a serial device"},
        {at("com3"), S::NotACharacterDevice, at("plain"), "is not a serial device"},
        {at("folder"), S::NotACharacterDevice, at("folder"), "is not a serial device"},
        {at("plain/tty"), S::Missing, at("plain/tty"), "does not exist"},
    };
    for (const auto& c : cases) {
        const DeviceAccess a = core::deviceAccess(c.path);
        EXPECT_EQ(a.state, c.state) << c.path.toStdString();
        EXPECT_EQ(a.device, c.device) << c.path.toStdString();
        EXPECT_EQ(a.ok(), c.state == S::Ok);
        EXPECT_EQ(a.message.isEmpty(), a.ok()) << c.path.toStdString();
        EXPECT_TRUE(a.message.contains(QLatin1String(c.says))) << a.message.toStdString();
        if (!a.ok()) {
            EXPECT_TRUE(a.message.contains(c.device)) << a.message.toStdString();
        }
    }
}

// --- Access, as a user who is not in the device's group ---------------------------------------

// Runs probe in a child process whose user is "nobody", in its own group and no other, and
// returns the texts the probe returned: the kernel then judges the child's access as it would
// any account's that lacks the device's group. nullopt with the reason in why when this process
// cannot change its user.
std::optional<QStringList> asNobody(const std::function<QStringList()>& probe, std::string* why)
{
    if (::geteuid() != 0) {
        *why = "needs root to start a child process as the user nobody";
        return std::nullopt;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) {
        *why = "this system has no user nobody";
        return std::nullopt;
    }
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        *why = std::string("no pipe: ") + std::strerror(errno);
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        *why = std::string("cannot start a child process: ") + std::strerror(errno);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(uid, uid, uid) != 0)
            ::_exit(3);
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        stream << probe();
        for (qsizetype done = 0; done < out.size();) {
            const ssize_t n = ::write(pipeEnds[1], out.constData() + done, out.size() - done);
            if (n <= 0)
                ::_exit(4);
            done += n;
        }
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    QByteArray in;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        in.append(buffer, n);
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << "the unprivileged child failed, status " << status;
        return QStringList();
    }
    QStringList texts;
    QDataStream stream(in);
    stream >> texts;
    return texts;
}

gid_t groupId(const char* name)
{
    const group* g = ::getgrnam(name);
    return g ? g->gr_gid : gid_t(-1);
}

class DeviceAsAnotherUser : public DeviceFiles
{
protected:
    void SetUp() override
    {
        DeviceFiles::SetUp();
        if (::geteuid() != 0)
            SKIP_OR_FAIL_IN_CI("needs root, to give a device to another owner and group and to "
                               "start a child process as the user nobody");
        // nobody must be able to reach what is in the folder, not write in it.
        ASSERT_EQ(::chmod(QFile::encodeName(m_tmp.path()).constData(), 0755), 0);
        m_pty = openPty();
        ASSERT_TRUE(m_pty->isOpen());
    }
    // The pty as a plant's adapter may come: owned by root, with this group (none: the group
    // of the user nobody) and mode.
    void deviceIs(const char* groupName, mode_t mode)
    {
        const QByteArray slave = QFile::encodeName(slaveOf(*m_pty));
        const passwd* nobody = ::getpwnam("nobody");
        const gid_t gid = groupName ? groupId(groupName) : nobody ? nobody->pw_gid : gid_t(-1);
        ASSERT_NE(gid, gid_t(-1)) << "no group " << (groupName ? groupName : "of nobody");
        ASSERT_EQ(::chown(slave.constData(), 0, gid), 0) << std::strerror(errno);
        ASSERT_EQ(::chmod(slave.constData(), mode), 0) << std::strerror(errno);
    }

    std::unique_ptr<sim::PseudoTerminal> m_pty;
};

TEST_F(DeviceAsAnotherUser, NoRightToTheDeviceTellsTheGroupAndTheCommand)
{
    if (groupId("dialout") == gid_t(-1))
        SKIP_OR_FAIL_IN_CI("this system has no group dialout");
    ASSERT_TRUE(QFile::link(slaveOf(*m_pty), at("com5")));
    const QString slave = slaveOf(*m_pty);
    using S = DeviceAccess::State;
    const struct
    {
        const char* group;
        mode_t mode;
        S state;
        QStringList says;
        QStringList never;
    } cases[] = {
        {"dialout", 0666, S::Ok, {}, {}},
        {nullptr, 0660, S::Ok, {}, {}}, // nobody's own group
        {"dialout",
         0660,
         S::NoPermission,
         {"does not have the right to open " + slave, "\"dialout\"",
          "\nsudo usermod -aG dialout $USER\n", "log out and log in again"},
         {}},
        {"tty", 0660, S::NoPermission, {"\"tty\"", "\nsudo usermod -aG tty $USER\n"}, {"dialout"}},
        {"dialout", 0600, S::NoPermission, {"only its owner, root", "\"dialout\""}, {"usermod"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.group ? c.group : "nobody's") + " group, mode " +
                     QString::number(c.mode, 8).toStdString());
        deviceIs(c.group, c.mode);
        std::string why;
        const auto texts = asNobody(
            [&] {
                const DeviceAccess a = core::deviceAccess(slave);
                const DeviceAccess viaLink = core::deviceAccess(at("com5"));
                const config::PortDeviceNote note =
                    config::portDeviceNote(core::AppDir{m_tmp.path()}, "5");
                // The main window's status line, through a real serial line on port 5.
                core::SerialLine line(QStringLiteral("MSComm1"), core::AppDir{m_tmp.path()});
                line.open(5);
                const QString status = core::lineStatusText(
                    line.status(), QStringLiteral("5"),
                    core::openFailedAdvice(line.status(), QStringLiteral("(fallback)")));
                line.close();
                return QStringList{QString::number(int(a.state)),
                                   a.group,
                                   a.message,
                                   viaLink.message,
                                   note.text,
                                   note.detail,
                                   QString::number(note.present),
                                   status};
            },
            &why);
        if (!texts)
            SKIP_OR_FAIL_IN_CI(why);
        ASSERT_EQ(texts->size(), 8);
        EXPECT_EQ(texts->at(0).toInt(), int(c.state));
        const QString& message = texts->at(2);
        // Through the com5 link the same, naming the device itself.
        EXPECT_EQ(texts->at(3), message);
        if (c.state == S::Ok) {
            EXPECT_TRUE(message.isEmpty()) << message.toStdString();
            EXPECT_FALSE(texts->at(7).contains(u"right to open")) << texts->at(7).toStdString();
            EXPECT_EQ(texts->at(4), QStringLiteral("com5 \u2192 %1\npresent").arg(slave));
            EXPECT_EQ(texts->at(6), QStringLiteral("1")) << texts->at(5).toStdString();
            continue;
        }
        EXPECT_EQ(texts->at(1), QLatin1String(c.group));
        for (const QString& s : c.says)
            EXPECT_TRUE(message.contains(s))
                << message.toStdString() << "\nlacks " << s.toStdString();
        for (const QString& s : c.never)
            EXPECT_FALSE(message.contains(s)) << message.toStdString();
        // The Setup window's device line: not present, "no access", the fix in full.
        EXPECT_EQ(texts->at(4), QStringLiteral("com5 \u2192 %1\nno access").arg(slave));
        EXPECT_TRUE(texts->at(5).contains(message)) << texts->at(5).toStdString();
        EXPECT_EQ(texts->at(6), QStringLiteral("0"));
        // The main window says the same, in place of its usual advice.
        EXPECT_TRUE(texts->at(7).contains(u"cannot open"_s) && texts->at(7).endsWith(message))
            << texts->at(7).toStdString();
    }
}

TEST_F(DeviceAsAnotherUser, ALinkInAFolderOfAnotherAccountIsRefused)
{
    deviceIs("dialout", 0666);
    const QString slave = slaveOf(*m_pty);
    const core::AppDir app{m_tmp.path()};
    std::string why;
    const auto texts = asNobody(
        [&] {
            QString error;
            const bool made = core::makeDeviceLink(app.comLink(1), slave, false, &error);
            const config::DeviceChoice choice =
                config::useDevice(app, "1", slave, [](const QString&) { return true; });
            return QStringList{QString::number(made), error, QString::number(int(choice.outcome)),
                               choice.message};
        },
        &why);
    if (!texts)
        SKIP_OR_FAIL_IN_CI(why);
    ASSERT_EQ(texts->size(), 4);
    EXPECT_EQ(texts->at(0), QStringLiteral("0"));
    EXPECT_EQ(texts->at(1), qt_error_string(EACCES));
    EXPECT_EQ(texts->at(2).toInt(), int(config::DeviceChoice::Outcome::Refused));
    EXPECT_TRUE(texts->at(3).contains(
        QStringLiteral("could not be made in %1: %2").arg(m_tmp.path(), qt_error_string(EACCES))))
        << texts->at(3).toStdString();
    EXPECT_TRUE(texts->at(3).contains(QStringLiteral("Nothing was changed")));
    EXPECT_EQ(entries(), QStringList());
}

// --- The com<n> link ---------------------------------------------------------------------------

TEST_F(DeviceFiles, ExistingLinkSaysWhatStandsThere)
{
    const auto pty = openPty();
    const auto other = openPty();
    ASSERT_TRUE(QDir().mkpath(at("by-id")));
    ASSERT_TRUE(QFile::link(slaveOf(*pty), at("by-id/usb-X")));
    ASSERT_TRUE(QFile::link(slaveOf(*pty), at("com1")));
    ASSERT_TRUE(QFile::link(at("by-id/usb-X"), at("com2")));
    ASSERT_TRUE(QFile::link(slaveOf(*other), at("com3")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/tty7"), at("com4")));
    ASSERT_TRUE(writeFile(at("com5"), "mine"));
    ASSERT_TRUE(QDir().mkpath(at("com6")));

    using K = ExistingLink::Kind;
    const struct
    {
        const char* link;
        K kind;
        QString target;
    } cases[] = {
        {"com1", K::SameDevice, slaveOf(*pty)},
        {"com2", K::SameDevice, at("by-id/usb-X")},
        {"com3", K::OtherLink, slaveOf(*other)},
        {"com4", K::OtherLink, QStringLiteral("/nonexistent/tty7")},
        {"com5", K::NotALink, {}},
        {"com6", K::NotALink, {}},
        {"com7", K::None, {}},
    };
    for (const auto& c : cases) {
        for (const QString& device : {at("by-id/usb-X"), slaveOf(*pty)}) {
            const ExistingLink there = core::existingLink(at(c.link), device);
            EXPECT_EQ(there.kind, c.kind) << c.link << " for " << device.toStdString();
            EXPECT_EQ(there.target, c.target) << c.link;
        }
    }
    const ExistingLink unreadable = core::existingLink(at("com5/com1"), slaveOf(*pty));
    EXPECT_EQ(unreadable.kind, K::Unreadable);
    EXPECT_FALSE(unreadable.error.isEmpty());
}

// What stands at path, in a word and what it holds.
QString standing(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return QStringLiteral("link ") + rawLink(path);
    if (info.isDir())
        return QStringLiteral("folder");
    if (info.exists())
        return QStringLiteral("file ") + QString::fromLatin1(bytesOf(path));
    return QStringLiteral("nothing");
}

// Puts at path what standing() would say is there.
bool place(const QString& what, const QString& path)
{
    if (what.startsWith(QStringLiteral("link ")))
        return QFile::link(what.mid(5), path);
    if (what.startsWith(QStringLiteral("file ")))
        return writeFile(path, what.mid(5).toLatin1());
    if (what == QStringLiteral("folder"))
        return QDir().mkpath(path);
    return what == QStringLiteral("nothing");
}

TEST_F(DeviceFiles, MakeLinkReplacesOnlyALinkAndOnlyWhenAsked)
{
    const QString target = QStringLiteral("/dev/serial/by-id/usb-New");
    const QString made = QStringLiteral("link ") + target;
    const struct
    {
        const char* there;
        bool replace;
        QString after;
    } cases[] = {
        {"nothing", false, made},
        {"nothing", true, made},
        {"link /dev/ttyUSB0", false, "link /dev/ttyUSB0"},
        {"link /dev/ttyUSB0", true, made},
        {"link /nonexistent/tty7", true, made},
        {"file the user's own", false, "file the user's own"},
        {"file the user's own", true, "file the user's own"},
        {"folder", true, "folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.there) + (c.replace ? ", replace" : ", keep"));
        QTemporaryDir dir;
        const QString link = dir.filePath("com1");
        const QString there = QString::fromLatin1(c.there);
        ASSERT_TRUE(place(there, link));

        QString error;
        const bool linked = core::makeDeviceLink(link, target, c.replace, &error);
        EXPECT_EQ(linked, c.after == made && c.after != there);
        EXPECT_EQ(error.isEmpty(), linked) << error.toStdString();
        EXPECT_EQ(standing(link), c.after);
        // No temporary link is left beside it.
        EXPECT_EQ(
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"com1"});
    }
    QString error;
    EXPECT_FALSE(core::makeDeviceLink(at("no/such/folder/com1"), target, false, &error));
    EXPECT_EQ(error, qt_error_string(ENOENT));
    EXPECT_EQ(standing(at("no")), QStringLiteral("nothing"));
}

} // namespace
