#pragma once

// The main window on a pseudo-terminal in a temporary application directory, for the tests.

#include "files.h"
#include "logger.h"
#include "messagebox.h"
#include "pty.h"
#include "variants.h"
#include "wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

inline const QByteArray kSettings =
    "Calibration Settings\r\n\r\n\r\n<VoltDivider>40</VoltDivider>\r\n"
    "<VoltOffset>512</VoltOffset>\r\n<AmpDivider>2</AmpDivider>\r\n"
    "<RPMDivider>2</RPMDivider>\r\n<WSDivider>5</WSDivider>\r\n";
inline const QString kTitle = QStringLiteral("Logger  12.8 V  9 A  115.2 W  300 RPM  5 WIND ");

inline QByteArray progCfg(const char* port, const char* logDelay, const char* logOn)
{
    return QByteArray("Program Config File\r\n\r\n<Port>") + port +
           "</Port>\r\n<Savehtml>0</Savehtml>\r\n<SaveExcel>0</SaveExcel>\r\n<LogDelay>" +
           logDelay + "</LogDelay>\r\n<LogOn>" + logOn +
           "</LogOn>\r\n<DisplayRPM>0</DisplayRPM>\r\n<DisplayWS>0</DisplayWS>\r\n"
           "<WSUnits>km/h</WSUnits>\r\n\r\n";
}

class LoggerWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        ASSERT_TRUE(core::replaceFile(m_app.settingsCfg(), kSettings));
        writeProg("1", "60", "0");
        core::setMessageHandler([this](const QString& text) { m_messages << text; });
    }
    void TearDown() override { core::setMessageHandler({}); }

    void writeProg(const char* port, const char* logDelay, const char* logOn)
    {
        ASSERT_TRUE(core::replaceFile(m_app.progCfg(), progCfg(port, logDelay, logOn)));
    }
    std::unique_ptr<sim::PseudoTerminal> line(int port)
    {
        auto pty = std::make_unique<sim::PseudoTerminal>();
        EXPECT_TRUE(pty->isOpen()) << pty->error();
        EXPECT_TRUE(pty->linkAt(m_app.comLink(port).toStdString())) << pty->error();
        return pty;
    }
    std::unique_ptr<monitor::Logger> start(const monitor::ProgramVariant& v = programs::tessaly())
    {
        // The window reads m_now at every use, so a test can move the clock on.
        auto w = std::make_unique<monitor::Logger>(v, m_app, core::Clock{[this] {
                                                       return m_now;
                                                   }});
        w->show();
        return w;
    }
    // Sends text in pieces with the loop running between them, as a real line delivers it.
    void send(sim::PseudoTerminal& pty, const std::string& text, std::size_t piece = 7)
    {
        for (std::size_t k = 0; k < text.size(); k += piece) {
            ASSERT_TRUE(pty.write(text.substr(k, piece)));
            waitFor([] { return false; }, 15);
        }
    }
    template <typename T> T* child(QWidget& w, const char* name)
    {
        return w.findChild<T*>(QString::fromLatin1(name));
    }

    QTemporaryDir m_tmp;
    core::AppDir m_app{m_tmp.path()};
    QDateTime m_now{QDate(2024, 3, 7), QTime(14, 5, 7)};
    QStringList m_messages;
};

inline const std::string kFrame = "[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n";
