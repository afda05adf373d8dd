#include "core/appdir.h"
#include "core/datetime.h"
#include "core/numbers.h"
#include "core/tags.h"
#include "tests/envguard.h"
#include "tests/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace Qt::Literals::StringLiterals;

const QLocale kC(QLocale::C);
const QLocale kGerman(QLocale::German, QLocale::Germany);

TEST(TagValue, FirstOccurrencesAndAbsence)
{
    struct Case
    {
        const char* text;
        const char* key;
        std::optional<QString> value;
    } cases[] = {
        {"<V>512</V>", "V", QStringLiteral("512")},
        {"x<V> 12.5 </V>y", "V", QStringLiteral(" 12.5 ")},
        {"<V></V>", "V", QStringLiteral("")},
        {"<V>1</V><V>2</V>", "V", QStringLiteral("1")},
        {"<v>1</v>", "V", std::nullopt},
        {"<V>1", "V", std::nullopt},
        {"1</V>", "V", std::nullopt},
        {"12</V>]\r\n[<V>480</V>", "V", std::nullopt}, // closing before opening
        {"<Port>2</Port><LogOn>1</LogOn>", "LogOn", QStringLiteral("1")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(core::tagValue(QString::fromLatin1(c.text), QString::fromLatin1(c.key)), c.value)
            << c.text;
    }
}

TEST(Numeric, AcceptsDecimalNumbersOnly)
{
    struct Case
    {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"512", 512},
        {" 12.5 ", 12.5},
        {"-3", -3},
        {"+4", 4},
        {".5", 0.5},
        {"5.", 5},
        {"1e3", 1000},
        {"1.5E-2", 0.015},
        {"\t7\t", 7},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"abc", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1e", std::nullopt},
        {"--1", std::nullopt},
        {"1 2", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"0x10", std::nullopt},
        {"COM2", std::nullopt},
        {"1,5", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(core::isNumeric(QString::fromLatin1(c.text), kC), c.value.has_value()) << c.text;
        EXPECT_EQ(core::numericValue(QString::fromLatin1(c.text), kC), c.value) << c.text;
    }
    EXPECT_EQ(core::numericValue(u"1,5", kGerman), 1.5);
    EXPECT_EQ(core::numericValue(u"1.5", kGerman), 1.5);
}

// Texts beyond the double's range stay finite: too large gives the largest double, too small
// gives 0, whichever form they are written in.
TEST(Numeric, OutOfRangeTextsStayFinite)
{
    const double max = std::numeric_limits<double>::max();
    const QString zeros400(400, u'0');
    const struct
    {
        QString text;
        double value;
    } cases[] = {
        {u"1e999"_s, max},
        {u"-1e999"_s, -max},
        {u"1"_s + zeros400, max},
        {u"1e-999"_s, 0},
        {u"0."_s + zeros400 + u"1"_s, 0},
        {u"-0."_s + zeros400 + u"1"_s, 0},
        {u"0.000000000000000000001e-400"_s, 0},
        {u"0.0001e400"_s, max},
        {u"1"_s + zeros400 + u"e-800"_s, 0},
        {u"0."_s + zeros400 + u"1e800"_s, max},
        {u"1e99999999999999999999"_s, max},
        {u"1e-99999999999999999999"_s, 0},
    };
    for (const auto& c : cases) {
        const auto v = core::numericValue(c.text, kC);
        ASSERT_TRUE(v) << c.text.left(40).toStdString();
        EXPECT_EQ(*v, c.value) << c.text.left(40).toStdString();
    }
    EXPECT_EQ(core::finiteOrZero(std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(core::finiteOrZero(std::nan("")), 0.0);
    EXPECT_EQ(core::finiteOrZero(-max), -max);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour)
{
    struct Case
    {
        double value;
        int decimals;
        double expected;
    } cases[] = {
        {2.125, 2, 2.12},
        {12.035, 2, 12.04},
        {2.5, 0, 2},
        {3.5, 0, 4},
        {0.5, 0, 0},
        {1.5, 0, 2},
        {-2.5, 0, -2},
        {115.2, 2, 115.2},
        {12.8, 2, 12.8},
        {0.004, 2, 0},
        {-0.005, 2, -0},
        {1.005, 2, 1.0},
        {13.615, 2, 13.62},
        {299.95, 1, 300},
        {1e20, 2, 1e20},
        {0.125, 2, 0.12},
        {17.6 / 38.46, 2, 0.46},
    };
    for (const Case& c : cases)
        EXPECT_EQ(core::roundTo(c.value, c.decimals), c.expected) << c.value;
}

TEST(Rounding, SixteenBitIntegers)
{
    struct Case
    {
        double value;
        std::int16_t expected;
    } cases[] = {{12.49, 12}, {12.51, 13}, {12.5, 12},     {13.5, 14},       {1.5, 2},
                 {-0.5, 0},   {-1.5, -2},  {40000, 32767}, {-40000, -32768}, {1e300, 32767}};
    for (const Case& c : cases)
        EXPECT_EQ(core::toInt16(c.value), c.expected) << c.value;
    EXPECT_EQ(core::toInt16(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(core::toInt(12.5 * 1000), 12500);
}

TEST(NumberText, FifteenDigitsAndExponents)
{
    struct Case
    {
        double value;
        const char* text;
    } cases[] = {
        {0.5, "0.5"},
        {13.62, "13.62"},
        {40, "40"},
        {-1.25, "-1.25"},
        {0, "0"},
        {-0.0, "0"},
        {12.8, "12.8"},
        {9, "9"},
        {115.2, "115.2"},
        {1e-5, "1E-05"},
        {1.5e15, "1.5E+15"},
        {1e14, "100000000000000"},
        {0.0001, "0.0001"},
        {0.00012, "0.00012"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {-9 * 0.0, "0"},
        {1e100, "1E+100"},
        {0.1 + 0.2, "0.3"},
        {123456789012345678.0, "1.23456789012346E+17"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(core::numberText(c.value, kC), QString::fromLatin1(c.text)) << c.text;
    EXPECT_EQ(core::numberText(13.62, kGerman), QStringLiteral("13,62"));
    EXPECT_EQ(core::numberText(1.5e15, kGerman), QStringLiteral("1,5E+15"));
    EXPECT_EQ(core::numberText(std::numeric_limits<double>::infinity(), kC), QStringLiteral("0"));
}

TEST(DateTime, Texts)
{
    EXPECT_EQ(core::datePart(QDate(2024, 3, 7)), QStringLiteral("2024_3_7"));
    EXPECT_EQ(core::datePart(QDate(2024, 12, 31)), QStringLiteral("2024_12_31"));
    EXPECT_EQ(core::hoursMinutes(QTime(14, 5, 59)), QStringLiteral("14:05"));
    EXPECT_EQ(core::hoursMinutes(QTime(9, 30)), QStringLiteral("09:30"));
    EXPECT_EQ(core::longTimeText(QTime(14, 5, 7), kC), QStringLiteral("14:05:07"));
    EXPECT_EQ(core::longTimeText(QTime(14, 5, 7), kGerman), QStringLiteral("14:05:07"));
    EXPECT_EQ(core::longTimeText(QTime(14, 5, 7), QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("2:05:07 PM"));
    EXPECT_EQ(core::shortDateText(QDate(2024, 3, 7), kC), QStringLiteral("3/7/2024"));
    EXPECT_EQ(core::shortDateText(QDate(2024, 3, 7), kGerman), QStringLiteral("07.03.2024"));
    EXPECT_EQ(
        core::shortDateText(QDate(2024, 3, 7), QLocale(QLocale::English, QLocale::UnitedStates)),
        QStringLiteral("3/7/2024"));
}

// The hour an instant is in starts at an instant too: on the days the clocks change, the hours
// are the real ones, the autumn's 02:xx twice and an hour apart.
TEST(DateTime, HourStartIsAnInstant)
{
    const LocalZone berlin("Europe/Berlin");
    if (QDateTime(QDate(2024, 7, 1), QTime(12, 0)).offsetFromUtc() != 7200) {
        SKIP_OR_FAIL_IN_CI("the time zone Europe/Berlin is not installed (Debian: tzdata)");
    }
    const struct
    {
        QDateTime atUtc;
        QDateTime startUtc;
    } cases[] = {
        {QDateTime(QDate(2026, 7, 1), QTime(12, 5, 7, 250), Qt::UTC),
         QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC)},
        {QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC),
         QDateTime(QDate(2026, 7, 1), QTime(12, 0), Qt::UTC)},
        // 23:59:59.999, the day's last hour
        {QDateTime(QDate(2026, 7, 1), QTime(21, 59, 59, 999), Qt::UTC),
         QDateTime(QDate(2026, 7, 1), QTime(21, 0), Qt::UTC)},
        // spring: 01:59 winter time, then 03:30 summer time
        {QDateTime(QDate(2026, 3, 29), QTime(0, 59), Qt::UTC),
         QDateTime(QDate(2026, 3, 29), QTime(0, 0), Qt::UTC)},
        {QDateTime(QDate(2026, 3, 29), QTime(1, 30), Qt::UTC),
         QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC)},
        // autumn: 02:30 summer time, then 02:30 winter time
        {QDateTime(QDate(2026, 10, 25), QTime(0, 30), Qt::UTC),
         QDateTime(QDate(2026, 10, 25), QTime(0, 0), Qt::UTC)},
        {QDateTime(QDate(2026, 10, 25), QTime(1, 30), Qt::UTC),
         QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.atUtc.toString(Qt::ISODateWithMs).toStdString());
        const QDateTime start = core::hourStart(c.atUtc.toLocalTime());
        EXPECT_EQ(start.toUTC(), c.startUtc);
        EXPECT_EQ(start.time().minute(), 0);
    }
}

TEST(AppDir, Paths)
{
    const core::AppDir app{QStringLiteral("/opt/mill")};
    EXPECT_EQ(app.progCfg(), QStringLiteral("/opt/mill/prog.cfg"));
    EXPECT_EQ(app.settingsCfg(), QStringLiteral("/opt/mill/settings.cfg"));
    EXPECT_EQ(app.dailyLog(QDate(2024, 3, 7)), QStringLiteral("/opt/mill/logs/2024_3_7.txt"));
    EXPECT_EQ(app.htmlDir(), QStringLiteral("/opt/mill/html/"));
    EXPECT_EQ(app.excelDir(), QStringLiteral("/opt/mill/Excel/"));
    EXPECT_EQ(app.comLink(2), QStringLiteral("/opt/mill/com2"));
}

} // namespace

namespace {

// Where a program keeps its files, decided on real folders: a portable copy beside the program,
// an installed one in the user's own folder.
TEST(AppDirChoice, PortableBesideTheProgramInstalledPerUser)
{
    QTemporaryDir tmp;
    const QString user = tmp.filePath(u"home/.local/share/tessaly"_s);
    auto make = [&](const QString& relative, const QByteArray& bytes = "x") {
        const QString path = tmp.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(core::replaceFile(path, bytes));
    };
    make(u"portable/Tessaly"_s);
    make(u"usr/bin/Tessaly"_s);
    make(u"usr/share/tessaly/prog.cfg"_s, "<Port>1</Port>");
    make(u"usr/share/tessaly/settings.cfg"_s, "<VoltDivider>1</VoltDivider>");
    make(u"usr/share/tessaly/html/template.asp"_s, "<VV>");
    make(u"opt/bin/Tessaly"_s);
    make(u"withcfg/bin/prog.cfg"_s);
    QDir().mkpath(tmp.filePath(u"withcfg/share/tessaly"_s));
    const struct
    {
        const char* programDir;
        bool portable;
    } cases[] = {
        {"portable", true},    // a writable folder of its own: as it always was
        {"usr/bin", false},    // installed: bin/ beside share/tessaly
        {"opt/bin", true},     // a "bin" folder without installed samples is a portable copy
        {"withcfg/bin", true}, // prog.cfg beside the program: the user made it portable
    };
    for (const auto& c : cases) {
        const core::AppDirPlace place =
            core::chooseAppDir(tmp.filePath(QLatin1String(c.programDir)), user);
        EXPECT_EQ(place.portable, c.portable) << c.programDir;
        EXPECT_EQ(place.dir.dir, c.portable ? tmp.filePath(QLatin1String(c.programDir)) : user)
            << c.programDir;
    }

    // The user's folder is made and seeded; what the user changed is never overwritten.
    const core::AppDirPlace installed = core::chooseAppDir(tmp.filePath(u"usr/bin"_s), user);
    ASSERT_TRUE(core::seedAppDir(installed.dir, installed.samples));
    EXPECT_EQ(core::readWholeFile(installed.dir.progCfg()), "<Port>1</Port>");
    EXPECT_EQ(core::readWholeFile(installed.dir.path(u"html/template.asp"_s)), "<VV>");
    for (const QString& folder : {installed.dir.logsDir(), installed.dir.excelDir()})
        EXPECT_TRUE(QFileInfo(folder).isDir());
    ASSERT_TRUE(core::replaceFile(installed.dir.progCfg(), "<Port>3</Port>"));
    ASSERT_TRUE(core::seedAppDir(installed.dir, installed.samples));
    EXPECT_EQ(core::readWholeFile(installed.dir.progCfg()), "<Port>3</Port>");
    EXPECT_TRUE(QFileInfo(installed.dir.progCfg()).isWritable());
}

// A program folder that cannot be written to (a read-only mount stops root too) sends the files
// to the user's folder, unless prog.cfg stands beside the program.
TEST(AppDirChoice, ReadOnlyProgramFolderUsesTheUsersFolder)
{
    QTemporaryDir tmp;
    SmallDisk disk(tmp.filePath(u"ro"_s), 64);
    if (!disk.mounted())
        SKIP_OR_FAIL_IN_CI("needs a small tmpfs of its own: " << disk.error().toStdString());
    ASSERT_TRUE(core::replaceFile(tmp.filePath(u"ro/Tessaly"_s), "x"));
    ASSERT_TRUE(disk.readOnly());
    const QString user = tmp.filePath(u"user"_s);
    const core::AppDirPlace place = core::chooseAppDir(tmp.filePath(u"ro"_s), user);
    EXPECT_FALSE(place.portable);
    EXPECT_EQ(place.dir.dir, user);
}

} // namespace
