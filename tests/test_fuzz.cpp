// Seeded random inputs through the readers of outside data: the frame rule and the decoder, the
// configuration readers, and the files the program keeps of its own (the energy ledger, the power
// curve, view.cfg and the day summaries' month packs). Each run tries the same inputs
// (TESSALY_FUZZ_SEED picks others), so a failure can be replayed; the invariants are what must hold
// for any input at all.

#include "config/configfiles.h"
#include "config/options.h"
#include "core/files.h"
#include "core/keyedsettings.h"
#include "core/numbers.h"
#include "core/serialline.h"
#include "curve/curvesettings.h"
#include "curve/powercurve.h"
#include "curve/refcurve.h"
#include "curve/rotor.h"
#include "curve/turbulence.h"
#include "history/dayreader.h"
#include "season/batteryconfig.h"
#include "season/completeness.h"
#include "season/energyledger.h"
#include "season/seasonview.h"
#include "season/summarycache.h"
#include "station/energy.h"
#include "station/telemetry.h"
#include "storage/storageconfig.h"
#include "tests/fuzzpieces.h"
#include "trend/dayfill.h"
#include "trend/trendring.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using fuzzing::PieceGenerator;
using fuzzing::seed;

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
        // The live trend reads the same lines one at a time, with no limit, all on its day.
        const QDate date(2024, 3, 7);
        for (const trend::PastReading& r : trend::readDayForTrend(content, date)) {
            ASSERT_EQ(r.wall.date(), date);
            for (const core::Quantity q : core::kAllQuantities)
                ASSERT_TRUE(std::isfinite(r.values[q]));
        }
    }
}

// Tagged lines of the given keys, good and broken, with numbers of every form between the tags.
QByteArray taggedLines(PieceGenerator& gen, std::initializer_list<const char*> keys, int lines,
                       QByteArray (*value)(PieceGenerator&, const char*))
{
    QByteArray out;
    for (int l = 0; l < lines; ++l) {
        for (const char* key : keys) {
            if (gen.below(12) == 0)
                out += gen.piece().toUtf8(); // a broken piece instead
            else if (gen.below(40) != 0)
                out += QByteArray("<") + key + '>' + value(gen, key) + "</" + key + '>';
        }
        out += gen.below(10) ? "\r\n" : gen.below(2) ? "\n" : "";
    }
    return out;
}

// Ledger lines of any content: every day read is a valid date of the ledger's years, every
// hour's sum finite and within the lines' limit, every day's charge and load minutes finite and
// not negative; a line written is read back as it was.
TEST(Fuzz, LedgerLinesAreReadWithinTheirRangeOrCountedBad)
{
    PieceGenerator gen(seed() + 4);
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (key[0] == 'D' && g.below(3))
            return QByteArray::number(g.below(3) ? 1990 + g.below(130) : g.below(100000)) + '_' +
                   QByteArray::number(g.below(14)) + '_' + QByteArray::number(g.below(33));
        if (key[0] == 'Z' && g.below(3))
            return QByteArray(g.below(2) ? "+" : "-") +
                   QByteArray::number(g.below(2000)).rightJustified(4, '0');
        if (key[0] == 'H' && g.below(3))
            return QByteArray::number(g.below(30) - 3);
        if ((key[0] == 'A' || key[0] == 'L') && g.below(4))
            return QByteArray::number(g.below(130));
        QByteArray n = g.number().toUtf8();
        return g.below(4) ? n : n.replace('.', ',');
    };
    std::size_t daysRead = 0;
    for (int file = 0; file < 2000; ++file) {
        const int lines = gen.below(30);
        const QByteArray content =
            taggedLines(gen, {"D", "H", "Z", "WH", "AH", "LOAD"}, lines, value);
        const season::LedgerContent read = season::parseLedger(content);
        daysRead += read.days.size();
        ASSERT_GE(read.badLines, 0);
        int written = 0;
        for (QByteArray line : content.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            written += line.isEmpty() ? 0 : 1;
        }
        ASSERT_LE(read.badLines, written) << content.toStdString();
        for (const auto& [date, day] : read.days) {
            ASSERT_TRUE(date.isValid() && date.year() >= season::kFirstLedgerYear &&
                        date.year() <= season::kLastLedgerYear);
            for (const double wh : day)
                ASSERT_TRUE(std::isfinite(wh) && std::fabs(wh) <= written * 1e9);
        }
        for (const auto& [date, charge] : read.charge) {
            ASSERT_TRUE(read.days.contains(date));
            ASSERT_TRUE(std::isfinite(charge.ampHours) && charge.ampHours >= 0);
            ASSERT_TRUE(charge.loadMinutes >= 0 && charge.loadMinutes <= written * 120.0);
        }
    }
    EXPECT_GT(daysRead, 100u); // the generator does make good lines
    static const QLocale::Language languages[] = {QLocale::German, QLocale::English,
                                                  QLocale::French, QLocale::C};
    for (int k = 0; k < 20000; ++k) {
        QLocale::setDefault(QLocale(languages[gen.below(4)]));
        const season::LedgerLine line{QDate(2000, 1, 1).addDays(gen.below(36890)), gen.below(24),
                                      std::uniform_real_distribution<double>(-1e9, 1e9)(gen.rng()),
                                      (gen.below(113) - 56) * 900};
        const QByteArray bytes = season::lineFor(line);
        const season::LedgerContent read = season::parseLedger(bytes);
        ASSERT_EQ(read.badLines, 0) << bytes.toStdString();
        ASSERT_EQ(read.days.count(line.date), 1u) << bytes.toStdString();
        ASSERT_EQ(read.days.at(line.date)[std::size_t(line.hour)],
                  core::numericValue(core::numberText(line.wattHours, QLocale::c()), QLocale::c())
                      .value())
            << bytes.toStdString();
    }
    QLocale::setDefault(QLocale::c());
}

// Completeness lines of any content: every hour read is of a valid day, its minutes 0 to 60, its
// interval from 1 s to a day; every line is read or counted bad; the day's shares lie within 0
// and 1.
TEST(Fuzz, CompletenessLinesAreReadWithinTheirRangeOrCountedBad)
{
    PieceGenerator gen(seed() + 14);
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (key[0] == 'Z' && g.below(3))
            return QByteArray(g.below(2) ? "+" : "-") +
                   QByteArray::number(g.below(16)).rightJustified(2, '0') +
                   QByteArray::number(g.below(62)).rightJustified(2, '0');
        if (key[0] == 'D' && g.below(3))
            return QByteArray::number(1995 + g.below(110)) + '_' + QByteArray::number(g.below(13)) +
                   '_' + QByteArray::number(g.below(29));
        if (g.below(4))
            return QByteArray::number(g.below(key[0] == 'H' ? 26 : 64) - 2);
        return g.number().toUtf8();
    };
    std::size_t hoursRead = 0;
    for (int file = 0; file < 2000; ++file) {
        const QByteArray content =
            taggedLines(gen, {"D", "H", "Z", "FM", "REC", "IV"}, gen.below(30), value);
        const season::CompletenessContent read = season::parseCompleteness(content);
        ASSERT_GE(read.badLines, 0);
        ASSERT_LE(read.badLines, content.count('\n') + 1) << content.toStdString();
        for (const auto& [date, hours] : read.days) {
            ASSERT_TRUE(date.isValid() && date.year() >= season::kFirstLedgerYear &&
                        date.year() <= season::kLastLedgerYear);
            for (const auto& [key, line] : hours) {
                ++hoursRead;
                ASSERT_TRUE(line.freshMinutes >= 0 && line.freshMinutes <= 60);
                ASSERT_TRUE(line.intervalSeconds >= 1 && line.intervalSeconds <= 86400);
                ASSERT_GE(line.records, 0);
            }
            const season::Completeness c =
                season::dayCompleteness(read, date, 60, date.addDays(1).startOfDay().addSecs(3600));
            ASSERT_TRUE(c.freshShare >= 0 && c.freshShare <= 1);
            ASSERT_TRUE(c.recordShare >= 0 && c.recordShare <= 1);
        }
    }
    EXPECT_GT(hoursRead, 100u); // the generator does make good lines
}

// powercurve.txt of any content: every bin read or loaded lies within the limits, every line is
// read or counted, and now and then the file goes through the loader for real.
TEST(Fuzz, PowerCurveFilesGiveOnlyBinsWithinTheirLimits)
{
    PieceGenerator gen(seed() + 5);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("powercurve.txt"));
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (key[0] == 'N' && g.below(2))
            return QByteArray::number(g.below(2) ? g.below(100) : qint64(g.below(1 << 30)) << 2);
        return g.number().toUtf8();
    };
    std::size_t binsRead = 0;
    for (int file = 0; file < 3000; ++file) {
        QByteArray content = taggedLines(gen, {"B", "N", "P", "SD"}, gen.below(30), value);
        if (gen.below(3) == 0)
            content.prepend(taggedLines(gen, {"Units", "Width", "Altitude"}, 1, value));
        const curve::PowerCurveContent read = curve::parsePowerCurve(content);
        binsRead += read.bins.size();
        int lines = 0;
        for (const QByteArray& line : content.split('\n'))
            lines += line.isEmpty() ? 0 : 1;
        // A header that reads whole is neither a bin nor a skipped line.
        ASSERT_EQ(int(read.bins.size()) + read.skippedLines + (read.units ? 1 : 0), lines);
        ASSERT_TRUE(!read.units || (read.width >= 0.01 && read.width <= 100));
        ASSERT_TRUE(read.altitude >= curve::kLowestAltitude &&
                    read.altitude <= curve::kHighestAltitude);
        for (const curve::Bin& b : read.bins) {
            ASSERT_LE(std::fabs(b.centre), curve::kMaxBinCentre);
            ASSERT_TRUE(b.minutes >= 1 && b.minutes <= curve::kMaxBinMinutes);
            ASSERT_LE(std::fabs(b.meanWatts), curve::kMaxBinWatts);
            ASSERT_TRUE(b.sdWatts >= 0 && b.sdWatts <= curve::kMaxBinWatts);
        }
        if (file % 30 != 0)
            continue;
        ASSERT_TRUE(core::replaceFile(path, content));
        const curve::PowerCurve curve = curve::loadPowerCurve(path, gen.below(2) ? 0.5 : 1.0);
        for (const curve::Bin& b : curve.bins()) {
            ASSERT_TRUE(std::isfinite(b.centre) && std::isfinite(b.meanWatts) &&
                        std::isfinite(b.sdWatts));
            ASSERT_TRUE(b.minutes >= 1 && b.minutes <= curve::kMaxBinMinutes);
        }
        QFile::remove(path + QStringLiteral(".damaged"));
    }
    EXPECT_GT(binsRead, 100u); // the generator does make good lines
}

// turbulence.txt and rotor.txt of any content: every bin read lies within its format's limits,
// every line is read or counted, a file goes now and then through the loader for real, and what
// is loaded and written again reads back without a skipped line.
TEST(Fuzz, TurbulenceAndRotorFilesGiveOnlyBinsWithinTheirLimits)
{
    PieceGenerator gen(seed() + 21);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("turbulence.txt"));
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (key[0] == 'N' && g.below(2))
            return QByteArray::number(g.below(2) ? g.below(100) : qint64(g.below(1 << 30)) << 2);
        if (key[0] == 'T' && g.below(2))
            return QByteArray::number(g.below(1000) / 1000.0);
        return g.number().toUtf8();
    };
    std::size_t binsRead = 0;
    for (int file = 0; file < 3000; ++file) {
        const bool turbulence = file % 2 == 0;
        const curve::BinsFormat& format =
            turbulence ? curve::kTurbulenceFormat : curve::kRotorFormat;
        QByteArray content = turbulence
                                 ? taggedLines(gen, {"B", "N", "TI", "SD"}, gen.below(30), value)
                                 : taggedLines(gen, {"B", "N", "RPM"}, gen.below(30), value);
        if (gen.below(3) == 0)
            content.prepend(taggedLines(gen, {"Units", "Width", "Altitude"}, 1, value));
        const curve::PowerCurveContent read = curve::parseBinsFile(content, format);
        binsRead += read.bins.size();
        int lines = 0;
        for (const QByteArray& line : content.split('\n'))
            lines += line.isEmpty() ? 0 : 1;
        ASSERT_EQ(int(read.bins.size()) + read.skippedLines + (read.units ? 1 : 0), lines);
        for (const curve::Bin& b : read.bins) {
            ASSERT_LE(std::fabs(b.centre), curve::kMaxBinCentre);
            ASSERT_TRUE(b.minutes >= 1 && b.minutes <= curve::kMaxBinMinutes);
            ASSERT_TRUE(b.meanWatts >= format.lowest && b.meanWatts <= format.highest);
            ASSERT_TRUE(b.sdWatts >= 0 && b.sdWatts <= format.highest - format.lowest);
        }
        if (file % 30 > 1)
            continue;
        ASSERT_TRUE(core::replaceFile(path, content));
        const curve::WindScale scale = curve::windScale(gen.below(2) ? "m/s" : "WIND");
        const curve::CurveFileLoad load = curve::loadBinsFile(path, format, scale);
        const QByteArray written = curve::binsFileBytes(load.curve, format, scale.unitName);
        ASSERT_EQ(curve::parseBinsFile(written, format).skippedLines, 0) << written.toStdString();
        QFile::remove(path + QStringLiteral(".damaged"));
    }
    EXPECT_GT(binsRead, 100u); // the generator does make good lines
}

// refcurve.cfg of any content: a curve read is one pointsProblem takes (winds rising, watts not
// negative, at least 3 points, all finite) and written again reads back the same; else it is off
// with a reason. battery.cfg of any content gives a bank of 0, 12, 24 or 48 V and full volts
// within 5 to 80.
TEST(Fuzz, ReferenceCurveAndBatteryFilesReadWhole)
{
    PieceGenerator gen(seed() + 12);
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (key[0] == 'V' && g.below(2))
            return QByteArray::number(g.below(40));
        if (key[0] == 'U' && g.below(2))
            return g.below(2) ? "m/s" : "knots";
        return g.number().toUtf8();
    };
    int curvesRead = 0;
    for (int file = 0; file < 3000; ++file) {
        QByteArray content = gen.below(8) ? QByteArray("Reference Power Curve\r\n") : QByteArray();
        if (gen.below(3) == 0) {
            // Rising winds with some watts: a curve that reads, unless a piece spoils it.
            content += "<Units>m/s</Units>\r\n";
            int wind = 0;
            for (int k = 0, points = 3 + gen.below(8); k < points; ++k) {
                wind += 1 + gen.below(4);
                content += "<V>" + QByteArray::number(wind) + "</V><W>" +
                           QByteArray::number(k == 1 ? 50 : gen.below(600)) + "</W>\r\n";
            }
            if (gen.below(4) == 0)
                content += gen.piece().toUtf8() + "\r\n";
        } else {
            content += taggedLines(gen, {"Units"}, gen.below(3), value);
            content += taggedLines(gen, {"V", "W"}, gen.below(12), value);
        }
        QString problem;
        const auto read = curve::parseRefCurve(content, &problem);
        if (!read) {
            ASSERT_FALSE(problem.isEmpty());
        } else {
            ++curvesRead;
            ASSERT_FALSE(curve::pointsProblem(read->points));
            ASSERT_EQ(curve::parseRefCurve(curve::refCurveBytes(*read)), read);
            for (double v = -1; v < 45; v += 0.7)
                ASSERT_TRUE(std::isfinite(read->wattsAt(v)) && read->wattsAt(v) >= 0);
        }
        const QByteArray battery =
            "Battery Settings\r\n\r\n" + taggedLines(gen, {"NominalVolts", "FullVolts"}, 2, value);
        const season::BatteryConfig b = season::parseBatteryConfig(QString::fromLatin1(battery));
        ASSERT_TRUE(b.nominalVolts == 0 || b.nominalVolts == 12 || b.nominalVolts == 24 ||
                    b.nominalVolts == 48);
        ASSERT_TRUE(!b.fullVolts || (*b.fullVolts >= 5 && *b.fullVolts <= 80));
    }
    EXPECT_GT(curvesRead, 10); // the generator does make good curves
}

// curve.cfg of any content: an altitude from -500 to 5000 m or none (0), whose factor is finite
// and positive; a file written reads back the same.
TEST(Fuzz, CurveSettingsGiveAnAltitudeWithinItsRange)
{
    PieceGenerator gen(seed() + 13);
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (key[0] == 'R' && g.below(3))
            return QByteArray::number(g.below(400) / 10.0);
        return g.below(3) ? QByteArray::number(int(g.below(12000)) - 6000) : g.number().toUtf8();
    };
    int set = 0;
    int rotors = 0;
    for (int file = 0; file < 3000; ++file) {
        const QByteArray content =
            (gen.below(8) ? QByteArray("Power Curve Settings\r\n\r\n") : QByteArray()) +
            taggedLines(gen, {"Altitude", "RotorDiameter"}, 1 + gen.below(2), value);
        const curve::CurveSettings read = curve::parseCurveSettings(QString::fromLatin1(content));
        ASSERT_TRUE(read.altitudeMetres >= curve::kLowestAltitude &&
                    read.altitudeMetres <= curve::kHighestAltitude);
        const double factor = curve::densityFactor(read.altitudeMetres);
        ASSERT_TRUE(std::isfinite(factor) && factor > 0.8 && factor < 1.1);
        ASSERT_EQ(curve::parseCurveSettings(QString::fromLatin1(curve::curveSettingsText(read))),
                  read);
        set += read.normalised() ? 1 : 0;
        ASSERT_TRUE(!read.rotorDiameter || (*read.rotorDiameter >= curve::kSmallestRotor &&
                                            *read.rotorDiameter <= curve::kLargestRotor));
        rotors += read.rotorDiameter ? 1 : 0;
    }
    EXPECT_GT(set, 100);    // the generator does make good altitudes
    EXPECT_GT(rotors, 100); // and good diameters
}

// storage.cfg of any content: records are synced one by one or held for 60 to 3600 s, the level
// lies within its range, and a file written reads back with the same period and no problem.
TEST(Fuzz, StorageSettingsGiveAPeriodWithinItsRange)
{
    PieceGenerator gen(seed() + 17);
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (key[4] == 'S' && g.below(2))
            return QByteArray::number(int(g.below(4000)) - 200);
        return g.number().toUtf8();
    };
    int held = 0;
    for (int file = 0; file < 5000; ++file) {
        const QByteArray content =
            (gen.below(8) ? QByteArray("Storage Settings\r\n\r\n") : QByteArray()) +
            taggedLines(gen, {"SyncSeconds", "SyncBelowVolts"}, 1 + gen.below(2), value);
        const storage::StorageConfig read =
            storage::parseStorageConfig(QString::fromLatin1(content));
        ASSERT_TRUE(read.syncSeconds == 0 || (read.syncSeconds >= storage::kLeastSyncSeconds &&
                                              read.syncSeconds <= storage::kMostSyncSeconds))
            << content.toStdString();
        ASSERT_TRUE(!read.syncBelowVolts || (*read.syncBelowVolts >= storage::kLeastBelowVolts &&
                                             *read.syncBelowVolts <= storage::kMostBelowVolts));
        QStringList problems;
        const storage::StorageConfig back = storage::parseStorageConfig(
            QString::fromLatin1(storage::storageConfigText(read)), &problems);
        ASSERT_EQ(back.syncSeconds, read.syncSeconds);
        ASSERT_TRUE(problems.isEmpty()) << problems.join(u' ').toStdString();
        held += read.holds() ? 1 : 0;
    }
    EXPECT_GT(held, 100); // the generator does make good periods
}

// view.cfg of any content: the trend is hidden only by a ShowTrend tag holding the digit 0.
TEST(Fuzz, ViewCfgHidesTheTrendOnlyWhenItSaysSo)
{
    PieceGenerator gen(seed() + 6);
    auto value = [](PieceGenerator& g, const char*) -> QByteArray {
        return g.below(3) ? g.number().toUtf8() : QByteArray(g.below(2) ? " 0 " : "0");
    };
    for (int file = 0; file < 20000; ++file) {
        const QByteArray content = taggedLines(gen, {"ShowTrend", "Trend"}, gen.below(4), value);
        if (!trend::showTrendFrom(content)) {
            const qsizetype open = content.indexOf("<ShowTrend>");
            ASSERT_GE(open, 0) << content.toStdString();
            const qsizetype close = content.indexOf("</ShowTrend>", open);
            ASSERT_GT(close, open) << content.toStdString();
            ASSERT_EQ(content.mid(open + 11, close - open - 11).trimmed(), "0");
        }
    }
}

// Season's keys in view.cfg of any content: each read within its bounds or left as its default;
// a key of Season's written over any content reads back as written, the trend's line kept.
TEST(Fuzz, ViewCfgGivesSeasonAViewWithinBoundsAndKeepsTheOtherKeys)
{
    PieceGenerator gen(seed() + 8);
    auto value = [](PieceGenerator& g, const char* key) -> QByteArray {
        if (QByteArray(key) == "SeasonSeries" && g.below(2))
            return QByteArray::number(g.below(1 << 6), 2);
        if (QByteArray(key) == "SeasonDays" && g.below(2))
            return g.below(2) ? "year" : "2024-03-01..2024-03-0" + QByteArray::number(g.below(12));
        return g.below(3) ? g.number().toUtf8() : QByteArray::number(g.below(12000));
    };
    const QStringList named{QStringLiteral("7"), QStringLiteral("30"), QStringLiteral("year")};
    for (int file = 0; file < 5000; ++file) {
        const QByteArray content =
            taggedLines(gen,
                        {"SeasonTab", "SeasonEnergy", "SeasonDays", "SeasonSeries", "SeasonRobust",
                         "SeasonWidth", "SeasonHeight"},
                        gen.below(4), value);
        const season::SeasonView v = season::seasonViewFrom(content);
        ASSERT_TRUE(v.tab >= 0 && v.tab <= 9 && v.energySpan >= 0 && v.energySpan <= 2);
        ASSERT_TRUE(v.size.width() >= 200 && v.size.width() <= 10000 && v.size.height() >= 150 &&
                    v.size.height() <= 10000);
        ASSERT_TRUE(named.contains(v.days) || v.days.contains(QStringLiteral("..")));
        // Season's key written over any content reads back; the trend's own line stays.
        const bool withTrend = !content.contains("ShowTrend");
        const QByteArray before =
            withTrend ? content + "\r\n<ShowTrend>0</ShowTrend>\r\n" : content;
        const int tab = gen.below(10);
        const QByteArray after =
            core::withKeys(before, QStringLiteral("View Settings"),
                           {{QStringLiteral("SeasonTab"), QString::number(tab)}});
        ASSERT_EQ(season::seasonViewFrom(after).tab, tab) << before.toStdString();
        if (withTrend) {
            ASSERT_FALSE(trend::showTrendFrom(after)) << before.toStdString();
        }
    }
}

// A day's month pack of any content, read through the cache as the Season window reads it:
// random bytes, a real pack damaged, or a whole pack of random summaries made for the day file as
// it is. The day's summary is the pack's when the pack is whole and of the file, otherwise the
// one made from the file; either way the pack is whole afterwards.
TEST(Fuzz, MonthPacksOfAnyContentGiveTheFilesSummaryOrThePacks)
{
    PieceGenerator gen(seed() + 7);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const core::AppDir app(dir.filePath(QStringLiteral("app")));
    ASSERT_TRUE(QDir().mkpath(app.logsDir()));
    const QDate day(2024, 3, 7);
    const season::SummarySource source{app, dir.filePath(QStringLiteral("cache")),
                                       QDate(2025, 1, 1)};
    const QByteArray dayText = "<V>12.5</V><I>3</I><W>37.5</W><R>300</R><S>5</S><M>1</M>"
                               "<T>10:00</T>\r\n<V>13</V><I>4</I><W>52</W><T>10:05</T>\r\n";
    ASSERT_TRUE(core::replaceFile(app.dailyLog(day), dayText));
    const QFileInfo info(app.dailyLog(day));
    const season::SourceStamp stamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
    const season::DaySummary fromFile = season::summarizeDay(dayText);
    const QString pack = season::summaryFile(source, day);
    ASSERT_TRUE(QDir().mkpath(source.cacheDir));
    auto same = [](const season::DaySummary& a, const season::DaySummary& b) {
        return a.records == b.records &&
               std::memcmp(a.buckets.data(), b.buckets.data(), sizeof a.buckets) == 0;
    };
    int fromPack = 0;
    for (int k = 0; k < 200; ++k) {
        // Every tenth a whole pack that holds the day as its file is now.
        const bool whole = k % 10 == 0;
        std::vector<season::PackedDay> days(std::size_t(gen.below(4) + (whole ? 1 : 0)));
        for (season::PackedDay& d : days) {
            const bool ofFile = (whole && &d == &days.back()) || gen.below(2);
            d.date = ofFile ? day : QDate::fromJulianDay(gen.below(1 << 30) - (1 << 29));
            d.stamp = ofFile ? stamp : season::SourceStamp{gen.below(100), gen.below(100)};
            d.summary.records = std::uint32_t(gen.rng()());
            char* raw = reinterpret_cast<char*>(d.summary.buckets.data());
            for (std::size_t at = 0; at + 4 <= sizeof d.summary.buckets;
                 at += 4 * (1 + gen.below(50))) {
                const std::uint32_t word = gen.rng()();
                std::memcpy(raw + at, &word, 4);
            }
        }
        QByteArray bytes = season::encodePack(days);
        const int kind = whole ? 2 : gen.below(3);
        if (kind == 0) { // random bytes
            bytes = QByteArray(gen.below(200), '\0');
            for (char& c : bytes)
                c = char(gen.below(256));
        } else if (kind == 1) { // a real pack damaged
            for (int n = gen.below(4) + 1; n > 0 && !bytes.isEmpty(); --n) {
                const int at = gen.below(int(bytes.size()));
                switch (gen.below(3)) {
                case 0:
                    bytes[at] = char(bytes[at] ^ char(1 + gen.below(255)));
                    break;
                case 1:
                    bytes.truncate(at);
                    break;
                default:
                    bytes.insert(at, char(gen.below(256)));
                }
            }
        }
        ASSERT_TRUE(core::replaceFile(pack, bytes));
        const std::optional<std::vector<season::PackedDay>> decoded = season::decodePack(bytes);
        ASSERT_TRUE(!decoded || decoded->size() <= season::kMaxPackDays);
        const season::PackedDay* kept = nullptr;
        for (std::size_t d = 0; decoded && d < decoded->size() && !kept; ++d) {
            if ((*decoded)[d].date == day && (*decoded)[d].stamp == stamp)
                kept = &(*decoded)[d];
        }
        const std::optional<season::DaySummary> got = season::daySummary(source, day);
        ASSERT_TRUE(got);
        ASSERT_TRUE(same(*got, kept ? kept->summary : fromFile)) << "kind " << kind;
        fromPack += kept ? 1 : 0;
        const auto after = season::decodePack(*core::readWholeFile(pack));
        ASSERT_TRUE(after);
    }
    EXPECT_GE(fromPack, 20); // whole packs of the file are taken as they are
}

} // namespace
