// The energy ledger and its bars, through real files and on chosen clock times; the Season
// window's reading off its thread, on a generated year of day files.
#include "core/clock.h"
#include "core/files.h"
#include "logging/logfiles.h"
#include "publish/energyhour.h"
#include "season/energybars.h"
#include "season/energyledger.h"
#include "season/season.h"
#include "season/summarycache.h"
#include "season/viewjobs.h"
#include "tests/envguard.h"
#include "tests/fixture.h"
#include "tools/daylog.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <ctime>
#include <future>

namespace {

const QDate kDay(2024, 3, 7);

QDateTime at(QDate day, int h, int m, int s = 0)
{
    return QDateTime(day, QTime(h, m, s));
}

// Appends what comes back, as the station's write path does.
void appendAll(const core::AppDir& app, const std::vector<season::LedgerLine>& lines)
{
    logging::PendingWrites pending;
    for (const season::LedgerLine& l : lines)
        pending.add(season::ledgerWrite(app, l));
    ASSERT_TRUE(logging::writePending(pending).empty());
}

// Feeds a ledger every 5 s from..to with watts(t) / 720, as the energy tick does; returns the
// lines it closed and adds the total counted to `total`.
std::vector<season::LedgerLine> feed(season::EnergyLedger& ledger, const QDateTime& from,
                                     const QDateTime& to, double (*watts)(int), double& total)
{
    std::vector<season::LedgerLine> lines;
    int k = 0;
    for (QDateTime t = from; t < to; t = t.addSecs(5), ++k) {
        const double wh = watts(k) / 720.0;
        total += wh;
        if (auto line = ledger.add(t, wh))
            lines.push_back(*line);
    }
    return lines;
}

double gusty(int k)
{
    return 100 + 80 * std::sin(k * 0.01) + (k % 97 == 0 ? 900 : 0);
}

double calm(int)
{
    return 0;
}

} // namespace

TEST(EnergyLedger, LineAsTheDailyLogWritesNumbersWithItsOffset)
{
    EXPECT_EQ(season::lineFor({kDay, 14, 123.45, 3600}),
              QByteArray("<D>2024_3_7</D><H>14</H><Z>+0100</Z><WH>123.45</WH>\r\n"));
    EXPECT_EQ(season::lineFor({QDate(2024, 12, 31), 0, 0.00001, -(3 * 3600 + 1800)}),
              QByteArray("<D>2024_12_31</D><H>0</H><Z>-0330</Z><WH>1E-05</WH>\r\n"));
    EXPECT_EQ(season::lineFor({kDay, 5, -2.5, 0}),
              QByteArray("<D>2024_3_7</D><H>5</H><Z>+0000</Z><WH>-2.5</WH>\r\n"));
}

class EnergyLedgerFiles : public AppDirTest
{};

TEST_F(EnergyLedgerFiles, AcrossMidnightEachHourOnceAndTheDayAddsUp)
{
    season::EnergyLedger ledger;
    double total = 0;
    std::vector<season::LedgerLine> lines =
        feed(ledger, at(kDay, 22, 0), at(kDay.addDays(1), 1, 30), gusty, total);
    lines.push_back(*ledger.closeHour());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].date, kDay);
    EXPECT_EQ(lines[0].hour, 22);
    EXPECT_EQ(lines[1].hour, 23);
    EXPECT_EQ(lines[2].date, kDay.addDays(1));
    EXPECT_EQ(lines[2].hour, 0);
    EXPECT_EQ(lines[3].hour, 1);
    appendAll(m_app, lines);

    const season::LedgerContent read = season::readLedger(m_app);
    EXPECT_EQ(read.badLines, 0);
    ASSERT_EQ(read.days.size(), 2u);
    const double sum = season::dayWattHours(read.days.at(kDay)) +
                       season::dayWattHours(read.days.at(kDay.addDays(1)));
    EXPECT_NEAR(sum, total, 0.01);
    EXPECT_FALSE(ledger.closeHour());
}

TEST_F(EnergyLedgerFiles, ARestartInsideAnHourAddsASecondLineThatReadersAdd)
{
    double total = 0;
    for (const auto& [from, to] : {std::pair(at(kDay, 14, 0), at(kDay, 14, 20, 3)),
                                   std::pair(at(kDay, 14, 21), at(kDay, 14, 59, 58))}) {
        season::EnergyLedger run; // one start of the program
        std::vector<season::LedgerLine> lines = feed(run, from, to, gusty, total);
        EXPECT_TRUE(lines.empty());
        lines.push_back(*run.closeHour());
        appendAll(m_app, lines);
    }
    const QByteArray bytes = fileBytes(season::energyLedgerFile(m_app));
    EXPECT_EQ(bytes.count("<H>14</H>"), 2);
    const season::LedgerContent read = season::readLedger(m_app);
    EXPECT_NEAR(read.days.at(kDay)[14], total, 0.01);
}

TEST_F(EnergyLedgerFiles, ADayWithoutFramesWritesNothing)
{
    season::EnergyLedger ledger;
    double total = 0;
    const auto lines = feed(ledger, at(kDay, 0, 0), at(kDay.addDays(1), 0, 0), calm, total);
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(ledger.closeHour());
    EXPECT_FALSE(QFile::exists(season::energyLedgerFile(m_app)));
    EXPECT_TRUE(season::readLedger(m_app).days.empty());
}

TEST(EnergyLedger, AClockTickInALaterHourClosesTheOpenOne)
{
    season::EnergyLedger ledger;
    EXPECT_FALSE(ledger.add(at(kDay, 9, 59, 55), 2.5));
    EXPECT_FALSE(ledger.flush(at(kDay, 9, 59, 59)));
    const auto line = ledger.flush(at(kDay, 10, 0, 2));
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, (season::LedgerLine{kDay, 9, 2.5, at(kDay, 9, 0).offsetFromUtc()}));
    EXPECT_FALSE(ledger.openHour());
}

TEST(EnergyLedger, BadLinesAreSkippedAndCounted)
{
    const char* const bad[] = {
        "<D>2024_2_30</D><H>1</H><WH>5</WH>",
        "<D>2024_3_7</D><H>24</H><WH>5</WH>",
        "<D>2024_3_7</D><H>-1</H><WH>5</WH>",
        "<D>2024_3_7</D><H>1</H><WH>five</WH>",
        "<D>2024_3_7</D><H>1</H><WH>5",
        "<D>2024_3_7<H>1</H><WH>5</WH>",
        "<D>2024_3_7</D><WH>5</WH>",
        "<D>2024_3_7</D><H>1</H><WH>inf</WH>",
        "garbage \x01\xff",
        "<D>2024_3</D><H>1</H><WH>5</WH>",
        "<D>99999_1_1</D><H>1</H><WH>5</WH>",
        "<D>1999_12_31</D><H>1</H><WH>5</WH>",
        "<D>2101_1_1</D><H>1</H><WH>5</WH>",
        "<D>2024_3_7</D><H>1</H><Z>+1500</Z><WH>5</WH>",
        "<D>2024_3_7</D><H>1</H><Z>0100</Z><WH>5</WH>",
        "<D>2024_3_7</D><H>1</H><Z>+01:00</Z><WH>5</WH>",
        "<D>2024_3_7</D><H>1</H><Z>+0160</Z><WH>5</WH>",
        "<D>2024_3_7</D><H>1</H><WH>1e308</WH>",
        "<D>2024_3_7</D><H>1</H><WH>1,5,0</WH>",
        "<D>2024_3_7</D><H>1</H><WH>1.5,0</WH>",
    };
    QByteArray content = "<D>2024_3_7</D><H>1</H><WH>5</WH>\r\n\r\n";
    for (const char* line : bad)
        content += QByteArray(line) + "\r\n";
    content += "<D>2100_12_31</D><H>1</H><Z>-1400</Z><WH>0.5</WH>\r\n"; // the last year
    content += "<D>2024_3_7</D><H>1</H><WH>2.5</WH>"; // no line end: the last line still counts
    const season::LedgerContent read = season::parseLedger(content);
    EXPECT_EQ(read.badLines, int(std::size(bad)));
    ASSERT_EQ(read.days.size(), 2u);
    EXPECT_DOUBLE_EQ(read.days.at(kDay)[1], 7.5);
    EXPECT_DOUBLE_EQ(read.days.at(QDate(2100, 12, 31))[1], 0.5);
}

// Written under German, read under English, as when a user changes the desktop's language: the
// new line has a point, and a line written with a comma before is still read.
TEST_F(EnergyLedgerFiles, ALedgerWrittenUnderGermanReadsUnderEnglish)
{
    QLocale::setDefault(QLocale::German);
    appendAll(m_app, {{kDay, 3, 1.25, 3600}, {kDay, 4, 0.00001, 3600}});
    QByteArray bytes = fileBytes(season::energyLedgerFile(m_app));
    EXPECT_EQ(bytes, QByteArray("<D>2024_3_7</D><H>3</H><Z>+0100</Z><WH>1.25</WH>\r\n"
                                "<D>2024_3_7</D><H>4</H><Z>+0100</Z><WH>1E-05</WH>\r\n"));
    bytes += "<D>2024_3_7</D><H>5</H><WH>2,5</WH>\r\n<D>2024_3_7</D><H>6</H><WH>1,5E-05</WH>\r\n";
    ASSERT_TRUE(core::replaceFile(season::energyLedgerFile(m_app), bytes));
    QLocale::setDefault(QLocale::English);
    const season::LedgerContent read = season::readLedger(m_app);
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(read.badLines, 0);
    ASSERT_EQ(read.days.count(kDay), 1u);
    EXPECT_DOUBLE_EQ(read.days.at(kDay)[3], 1.25);
    EXPECT_DOUBLE_EQ(read.days.at(kDay)[4], 0.00001);
    EXPECT_DOUBLE_EQ(read.days.at(kDay)[5], 2.5);
    EXPECT_DOUBLE_EQ(read.days.at(kDay)[6], 0.000015);
}

// A year no plant logged (a scribbled line) is a bad line, not thousands of empty years.
TEST(EnergyLedger, AYearOutsideTheLedgersYearsIsABadLineNotABar)
{
    const season::LedgerContent read = season::parseLedger(
        "<D>2024_3_7</D><H>1</H><Z>+0100</Z><WH>5</WH>\r\n<D>99999_3_7</D><H>1</H><WH>5</WH>\r\n");
    EXPECT_EQ(read.badLines, 1);
    const season::EnergyBars all = season::energyBars(read, season::EnergySpan::AllYears, 0, 0);
    ASSERT_EQ(all.bars.size(), 1u);
    EXPECT_DOUBLE_EQ(all.totalKWh, 0.005);
}

// 2024-10-27 in Berlin: the clocks go back from 03:00 summer time to 02:00 winter time, so the
// hour named 02 comes twice. A fake clock walks 01:00 to 04:00 local, every 5 s at 720 W, with
// the station's tick after each step: each of the four real hours gets its line, the two 02
// hours apart by their offsets, in the ledger and in the energy_hour messages.
TEST_F(EnergyLedgerFiles, TheHourRepeatedWhenTheClocksGoBackIsTwoLinesWithTheirOffsets)
{
    const LocalZone berlin("Europe/Berlin");
    if (QDateTime(QDate(2024, 7, 1), QTime(12, 0)).offsetFromUtc() != 7200) {
        SKIP_OR_FAIL_IN_CI("the time zone Europe/Berlin is not installed (Debian: tzdata)");
    }
    QDateTime now = QDateTime(QDate(2024, 10, 26), QTime(23, 0), Qt::UTC).toLocalTime();
    const core::Clock clock{[&now] {
        return now;
    }};
    ASSERT_EQ(clock.now().time(), QTime(1, 0));
    season::EnergyLedger ledger;
    std::vector<season::LedgerLine> lines;
    for (int step = 0; step < 4 * 720; ++step, now = now.addSecs(5)) {
        if (auto line = ledger.add(clock.now(), 1.0))
            lines.push_back(*line);
        if (auto line = ledger.flush(clock.now()))
            lines.push_back(*line);
    }
    EXPECT_EQ(clock.now().time(), QTime(4, 0));
    if (auto line = ledger.flush(clock.now()))
        lines.push_back(*line);
    appendAll(m_app, lines);

    const QDate day(2024, 10, 27);
    EXPECT_EQ(fileBytes(season::energyLedgerFile(m_app)),
              QByteArray("<D>2024_10_27</D><H>1</H><Z>+0200</Z><WH>720</WH>\r\n"
                         "<D>2024_10_27</D><H>2</H><Z>+0200</Z><WH>720</WH>\r\n"
                         "<D>2024_10_27</D><H>2</H><Z>+0100</Z><WH>720</WH>\r\n"
                         "<D>2024_10_27</D><H>3</H><Z>+0100</Z><WH>720</WH>\r\n"));
    const season::LedgerContent read = season::readLedger(m_app);
    EXPECT_EQ(read.badLines, 0);
    ASSERT_EQ(read.days.count(day), 1u);
    EXPECT_DOUBLE_EQ(read.days.at(day)[2], 1440); // the day's 25 hours all count
    EXPECT_DOUBLE_EQ(season::dayWattHours(read.days.at(day)), 4 * 720);

    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(publish::energyHourMessage(lines[1].date, lines[1].hour, lines[1].utcOffsetSeconds,
                                         lines[1].wattHours),
              QByteArray("{\"date\":\"2024-10-27\",\"hour\":2,\"offset\":\"+02:00\",\"wh\":720}"));
    EXPECT_EQ(publish::energyHourMessage(lines[2].date, lines[2].hour, lines[2].utcOffsetSeconds,
                                         lines[2].wattHours),
              QByteArray("{\"date\":\"2024-10-27\",\"hour\":2,\"offset\":\"+01:00\",\"wh\":720}"));
}

TEST(EnergyBars, MonthYearAndAllYearsWithTotalAndBestDay)
{
    season::LedgerContent ledger;
    auto put = [&](QDate d, int hour, double wh) {
        auto [it, made] = ledger.days.try_emplace(d);
        if (made)
            it->second.fill(0);
        it->second[std::size_t(hour)] += wh;
    };
    put(QDate(2023, 12, 31), 12, 500);
    put(QDate(2024, 3, 1), 10, 1000);
    put(QDate(2024, 3, 1), 11, 500);
    put(QDate(2024, 3, 7), 14, 2000);
    put(QDate(2024, 4, 1), 0, 250);

    const season::EnergyBars march = season::energyBars(ledger, season::EnergySpan::Month, 2024, 3);
    ASSERT_EQ(march.bars.size(), 31u);
    EXPECT_DOUBLE_EQ(march.bars[0].kWh, 1.5);
    EXPECT_DOUBLE_EQ(march.bars[6].kWh, 2.0);
    EXPECT_EQ(march.bars[6].isoPeriod, QStringLiteral("2024-03-07"));
    EXPECT_DOUBLE_EQ(march.totalKWh, 3.5);
    EXPECT_EQ(march.bestDay, QDate(2024, 3, 7));

    const season::EnergyBars year = season::energyBars(ledger, season::EnergySpan::Year, 2024, 0);
    ASSERT_EQ(year.bars.size(), 12u);
    EXPECT_DOUBLE_EQ(year.bars[2].kWh, 3.5);
    EXPECT_DOUBLE_EQ(year.bars[3].kWh, 0.25);
    EXPECT_EQ(year.bars[2].label, QStringLiteral("Mar"));
    EXPECT_EQ(year.bars[2].isoPeriod, QStringLiteral("2024-03"));
    EXPECT_DOUBLE_EQ(year.totalKWh, 3.75);

    const season::EnergyBars all = season::energyBars(ledger, season::EnergySpan::AllYears, 0, 0);
    ASSERT_EQ(all.bars.size(), 2u);
    EXPECT_DOUBLE_EQ(all.bars[0].kWh, 0.5);
    EXPECT_DOUBLE_EQ(all.totalKWh, 4.25);
    EXPECT_EQ(all.bestDay, QDate(2024, 3, 7));

    EXPECT_TRUE(season::energyBars({}, season::EnergySpan::AllYears, 0, 0).bars.empty());
    EXPECT_FALSE(season::energyBars(ledger, season::EnergySpan::Month, 2024, 2).bestDay.isValid());
}

TEST(EnergyHourMessage, TopicAndJsonWithAPointWhateverTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(publish::energyHourTopic(
                  publish::topicsFor(QStringLiteral("tessaly"), QStringLiteral("plant"))),
              QByteArray("tessaly/plant/energy_hour"));
    EXPECT_EQ(publish::energyHourMessage(kDay, 14, 3600, 123.45),
              QByteArray("{\"date\":\"2024-03-07\",\"hour\":14,\"offset\":\"+01:00\","
                         "\"wh\":123.45}"));
    EXPECT_EQ(publish::isoOffsetText(-(9 * 3600 + 30 * 60)), QByteArray("-09:30"));
    EXPECT_EQ(publish::isoOffsetText(0), QByteArray("+00:00"));
    QLocale::setDefault(QLocale::c());
}

namespace {

// A newer job of a lane supersedes an older one: on one thread the older ends first, and its
// answer, come first, is dropped.
TEST(ViewJobs, ANewerJobSupersedesAnOlderOneWhoseAnswerIsDropped)
{
    season::ViewJobs jobs(1);
    std::promise<void> gate;
    const std::shared_future<void> open = gate.get_future().share();
    std::atomic<bool> olderCancelled = false;
    std::vector<int> handed;
    jobs.start(
        0,
        [open, &olderCancelled](const season::CancelFlag& cancel) {
            open.wait();
            olderCancelled = cancel.load();
            return 1;
        },
        [&handed](int v) { handed.push_back(v); });
    jobs.start(
        0, [](const season::CancelFlag&) { return 2; }, [&handed](int v) { handed.push_back(v); });
    EXPECT_TRUE(jobs.busy(0));
    gate.set_value();
    ASSERT_TRUE(waitFor([&] { return !jobs.busy(0); }, 60000));
    EXPECT_EQ(handed, std::vector<int>{2});
    EXPECT_TRUE(olderCancelled);
}

// Going away, it cancels its jobs and waits for them: a job that runs until cancelled ends.
TEST(ViewJobs, GoingAwayCancelsItsJobsAndWaitsForThem)
{
    std::atomic<bool> ended = false;
    bool handed = false;
    {
        season::ViewJobs jobs(2);
        std::promise<void> started;
        jobs.start(
            1,
            [&started, &ended](const season::CancelFlag& cancel) {
                started.set_value();
                while (!cancel)
                    QThread::msleep(1);
                ended = true;
                return 0;
            },
            [&handed](int) { handed = true; });
        started.get_future().wait();
    }
    EXPECT_TRUE(ended);
    EXPECT_FALSE(handed);
}

const QDate kNewYear(2024, 1, 1);
const QString kReading = QStringLiteral("Reading the logs…");

// The Season window on a year of day files a minute apart, with an empty summary cache.
class SeasonColdYear : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
        std::array<std::string, 7> texts;
        for (std::size_t k = 0; k < texts.size(); ++k)
            texts[k] = sim::dayLogText({std::uint32_t(k + 1), 1440, 0, 60});
        for (int d = 0; d < 366; ++d) {
            QFile f(m_app.dailyLog(kNewYear.addDays(d)));
            const std::string& text = texts[std::size_t(d) % texts.size()];
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(text.data(), qint64(text.size())), qint64(text.size()));
        }
        ASSERT_FALSE(QDir(season::summaryCacheDir(m_app)).exists());
    }
    std::unique_ptr<season::Season> open()
    {
        const QDateTime lastDay(QDate(2024, 12, 31), QTime(12, 0));
        auto window = std::make_unique<season::Season>(m_app, core::Clock::fixed(lastDay), nullptr);
        window->show();
        return window;
    }
};

// The loop turns while a year is read: a timer of this thread fires again and again between the
// ask and the picture, which the old window drew before the click returned.
TEST_F(SeasonColdYear, TheLoopTurnsWhileAYearIsRead)
{
    auto window = open();
    int turns = 0;
    int turnsAtPicture = -1;
    QTimer marker;
    marker.setInterval(0);
    QObject::connect(&marker, &QTimer::timeout, [&turns] { ++turns; });
    QObject::connect(window.get(), &season::Season::daysShown, [&] {
        if (turnsAtPicture < 0)
            turnsAtPicture = turns;
    });
    marker.start();
    child<QPushButton>(*window, "ThisYear")->click();
    EXPECT_EQ(turns, 0);
    EXPECT_EQ(textOf(*window, "DaysText"), kReading);
    // The loop runs without pauses, so each of its turns fires the marker.
    QEventLoop loop;
    QObject::connect(window.get(), &season::Season::daysShown, &loop, &QEventLoop::quit);
    // Well inside ctest's limit, so a year that never shows fails here and says so.
    QTimer::singleShot(90000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_GE(turnsAtPicture, 0) << "no picture within 90 s";
    EXPECT_GT(turnsAtPicture, 20);
    ASSERT_EQ(window->run().days.size(), 366u);
    EXPECT_EQ(window->run().days[200]->records, 1440u);
    EXPECT_FALSE(window->columns().empty());
    EXPECT_FALSE(window->daysPicture().isNull());
    EXPECT_EQ(textOf(*window, "DaysText"), QString());
}

// Closed while a year is read, the window goes at once; the months it had begun are kept right.
TEST_F(SeasonColdYear, ClosedWhileReadingItGoesAndTheKeptMonthsAreRight)
{
    auto window = open();
    child<QPushButton>(*window, "ThisYear")->click();
    ASSERT_EQ(textOf(*window, "DaysText"), kReading);
    child<QPushButton>(*window, "Exit")->click();
    window.reset();

    const season::SummarySource source{m_app, season::summaryCacheDir(m_app), {}};
    const auto run = season::runSummaries(source, kNewYear, QDate(2024, 12, 31));
    ASSERT_EQ(run.size(), 366u);
    for (int d = 0; d < 366; ++d) {
        SCOPED_TRACE(d);
        ASSERT_TRUE(run[std::size_t(d)]);
        const auto made = season::summarizeDay(fileBytes(m_app.dailyLog(kNewYear.addDays(d))));
        EXPECT_EQ(run[std::size_t(d)]->records, made.records);
        EXPECT_EQ(std::memcmp(run[std::size_t(d)]->buckets.data(), made.buckets.data(),
                              sizeof made.buckets),
                  0);
    }
}

} // namespace
