#include "configfiles.h"
#include "controlroles.h"
#include "logger_window.h"
#include "programsetup.h"
#include "setupform.h"
#include "setupsteps.h"
#include "windowlook.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    EXPECT_EQ(w->minimumSize(), QSize(270, 204));
    EXPECT_EQ(w->maximumSize(), QSize(270, 204));

    QStringList order;
    for (QWidget* x = w->nextInFocusChain(); x != w.get(); x = x->nextInFocusChain()) {
        if (x->focusPolicy() & Qt::TabFocus)
            order << x->objectName();
    }
    EXPECT_EQ(order, (QStringList{"Savehtml", "PortNumber", "SaveExcel", "Command1", "LogDelay",
                                  "LogOn", "WSUnits", "DisplayRPM", "DisplayWS"}));

    // The device line overlaps no designed control.
    for (const config::SetupControl& c : config::setupControls())
        EXPECT_FALSE(config::kPortDeviceRect.intersects(core::twipsToPixels(c.twips)))
            << c.name.toStdString();
}

TEST(SetupTable, EachRoleOnceEachControlByItsName)
{
    std::map<config::SetupRole, int> roles;
    QStringList names;
    for (const config::SetupControl& c : config::setupControls()) {
        if (c.role != config::SetupRole::None)
            ++roles[c.role];
        EXPECT_FALSE(names.contains(c.name)) << c.name.toStdString();
        names << c.name;
    }
    EXPECT_EQ(roles.size(), std::size_t(config::SetupRole::Command1));
    for (const auto& [role, count] : roles)
        EXPECT_EQ(count, 1) << int(role);
}

TEST(SetupTable, AControlMissingFromTheTableStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QWidget window;
    auto* label = new QLabel(&window);
    EXPECT_DEATH(
        {
            core::ControlsByRole<config::SetupRole> made("Setup");
            made.add(config::SetupRole::PortNumber, label); // a label where a box belongs
            QLineEdit* box = nullptr;
            made.take(box, config::SetupRole::PortNumber);
        },
        "Setup window's control table has no QLineEdit for role 1");
    EXPECT_DEATH(
        {
            core::ControlsByRole<config::SetupRole> made("Setup");
            QPushButton* button = nullptr;
            made.take(button, config::SetupRole::Command1);
        },
        "no QPushButton for role 9");
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
