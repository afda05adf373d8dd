// Seeded random inputs through the readers of outside data: the frame rule and the decoder, and
// the configuration readers. Each run tries the same inputs (TESSALY_FUZZ_SEED picks others), so
// a failure can be replayed; the invariants are what must hold for any input at all.

#include "config/configfiles.h"
#include "config/options.h"
#include "core/numbers.h"
#include "core/serialline.h"
#include "history/dayreader.h"
#include "station/energy.h"
#include "station/telemetry.h"

#include <QString>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

std::uint32_t seed()
{
    bool ok = false;
    const uint value = qEnvironmentVariable("TESSALY_FUZZ_SEED").toUInt(&ok);
    return ok ? value : 20261208u;
}

// Pieces a frame is made of, good and bad: brackets and tags in any order, numbers of every
// size and form, texts that look like numbers but are not, NUL and characters beyond ASCII.
class PieceGenerator
{
public:
    explicit PieceGenerator(std::uint32_t seed)
        : m_rng(seed)
    {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }

    QString number()
    {
        static const char* const fixed[] = {
            "0",      "-0",     "1e308", "1e309", "-1e308", "1e-400", "4.9e-324", "nan",  "inf",
            "-inf",   "NaN",    "1e",    ".",     "-",      "+.5",    "1.2.3",    "0x1F", "1,5",
            "  512 ", "\t530 ", "1e+",   "9e999", "-9e999", "65536",  "-32769",   "32767"};
        switch (below(4)) {
        case 0:
            return QString::fromLatin1(fixed[below(int(std::size(fixed)))]);
        case 1: {
            const int exponent = below(1400) - 700;
            return QStringLiteral("%1e%2").arg(below(100000)).arg(exponent);
        }
        case 2: {
            // A long plain decimal, huge or tiny.
            QString digits(below(500) + 1, QLatin1Char('0'));
            digits[below(int(digits.size()))] = QLatin1Char('7');
            if (below(2))
                digits.insert(below(int(digits.size())), QLatin1Char('.'));
            return digits;
        }
        default:
            return QString::number(std::uniform_real_distribution<double>(-1e6, 1e6)(m_rng));
        }
    }

    QString piece()
    {
        static const char* const tags[] = {"V", "I", "R", "S", "M", "X", "v", ""};
        const QString tag = QString::fromLatin1(tags[below(int(std::size(tags)))]);
        switch (below(9)) {
        case 0:
            return QStringLiteral("[");
        case 1:
            return QStringLiteral("]");
        case 2:
            return QLatin1Char('<') + tag + QLatin1Char('>');
        case 3:
            return QStringLiteral("</") + tag + QLatin1Char('>');
        case 4:
            return QLatin1Char('<') + tag + QLatin1Char('>') + number() + QStringLiteral("</") +
                   tag + QLatin1Char('>');
        case 5:
            return QString(1, QChar(0));
        case 6:
            return QString(1, QChar(char16_t(0x80 + below(0xD000))));
        case 7:
            return QStringLiteral("\r\n");
        default:
            return number();
        }
    }

    QString text(int pieces)
    {
        QString out;
        for (int k = 0; k < pieces; ++k)
            out += piece();
        return out;
    }

    core::Conversion conversion()
    {
        static const double dividers[] = {1, -1, 1e-300, 1e300, 40, 0.5, 4.9e-324};
        auto pick = [&] {
            return dividers[below(int(std::size(dividers)))];
        };
        core::Conversion c;
        c.voltDivider = pick();
        c.voltOffset = below(2) ? 0.0 : -1e308;
        c.ampDivider = pick();
        c.rpmDivider = pick();
        c.wsDivider = pick();
        return c;
    }

private:
    std::mt19937 m_rng;
};

// 100,000 pieces of line traffic through the buffer, every frame through the decoder: the buffer
// stays within its bound and no reading holds an infinity or a NaN.
TEST(Fuzz, FramesNeverGiveANonFiniteReadingNorOverflowTheBuffer)
{
    SCOPED_TRACE(testing::Message() << "TESSALY_FUZZ_SEED=" << seed());
    PieceGenerator gen(seed());
    QString buffer;
    station::EnergyMeter energy(0);
    int frames = 0;
    for (int k = 0; k < 100000; ++k) {
        const auto frame = core::takeFrame(buffer, gen.text(gen.below(6) + 1));
        ASSERT_LE(buffer.size(), core::kReceiveBufferLimit);
        if (!frame)
            continue;
        ++frames;
        const station::Reading r =
            station::computeReading(station::decodeFrame(*frame), gen.conversion());
        for (const core::Quantity q : core::kAllQuantities)
            ASSERT_TRUE(std::isfinite(r[q])) << frame->left(200).toStdString();
        station::IntervalPeaks peaks;
        station::raisePeaks(peaks, r);
        energy.frame(k * 5000);
        energy.tick(r[core::kWatts] * 1e300, QDateTime(QDate(2024, 3, 7), QTime(12, 0)),
                    k * 5000 + 5000);
        ASSERT_TRUE(std::isfinite(energy.total()));
    }
    EXPECT_GT(frames, 1000); // the generator does make frames
}

// Ten megabytes without a bracket: the buffer keeps only the latest characters.
TEST(Fuzz, TenMegabytesWithoutABracketStayWithinTheBound)
{
    QString buffer;
    const QString chunk(4096, QLatin1Char('7'));
    for (int k = 0; k < 10 * 256; ++k)
        ASSERT_FALSE(core::takeFrame(buffer, chunk));
    EXPECT_EQ(buffer.size(), core::kReceiveBufferLimit);
    EXPECT_TRUE(core::takeFrame(buffer, u"[<V>1</V>]"));
}

// Numbers as any text: a value is finite whenever the text is accepted.
TEST(Fuzz, NumberTextsAreFiniteOrRefused)
{
    PieceGenerator gen(seed() + 1);
    for (int k = 0; k < 100000; ++k) {
        const QString text = gen.below(4) ? gen.number() : gen.text(2);
        const auto value = core::numericValue(text);
        ASSERT_EQ(value.has_value(), core::isNumeric(text)) << text.toStdString();
        ASSERT_TRUE(!value || std::isfinite(*value)) << text.toStdString();
    }
}

// Configuration files of any content: every value read is text found between its tags in the
// file, or the key's default.
TEST(Fuzz, ConfigurationReadersTakeOnlyWhatStandsBetweenTheTags)
{
    PieceGenerator gen(seed() + 2);
    static const char* const keys[] = {"Port",       "Savehtml",  "LogDelay",
                                       "WSUnits",    "LogOn",     "VoltDivider",
                                       "VoltOffset", "WSDivider", "AMPDIVIDER"};
    const config::ProgramConfig progDefaults;
    const config::CalibrationSettings settingsDefaults;
    for (int k = 0; k < 20000; ++k) {
        QString text;
        for (int n = gen.below(12); n > 0; --n) {
            const QString key = QString::fromLatin1(keys[gen.below(int(std::size(keys)))]);
            switch (gen.below(4)) {
            case 0:
                text += QLatin1Char('<') + key + QLatin1Char('>');
                break;
            case 1:
                text += QStringLiteral("</") + key + QLatin1Char('>');
                break;
            case 2:
                text += QLatin1Char('<') + key + QLatin1Char('>') + gen.number() +
                        QStringLiteral("</") + key + QLatin1Char('>');
                break;
            default:
                text += gen.piece();
            }
        }
        const config::ProgramConfig prog = config::parseProgramConfig(text);
        for (const auto& key : config::kProgramConfigKeys) {
            const QString& value = prog.*key.value;
            ASSERT_TRUE(text.contains(value) || value == progDefaults.*key.value)
                << key.name << " in " << text.toStdString();
        }
        const config::CalibrationSettings s = config::parseCalibrationSettings(text);
        for (const auto& key : config::kCalibrationSettingsKeys) {
            const QString& value = s.*key.value;
            ASSERT_TRUE(text.contains(value) || value == settingsDefaults.*key.value)
                << key.name << " in " << text.toStdString();
        }
        const core::Conversion c = config::makeConversion(s);
        for (const auto& divider : {c.voltDivider, c.ampDivider, c.rpmDivider, c.wsDivider}) {
            ASSERT_TRUE(!divider || (std::isfinite(*divider) && *divider != 0));
        }
    }
}

// Day files of any content through the history loader: never more records than its slots, every
// record inside the range, every value finite, times whole minutes of the day.
TEST(Fuzz, DayFilesNeverOverfillTheLoaderNorGiveNonFiniteValues)
{
    PieceGenerator gen(seed() + 3);
    static const char* const tags[] = {"V", "I", "W", "R", "S", "M", "T"};
    for (int file = 0; file < 400; ++file) {
        QByteArray content;
        const int lines = gen.below(20) == 0 ? 10050 : gen.below(60);
        for (int l = 0; l < lines; ++l) {
            QByteArray line;
            for (int t = gen.below(9); t > 0; --t) {
                const char* tag = tags[gen.below(int(std::size(tags)))];
                const QByteArray value = tag[0] == 'T' && gen.below(3)
                                             ? QByteArray::number(gen.below(26)) + ':' +
                                                   QByteArray::number(gen.below(62))
                                             : gen.number().toUtf8();
                switch (gen.below(6)) {
                case 0:
                    line += gen.piece().toUtf8(); // a broken piece
                    break;
                default:
                    line += QByteArray("<") + tag + '>' + value + "</" + tag + '>';
                }
            }
            content += line + (gen.below(8) ? "\r\n" : "\n");
        }
        const double start = gen.below(1440) / 1440.0;
        const double finish = start + gen.below(1440) / 1440.0;
        const history::DayRecords day = history::parseDayLog(content, start, finish);
        ASSERT_LE(int(day.records.size()), history::kMaxRecords);
        for (const history::LoadedRecord& r : day.records) {
            ASSERT_TRUE(r.time > start && r.time < finish) << r.time;
            ASSERT_TRUE(std::isfinite(r.time));
            const double minutes = r.time * 1440;
            ASSERT_NEAR(minutes, std::round(minutes), 1e-6);
            for (const core::Quantity q : core::kAllQuantities)
                ASSERT_TRUE(std::isfinite(r.values[q]));
        }
    }
}

} // namespace
