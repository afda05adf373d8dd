// How much of each day and month the plant saw: the fresh minutes and the records of each clock
// hour, kept in logs/completeness.txt, against the minutes and intervals of the day.

#include "season/completeness.h"
#include "tests/envguard.h"
#include "tests/fixture.h"

namespace {

using season::CompletenessCounter;
using season::CompletenessLine;

QDateTime at(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 11, day), QTime(hour, minute, second));
}

// A frame every 5 s counts its minute once; an hour's line comes when a frame or a record of
// another hour comes, or the clock's tick finds the hour over, and the last at close. The
// interval in force at the hour's end goes with it; an hour with nothing makes no line.
TEST(Completeness, TheCounterGivesEachHoursMinutesAndRecords)
{
    CompletenessCounter counter;
    counter.setInterval(60);
    EXPECT_FALSE(counter.flush(at(3, 14, 0)));
    for (int s = 50 * 60; s < 60 * 60; s += 5)
        EXPECT_FALSE(counter.freshFrame(at(3, 14, s / 60, s % 60)));
    EXPECT_FALSE(counter.record(at(3, 14, 59, 59)));
    EXPECT_FALSE(counter.flush(at(3, 14, 59, 59)));
    counter.setInterval(600);
    const auto first = counter.flush(at(3, 15, 0, 1));
    ASSERT_TRUE(first);
    EXPECT_TRUE(season::completenessLineFor(*first).startsWith("<D>2026_11_3</D><H>14</H>"));
    EXPECT_EQ(first->freshMinutes, 10);
    EXPECT_EQ(first->records, 1);
    EXPECT_EQ(first->intervalSeconds, 600);
    EXPECT_FALSE(counter.closeHour()) << "the hour since was empty";

    // The clock set back an hour: the hour it left is done, the earlier one counts anew.
    EXPECT_FALSE(counter.record(at(3, 16, 10)));
    const auto left = counter.freshFrame(at(3, 15, 10));
    ASSERT_TRUE(left);
    EXPECT_EQ(left->hour, 16);
    EXPECT_EQ(left->records, 1);
    EXPECT_EQ(left->freshMinutes, 0);
    const auto last = counter.closeHour();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->hour, 15);
    EXPECT_EQ(last->freshMinutes, 1);
}

// The written line, read back whole; damaged lines are skipped one by one and counted, the good
// ones kept; two lines of one hour (a restart within it) add up, the minutes to at most 60.
TEST(Completeness, TheFileReadsBackAndSkipsDamagedLines)
{
    const CompletenessLine line{QDate(2026, 11, 3), 14, 3600, 58, 6, 600};
    const QByteArray bytes = season::completenessLineFor(line);
    EXPECT_EQ(bytes,
              "<D>2026_11_3</D><H>14</H><Z>+0100</Z><FM>58</FM><REC>6</REC><IV>600</IV>\r\n");
    const QByteArray damaged[] = {
        "<D>2026_11_31</D><H>14</H><Z>+0100</Z><FM>5</FM><REC>6</REC><IV>600</IV>",
        "<D>99999_1_1</D><H>14</H><Z>+0100</Z><FM>5</FM><REC>6</REC><IV>600</IV>",
        "<D>2026_11_3</D><H>24</H><Z>+0100</Z><FM>5</FM><REC>6</REC><IV>600</IV>",
        "<D>2026_11_3</D><H>14</H><Z>+2500</Z><FM>5</FM><REC>6</REC><IV>600</IV>",
        "<D>2026_11_3</D><H>14</H><Z>+0100</Z><FM>61</FM><REC>6</REC><IV>600</IV>",
        "<D>2026_11_3</D><H>14</H><Z>+0100</Z><FM>5</FM><REC>1e308</REC><IV>600</IV>",
        "<D>2026_11_3</D><H>14</H><Z>+0100</Z><FM>5</FM><REC>6</REC><IV>0</IV>",
        "<D>2026_11_3</D><H>14</H><Z>+0100</Z><FM>-5</FM><REC>6</REC><IV>600</IV>",
        "<D>2026_11_3</D><H>14</H><Z>+0100</Z><FM>5</FM><REC>6</REC><IV>6",
    };
    QByteArray all = bytes;
    for (const QByteArray& d : damaged)
        all += d + "\r\n";
    all += "\r\n" + season::completenessLineFor({QDate(2026, 11, 3), 14, 3600, 5, 1, 60});
    const season::CompletenessContent content = season::parseCompleteness(all);
    EXPECT_EQ(content.badLines, int(std::size(damaged)));
    ASSERT_EQ(content.days.size(), 1u);
    const CompletenessLine& read = content.days.at(QDate(2026, 11, 3)).at({14, 3600});
    EXPECT_EQ(read.freshMinutes, 60);
    EXPECT_EQ(read.records, 7);
    EXPECT_EQ(read.intervalSeconds, 60);
}

// The day's and the month's shares, in Berlin: a whole day seen, a line lost for an hour,
// logging stopped (frames but no records), a day missing, the day the clocks go back (25 hours)
// and the day still running (up to the start of now's hour); none before the file's first day,
// when nothing was counted.
TEST(Completeness, DaysAndMonthsAgainstTheirMinutesAndIntervals)
{
    const LocalZone berlin("Europe/Berlin");
    if (QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc() != 7200) {
        SKIP_OR_FAIL_IN_CI("the time zone Europe/Berlin is not installed (Debian: tzdata)");
    }
    QByteArray file;
    auto hours = [&](QDate date, int from, int to, int offset, int fresh, int records) {
        for (int h = from; h < to; ++h)
            file += season::completenessLineFor({date, h, offset, fresh, records, 600});
    };
    const QDate whole(2026, 10, 20), lost(2026, 10, 21), stopped(2026, 10, 22),
        autumn(2026, 10, 25), today(2026, 10, 27);
    hours(whole, 0, 24, 7200, 60, 6);
    hours(lost, 0, 24, 7200, 60, 6);
    file.replace("<D>2026_10_21</D><H>9</H><Z>+0200</Z><FM>60</FM><REC>6</REC>",
                 "<D>2026_10_21</D><H>9</H><Z>+0200</Z><FM>0</FM><REC>6</REC>");
    hours(stopped, 0, 24, 7200, 60, 0);
    hours(autumn, 0, 3, 7200, 60, 6);
    hours(autumn, 2, 24, 3600, 60, 6);
    hours(today, 0, 15, 3600, 60, 6);
    const season::CompletenessContent content = season::parseCompleteness(file);
    ASSERT_EQ(content.badLines, 0);
    const QDateTime now(today, QTime(15, 20));

    const struct
    {
        const char* name;
        QDate day;
        int minutes;
        double fresh;
        double records;
    } rows[] = {
        {"whole", whole, 1440, 1, 1},
        {"line lost an hour", lost, 1440, 23.0 / 24, 1},
        {"logging stopped", stopped, 1440, 1, 0},
        {"missing", QDate(2026, 10, 23), 1440, 0, 0},
        {"clocks back", autumn, 1500, 1, 1},
        {"today to 15:00", today, 900, 1, 1},
        {"to come", QDate(2026, 10, 28), 0, 0, 0},
        {"before the file began", QDate(2026, 10, 19), 0, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const season::Completeness c = season::dayCompleteness(content, row.day, 600, now);
        EXPECT_EQ(c.minutes, row.minutes);
        EXPECT_NEAR(c.freshShare, row.fresh, 1e-9);
        EXPECT_NEAR(c.recordShare, row.records, 1e-9);
    }
    // October from the 20th, when the file began, to the 27th at 15:00: 7 days and 15 hours,
    // 25 hours on the day of the change.
    const season::Completeness month = season::monthCompleteness(content, 2026, 10, 600, now);
    EXPECT_EQ(month.minutes, (7 * 24 + 1 + 15) * 60);
    EXPECT_EQ(month.freshMinutes, (4 * 24 + 1 + 15) * 60 - 60);
    EXPECT_NEAR(month.intervals, month.minutes / 10.0, 1e-6);
    EXPECT_EQ(month.records, (3 * 24 + 1 + 15) * 6);
}

} // namespace
