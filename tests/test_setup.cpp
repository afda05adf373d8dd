#include "configfiles.h"
#include "files.h"
#include "logger.h"
#include "messagebox.h"
#include "programsetup.h"
#include "pty.h"
#include "serialline.h"
#include "setupform.h"
#include "setupsteps.h"
#include "variants.h"
#include "wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

// The worked example of "prog.cfg".
const QByteArray kProgExample =
    "Program Config File\r\n\r\n<Port>2</Port>\r\n<Savehtml>1</Savehtml>"
    "\r\n<SaveExcel>0</SaveExcel>\r\n<LogDelay>60</LogDelay>\r\n"
    "<LogOn>1</LogOn>\r\n<DisplayRPM>1</DisplayRPM>\r\n"
    "<DisplayWS>0</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n\r\n";

QByteArray withPort(const char* port)
{
    QByteArray b = kProgExample;
    return b.replace("<Port>2</Port>", QByteArray("<Port>") + port + "</Port>");
}

class SetupWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        core::setMessageHandler([this](const QString& text) { m_messages << text; });
    }
    void TearDown() override { core::setMessageHandler({}); }

    void writeProg(const QByteArray& bytes)
    {
        ASSERT_TRUE(core::replaceFile(m_app.progCfg(), bytes));
    }
    QByteArray prog() { return core::readWholeFile(m_app.progCfg()).value_or("(no file)"); }
    std::unique_ptr<config::ProgramSetup> open()
    {
        auto w = std::make_unique<config::ProgramSetup>(m_app, nullptr);
        w->show();
        return w;
    }
    template <typename T> static T* child(QWidget& w, const char* name)
    {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static QLineEdit* text(QWidget& w, const char* name) { return child<QLineEdit>(w, name); }
    static QCheckBox* box(QWidget& w, const char* name) { return child<QCheckBox>(w, name); }
    static void save(QWidget& w) { child<QPushButton>(w, "Command1")->click(); }

    QTemporaryDir m_tmp;
    core::AppDir m_app{m_tmp.path()};
    QStringList m_messages;
};

TEST_F(SetupWindow, SaveChecksOnlyThatThePortIsANumber)
{
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
        writeProg(withPort("1"));
        auto w = open();
        text(*w, "PortNumber")->setText(QString::fromLatin1(c.port));
        text(*w, "LogDelay")->setText(QString::fromLatin1(c.logDelay));
        save(*w);
        if (c.saved) {
            EXPECT_TRUE(m_messages.isEmpty());
            EXPECT_FALSE(w->isVisible());
            EXPECT_EQ(w->result(), QDialog::Accepted);
            QByteArray expected = withPort(c.port);
            expected.replace("<LogDelay>60<", QByteArray("<LogDelay>") + c.logDelay + "<");
            EXPECT_EQ(prog(), expected);
        } else {
            EXPECT_EQ(m_messages, QStringList{config::kBadPortMessage});
            EXPECT_TRUE(w->isVisible());
            EXPECT_EQ(prog(), withPort("1"));
            EXPECT_EQ(text(*w, "PortNumber")->text(), QString::fromLatin1(c.port));
        }
    }
    // Saving port 2 over port 1 gives the worked example byte for byte.
    writeProg(withPort("1"));
    auto w = open();
    text(*w, "PortNumber")->setText(QStringLiteral("2"));
    save(*w);
    EXPECT_EQ(prog(), kProgExample);
}

TEST_F(SetupWindow, TickedBoxesSaveOneUntickedZero)
{
    writeProg(kProgExample); // Savehtml 1, SaveExcel 0, LogOn 1, DisplayRPM 1, DisplayWS 0
    auto w = open();
    for (const char* name : {"Savehtml", "SaveExcel", "LogOn", "DisplayRPM", "DisplayWS"})
        box(*w, name)->click();
    save(*w);
    EXPECT_EQ(prog(), config::programConfigText(QStringLiteral("2"), 0, 1, QStringLiteral("60"), 0,
                                                0, 1, QStringLiteral("km/h")));
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
    EXPECT_EQ(text(*w, "PortNumber")->text(), QStringLiteral(" 3 "));
    EXPECT_EQ(box(*w, "Savehtml")->checkState(), Qt::Checked);
    EXPECT_EQ(box(*w, "SaveExcel")->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(text(*w, "LogDelay")->text(), QStringLiteral(" abc "));
    EXPECT_EQ(box(*w, "LogOn")->checkState(), Qt::Unchecked);
    EXPECT_EQ(box(*w, "DisplayRPM")->checkState(), Qt::Unchecked);
    EXPECT_EQ(box(*w, "DisplayWS")->checkState(), Qt::Checked);
    EXPECT_EQ(text(*w, "WSUnits")->text(), QString());
    save(*w);
    EXPECT_EQ(prog(), config::programConfigText(QStringLiteral(" 3 "), 1, 2,
                                                QStringLiteral(" abc "), 0, 0, 1, QString()));

    // A greyed box goes to ticked when clicked and is never greyed by the user again.
    w = open();
    QCheckBox* excel = box(*w, "SaveExcel");
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
    text(*w, "PortNumber")->setText(QStringLiteral("4"));
    text(*w, "WSUnits")->setText(QStringLiteral("mph"));
    box(*w, "LogOn")->click();
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_EQ(prog(), odd);
    EXPECT_EQ(QDir(m_tmp.path()).entryList(QDir::Files), QStringList{"prog.cfg"});
    // The next opening reads the file afresh.
    w = open();
    EXPECT_EQ(text(*w, "PortNumber")->text(), QStringLiteral("1"));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(SetupWindow, MissingFileOpensWithDefaultsAndSaveCreatesIt)
{
    auto w = open();
    EXPECT_EQ(text(*w, "PortNumber")->text(), QStringLiteral("1"));
    EXPECT_EQ(text(*w, "LogDelay")->text(), QStringLiteral("60"));
    EXPECT_EQ(text(*w, "WSUnits")->text(), QString());
    for (const char* name : {"Savehtml", "SaveExcel", "LogOn", "DisplayRPM", "DisplayWS"})
        EXPECT_EQ(box(*w, name)->checkState(), Qt::Unchecked) << name;
    save(*w);
    EXPECT_EQ(prog(), config::programConfigText(QStringLiteral("1"), 0, 0, QStringLiteral("60"), 0,
                                                0, 0, QString()));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(SetupWindow, UnwritableFileKeepsTheWindowAndTheEntries)
{
    m_app = core::AppDir{m_tmp.filePath(QStringLiteral("gone"))};
    auto w = open();
    text(*w, "PortNumber")->setText(QStringLiteral("4"));
    text(*w, "WSUnits")->setText(QStringLiteral("m/s"));
    save(*w);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(m_app.progCfg())) << m_messages[0].toStdString();
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("could not be saved")));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(text(*w, "PortNumber")->text(), QStringLiteral("4"));
    EXPECT_EQ(text(*w, "WSUnits")->text(), QStringLiteral("m/s"));
    EXPECT_FALSE(QFileInfo::exists(m_app.progCfg()));

    // Once the folder is there, the same window saves what was typed.
    ASSERT_TRUE(QDir().mkpath(m_app.dir));
    save(*w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(prog(), config::programConfigText(QStringLiteral("4"), 0, 0, QStringLiteral("60"), 0,
                                                0, 0, QStringLiteral("m/s")));
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_messages.clear();
        writeProg(kProgExample);
        auto w = open();
        text(*w, c.control)->setText(c.typed);
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
        }
    }
}

TEST_F(SetupWindow, DeviceLineNamesWhatThePortOpens)
{
    sim::PseudoTerminal pty;
    ASSERT_TRUE(pty.isOpen()) << pty.error();
    ASSERT_TRUE(pty.linkAt(m_app.comLink(2).toStdString())) << pty.error();
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/tty7"), m_app.comLink(3)));
    const QString slave = QString::fromStdString(pty.slavePath());
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
    QLabel* line = child<QLabel>(*w, "PortDevice");
    EXPECT_TRUE(line->text().contains(slave)) << line->text().toStdString();
    text(*w, "PortNumber")->setText(QStringLiteral("3"));
    EXPECT_TRUE(line->text().contains(QStringLiteral("not found"))) << line->text().toStdString();
    text(*w, "PortNumber")->setText(QStringLiteral("COM"));
    EXPECT_TRUE(line->text().contains(QStringLiteral("No port number")));
    text(*w, "PortNumber")->setText(QStringLiteral("2"));
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
        EXPECT_FALSE(config::kPortDeviceRect.intersects(config::twipsToPixels(c.twips)))
            << c.name.toStdString();
}

// Settings window opened from the main window, over real serial lines.
const QByteArray kSettings = "Calibration Settings\r\n\r\n\r\n<VoltDivider>40</VoltDivider>\r\n"
                             "<VoltOffset>512</VoltOffset>\r\n<AmpDivider>2</AmpDivider>\r\n"
                             "<RPMDivider>2</RPMDivider>\r\n<WSDivider>5</WSDivider>\r\n";
const std::string kFrame = "[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n";
const QString kTitle = QStringLiteral("Logger  12.8 V  9 A  115.2 W  300 RPM  5 WIND ");

// Runs action on the modal window once it shows, inside its nested loop; closes the window
// afterwards if the action left it open, so a failing test never hangs.
void onModal(std::function<void(QWidget*)> action, int triesLeft = 300)
{
    QTimer::singleShot(10, [action, triesLeft] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            action(modal);
            if (modal->isVisible())
                modal->close();
        } else if (triesLeft > 0) {
            onModal(action, triesLeft - 1);
        }
    });
}

TEST_F(SetupWindow, MainWindowReopensOnTheSavedPort)
{
    ASSERT_TRUE(core::replaceFile(m_app.settingsCfg(), kSettings));
    writeProg(withPort("1"));
    std::vector<std::unique_ptr<sim::PseudoTerminal>> lines;
    for (int port : {1, 2}) {
        lines.push_back(std::make_unique<sim::PseudoTerminal>());
        ASSERT_TRUE(lines.back()->isOpen()) << lines.back()->error();
        ASSERT_TRUE(lines.back()->linkAt(m_app.comLink(port).toStdString()));
    }
    monitor::Logger logger(programs::tessaly(), m_app,
                           core::Clock::fixed(QDateTime(QDate(2024, 3, 7), QTime(14, 5, 7))));
    logger.show();
    ASSERT_TRUE(logger.portOpen()) << logger.statusText().toStdString();

    QString modalName;
    bool portOpenMeanwhile = true;
    QString deviceLine;
    onModal([&](QWidget* modal) {
        modalName = modal->objectName();
        portOpenMeanwhile = logger.portOpen();
        modal->findChild<QLineEdit*>(QStringLiteral("PortNumber"))->setText(QStringLiteral("2"));
        deviceLine = modal->findChild<QLabel*>(QStringLiteral("PortDevice"))->text();
        modal->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    });
    logger.findChild<QPushButton*>(QStringLiteral("Setup"))->click();

    EXPECT_EQ(modalName, QStringLiteral("ProgramSetup"));
    EXPECT_FALSE(portOpenMeanwhile);
    EXPECT_TRUE(deviceLine.contains(QString::fromStdString(lines[1]->slavePath())))
        << deviceLine.toStdString();
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_EQ(prog(), kProgExample);
    ASSERT_TRUE(logger.portOpen()) << logger.statusText().toStdString();
    EXPECT_TRUE(logger.statusText().contains(QStringLiteral("Port 2")))
        << logger.statusText().toStdString();

    for (std::size_t k = 0; k < kFrame.size(); k += 7) {
        ASSERT_TRUE(lines[1]->write(kFrame.substr(k, 7)));
        waitFor([] { return false; }, 15);
    }
    EXPECT_TRUE(waitFor([&] { return logger.windowTitle() == kTitle; }))
        << logger.windowTitle().toStdString();
    EXPECT_EQ(logger.reading().watts, 115.2);
}

} // namespace
