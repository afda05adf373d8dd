// Seeded random notify.cfg and queue files through the notify readers, every run
// (TESSALY_FUZZ_SEED picks other inputs): a way that is on has usable settings, the settings and
// the queue read back alike once written, the events come in order with each way's progress
// within them.

#include "notify/notifyconfig.h"
#include "notify/notifyevent.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

std::uint32_t seed()
{
    bool ok = false;
    const uint value = qEnvironmentVariable("TESSALY_FUZZ_SEED").toUInt(&ok);
    return ok ? value : 20261209u;
}

const QByteArray kPieces[] = {"Notify Settings\r\n\r\n",
                              "<PushOn>",
                              "</PushOn>",
                              "<PushUrl>",
                              "</PushUrl>",
                              "<HookOn>",
                              "</HookOn>",
                              "<HookUrl>",
                              "</HookUrl>",
                              "<MailOn>",
                              "</MailOn>",
                              "<SmtpUrl>",
                              "</SmtpUrl>",
                              "<MailFrom>",
                              "</MailFrom>",
                              "<MailTo>",
                              "</MailTo>",
                              "<ReportOn>",
                              "</ReportOn>",
                              "<ReportHour>",
                              "</ReportHour>",
                              "<CaFile>",
                              "</CaFile>",
                              "1",
                              "0",
                              "25",
                              "-1",
                              "https://ntfy.example/t",
                              "http://10.0.0.2/x",
                              "http://8.8.8.8/x",
                              "smtp://m.example:587",
                              "smtps://m.example",
                              "a@example.org",
                              "@",
                              ",",
                              "\r\n",
                              "\n",
                              "\xff",
                              "\0",
                              "<N>",
                              "</N>",
                              "<W>",
                              "</W>",
                              "push",
                              "hook",
                              "mail",
                              " ",
                              "<K>BattLow</K><S>on</S>",
                              "<VAL>",
                              "</VAL>",
                              "11.6",
                              "nan",
                              "1e999",
                              "<U>V</U><L>11.8</L>",
                              "<T>2024-03-07T03:12:05+01:00</T>",
                              "<T>2024-03-07T03:12:05.5Z</T>",
                              "<P>shed</P><TI>",
                              "</TI><X>",
                              "</X>",
                              "&amp;",
                              "&#10;",
                              "&lt;",
                              "<D>",
                              "</D>",
                              "<R>2024-03-06</R>",
                              "2",
                              "3"};

QByteArray randomText(QRandomGenerator& random)
{
    QByteArray out;
    const int parts = int(random.bounded(40));
    for (int k = 0; k < parts; ++k)
        out += kPieces[random.bounded(int(std::size(kPieces)))];
    return out;
}

QByteArray written(const notify::QueueState& state)
{
    QByteArray out;
    for (const notify::Event& e : state.events)
        out += notify::queueLine(e);
    for (const auto& [way, seq] : state.done)
        out += notify::doneLine(way, seq);
    return out;
}

TEST(FuzzNotify, NotifyCfgAndQueueOfAnyContent)
{
    QRandomGenerator random(seed());
    for (int run = 0; run < 3000; ++run) {
        const QByteArray bytes = randomText(random);
        SCOPED_TRACE(bytes.toStdString());
        const notify::NotifyConfig c = notify::parseNotifyConfig(QString::fromUtf8(bytes));
        for (const notify::Way way : notify::kWays)
            EXPECT_TRUE(!c.on(way) || notify::wayProblem(c, way).isEmpty());
        EXPECT_TRUE(c.reportHour >= 0 && c.reportHour <= 23);
        EXPECT_EQ(notify::parseNotifyConfig(QString::fromUtf8(notify::notifyConfigText(c))), c);

        const notify::QueueState once = notify::readQueue(bytes);
        for (std::size_t k = 1; k < once.events.size(); ++k)
            EXPECT_LT(once.events[k - 1].seq, once.events[k].seq);
        for (const auto& [way, seq] : once.done)
            EXPECT_LE(seq, once.lastSeq);
        const notify::QueueState twice = notify::readQueue(written(once));
        EXPECT_EQ(twice.events.size(), once.events.size());
        EXPECT_EQ(notify::readQueue(written(twice)).events, twice.events);
    }
}

} // namespace
