#include "config/configfiles.h"
#include "config/programsetup.h"
#include "config/setupform.h"
#include "config/setupsteps.h"
#include "core/serialdevices.h"
#include "tests/logger_window.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <chrono>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Failures show texts, not their bytes.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The worked example of "prog.cfg", byte for byte.
const QByteArray kProgExample =
    "Program Config File\r\n\r\n<Port>2</Port>\r\n<Savehtml>1</Savehtml>"
    "\r\n<SaveExcel>0</SaveExcel>\r\n<LogDelay>60</LogDelay>\r\n"
    "<LogOn>1</LogOn>\r\n<DisplayRPM>1</DisplayRPM>\r\n"
    "<DisplayWS>0</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n\r\n";

// The worked example with another port.
ProgFile example(const char* port)
{
    return {.Port = port, .Savehtml = "1", .LogOn = "1", .DisplayRPM = "1"};
}

class SetupWindow : public AppDirTest
{
protected:
    QByteArray prog() const { return fileBytes(m_app.progCfg()); }
    std::unique_ptr<config::ProgramSetup> open()
    {
        auto w = std::make_unique<config::ProgramSetup>(m_app, nullptr);
        w->show();
        return w;
    }
};

void type(const QWidget& w, const char* box, const QString& text)
{
    child<QLineEdit>(w, box)->setText(text);
}

void save(const QWidget& w)
{
    child<QPushButton>(w, "Command1")->click();
}

TEST_F(SetupWindow, SaveChecksOnlyThatThePortIsANumber)
{
    EXPECT_EQ(example("2").bytes(), kProgExample);
    struct Case
    {
        const char* port;
        const char* logDelay;
        bool saved;
    } cases[] = {{"2", "60", true},  {"COM2", "60", false}, {"", "60", false},
                 {"9", "60", true},  {" 2 ", "60", true},   {"2.5", "60", true},
                 {"2", "abc", true}, {"two", "abc", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("port '") + c.port + "' delay '" + c.logDelay + "'");
        m_messages.clear();
        writeProg(example("1"));
        auto w = open();
        type(*w, "PortNumber", QString::fromLatin1(c.port));
        type(*w, "LogDelay", QString::fromLatin1(c.logDelay));
        save(*w);
        if (c.saved) {
            EXPECT_TRUE(m_messages.isEmpty());
            EXPECT_FALSE(w->isVisible());
            EXPECT_EQ(w->result(), QDialog::Accepted);
            ProgFile expected = example(c.port);
            expected.LogDelay = c.logDelay;
            EXPECT_EQ(prog(), expected.bytes());
        } else {
            EXPECT_EQ(m_messages, QStringList{config::kBadPortMessage});
            EXPECT_TRUE(w->isVisible());
            EXPECT_EQ(prog(), example("1").bytes());
            EXPECT_EQ(textOf(*w, "PortNumber"), QString::fromLatin1(c.port));
            // The refused box has the focus, its text selected for retyping.
            auto* port = child<QLineEdit>(*w, "PortNumber");
            EXPECT_EQ(w->focusWidget(), port);
            EXPECT_EQ(port->selectedText(), port->text());
        }
    }
    // Saving port 2 over port 1 gives the worked example byte for byte.
    writeProg(example("1"));
    auto w = open();
    type(*w, "PortNumber", QStringLiteral("2"));
    save(*w);
    EXPECT_EQ(prog(), kProgExample);
}

TEST_F(SetupWindow, TickedBoxesSaveOneUntickedZero)
{
    writeProg(kProgExample); // Savehtml 1, SaveExcel 0, LogOn 1, DisplayRPM 1, DisplayWS 0
    auto w = open();
    for (const char* name : {"Savehtml", "SaveExcel", "LogOn", "DisplayRPM", "DisplayWS"})
        child<QCheckBox>(*w, name)->click();
    save(*w);
    EXPECT_EQ(prog(), (ProgFile{.Port = "2", .SaveExcel = "1", .DisplayWS = "1"}.bytes()));
}

TEST_F(SetupWindow, FlagTextsAsCheckBoxes)
{
    const struct
    {
        const char* text;
        std::int16_t value;
    } cases[] = {{"1", 1},   {" 1 ", 1}, {"0", 0},   {"2", 2},    {"1.5", 2},
                 {"2.5", 2}, {"0.5", 0}, {"1e0", 1}, {"3", 0},    {"-1", 0},
                 {"abc", 0}, {"", 0},    {"1 1", 0}, {"70000", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(config::checkValue(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST_F(SetupWindow, OpensWithTheFileValuesAndKeepsThemUntouched)
{
    // Tags on one line, in another order, a changed title: only the tags count.
    writeProg("my settings<WSUnits></WSUnits><DisplayWS>1</DisplayWS><DisplayRPM>7</DisplayRPM>"
              "<LogOn>abc</LogOn><LogDelay> abc </LogDelay><SaveExcel>2</SaveExcel>"
              "<Savehtml> 1 </Savehtml><Port> 3 </Port>");
    auto w = open();
    const auto box = [&w](const char* name) {
        return child<QCheckBox>(*w, name)->checkState();
    };
    EXPECT_EQ(textOf(*w, "PortNumber"), QStringLiteral(" 3 "));
    EXPECT_EQ(box("Savehtml"), Qt::Checked);
    EXPECT_EQ(box("SaveExcel"), Qt::PartiallyChecked);
    EXPECT_EQ(textOf(*w, "LogDelay"), QStringLiteral(" abc "));
    EXPECT_EQ(box("LogOn"), Qt::Unchecked);
    EXPECT_EQ(box("DisplayRPM"), Qt::Unchecked);
    EXPECT_EQ(box("DisplayWS"), Qt::Checked);
    EXPECT_EQ(textOf(*w, "WSUnits"), QString());
    save(*w);
    EXPECT_EQ(prog(), (ProgFile{.Port = " 3 ",
                                .Savehtml = "1",
                                .SaveExcel = "2",
                                .LogDelay = " abc ",
                                .DisplayWS = "1",
                                .WSUnits = ""}
                           .bytes()));

    // A greyed box goes to ticked when clicked and is never greyed by the user again.
    w = open();
    auto* excel = child<QCheckBox>(*w, "SaveExcel");
    ASSERT_EQ(excel->checkState(), Qt::PartiallyChecked);
    Qt::CheckState seen[4];
    for (Qt::CheckState& s : seen) {
        excel->click();
        s = excel->checkState();
    }
    EXPECT_EQ(seen[0], Qt::Checked);
    EXPECT_EQ(seen[1], Qt::Unchecked);
    EXPECT_EQ(seen[2], Qt::Checked);
    EXPECT_EQ(seen[3], Qt::Unchecked);
}

TEST_F(SetupWindow, CloseBoxWritesNothing)
{
    const QByteArray odd = "title\r\n<Port>1</Port><LogDelay>60</LogDelay>";
    writeProg(odd);
    auto w = open();
    type(*w, "PortNumber", QStringLiteral("4"));
    type(*w, "WSUnits", QStringLiteral("mph"));
    child<QCheckBox>(*w, "LogOn")->click();
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_EQ(prog(), odd);
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files), (QStringList{"prog.cfg", "settings.cfg"}));
    // The next opening reads the file afresh.
    w = open();
    EXPECT_EQ(textOf(*w, "PortNumber"), QStringLiteral("1"));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(SetupWindow, MissingFileOpensWithDefaultsAndSaveCreatesIt)
{
    ASSERT_TRUE(QFile::remove(m_app.progCfg()));
    auto w = open();
    EXPECT_EQ(textOf(*w, "PortNumber"), QStringLiteral("1"));
    EXPECT_EQ(textOf(*w, "LogDelay"), QStringLiteral("60"));
    EXPECT_EQ(textOf(*w, "WSUnits"), QString());
    for (const char* name : {"Savehtml", "SaveExcel", "LogOn", "DisplayRPM", "DisplayWS"})
        EXPECT_EQ(child<QCheckBox>(*w, name)->checkState(), Qt::Unchecked) << name;
    save(*w);
    EXPECT_EQ(prog(), ProgFile{.WSUnits = ""}.bytes());
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(SetupWindow, UnwritableFileKeepsTheWindowAndTheEntries)
{
    m_app = core::AppDir{m_tmp.filePath(QStringLiteral("gone"))};
    auto w = open();
    type(*w, "PortNumber", QStringLiteral("4"));
    type(*w, "WSUnits", QStringLiteral("m/s"));
    save(*w);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(m_app.progCfg())) << m_messages[0].toStdString();
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("could not be saved")));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(textOf(*w, "PortNumber"), QStringLiteral("4"));
    EXPECT_EQ(textOf(*w, "WSUnits"), QStringLiteral("m/s"));
    EXPECT_FALSE(QFileInfo::exists(m_app.progCfg()));

    // Once the folder is there, the same window saves what was typed.
    ASSERT_TRUE(QDir().mkpath(m_app.dir));
    save(*w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(prog(), (ProgFile{.Port = "4", .WSUnits = "m/s"}.bytes()));
}

TEST_F(SetupWindow, TextsThatWouldNotReadBackAreRefused)
{
    const struct
    {
        const char* control;
        QString typed;
        bool saved;
    } cases[] = {
        {"WSUnits", QStringLiteral("m/s\u00B2"), true}, // 8-bit: kept
        {"WSUnits", QStringLiteral("<10"), true},
        {"WSUnits", QStringLiteral("\u20AC/h"), false}, // no 8-bit form
        {"LogDelay", QStringLiteral("<LogOn>1</LogOn>"), false},
        {"WSUnits", QStringLiteral("km</WSUnits>"), false},
        {"WSUnits", QStringLiteral("<Port>"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_messages.clear();
        writeProg(kProgExample);
        auto w = open();
        type(*w, c.control, c.typed);
        save(*w);
        EXPECT_EQ(w->isVisible(), !c.saved);
        if (c.saved) {
            EXPECT_TRUE(m_messages.isEmpty());
            const config::ProgramConfig back = config::ReadProgramConfig(m_app);
            EXPECT_EQ(QLatin1String(c.control) == QLatin1String("WSUnits") ? back.WSUnits
                                                                           : back.LogDelay,
                      c.typed);
        } else {
            ASSERT_EQ(m_messages.size(), 1);
            EXPECT_NE(m_messages[0], config::kBadPortMessage);
            EXPECT_EQ(prog(), kProgExample);
            EXPECT_EQ(w->focusWidget(), child<QLineEdit>(*w, c.control));
        }
    }
}

TEST_F(SetupWindow, DeviceLineNamesWhatThePortOpens)
{
    auto pty = line(2);
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/tty7"), m_app.comLink(3)));
    const QString slave = QString::fromStdString(pty->slavePath());
    const QString ttyS3 = core::portDevice(m_app, 4);

    const struct
    {
        const char* port;
        QString shows;
        bool present;
    } cases[] = {
        {"2", slave, true},
        {"2.4", slave, true},
        {"3", QStringLiteral("/nonexistent/tty7"), false},
        {"4", ttyS3, QFileInfo::exists(ttyS3)},
        {"COM2", QStringLiteral("No port number"), false},
        {"", QStringLiteral("No port number"), false},
        {"0", QStringLiteral("No port 0"), false},
    };
    for (const auto& c : cases) {
        const config::PortDeviceNote note =
            config::portDeviceNote(m_app, QString::fromLatin1(c.port));
        EXPECT_TRUE(note.text.contains(c.shows)) << c.port << ": " << note.text.toStdString();
        EXPECT_EQ(note.present, c.present) << c.port;
        EXPECT_FALSE(note.detail.isEmpty());
    }
    EXPECT_TRUE(config::portDeviceNote(m_app, "2").text.contains(QStringLiteral("com2")));

    // The window's line follows the typing, and changes nothing of what is saved.
    writeProg(kProgExample);
    auto w = open();
    auto* device = child<QLabel>(*w, "PortDevice");
    EXPECT_TRUE(device->text().contains(slave)) << device->text().toStdString();
    type(*w, "PortNumber", QStringLiteral("3"));
    EXPECT_TRUE(device->text().contains(QStringLiteral("not found")))
        << device->text().toStdString();
    type(*w, "PortNumber", QStringLiteral("COM"));
    EXPECT_TRUE(device->text().contains(QStringLiteral("No port number")));
    type(*w, "PortNumber", QStringLiteral("2"));
    save(*w);
    EXPECT_EQ(prog(), kProgExample);
}

TEST_F(SetupWindow, FrameAndTabOrder)
{
    auto w = open();
    EXPECT_EQ(w->objectName(), QStringLiteral("ProgramSetup"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" Setup"));
    EXPECT_EQ(w->minimumSize(), config::kSetupClientSize);
    EXPECT_EQ(w->maximumSize(), config::kSetupClientSize);
    // Where the files are, for a user of an installed copy.
    EXPECT_EQ(textOf(*w, "AppFolder"), QStringLiteral("Files are kept in ") + m_app.dir);

    QStringList order;
    for (QWidget* x = w->nextInFocusChain(); x != w.get(); x = x->nextInFocusChain()) {
        if (x->focusPolicy() & Qt::TabFocus)
            order << x->objectName();
    }
    EXPECT_EQ(order,
              (QStringList{"Savehtml", "PortNumber", "SaveExcel", "Command1", "LogDelay", "LogOn",
                           "WSUnits", "DisplayRPM", "DisplayWS", "DeviceList", "UseDevice"}));

    // The designed controls stand where they were designed, in the designed part of the
    // window; what was added overlaps none of them, nor each other.
    const QRect designed(QPoint(0, 0), config::kSetupDesignedSize);
    const QRect window(QPoint(0, 0), config::kSetupClientSize);
    for (const config::SetupControl& c : config::setupControls()) {
        QRect place = ui::twipsToPixels(c.twips);
        // The one caption a pixel too wide for its place stands a pixel further left.
        if (c.name == u"Label7")
            place.adjust(-1, 0, 0, 0);
        QWidget* control = child<QWidget>(*w, c.name.toLatin1().constData());
        EXPECT_EQ(control->geometry(), place) << c.name.toStdString();
        if (const auto* label = qobject_cast<QLabel*>(control)) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), place.width())
                << c.name.toStdString();
        }
        EXPECT_TRUE(designed.contains(place.topLeft())) << c.name.toStdString();
    }
    const char* added[] = {"PortDevice", "DeviceListCaption", "DeviceList", "UseDevice",
                           "DeviceHelp"};
    for (const char* name : added) {
        const QRect place = child<QWidget>(*w, name)->geometry();
        EXPECT_TRUE(window.contains(place)) << name;
        for (const config::SetupControl& c : config::setupControls()) {
            EXPECT_FALSE(place.intersects(ui::twipsToPixels(c.twips)))
                << name << " on " << c.name.toStdString();
        }
        for (const char* other : added) {
            if (other != name) {
                EXPECT_FALSE(place.intersects(child<QWidget>(*w, other)->geometry()))
                    << name << " on " << other;
            }
        }
    }
}

TEST(SetupTable, EachMemberOnceEachControlByItsName)
{
    std::map<decltype(ui::Fills<config::SetupControls>::store), int> members;
    QStringList names;
    for (const config::SetupControl& c : config::setupControls()) {
        if (c.member.store)
            ++members[c.member.store];
        EXPECT_FALSE(names.contains(c.name)) << c.name.toStdString();
        names << c.name;
    }
    // The three texts, five flags and the Save button.
    EXPECT_EQ(members.size(), 9u);
    for (const auto& [member, count] : members)
        EXPECT_EQ(count, 1);
}

TEST(SetupTable, AControlOfAnotherKindThanItsMemberStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QWidget window;
    auto* label = new QLabel(&window);
    EXPECT_DEATH(
        {
            config::SetupControls controls;
            // A label where a box belongs.
            ui::fills<&config::SetupControls::PortNumber>().into(controls, label, "Setup",
                                                                 "PortNumber");
        },
        "Setup window's control table has no QLineEdit for PortNumber");
}

// The list of serial devices beside the designed controls, fed from a by-id folder of the
// test's own with pseudo-terminals plugged in as adapters.
class SetupDevices : public SetupWindow
{
protected:
    void SetUp() override
    {
        SetupWindow::SetUp();
        ASSERT_TRUE(m_devTmp.isValid());
        ASSERT_TRUE(QDir().mkpath(m_byId));
        ui::setQuestionHandler([this](const QString& question) {
            m_questions << question;
            return m_answer;
        });
    }
    void TearDown() override
    {
        ui::setQuestionHandler({});
        SetupWindow::TearDown();
    }

    std::unique_ptr<config::ProgramSetup> openWithDevices()
    {
        auto w = std::make_unique<config::ProgramSetup>(
            m_app, nullptr, [this] { return core::listSerialDevices(m_ports, m_byId); });
        w->show();
        return w;
    }
    QString byId(const char* name) const { return m_byId + QLatin1Char('/') + name; }
    // A pseudo-terminal as a USB adapter, by its by-id name and what the system says of it.
    std::unique_ptr<sim::PseudoTerminal> plugIn(const char* name, const char* description = "",
                                                const char* maker = "", const char* serial = "")
    {
        auto pty = std::make_unique<sim::PseudoTerminal>();
        EXPECT_TRUE(pty->isOpen()) << pty->error();
        EXPECT_TRUE(QFile::link(slave(*pty), byId(name)));
        m_ports.push_back({slave(*pty), description, maker, serial});
        return pty;
    }
    static QString slave(const sim::PseudoTerminal& pty)
    {
        return QString::fromStdString(pty.slavePath());
    }
    static QListWidget& list(const QWidget& w) { return *child<QListWidget>(w, "DeviceList"); }
    // Picks the list's row of the device at path, as a click would.
    static void choose(const QWidget& w, const QString& path)
    {
        QListWidget& l = list(w);
        for (int row = 0; row < l.count(); ++row) {
            if (l.item(row)->data(Qt::UserRole).toString() == path) {
                l.setCurrentRow(row);
                return;
            }
        }
        ADD_FAILURE() << "no device " << path.toStdString() << " in the list";
    }
    static void use(const QWidget& w) { child<QPushButton>(w, "UseDevice")->click(); }

    // Everything in the application directory, and where each link leads.
    QStringList appDirState() const
    {
        QStringList state;
        const QDir dir(m_tmp.path());
        for (const QFileInfo& f : dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                                        QDir::NoDotAndDotDot,
                                                    QDir::Name)) {
            state << f.fileName() + (f.isSymLink() ? QStringLiteral(" -> ") + rawLink(f.filePath())
                                                   : QStringLiteral(" ") + fileBytes(f.filePath()));
        }
        return state;
    }
    static QString rawLink(const QString& path)
    {
        char buffer[4096];
        const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
        return n > 0 ? QFile::decodeName(QByteArray(buffer, n)) : QStringLiteral("(no link)");
    }

    QTemporaryDir m_devTmp;
    QString m_byId = m_devTmp.filePath(QStringLiteral("by-id"));
    std::vector<core::SerialPortFacts> m_ports;
    QStringList m_questions;
    bool m_answer = false;
};

TEST_F(SetupDevices, ChosenDeviceIsLinkedAsTheTypedPort)
{
    const auto ftdi =
        plugIn("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FT232R USB UART", "FTDI", "A5028");
    writeProg(kProgExample); // port 2
    auto w = openWithDevices();
    ASSERT_EQ(list(*w).count(), 1);
    EXPECT_EQ(list(*w).item(0)->text(),
              QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n%1, FT232R USB UART, "
                             "FTDI, serial A5028")
                  .arg(slave(*ftdi)));
    EXPECT_FALSE(child<QPushButton>(*w, "UseDevice")->isEnabled());
    EXPECT_TRUE(textOf(*w, "PortDevice").contains(QStringLiteral("not found")));

    const QString adapter = byId("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    choose(*w, adapter);
    EXPECT_TRUE(child<QPushButton>(*w, "UseDevice")->isEnabled());
    use(*w);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_TRUE(m_questions.isEmpty());
    // The link names the adapter by its by-id name, which stays when it is plugged in elsewhere.
    EXPECT_EQ(rawLink(m_app.comLink(2)), adapter);
    EXPECT_EQ(textOf(*w, "PortDevice"),
              QStringLiteral("com2 \u2192 %1\npresent").arg(slave(*ftdi)));
    EXPECT_TRUE(textOf(*w, "DeviceHelp").contains(QStringLiteral("your account may open it")));
    // The link is made at once; prog.cfg only by "Save Setings".
    EXPECT_EQ(textOf(*w, "PortNumber"), QStringLiteral("2"));
    EXPECT_EQ(prog(), kProgExample);

    // A number typed another way is the same port; the box gets its plain digits.
    for (const char* typed : {" 3 ", "3.2"}) {
        type(*w, "PortNumber", QString::fromLatin1(typed));
        use(*w);
        EXPECT_EQ(textOf(*w, "PortNumber"), QStringLiteral("3")) << typed;
    }
    EXPECT_EQ(rawLink(m_app.comLink(3)), adapter);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    save(*w);
    EXPECT_EQ(prog(), example("3").bytes());
    EXPECT_EQ(appDirState(),
              (QStringList{"com2 -> " + adapter, "com3 -> " + adapter,
                           "prog.cfg " + example("3").bytes(), "settings.cfg " + kSettings}));
}

TEST_F(SetupDevices, ALinkOfTheUsersIsReplacedOnlyWhenTheySaySo)
{
    const auto adapter = plugIn("usb-Prolific_PL2303-if00-port0", "USB-Serial Controller");
    const QString path = byId("usb-Prolific_PL2303-if00-port0");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/ttyUSB3"), m_app.comLink(2)));
    // The user's own link to this very adapter, by its kernel name.
    ASSERT_TRUE(QFile::link(slave(*adapter), m_app.comLink(4)));
    writeProg(kProgExample);
    auto w = openWithDevices();
    choose(*w, path);

    m_answer = false;
    use(*w);
    ASSERT_EQ(m_questions.size(), 1);
    EXPECT_EQ(m_questions[0],
              QStringLiteral("com2 beside the program leads to /dev/ttyUSB3.\nReplace it with a "
                             "link to %1?")
                  .arg(path));
    EXPECT_EQ(rawLink(m_app.comLink(2)), QStringLiteral("/dev/ttyUSB3"));
    EXPECT_TRUE(m_messages.isEmpty());

    m_answer = true;
    use(*w);
    EXPECT_EQ(m_questions.size(), 2);
    EXPECT_EQ(rawLink(m_app.comLink(2)), path);
    EXPECT_TRUE(textOf(*w, "PortDevice").contains(QStringLiteral("present")));

    // A link that already leads to the device is left as the user made it; nothing is asked.
    m_questions.clear();
    type(*w, "PortNumber", QStringLiteral("4"));
    use(*w);
    EXPECT_TRUE(m_questions.isEmpty());
    EXPECT_EQ(rawLink(m_app.comLink(4)), slave(*adapter));
    EXPECT_EQ(textOf(*w, "PortNumber"), QStringLiteral("4"));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_EQ(appDirState().size(), 4); // com2, com4 and the two files: no temporary left
}

TEST_F(SetupDevices, BadChoicesChangeNothingAndSayWhy)
{
    enum class Then
    {
        Nothing,
        Unplugged,
        BecomesAFile
    };
    const struct
    {
        const char* port;
        Then then;
        QString says;
    } cases[] = {
        {"", Then::Nothing, "The Com port box is empty, not a port number from 1 to 255"},
        {"COM2", Then::Nothing, "The Com port box holds \"COM2\", not a port number from 1 to 255"},
        {"0", Then::Nothing, "not a port number from 1 to 255"},
        {"0.4", Then::Nothing, "not a port number from 1 to 255"},
        {"-2", Then::Nothing, "not a port number from 1 to 255"},
        {"256", Then::Nothing, "not a port number from 1 to 255"},
        {"5", Then::Nothing, m_app.comLink(5) + " is a file of its own, not a link"},
        {"2", Then::Unplugged, "is no longer there: the device was unplugged or renamed"},
        {"2", Then::BecomesAFile, "is not a serial device (not a character device)"},
    };
    ASSERT_TRUE(core::replaceFile(m_app.comLink(5), "the user's own notes"));
    ASSERT_TRUE(core::replaceFile(m_devTmp.filePath("plain"), "not a device"));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("port '") + c.port + "' then " + std::to_string(int(c.then)));
        m_messages.clear();
        m_ports.clear();
        QDir(m_byId).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_byId));
        auto adapter = plugIn("usb-FTDI_X-if00-port0");
        writeProg(kProgExample);
        auto w = openWithDevices();
        type(*w, "PortNumber", QString::fromLatin1(c.port));
        choose(*w, byId("usb-FTDI_X-if00-port0"));
        const QStringList before = appDirState();
        if (c.then == Then::Unplugged) {
            const QString node = slave(*adapter);
            adapter->close();
            // The kernel may drop the device a moment after the last close returns (its release
            // can be deferred): until it has, the device is still there to be linked.
            for (int k = 0; k < 2000 && QFileInfo::exists(node); ++k)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_FALSE(QFileInfo::exists(node));
        }
        if (c.then == Then::BecomesAFile) {
            ASSERT_TRUE(QFile::remove(byId("usb-FTDI_X-if00-port0")));
            ASSERT_TRUE(QFile::link(m_devTmp.filePath("plain"), byId("usb-FTDI_X-if00-port0")));
        }
        use(*w);
        ASSERT_EQ(m_messages.size(), 1);
        EXPECT_TRUE(m_messages[0].contains(c.says)) << m_messages[0].toStdString();
        EXPECT_TRUE(m_questions.isEmpty());
        EXPECT_EQ(appDirState(), before);
        EXPECT_EQ(textOf(*w, "PortNumber"), QString::fromLatin1(c.port));
        EXPECT_TRUE(w->isVisible());
        // A device gone from its place is gone from the list.
        QStringList listed;
        for (int row = 0; row < list(*w).count(); ++row)
            listed << list(*w).item(row)->data(Qt::UserRole).toString();
        EXPECT_EQ(listed.contains(byId("usb-FTDI_X-if00-port0")), c.then == Then::Nothing);
    }
}

// While it lives, the test may not write in folder: as root, whom no folder's mode stops, by
// acting on files as the user nobody (setfsuid, this thread only); otherwise by the mode.
class NoRightToWrite
{
public:
    explicit NoRightToWrite(const QString& folder)
        : m_folder(QFile::encodeName(folder))
    {
        if (::geteuid() != 0) {
            ::chmod(m_folder.constData(), 0555);
        } else if (const passwd* nobody = ::getpwnam("nobody")) {
            // nobody may look into the folder, not write in it.
            ::chmod(m_folder.constData(), 0755);
            ::setfsgid(nobody->pw_gid);
            ::setfsuid(nobody->pw_uid);
            m_asNobody = true;
        }
        const QByteArray probe = m_folder + "/probe";
        m_active = ::mkdir(probe.constData(), 0700) != 0;
        ::rmdir(probe.constData());
    }
    ~NoRightToWrite()
    {
        if (m_asNobody) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
        ::chmod(m_folder.constData(), 0700);
    }
    bool active() const { return m_active; }

private:
    QByteArray m_folder;
    bool m_asNobody = false;
    bool m_active = false;
};

TEST_F(SetupDevices, AFolderWithoutTheRightToWriteGetsNoLink)
{
    // The list, refreshed after the refusal, must still find the adapter.
    ASSERT_EQ(::chmod(QFile::encodeName(m_devTmp.path()).constData(), 0755), 0);
    const auto adapter = plugIn("usb-FTDI_X-if00-port0");
    writeProg(kProgExample);
    auto w = openWithDevices();
    choose(*w, byId("usb-FTDI_X-if00-port0"));
    const QStringList before = appDirState();
    {
        NoRightToWrite denied(m_tmp.path());
        if (!denied.active())
            SKIP_OR_FAIL_IN_CI("cannot take away the right to write in a folder here");
        use(*w);
    }
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("The link com2 could not be made in %1: %2")
                                           .arg(m_tmp.path(), qt_error_string(EACCES))))
        << m_messages[0].toStdString();
    EXPECT_EQ(appDirState(), before);
    // Once the folder may be written, the same choice links it.
    m_messages.clear();
    use(*w);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_EQ(rawLink(m_app.comLink(2)), byId("usb-FTDI_X-if00-port0"));
}

TEST_F(SetupDevices, ListFollowsDevicesComingAndGoing)
{
    auto w = openWithDevices();
    w->setDeviceCheckInterval(10);
    EXPECT_EQ(list(*w).count(), 0);
    EXPECT_EQ(textOf(*w, "DeviceListCaption"), QStringLiteral("No serial device found"));

    auto first = plugIn("usb-A-if00-port0", "First");
    ASSERT_TRUE(waitFor([&] { return list(*w).count() == 1; }));
    EXPECT_EQ(textOf(*w, "DeviceListCaption"), QStringLiteral("Serial devices present"));
    choose(*w, byId("usb-A-if00-port0"));
    const auto second = plugIn("usb-B-if00-port0", "Second");
    ASSERT_TRUE(waitFor([&] { return list(*w).count() == 2; }));
    // The choice being made stays made.
    ASSERT_NE(list(*w).currentItem(), nullptr);
    EXPECT_EQ(list(*w).currentItem()->data(Qt::UserRole).toString(), byId("usb-A-if00-port0"));

    first->close();
    ASSERT_TRUE(waitFor([&] { return list(*w).count() == 1; }));
    EXPECT_EQ(list(*w).currentItem(), nullptr);
    EXPECT_FALSE(child<QPushButton>(*w, "UseDevice")->isEnabled());
}

// The settings window opened from the main window, over real serial lines.
class SetupFromMainWindow : public LoggerWindow
{};

TEST_F(SetupFromMainWindow, MainWindowReopensOnTheSavedPort)
{
    const auto port1 = line(1);
    const auto port2 = line(2);
    auto logger = start();
    ASSERT_TRUE(logger->portOpen()) << logger->statusText().toStdString();

    QString modalName;
    bool portOpenMeanwhile = true;
    QString deviceLine;
    onModal([&](QWidget& modal) {
        modalName = modal.objectName();
        portOpenMeanwhile = logger->portOpen();
        type(modal, "PortNumber", QStringLiteral("2"));
        deviceLine = textOf(modal, "PortDevice");
        save(modal);
    });
    child<QPushButton>(*logger, "Setup")->click();

    EXPECT_EQ(modalName, QStringLiteral("ProgramSetup"));
    EXPECT_FALSE(portOpenMeanwhile);
    EXPECT_TRUE(deviceLine.contains(QString::fromStdString(port2->slavePath())))
        << deviceLine.toStdString();
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_EQ(fileBytes(m_app.progCfg()), ProgFile{.Port = "2"}.bytes());
    ASSERT_TRUE(logger->portOpen()) << logger->statusText().toStdString();
    EXPECT_TRUE(logger->statusText().contains(QStringLiteral("Port 2")))
        << logger->statusText().toStdString();

    send(*port2, kFrame);
    EXPECT_TRUE(waitFor([&] { return logger->windowTitle() == kTitle; }))
        << logger->windowTitle().toStdString();
    EXPECT_EQ(logger->reading()[core::kWatts], 115.2);
}

} // namespace
