#pragma once

// What the seeded fuzz tests make their inputs of: pieces of frames and tagged files, numbers
// of every form, and calibrations that stretch the conversion.

#include "core/conversion.h"

#include <QString>

#include <cstdint>
#include <random>

namespace fuzzing {

// The seed of every run, TESSALY_FUZZ_SEED when it is set, so a failure can be replayed.
inline std::uint32_t seed()
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
    std::mt19937& rng() { return m_rng; }

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

} // namespace fuzzing
