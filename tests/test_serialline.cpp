#include "core/serialline.h"
#include "core/tags.h"
#include "tools/pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <array>
#include <deque>
#include <gtest/gtest.h>
#include <random>

namespace {

using core::LineStatus;
using State = core::LineStatus::State;

// A line whose received bytes the test hands in: each feed is one notification, at once, with
// no event loop and no timer.
class FakeLine : public QIODevice
{
public:
    FakeLine() { open(QIODevice::ReadWrite); }
    void feed(const QByteArray& bytes)
    {
        m_waiting += bytes;
        emit readyRead();
    }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        const qint64 n = std::min<qint64>(max, m_waiting.size());
        std::copy_n(m_waiting.constData(), n, data);
        m_waiting.remove(0, n);
        return n;
    }
    qint64 writeData(const char*, qint64 len) override { return len; }
    qint64 bytesAvailable() const override
    {
        return m_waiting.size() + QIODevice::bytesAvailable();
    }

private:
    QByteArray m_waiting;
};

class Line : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_line.setOpener([this](const QString& device, QString* error) {
            m_opened << device;
            if (!m_canOpen) {
                *error = QStringLiteral("No such file or directory");
                return std::unique_ptr<QIODevice>();
            }
            auto fake = std::make_unique<FakeLine>();
            m_fake = fake.get();
            return std::unique_ptr<QIODevice>(std::move(fake));
        });
        m_line.setRetryInterval(0);
        QObject::connect(&m_line, &core::SerialLine::comm,
                         [this](const QString& frame) { m_frames << frame; });
    }

    QTemporaryDir m_tmp;
    core::AppDir m_app{m_tmp.path()};
    core::SerialLine m_line{QStringLiteral("MSComm1"), m_app};
    bool m_canOpen = true;
    FakeLine* m_fake = nullptr;
    QStringList m_opened;
    QStringList m_frames; // one entry per notification; empty when it completed no frame
};

TEST_F(Line, TakesFramesByTheBracketRule)
{
    m_line.open(1);
    ASSERT_TRUE(m_line.isOpen());
    EXPECT_EQ(m_line.objectName(), QStringLiteral("MSComm1"));
    m_fake->feed("[<V>512</V><I>5");
    m_fake->feed("30</I><R>10</R>");
    m_fake->feed("<M>1</M><S>25</S>]\r\n");
    EXPECT_EQ(m_frames,
              (QStringList{{}, {}, "[<V>512</V><I>530</I><R>10</R><M>1</M><S>25</S>]\r\n"}));
    EXPECT_TRUE(m_line.receiveBuffer().isEmpty());

    // "]" then "[" and the start of the next frame in one read: the frame, and the start of
    // the next one kept for the read that completes it.
    m_frames.clear();
    m_fake->feed("[<V>400</V>]\r\n[<V>48");
    EXPECT_EQ(m_frames, QStringList{"[<V>400</V>]"});
    EXPECT_EQ(m_line.receiveBuffer(), QStringLiteral("\r\n[<V>48"));
    m_fake->feed("0</V>]");
    EXPECT_EQ(m_frames.last(), QStringLiteral("\r\n[<V>480</V>]"));
    // A "]" alone waits for a "[", in either order.
    m_fake->feed("]");
    m_fake->feed("[");
    EXPECT_EQ(m_frames.last(), QStringLiteral("]["));

    // Text without brackets keeps only the newest characters.
    for (int k = 0; k < 1000; ++k)
        m_fake->feed("noise ");
    EXPECT_EQ(m_line.receiveBuffer().size(), core::kReceiveBufferLimit);
    EXPECT_TRUE(m_line.receiveBuffer().endsWith(QStringLiteral("noise ")));
    // Closing keeps what was received; the window's buffer is its own to clear.
    m_line.close();
    EXPECT_FALSE(m_line.isOpen());
    EXPECT_EQ(m_line.receiveBuffer().size(), core::kReceiveBufferLimit);
}

TEST_F(Line, OpensTheComLinkOrThePlatformsPort)
{
    m_line.open(3);
    EXPECT_EQ(m_opened.last(), core::portDevice(m_app, 3));
#ifndef Q_OS_WIN
    EXPECT_EQ(m_opened.last(), QStringLiteral("/dev/ttyS2"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), m_app.comLink(3)));
    m_line.open(3);
    EXPECT_EQ(m_opened.last(), QStringLiteral("/dev/null"));
#endif
    EXPECT_EQ(m_line.status().state, State::Open);
    EXPECT_EQ(core::lineStatusText(m_line.status(), {}, {}),
              QStringLiteral("Port 3 (%1) open at 4800,N,8,1").arg(m_opened.last()));
}

TEST_F(Line, ALostLineClosesAndIsTriedAgain)
{
    m_line.open(1);
    int changes = 0;
    QObject::connect(&m_line, &core::SerialLine::statusChanged, [&] { ++changes; });

    // An error that does not mean the other end went away leaves the line open, and still
    // counts as a notification.
    m_fake->feed("[<V>1</V>");
    m_line.deviceError(QSerialPort::TimeoutError, QStringLiteral("Operation timed out"));
    EXPECT_TRUE(m_line.isOpen());
    EXPECT_EQ(m_frames.size(), 2);

    for (const auto error :
         {QSerialPort::ReadError, QSerialPort::ResourceError, QSerialPort::WriteError}) {
        SCOPED_TRACE(int(error));
        m_frames.clear();
        m_canOpen = false;
        m_line.deviceError(error, QStringLiteral("Input/output error"));
        EXPECT_FALSE(m_line.isOpen());
        EXPECT_TRUE(m_line.retrying());
        EXPECT_EQ(m_frames, QStringList{QString()}); // the handler still runs once
        EXPECT_EQ(core::lineStatusText(m_line.status(), {}, {}),
                  QStringLiteral("Port 1 (/dev/ttyS0): line lost: Input/output error. Trying "
                                 "again every 5 seconds."));
        // The device is still gone at the first retry, back at the second.
        QCoreApplication::processEvents();
        EXPECT_EQ(m_line.status().state, State::OpenFailed);
        m_canOpen = true;
        QCoreApplication::processEvents();
        EXPECT_TRUE(m_line.isOpen());
    }
    EXPECT_EQ(changes, 9);
    // Errors of a closed line, and the "no error" report, are nothing.
    m_line.close();
    m_frames.clear();
    m_line.deviceError(QSerialPort::ResourceError, QStringLiteral("gone"));
    m_line.deviceError(QSerialPort::NoError, {});
    EXPECT_TRUE(m_frames.isEmpty());
    EXPECT_FALSE(m_line.retrying());
}

TEST_F(Line, NoPortNumberIsNotRetriedAndCloseStopsTheRetry)
{
    m_line.open(0);
    EXPECT_EQ(m_line.status().state, State::NotAPort);
    EXPECT_FALSE(m_line.retrying());
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_EQ(core::lineStatusText(m_line.status(), QStringLiteral("COM2"), {}),
              QStringLiteral("Port \"COM2\" is not a port number. Choose a port in Setup."));

    m_canOpen = false;
    m_line.setRetryInterval(60000);
    m_line.open(2);
    EXPECT_TRUE(m_line.retrying());
    EXPECT_EQ(core::lineStatusText(m_line.status(), {}, QStringLiteral("Check the cable.")),
              QStringLiteral("Port 2 (/dev/ttyS1): cannot open: No such file or directory. Check "
                             "the cable."));
    m_line.close();
    EXPECT_FALSE(m_line.retrying());
    EXPECT_EQ(m_line.status().state, State::Closed);
    EXPECT_EQ(core::lineStatusText(m_line.status(), {}, {}), QString());
}

TEST(LineSettings, ReadsTheSettingsText)
{
    const auto board = core::parseLineSettings(core::kLineSettings);
    ASSERT_TRUE(board);
    EXPECT_EQ(board->baudRate, 4800);
    EXPECT_EQ(board->parity, QSerialPort::NoParity);
    EXPECT_EQ(board->dataBits, QSerialPort::Data8);
    EXPECT_EQ(board->stopBits, QSerialPort::OneStop);

    const auto other = core::parseLineSettings(u"9600, e ,7,2");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->baudRate, 9600);
    EXPECT_EQ(other->parity, QSerialPort::EvenParity);
    EXPECT_EQ(other->dataBits, QSerialPort::Data7);
    EXPECT_EQ(other->stopBits, QSerialPort::TwoStop);

    for (const char* bad : {"", "4800", "4800,N,8", "fast,N,8,1", "0,N,8,1", "4800,X,8,1",
                            "4800,N,9,1", "4800,N,8,3", "4800,N,8,1,1"})
        EXPECT_FALSE(core::parseLineSettings(QString::fromLatin1(bad))) << bad;
}

// The real port on a pseudo-terminal, frames in pieces of 1 to 8 bytes at the line's pace (4800
// baud: about 2 ms a byte): every frame decodes to the values sent, none spliced, none lost.
TEST(LineOnAPty, FramesInAnyPiecesDecodeToTheValuesSent)
{
    QTemporaryDir tmp;
    const core::AppDir app{tmp.path()};
    sim::PseudoTerminal pty;
    ASSERT_TRUE(pty.isOpen()) << pty.error();
    ASSERT_TRUE(pty.linkAt(app.comLink(1).toStdString())) << pty.error();
    core::SerialLine line(QStringLiteral("MSComm1"), app);
    QStringList frames;
    QObject::connect(&line, &core::SerialLine::comm, [&](const QString& frame) {
        if (!frame.isEmpty())
            frames << frame;
    });
    line.open(1);
    ASSERT_TRUE(line.isOpen()) << core::lineStatusText(line.status(), {}, {}).toStdString();

    std::mt19937 rng(22);
    std::vector<std::array<QString, 5>> sent;
    std::string text;
    for (int k = 0; k < 30; ++k) {
        const auto n = [&](int below) {
            return QString::number(rng() % below);
        };
        sent.push_back({n(1024) + "." + n(100), n(1024), n(400), n(3), n(200)});
        const auto& v = sent.back();
        text += QStringLiteral("[<V>%1</V><I>%2</I><R>%3</R><M>%4</M><S>%5</S>]\r\n")
                    .arg(v[0], v[1], v[2], v[3], v[4])
                    .toStdString();
    }
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t piece = std::min<std::size_t>(1 + rng() % 8, text.size() - at);
        ASSERT_TRUE(pty.write(text.substr(at, piece)));
        at += piece;
        QElapsedTimer pace;
        pace.start();
        while (pace.elapsed() < qint64(2 * piece))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    QElapsedTimer t;
    t.start();
    while (frames.size() < qsizetype(sent.size()) && t.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    ASSERT_EQ(frames.size(), qsizetype(sent.size()));
    for (std::size_t k = 0; k < sent.size(); ++k) {
        SCOPED_TRACE(frames[qsizetype(k)].toStdString());
        const char16_t* tags[] = {u"V", u"I", u"R", u"M", u"S"};
        for (std::size_t q = 0; q < 5; ++q)
            EXPECT_EQ(core::tagValue(frames[qsizetype(k)], tags[q]), sent[k][q]);
    }
}

} // namespace
