// Seeded random files through the alarms' readers: alarms.cfg, the log's latest states and the
// retained topics remembered in published.cfg. Each run
// tries the same inputs (TESSALY_FUZZ_SEED picks others), so a failure can be replayed; the
// invariants are what must hold for any input at all.

#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "publish/publishedtopics.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

std::uint32_t seed()
{
    bool ok = false;
    const uint value = qEnvironmentVariable("TESSALY_FUZZ_SEED").toUInt(&ok);
    return ok ? value : 20261208u;
}

class TextGenerator
{
public:
    explicit TextGenerator(std::uint32_t seed)
        : m_rng(seed)
    {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    QString value()
    {
        static const char* const fixed[] = {
            "0",    "1",    "2",     "-1",     "0.3",   "11.8",  "1e308", "-1e308", "1e309",
            "nan",  "inf",  "-inf",  "",       " 1",    "1 ",    "1,5",   "0x10",   "4.9e-324",
            "1440", "1441", "86400", "86401",  "100",   "99.99", "500",   "-500",   "600",
            "<",    "</",   "\xff",  "1e-400", "9e999", "120",   "0.5",   "abc",    "1.2.3"};
        if (below(5) == 0)
            return QString::number(std::uniform_real_distribution<double>(-1e4, 1e4)(m_rng));
        return QString::fromLatin1(fixed[below(int(std::size(fixed)))]);
    }

    // A file of the known keys, most of them with values that make sense, some missing, some
    // twice, some out of order, with keys not known here, either line end, now and then cut
    // short or without its title.
    QString alarmsFile()
    {
        static const QStringList known = alarms::alarmsConfigKeys();
        static const QStringList unknown{"CurveLowOn", "CurveLowLevel", "BattLow", "On", ""};
        static const char* const sensible[] = {"0.3", "11.8", "60", "10", "120", "14.8", "2"};
        QStringList lines;
        auto line = [&](const QString& key, const QString& value) {
            QString out = QLatin1Char('<') + key + QLatin1Char('>') + value;
            if (below(20))
                out += QStringLiteral("</") + key + QLatin1Char('>');
            lines << out;
        };
        for (const QString& key : known) {
            if (below(6) == 0)
                continue;
            if (below(3) == 0)
                line(key, value());
            else if (key.endsWith(QLatin1String("On")) || key == QLatin1String("Notify"))
                line(key, QString::number(below(2)));
            else
                line(key, QString::fromLatin1(sensible[below(int(std::size(sensible)))]));
        }
        for (int k = below(6); k > 0; --k) {
            const QString key =
                below(2) ? known[below(int(known.size()))] : unknown[below(int(unknown.size()))];
            lines.insert(below(int(lines.size()) + 1), QString());
            line(key, value());
        }
        if (below(4) == 0)
            std::shuffle(lines.begin(), lines.end(), m_rng);
        const QString end = below(2) ? QStringLiteral("\r\n") : QStringLiteral("\n");
        QString out = (below(10) ? QStringLiteral("Alarm Settings") : QStringLiteral("Alarm")) +
                      end + end + lines.join(end) + end;
        if (below(8) == 0)
            out.truncate(below(int(out.size()) + 1));
        return out;
    }

    // Log lines, whole or in part, of kinds known and not, with dates and values of any form.
    QByteArray alarmLog()
    {
        static const char* const keys[] = {"BattLow", "NoData", "CurveLow", "", "battlow"};
        static const char* const states[] = {"on", "off", "ON", "", "of"};
        static const char* const dates[] = {"2024_3_7", "2024_2_30", "0_0_0", "2024_3",
                                            "x",        "99999_1_1", "-1_1_1"};
        static const char* const times[] = {"14:05:07", "24:00:00", "1:2:3", "", "23:59:60"};
        QByteArray out;
        for (int k = below(30); k > 0; --k) {
            QByteArray line = QByteArray("<A>") + keys[below(5)] + "</A><S>" + states[below(5)] +
                              "</S><D>" + dates[below(7)] + "</D><T>" + times[below(5)] +
                              "</T><VAL>" + value().toLatin1() + "</VAL>" +
                              (below(2) ? "\r\n" : "\n");
            if (below(8) == 0)
                line.truncate(below(int(line.size()) + 1));
            out += line;
        }
        return out;
    }

    // published.cfg with topics of any bytes, escapes whole and broken, tags cut.
    QByteArray publishedFile()
    {
        static const char* const pieces[] = {
            "tessaly/plant/", "%3C",  "%", "%4",  "%zz", "<", "</Topic>", "<Topic>", "\r\n",
            "homeassistant/", "\xff", "#", "%00", ""};
        QByteArray out = below(8) ? "Published Topics\r\n\r\n" : "Published\r\n";
        for (int k = below(20); k > 0; --k) {
            out += "<Topic>";
            for (int n = below(6); n > 0; --n)
                out += pieces[below(int(std::size(pieces)))];
            if (below(10))
                out += "</Topic>\r\n";
        }
        return out;
    }

private:
    std::mt19937 m_rng;
};

TEST(FuzzAlarms, AlarmsFilesGiveOnlyUsableSettingsThatReadBackAlike)
{
    TextGenerator gen(seed());
    int usedOn = 0;
    for (int round = 0; round < 3000; ++round) {
        const QString text = gen.alarmsFile();
        SCOPED_TRACE(text.toStdString());
        QStringList problems;
        const alarms::AlarmsConfig c = alarms::parseAlarmsConfig(text, &problems);
        for (const alarms::Kind k : alarms::kKinds) {
            EXPECT_EQ(alarms::settingsProblem(k, c[k]), std::nullopt)
                << alarms::facts(k).key << " read as it cannot be used";
        }
        usedOn += c.anyOn() ? 1 : 0;
        EXPECT_GT(c.silenceMinutes, 0);
        EXPECT_LE(c.silenceMinutes, alarms::kMaxSilenceMinutes);
        QStringList again;
        EXPECT_EQ(
            alarms::parseAlarmsConfig(QString::fromLatin1(alarms::alarmsConfigText(c)), &again), c);
        EXPECT_TRUE(again.isEmpty()) << again.join("; ").toStdString();
    }
    // The inputs reach the checks of values that are used, not only the refusals.
    EXPECT_GT(usedOn, 300);
}

TEST(FuzzAlarms, TheLogGivesOneWholeStatePerKindAtMost)
{
    TextGenerator gen(seed() + 1);
    int states = 0;
    for (int round = 0; round < 3000; ++round) {
        const QByteArray text = gen.alarmLog();
        SCOPED_TRACE(text.toStdString());
        const std::vector<alarms::LoggedState> read = alarms::lastLoggedStates(text);
        ASSERT_LE(read.size(), alarms::kKindCount);
        for (std::size_t k = 0; k < read.size(); ++k) {
            EXPECT_TRUE(read[k].at.isValid());
            EXPECT_TRUE(std::isfinite(read[k].value));
            if (k > 0) {
                EXPECT_LT(read[k - 1].kind, read[k].kind) << "one per kind, in their order";
            }
        }
        states += int(read.size());
    }
    EXPECT_GT(states, 300) << "the inputs reach lines that read";
}

TEST(FuzzAlarms, PublishedTopicsReadBackAlikeOnceWritten)
{
    TextGenerator gen(seed() + 2);
    std::size_t topics = 0;
    for (int round = 0; round < 3000; ++round) {
        const QByteArray text = gen.publishedFile();
        SCOPED_TRACE(text.toStdString());
        const publish::TopicSet read = publish::parsePublishedTopics(text);
        EXPECT_EQ(read.count(QByteArray()), 0u);
        EXPECT_EQ(publish::parsePublishedTopics(publish::publishedTopicsText(read)), read);
        topics += read.size();
    }
    EXPECT_GT(topics, 3000u) << "the inputs reach topics that read";
}

} // namespace
