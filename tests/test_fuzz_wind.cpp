// Seeded random files through the wind counts' reader (fuzz/fuzz_windbins.cpp is its libFuzzer
// target). Each run tries the same inputs (TESSALY_FUZZ_SEED picks others), so a failure can be
// replayed; the invariants are what must hold for any input at all.

#include "core/files.h"
#include "curve/windbins.h"
#include "tests/fuzzpieces.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using fuzzing::PieceGenerator;
using fuzzing::seed;

// A value for a key: mostly one of its own kind, else any number or piece.
QByteArray valueFor(PieceGenerator& gen, char key)
{
    switch (gen.below(3) ? key : 'X') {
    case 'M':
        return QByteArray::number(1990 + gen.below(130)) + '-' +
               QByteArray::number(gen.below(14)).rightJustified(gen.below(4) ? 2 : 1, '0');
    case 'N':
        return QByteArray::number(gen.below(2) ? gen.below(100) : gen.below(1 << 20));
    case 'B':
        return QByteArray::number(gen.below(80) * 0.5);
    case 'U':
        return gen.below(2) ? "m/s" : "WIND";
    case 'W':
        return gen.below(2) ? "0.5" : "1";
    default:
        return gen.below(2) ? gen.number().toUtf8() : gen.piece().toUtf8();
    }
}

QByteArray linesOf(PieceGenerator& gen, std::initializer_list<const char*> keys, int lines)
{
    QByteArray out;
    for (int l = 0; l < lines; ++l) {
        for (const char* key : keys) {
            if (gen.below(12) == 0)
                out += gen.piece().toUtf8(); // a broken piece instead
            else if (gen.below(40) != 0)
                out += QByteArray("<") + key + '>' + valueFor(gen, key[0]) + "</" + key + '>';
        }
        out += gen.below(10) ? "\r\n" : gen.below(2) ? "\n" : "";
    }
    return out;
}

// windbins.txt of any content: every count read lies within the limits, every line is read or
// counted, what is written of the counts reads back the same, and now and then the file goes
// through the loader for real.
TEST(FuzzWind, WindCountFilesGiveOnlyCountsWithinTheirLimits)
{
    SCOPED_TRACE(testing::Message() << "TESSALY_FUZZ_SEED=" << seed());
    PieceGenerator gen(seed() + 40);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("windbins.txt"));
    const curve::WindScale scale = curve::windScale(QStringLiteral("m/s"));
    std::size_t countsRead = 0;
    for (int file = 0; file < 3000; ++file) {
        QByteArray content = linesOf(gen, {"M", "B", "N"}, gen.below(30));
        if (gen.below(3) == 0)
            content.prepend(linesOf(gen, {"Units", "Width"}, 1));
        const curve::WindBinsContent read = curve::parseWindBins(content);
        countsRead += read.counts.size();
        int lines = 0;
        for (const QByteArray& line : content.split('\n'))
            lines += line.isEmpty() ? 0 : 1;
        ASSERT_EQ(int(read.counts.size()) + read.skippedLines + (read.units ? 1 : 0), lines);
        curve::WindBins bins(0.5);
        for (const curve::WindCount& c : read.counts) {
            ASSERT_TRUE(c.month >= curve::kFirstWindYear * 12 &&
                        c.month < (curve::kLastWindYear + 1) * 12);
            ASSERT_LE(std::fabs(c.centre), curve::kMaxBinCentre);
            ASSERT_TRUE(c.minutes >= 1 && c.minutes <= curve::kMaxMonthBinMinutes);
            bins.add(c.month, c.centre, c.minutes);
        }
        const QByteArray written = curve::windBinsFileBytes(bins, QStringLiteral("m/s"));
        const curve::WindBinsContent again = curve::parseWindBins(written);
        ASSERT_EQ(again.skippedLines, 0) << written.toStdString();
        ASSERT_EQ(again.counts, bins.counts()) << written.toStdString();
        if (file % 30 != 0)
            continue;
        ASSERT_TRUE(core::replaceFile(path, content));
        const curve::WindFileLoad load = curve::loadWindFile(path, scale);
        ASSERT_EQ(load.damaged, QFile::exists(path + QStringLiteral(".damaged")));
        for (const curve::WindCount& c : load.bins.counts())
            ASSERT_TRUE(std::isfinite(c.centre) && c.minutes >= 1 &&
                        c.minutes <= curve::kMaxMonthBinMinutes);
        QFile::remove(path + QStringLiteral(".damaged"));
    }
    EXPECT_GT(countsRead, 100u); // the generator does make good lines
}

} // namespace
