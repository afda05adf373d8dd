// Day summaries through real day files and a real cache folder; the column reduction and CSV.
#include "history/dayreader.h"
#include "history/historyfacts.h"
#include "season/columns.h"
#include "season/dateaxis.h"
#include "season/energyledger.h"
#include "season/season.h"
#include "season/seasoncsv.h"
#include "season/summarycache.h"
#include "tests/fixture.h"
#include "tools/daylog.h"
#include "ui/windowlook.h"

#include <QMouseEvent>
#include <QPushButton>

#include <QDir>
#include <QFile>

namespace {

const QDate kFirst(2024, 1, 1);

class SeasonSummary : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        QDir().mkpath(m_app.logsDir());
        m_source = {m_app, m_tmp.filePath(QStringLiteral("cache")), kFirst.addYears(1)};
    }
    void writeDay(QDate d, const std::string& text)
    {
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(d), QByteArray::fromStdString(text)));
    }
    static std::string dayText(int seed, int step = 60)
    {
        return sim::dayLogText({std::uint32_t(seed), 86400 / step, 0, step});
    }
    season::SummarySource m_source;
};

bool sameBuckets(const season::DaySummary& a, const season::DaySummary& b)
{
    return a.records == b.records &&
           std::memcmp(a.buckets.data(), b.buckets.data(), sizeof a.buckets) == 0;
}

// Does what is asked of the window, then runs the loop until the window announces it shown:
// its data is read off its thread.
template <typename Signal> bool until(season::Season& window, Signal shown, auto ask)
{
    bool done = false;
    const auto connection = QObject::connect(&window, shown, [&done] { done = true; });
    ask();
    const bool ok = waitFor([&done] { return done; }, 60000);
    QObject::disconnect(connection);
    return ok;
}

} // namespace

TEST_F(SeasonSummary, ARunOfRealDayFilesWithGapsIsSummedAndKept)
{
    for (int d = 0; d < 40; ++d) {
        if (d % 9 != 4)
            writeDay(kFirst.addDays(d), dayText(d));
    }
    const auto run = season::runSummaries(m_source, kFirst, kFirst.addDays(39));
    ASSERT_EQ(run.size(), 40u);
    for (int d = 0; d < 40; ++d) {
        SCOPED_TRACE(d);
        ASSERT_EQ(run[std::size_t(d)].has_value(), d % 9 != 4);
        if (!run[std::size_t(d)])
            continue;
        EXPECT_EQ(run[std::size_t(d)]->records, 1440u);
        const auto made = season::summarizeDay(QByteArray::fromStdString(dayText(d)));
        EXPECT_TRUE(sameBuckets(*run[std::size_t(d)], made));
        EXPECT_TRUE(QFile::exists(season::summaryFile(m_source, kFirst.addDays(d))));
    }
}

TEST_F(SeasonSummary, DamagedOrTruncatedSummariesAreMadeAgain)
{
    writeDay(kFirst, dayText(3));
    const auto made = season::daySummary(m_source, kFirst);
    ASSERT_TRUE(made);
    const QString kept = season::summaryFile(m_source, kFirst);
    const QByteArray good = fileBytes(kept);
    QByteArray scribbled = good;
    scribbled[scribbled.size() / 2] = char(scribbled[scribbled.size() / 2] ^ 0x5a);
    for (const QByteArray& bad :
         {good.left(good.size() - 7), scribbled, QByteArray(), QByteArray(good.size(), '\xff')}) {
        ASSERT_TRUE(core::replaceFile(kept, bad));
        const auto again = season::daySummary(m_source, kFirst);
        ASSERT_TRUE(again);
        EXPECT_TRUE(sameBuckets(*again, *made));
        EXPECT_EQ(fileBytes(kept), good);
    }
}

TEST_F(SeasonSummary, ADayFileChangedAfterItsSummaryIsReadAgain)
{
    writeDay(kFirst, dayText(5));
    ASSERT_TRUE(season::daySummary(m_source, kFirst));
    ASSERT_TRUE(core::appendWhole(m_app.dailyLog(kFirst),
                                  "<V>99</V><I>1</I><W>5000</W><R>1</R><S>1</S><M>0</M>"
                                  "<T>12:34</T>\r\n"));
    const auto after = season::daySummary(m_source, kFirst);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->records, 1441u);
    EXPECT_FLOAT_EQ(after->buckets[12 * 6 + 3].max[2], 5000.0f);
}

TEST_F(SeasonSummary, TodaysFileIsReadFromTheFileAndNeverKept)
{
    m_source.today = kFirst;
    writeDay(kFirst, dayText(6));
    ASSERT_TRUE(season::daySummary(m_source, kFirst));
    EXPECT_FALSE(QFile::exists(season::summaryFile(m_source, kFirst)));
}

TEST_F(SeasonSummary, TheCacheLivesInTheUsersCacheFolderPerLogsFolder)
{
    const QString dir = season::summaryCacheDir(m_app);
    EXPECT_TRUE(dir.startsWith(qEnvironmentVariable("XDG_CACHE_HOME") +
                               QStringLiteral("/tessaly/summary/")));
    EXPECT_NE(dir, season::summaryCacheDir(core::AppDir{m_tmp.filePath(QStringLiteral("x"))}));
}

TEST_F(SeasonSummary, AMonthsPackIsMadeAgainWhenDamagedAndKeepsTheDaysNotAskedFor)
{
    for (int d = 0; d < 3; ++d)
        writeDay(kFirst.addDays(d), dayText(20 + d));
    ASSERT_EQ(season::runSummaries(m_source, kFirst, kFirst.addDays(2)).size(), 3u);
    const QString pack = season::summaryFile(m_source, kFirst);
    ASSERT_EQ(pack, season::summaryFile(m_source, kFirst.addDays(2)));
    const QByteArray good = fileBytes(pack);
    QByteArray scribbled = good;
    scribbled[scribbled.size() - 100] = char(scribbled[scribbled.size() - 100] ^ 0x01);
    ASSERT_TRUE(core::replaceFile(pack, scribbled));
    const auto again = season::runSummaries(m_source, kFirst, kFirst.addDays(2));
    EXPECT_EQ(fileBytes(pack), good);
    ASSERT_TRUE(again[2]);
    EXPECT_TRUE(
        sameBuckets(*again[2], season::summarizeDay(fileBytes(m_app.dailyLog(kFirst.addDays(2))))));

    // The middle day changes and only it is asked for: the pack holds all three as they are now.
    writeDay(kFirst.addDays(1), dayText(30, 600));
    const auto middle = season::daySummary(m_source, kFirst.addDays(1));
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->records, 144u);
    const QByteArray repacked = fileBytes(pack);
    ASSERT_TRUE(QDir(m_source.cacheDir).removeRecursively());
    season::runSummaries(m_source, kFirst, kFirst.addDays(2));
    EXPECT_EQ(repacked, fileBytes(pack));
    EXPECT_NE(repacked, good);
}

TEST_F(SeasonSummary, AnOddlyWrittenDayIsSummedAsTheHistoryWindowReadsIt)
{
    const QByteArray odd = QByteArray::fromStdString(dayText(8, 3600)) +
                           "<V>1.5E-05</V><I> 2 </I><W>3,5</W><R>+4</R><T>00:10</T>\r\n"
                           "<X>1</X><V>7</V><T>00:20</T>\r\n"
                           "<V>1</V><V>2</V><T>00:30</T>\r\n"
                           "<V>9</V><T>25:00</T>\r\n"
                           "<W>8</W><T>7:5</T>\r\n"
                           "<V></V><W>-0.125</W><T>12:00</T>\r\n"
                           "<V>1\r2</V><T>13:00</T>\r\n"
                           "junk <W>6</W> between <T>14:00</T> tags\r\n"
                           "<W>1234567890123456</W><T>15:00</T>\r\n"
                           "\r\n<W>5</W><T>23:59</T>";
    season::DaySummary expected;
    for (const history::LoadedRecord& r : history::parseDayLog(odd, -1.0, 2.0).records) {
        const auto minute = int(r.time * 1440.0 + 0.5);
        auto& b = expected.buckets[std::size_t(minute / season::kBucketMinutes)];
        for (std::size_t s = 0; s < season::kSeries; ++s) {
            const float v = float(r.values[core::kLogged[s]]);
            if (b.count == 0 || v < b.min[s])
                b.minMinute[s] = std::uint16_t(minute);
            if (b.count == 0 || v > b.max[s])
                b.maxMinute[s] = std::uint16_t(minute);
            b.min[s] = b.count == 0 ? v : std::min(b.min[s], v);
            b.max[s] = b.count == 0 ? v : std::max(b.max[s], v);
            b.sum[s] += v;
        }
        ++b.count;
        ++expected.records;
    }
    EXPECT_EQ(expected.records, 24u + 9u);
    EXPECT_TRUE(sameBuckets(season::summarizeDay(odd), expected));
}

TEST_F(SeasonSummary, AOneIntervalSpikeInAYearShowsInItsColumn)
{
    // A year of days at 10 minutes a record keeps the test quick; the spike is one record.
    season::DayRun run{kFirst, {}};
    std::string spiked = dayText(7, 600);
    const std::size_t at = spiked.find("<T>13:20</T>");
    ASSERT_NE(at, std::string::npos);
    const std::size_t w = spiked.rfind("<W>", at);
    spiked.replace(w + 3, spiked.find("</W>", w) - w - 3, "7777");
    const QByteArray plain = QByteArray::fromStdString(dayText(7, 600));
    for (int d = 0; d < 366; ++d) {
        run.days.push_back(
            season::summarizeDay(d == 200 ? QByteArray::fromStdString(spiked) : plain));
    }
    const auto columns = season::reduceColumns(run, {0, double(run.bucketCount())}, 1200);
    const auto spikeColumn = std::find_if(columns.begin(), columns.end(), [](const auto& c) {
        return !c.empty && c.max[2] == 7777.0f;
    });
    ASSERT_NE(spikeColumn, columns.end());
    EXPECT_EQ(season::columnDay(run, *spikeColumn), kFirst.addDays(200));
    EXPECT_EQ(run.minuteTime(spikeColumn->maxAt[2]), QDateTime(kFirst.addDays(200), QTime(13, 20)));
    EXPECT_EQ(season::columnExtremes(columns).max[2], 7777.0f);
}

TEST(SeasonDateAxis, MarksHoursDaysOrMonthsAsTheViewSpans)
{
    struct Case
    {
        int days;
        std::size_t count;
        const char* first;
        const char* second;
    };
    for (const Case& c : {Case{366, 12, "Jan 2024", "Feb"}, Case{60, 9, "1 Jan", "8 Jan"},
                          Case{7, 14, "1 Jan", "12:00"}, Case{1, 8, "1 Jan", "03:00"}}) {
        SCOPED_TRACE(c.days);
        const season::DayRun run{
            kFirst, std::vector<std::optional<season::DaySummary>>(std::size_t(c.days))};
        const auto ticks = season::dateTicks(run, {0, double(run.bucketCount())}, 1200, 70);
        ASSERT_EQ(ticks.size(), c.count);
        EXPECT_EQ(ticks[0].x, 0);
        EXPECT_EQ(ticks[0].label, QLatin1String(c.first));
        EXPECT_EQ(ticks[1].label, QLatin1String(c.second));
        for (std::size_t i = 1; i < ticks.size(); ++i)
            EXPECT_GE(ticks[i].x - ticks[i - 1].x, 70);
        EXPECT_LT(ticks.back().x, 1200);
    }
    // A zoomed view starts its marks at the first whole step inside it.
    const season::DayRun year{kFirst, std::vector<std::optional<season::DaySummary>>(366)};
    const auto zoomed = season::dateTicks(year, {100.25 * 144, 107.25 * 144}, 1200, 70);
    ASSERT_GE(zoomed.size(), 2u);
    EXPECT_EQ(zoomed[0].label, QStringLiteral("12:00"));
    EXPECT_GT(zoomed[0].x, 0);
    EXPECT_EQ(zoomed[1].label, QStringLiteral("11 Apr"));
}

TEST_F(SeasonSummary, CsvHasPointsAndIsoDatesUnderAGermanLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    season::DayRun run{
        kFirst,
        {std::nullopt, season::summarizeDay("<V>12.5</V><I>-1.25</I><W>0.5</W><R>300</R>"
                                            "<S>4.5</S><M>0</M><T>00:05</T>\r\n")}};
    const auto columns = season::reduceColumns(run, {0, double(run.bucketCount())}, 288);
    const QByteArray csv = season::columnsCsv(run, columns);
    EXPECT_TRUE(csv.startsWith("from,to,volts_min,volts_max,amps_min,amps_max,"));
    EXPECT_TRUE(csv.contains(",wind_speed_max,volts_min_at,volts_max_at,amps_min_at,"));
    EXPECT_TRUE(csv.contains("\r\n2024-01-02T00:00,2024-01-02T00:10,12.5,12.5,-1.25,-1.25,0.5,"
                             "0.5,300,300,4.5,4.5,2024-01-02T00:05,2024-01-02T00:05,"))
        << csv.toStdString();
    EXPECT_EQ(csv.count("\r\n"), 2);

    season::EnergyBars bars;
    bars.bars.push_back(
        {QStringLiteral("7"), QDate(2024, 3, 7), QStringLiteral("2024-03-07"), 1.5});
    EXPECT_EQ(season::barsCsv(bars), QByteArray("period,kwh\r\n2024-03-07,1.5\r\n"));
}

TEST_F(SeasonSummary, TheWindowShowsBarsAndASpikeInItsPixelColumn)
{
    ASSERT_TRUE(core::replaceFile(season::energyLedgerFile(m_app),
                                  "<D>2024_3_7</D><H>14</H><WH>1500</WH>\r\n"));
    // Flat series but the watts, which the spike reaches the top of the picture with.
    auto day = [](bool spike) {
        std::string text;
        for (int m = 0; m < 1440; m += 10) {
            const double watts = spike && m == 800 ? 99999 : 100 + m % 7;
            text += sim::logRecordText({12, 5, watts, 300, 4, 0, m * 60 + 60});
        }
        return text;
    };
    for (int d = 0; d < 60; ++d)
        writeDay(kFirst.addDays(d), day(d == 40));
    season::Season window(m_app, core::Clock::fixed(QDateTime(QDate(2024, 3, 8), QTime(12, 0))),
                          nullptr);
    ASSERT_TRUE(until(window, &season::Season::energyShown, [&] { window.show(); }));
    EXPECT_EQ(window.bars().bars.size(), 31u);
    EXPECT_DOUBLE_EQ(window.bars().totalKWh, 1.5);
    child<QLineEdit>(window, "From")->setText(QStringLiteral("2024-01-01"));
    child<QLineEdit>(window, "To")->setText(QStringLiteral("2024-03-01"));
    ASSERT_TRUE(until(window, &season::Season::daysShown,
                      [&] { child<QPushButton>(window, "ShowDays")->click(); }));
    const QImage& picture = window.daysPicture();
    ASSERT_FALSE(picture.isNull());
    const auto& columns = window.columns();
    const auto spike = std::find_if(columns.begin(), columns.end(),
                                    [](const auto& c) { return !c.empty && c.max[2] == 99999.0f; });
    ASSERT_NE(spike, columns.end());
    const int x = window.days().left + int(spike - columns.begin());
    // One record of a bucket among thousands lies beyond the watts' robust range: it is marked at
    // the top edge of their panel.
    const auto panel = std::find_if(window.days().panels.begin(), window.days().panels.end(),
                                    [](const auto& p) { return p.series == 2; });
    ASSERT_NE(panel, window.days().panels.end());
    bool found = false;
    for (int y = panel->top; y < panel->top + 3; ++y)
        found = found || picture.pixelColor(x, y) == season::kBeyondRange;
    EXPECT_TRUE(found);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(SeasonSummary, ADoubleClickOnADayOpensItInTheHistoryWindow)
{
    writeDay(QDate(2024, 3, 5), dayText(9, 600));
    season::Season window(m_app, core::Clock::fixed(QDateTime(QDate(2024, 3, 8), QTime(12, 0))),
                          nullptr);
    window.show();
    ASSERT_TRUE(until(window, &season::Season::daysShown,
                      [&] { child<QPushButton>(window, "Last7")->click(); }));
    auto* plot = child<QLabel>(window, "DaysPlot");
    // 5 March of 2..8, in the Days' columns from their left edge.
    const int columns = int(window.columns().size());
    const QPointF middle((window.days().left + columns * 3 / 7 + 2) / window.devicePixelRatioF(),
                         plot->height() / 2);
    QString shown;
    onModal([&](QWidget& modal) {
        shown = modal.windowTitle() + QLatin1Char(' ') + textOf(modal, "DateD1");
    });
    QMouseEvent click(QEvent::MouseButtonDblClick, middle, plot->mapToGlobal(middle),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &click);
    EXPECT_EQ(shown, QStringLiteral("Data Graph 5"));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('|')).toStdString();
}

TEST_F(SeasonSummary, ADragZoomsIntoAShorterRun)
{
    for (int d = 1; d <= 8; ++d)
        writeDay(QDate(2024, 3, d), dayText(d, 600));
    season::Season window(m_app, core::Clock::fixed(QDateTime(QDate(2024, 3, 8), QTime(12, 0))),
                          nullptr);
    window.show();
    ASSERT_TRUE(until(window, &season::Season::daysShown,
                      [&] { child<QPushButton>(window, "Last7")->click(); }));
    auto* plot = child<QLabel>(window, "DaysPlot");
    const int left = window.days().left;
    const qreal ratio = window.devicePixelRatioF();
    const int width = int(window.columns().size());
    auto mouse = [plot, left, ratio](QEvent::Type type, int column) {
        const QPointF at((left + column) / ratio, plot->height() / 2);
        QMouseEvent e(type, at, plot->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(plot, &e);
    };
    const double before = window.columns().back().endBucket;
    mouse(QEvent::MouseButtonPress, width * 2 / 7 + 1);
    ASSERT_TRUE(until(window, &season::Season::daysShown,
                      [&] { mouse(QEvent::MouseButtonRelease, width * 3 / 7 - 1); }));
    ASSERT_FALSE(window.columns().empty());
    // One day of the seven across the whole plot: 4 March.
    EXPECT_LT(window.columns().back().endBucket - window.columns().front().firstBucket, before / 5);
    EXPECT_EQ(season::columnDay(window.run(), window.columns()[window.columns().size() / 2]),
              QDate(2024, 3, 4));
}
