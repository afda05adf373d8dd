// The battery's days: the lowest and highest volts of each day file with their times, the charge
// and load hours from the energy ledger (its optional <AH> and <LOAD>), whether the bank was full
// and how long ago it last was.

#include "season/batteryconfig.h"
#include "season/batterydays.h"
#include "season/energybars.h"
#include "season/energyledger.h"
#include "tests/fixture.h"

#include <QDir>

namespace {

class BatteryDays : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    // Records every ten minutes at the volts given, but for the two times named.
    void writeDay(QDate date, double usual, QTime lowAt, double low, QTime highAt, double high)
    {
        QByteArray text;
        for (QTime t(0, 0); t.isValid();) {
            const double v = t == lowAt ? low : t == highAt ? high : usual;
            text +=
                QStringLiteral("<V>%1</V><I>2</I><W>25</W><R>100</R><S>10</S><M>0</M><T>%2</T>\r\n")
                    .arg(v)
                    .arg(t.toString(QStringLiteral("HH:mm")))
                    .toLatin1();
            const QTime next = t.addSecs(600);
            if (next < t)
                break;
            t = next;
        }
        ASSERT_TRUE(core::replaceFile(m_app.dailyLog(date), text));
    }
    season::SummarySource source() const
    {
        return {m_app, m_tmp.filePath(QStringLiteral("cache")), QDate(2024, 3, 7)};
    }
};

TEST_F(BatteryDays, LowestHighestChargeLoadAndDaysSinceFull)
{
    writeDay(QDate(2024, 3, 5), 12.6, QTime(3, 20), 12.05, QTime(13, 40), 14.5);
    writeDay(QDate(2024, 3, 6), 12.4, QTime(5, 10), 11.62, QTime(15, 0), 13.9);
    // Lines of this version beside a line written before the charge was kept.
    ASSERT_TRUE(core::replaceFile(season::energyLedgerFile(m_app),
                                  "<D>2024_3_5</D><H>10</H><Z>+0100</Z><WH>120</WH><AH>9.5</AH>"
                                  "<LOAD>30</LOAD>\r\n"
                                  "<D>2024_3_5</D><H>11</H><Z>+0100</Z><WH>80</WH><AH>6.25</AH>"
                                  "<LOAD>30</LOAD>\r\n"
                                  "<D>2024_3_6</D><H>9</H><WH>50</WH>\r\n"));
    const auto days = season::readBatteryDays(source(), QDate(2024, 3, 5), QDate(2024, 3, 7),
                                              season::kFullVolts12);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_TRUE(days[0].logged);
    EXPECT_DOUBLE_EQ(days[0].lowVolts, 12.05);
    EXPECT_EQ(days[0].lowAt, QTime(3, 20));
    EXPECT_DOUBLE_EQ(days[0].highVolts, 14.5);
    EXPECT_EQ(days[0].highAt, QTime(13, 40));
    EXPECT_TRUE(days[0].reachedFull);
    EXPECT_DOUBLE_EQ(days[0].chargeWh, 200);
    EXPECT_EQ(days[0].chargeAh, 15.75);
    EXPECT_EQ(days[0].loadHours, 1.0);
    EXPECT_DOUBLE_EQ(days[1].lowVolts, 11.62);
    EXPECT_EQ(days[1].lowAt, QTime(5, 10));
    EXPECT_FALSE(days[1].reachedFull);
    EXPECT_FALSE(days[1].chargeAh);
    EXPECT_FALSE(days[2].logged);
    EXPECT_EQ(season::daysSinceFull(days, QDate(2024, 3, 7)), 2);
    EXPECT_EQ(season::batterySummary(days, QDate(2024, 3, 7), season::kFullVolts12),
              QStringLiteral("Battery: lowest 11.62 V on 2024-03-06 at 05:10; last full 2 days "
                             "ago (full at 14.4 V)."));
    EXPECT_EQ(season::batteryDaysCsv(days),
              QByteArray("date,low_volts,low_time,high_volts,high_time,charge_ah,charge_wh,"
                         "load_hours,full\r\n"
                         "2024-03-05,12.05,03:20,14.5,13:40,15.75,200,1,yes\r\n"
                         "2024-03-06,11.62,05:10,13.9,15:00,,50,,no\r\n"
                         "2024-03-07,,,,,,0,,\r\n"));
}

// The charge tags are written only when counted, and read back; a damaged one spoils its line.
TEST(LedgerCharge, TheOptionalTagsFollowTheWattHours)
{
    season::EnergyLedger ledger;
    const QDateTime at(QDate(2024, 3, 7), QTime(14, 10), Qt::OffsetFromUTC, 3600);
    ledger.add(at, 24, 2, 1.5);
    ledger.add(at.addSecs(60), 24, 2, 0.5);
    const auto line = ledger.closeHour();
    ASSERT_TRUE(line);
    EXPECT_EQ(
        season::lineFor(*line),
        QByteArray("<D>2024_3_7</D><H>14</H><Z>+0100</Z><WH>48</WH><AH>4</AH><LOAD>2</LOAD>\r\n"));
    season::EnergyLedger old;
    old.add(at, 24);
    EXPECT_EQ(season::lineFor(*old.closeHour()),
              QByteArray("<D>2024_3_7</D><H>14</H><Z>+0100</Z><WH>24</WH>\r\n"));
    const season::LedgerContent read =
        season::parseLedger("<D>2024_3_7</D><H>14</H><WH>48</WH><AH>4</AH><LOAD>2</LOAD>\r\n"
                            "<D>2024_3_7</D><H>15</H><WH>10</WH><AH>-1</AH>\r\n"
                            "<D>2024_3_7</D><H>16</H><WH>10</WH><LOAD>x</LOAD>\r\n"
                            "<D>2024_3_7</D><H>17</H><WH>10</WH>\r\n");
    EXPECT_EQ(read.badLines, 2);
    EXPECT_DOUBLE_EQ(season::dayWattHours(read.days.at(QDate(2024, 3, 7))), 58);
    EXPECT_DOUBLE_EQ(read.charge.at(QDate(2024, 3, 7)).ampHours, 4);
    EXPECT_DOUBLE_EQ(read.charge.at(QDate(2024, 3, 7)).loadMinutes, 2);
}

} // namespace
