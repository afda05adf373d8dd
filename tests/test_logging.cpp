#include "datetime.h"
#include "logcontrol.h"
#include "logfiles.h"
#include "logger_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

using logging::IntervalPeaks;

const QLocale kC(QLocale::C);
const QLocale kGerman(QLocale::German, QLocale::Germany);
const IntervalPeaks kExample{{13.62, 4.15, 56.52, 0, 412.5, 18.3}};

TEST(LogFormats, WorkedExamplesByteForByte)
{
    EXPECT_EQ(logging::logRecordLine(kExample, 1, QTime(14, 5), kC),
              "<V>13.62</V><I>4.15</I><W>56.52</W><R>412.5</R><S>18.3</S><M>1</M><T>14:05</T>\r\n");
    EXPECT_EQ(logging::logRecordLine({}, -3, QTime(9, 30, 59), kC),
              "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>-3</M><T>09:30</T>\r\n");
    EXPECT_EQ(logging::logRecordLine({{0.00001, 40, 0, 0, 0, 0}}, 0, QTime(0, 0), kGerman),
              "<V>1E-05</V><I>40</I><W>0</W><R>0</R><S>0</S><M>0</M><T>00:00</T>\r\n");

    struct Case
    {
        std::int16_t mode;
        const char* units;
        QByteArray line;
    } history[] = {
        {1, "km/h", "13.62V\t\t4.15A\t\t56.52W\t\t412.5RPM\t\t18.3km/h\t\tLoad On\t\t14:05:07\r\n"},
        {2, "km/h", "13.62V\t\t4.15A\t\t56.52W\t\t412.5RPM\t\t18.3km/h\t\t\t\t14:05:07\r\n"},
        {0, "", "13.62V\t\t4.15A\t\t56.52W\t\t412.5RPM\t\t18.3\t\t\t\t14:05:07\r\n"},
    };
    for (const Case& c : history) {
        EXPECT_EQ(logging::historyLine(kExample, QString::fromLatin1(c.units),
                                       logging::loadText(c.mode), QStringLiteral("14:05:07"), kC),
                  c.line);
    }

    EXPECT_EQ(
        logging::spreadsheetHeader(QStringLiteral("km/h")) +
            logging::spreadsheetRow(kExample, logging::loadText(1), QStringLiteral("14:05:07"), kC),
        "<html><body><table><tr><td><b>Volts</b></td><td><b>Amps</b></td><td><b>Watts</b>"
        "</td><td><b>RPM</b></td><td><b>km/h</b></td><td><b>Mode</b></td><td><b>Time</b>"
        "</td></tr>\r\n\r\n<tr><td>13.62</td><td>4.15</td><td>56.52</td><td>412.5</td>"
        "<td>18.3</td><td>Load On</td><td>14:05:07</td></tr>\r\n\r\n");
    EXPECT_EQ(logging::spreadsheetHeader(QString()),
              "<html><body><table><tr><td><b>Volts</b></td><td><b>Amps</b></td><td><b>Watts</b>"
              "</td><td><b>RPM</b></td><td><b></b></td><td><b>Mode</b></td><td><b>Time</b>"
              "</td></tr>\r\n\r\n");
    EXPECT_EQ(logging::spreadsheetRow({{-1.25, 0, 0, 0, 0, 0.5}}, QString(),
                                      QStringLiteral("2:05:07 PM"), kGerman),
              "<tr><td>-1,25</td><td>0</td><td>0</td><td>0</td><td>0,5</td><td></td>"
              "<td>2:05:07 PM</td></tr>\r\n\r\n");
}

TEST(LogFormats, WebPagePlaceholders)
{
    const QString time = QStringLiteral("14:05:07");
    struct Case
    {
        QByteArray templ;
        std::int16_t mode;
        QByteArray page;
    } cases[] = {
        {"<VV>|<II>|<WW>|<WH>|<RR>|<SS>|<TT>|<MM>", 1,
         "13.62|4.15|56.52|1234.56789012346|412.5|18.3|14:05:07|Load On\r\n"},
        {"<VV> and <VV> again", 1, "13.62 and 13.62 again\r\n"},
        {"<vv> <Vv> <V V>", 1, "<vv> <Vv> <V V>\r\n"},
        {"no placeholders\r\nat all", 1, "no placeholders\r\nat all\r\n"},
        {"[<MM>]", 0, "[]\r\n"},
        {"\xc3\xa9 <TT> \xe9", 0, "\xc3\xa9 14:05:07 \xe9\r\n"}, // bytes pass through as they are
        {"", 0, "\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(logging::webPage(c.templ, kExample, 1234.567890123456, time,
                                   logging::loadText(c.mode), kC),
                  c.page)
            << c.templ.constData();
    }
}

TEST(LogFormats, FileNames)
{
    const core::AppDir app{QStringLiteral("/m")};
    EXPECT_EQ(app.dailyLog(QDate(2024, 3, 7)), QStringLiteral("/m/logs/2024_3_7.txt"));
    EXPECT_EQ(logging::spreadsheetFile(app, QDate(2024, 12, 31)),
              QStringLiteral("/m/Excel/2024_12_31.xls"));
    EXPECT_EQ(logging::historyFile(app, core::shortDateText(QDate(2024, 3, 7), kC)),
              QStringLiteral("/m/html/history3_7_2024.txt"));
    EXPECT_EQ(logging::historyFile(app, core::shortDateText(QDate(2024, 3, 7), kGerman)),
              QStringLiteral("/m/html/history07.03.2024.txt"));
}

// A later write to a file that failed waits behind it; other files go on.
TEST(PendingWrites, KeepOrderPerFileAndReplaceOlderPages)
{
    QTemporaryDir tmp;
    const QString blocked = tmp.filePath(QStringLiteral("logs/a.txt"));
    const QString open = tmp.filePath(QStringLiteral("Excel/b.xls"));
    const QString page = tmp.filePath(QStringLiteral("html/log.asp"));
    ASSERT_TRUE(core::replaceFile(tmp.filePath(QStringLiteral("logs")), "in the way"));

    logging::PendingWrites pending;
    pending.add({blocked, "1\r\n", {}, {}});
    pending.add({open, "row1\r\n", {}, "head\r\n"});
    pending.add({page, "old page", logging::FileWrite::Kind::Replace, {}});
    pending.add({blocked, "2\r\n", {}, {}});
    pending.add({page, "new page", logging::FileWrite::Kind::Replace, {}});
    pending.add({open, "row2\r\n", {}, "head\r\n"});
    // Lines for one file wait as one write; only the newest page waits.
    EXPECT_EQ(pending.queue.size(), 3u);
    EXPECT_EQ(pending.records(), 4u);

    auto failures = logging::writePending(pending);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, blocked);
    EXPECT_EQ(failures[0].waiting, 2);
    EXPECT_EQ(pending.queue.size(), 1u);
    EXPECT_EQ(core::readWholeFile(open), "head\r\nrow1\r\nrow2\r\n");
    EXPECT_EQ(core::readWholeFile(page), "new page");
    EXPECT_TRUE(logging::failureWarnings(failures)[0].contains(QStringLiteral("2 lines")));

    ASSERT_TRUE(QFile::remove(tmp.filePath(QStringLiteral("logs"))));
    pending.add({blocked, "3\r\n", {}, {}});
    EXPECT_TRUE(logging::writePending(pending).empty());
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(core::readWholeFile(blocked), "1\r\n2\r\n3\r\n");
    EXPECT_TRUE(QDir(tmp.filePath(QStringLiteral("html"))).entryList(QDir::Files) ==
                QStringList{QStringLiteral("log.asp")}); // no temporary file left behind
}

TEST(AppendToFile, AFullDiskIsAFailure)
{
    QString error;
    EXPECT_FALSE(core::appendWhole(QStringLiteral("/dev/full"), "a whole line\r\n", {}, &error));
    EXPECT_FALSE(error.isEmpty());
}

class Logging : public LoggerWindow
{
protected:
    void writeFlags(const char* savehtml, const char* saveExcel, const char* units = "km/h")
    {
        writeProg(ProgFile{.Savehtml = savehtml,
                           .SaveExcel = saveExcel,
                           .LogDelay = "10",
                           .LogOn = "1",
                           .WSUnits = units});
    }
    QString dayLog() const { return m_app.dailyLog(m_now.date()); }
    QString history() const { return m_app.path(QStringLiteral("html/history3_7_2024.txt")); }
    QString page() const { return m_app.path(QStringLiteral("html/log.asp")); }
    QString sheet() const { return m_app.path(QStringLiteral("Excel/2024_3_7.xls")); }
    void writeTemplate()
    {
        ASSERT_TRUE(QDir(m_tmp.path()).mkpath(QStringLiteral("html")));
        ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("html/template.asp")),
                                      "<p><VV> V <MM> at <TT></p>"));
    }
};

const QByteArray kRecord =
    "<V>12.8</V><I>9</I><W>115.2</W><R>300</R><S>5</S><M>1</M><T>14:05</T>\r\n";
QByteArray zeros(int mode, const char* time)
{
    return "<V>0</V><I>0</I><W>0</W><R>0</R><S>0</S><M>" + QByteArray::number(mode) + "</M><T>" +
           time + "</T>\r\n";
}

TEST_F(Logging, FramesInRecordsOutThroughTheLine)
{
    writeFlags("1", "1");
    writeTemplate();
    auto pty = line(1);
    auto w = start();
    ASSERT_TRUE(w->logging());
    EXPECT_EQ(w->loggingInterval(), 10000);
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->peaks()[core::kWatts] == 115.2; }));
    send(*pty, "[<V>500</V><I>512</I><R>4</R><M>1</M><S>20</S>]\r\n"); // lower: no peak moves
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kVolts] == 12.5; }));
    w->Timer1_Timer();
    EXPECT_EQ(w->peaks(), IntervalPeaks{});
    EXPECT_EQ(child<QPushButton>(*w, "BlinkLog")->palette().button().color(), QColor(Qt::red));
    EXPECT_EQ(fileBytes(dayLog()), kRecord);
    EXPECT_EQ(fileBytes(history()),
              "12.8V\t\t9A\t\t115.2W\t\t300RPM\t\t5km/h\t\tLoad On\t\t14:05:07\r\n");
    EXPECT_EQ(fileBytes(page()), "<p>12.8 V Load On at 14:05:07</p>\r\n");
    EXPECT_TRUE(fileBytes(sheet()).startsWith("<html><body><table>"));
    EXPECT_TRUE(fileBytes(sheet()).endsWith(
        "<tr><td>12.8</td><td>9</td><td>115.2</td><td>300</td><td>5</td><td>Load On</td>"
        "<td>14:05:07</td></tr>\r\n\r\n"));

    // An interval without frames logs zeros with the current mode; the header comes only once.
    w->Timer1_Timer();
    EXPECT_EQ(fileBytes(dayLog()), kRecord + zeros(1, "14:05"));
    EXPECT_EQ(fileBytes(sheet()).count("<html>"), 1);
    EXPECT_EQ(fileBytes(sheet()).count("<tr>"), 3);
    EXPECT_EQ(fileBytes(page()), "<p>0 V Load On at 14:05:07</p>\r\n");

    // A spreadsheet deleted during the day starts again with its header.
    ASSERT_TRUE(QFile::remove(sheet()));
    w->Timer1_Timer();
    EXPECT_EQ(fileBytes(sheet()).count("<html>"), 1);
    EXPECT_EQ(fileBytes(sheet()).count("<tr>"), 2);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(Logging, ExportsFollowTheirFlags)
{
    struct Case
    {
        const char *savehtml, *saveExcel;
        bool html, excel;
    } cases[] = {{"1", "0", true, false}, {"0", "1", false, true}, {"0", "0", false, false}};
    for (const Case& c : cases) {
        for (const char* folder : {"logs", "html", "Excel"})
            QDir(m_app.path(QString::fromLatin1(folder))).removeRecursively();
        writeFlags(c.savehtml, c.saveExcel);
        writeTemplate();
        auto w = start();
        w->Timer1_Timer();
        EXPECT_EQ(fileBytes(dayLog()), zeros(0, "14:05"));
        EXPECT_EQ(QFileInfo::exists(history()), c.html);
        EXPECT_EQ(QFileInfo::exists(page()), c.html);
        EXPECT_EQ(QFileInfo::exists(sheet()), c.excel);
    }
}

TEST_F(Logging, StartButtonChecksAndCorrectsTheDelay)
{
    struct Case
    {
        const char* typed;
        const char* shown; // nullptr: refused with the message
        int ms;
    } cases[] = {{"5", "10", 10000},     {"601", "600", 600000},  {"10", "10", 10000},
                 {"600", "600", 600000}, {"12.5", "12.5", 12500}, {" 30 ", " 30 ", 30000},
                 {"", nullptr, 0},       {"abc", nullptr, 0}};
    auto w = start();
    for (const Case& c : cases) {
        m_messages.clear();
        child<QLineEdit>(*w, "delay")->setText(QString::fromLatin1(c.typed));
        child<QPushButton>(*w, "StartLogging")->click();
        EXPECT_EQ(w->logging(), c.shown != nullptr) << c.typed;
        if (c.shown) {
            EXPECT_TRUE(m_messages.isEmpty());
            EXPECT_EQ(child<QLineEdit>(*w, "delay")->text(), QString::fromLatin1(c.shown));
            EXPECT_FALSE(child<QLineEdit>(*w, "delay")->isEnabled());
            EXPECT_EQ(w->loggingInterval(), c.ms);
            child<QPushButton>(*w, "StopLogging")->click();
            EXPECT_TRUE(child<QLineEdit>(*w, "delay")->isEnabled());
        } else {
            EXPECT_EQ(m_messages, QStringList{logging::kInvalidDelayMessage});
            EXPECT_TRUE(child<QPushButton>(*w, "StartLogging")->isEnabled());
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dayLog())); // no record at a start or a stop
}

TEST_F(Logging, NegativeValuesAndPeaksBeforeAStopNeverReachARecord)
{
    auto pty = line(1);
    auto w = start();
    child<QPushButton>(*w, "StartLogging")->click();
    send(*pty, "[<V>600</V><I>500</I><R>10</R><M>0</M><S>25</S>]\r\n"); // discharging: -6 A
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kAmps] == -6; }));
    child<QPushButton>(*w, "StopLogging")->click();
    child<QPushButton>(*w, "StartLogging")->click();
    EXPECT_EQ(w->peaks(), IntervalPeaks{});
    send(*pty, "[<V>520</V><I>500</I><M>0</M>]\r\n");
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kVolts] == 13; }));
    w->Timer1_Timer();
    EXPECT_EQ(fileBytes(dayLog()),
              "<V>13</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:05</T>\r\n");
}

TEST_F(Logging, FirstRecordAfterMidnightStartsTheNewDaysFiles)
{
    writeFlags("0", "1");
    m_now = QDateTime(QDate(2024, 2, 28), QTime(23, 59, 58));
    auto w = start();
    w->Timer1_Timer();
    m_now = m_now.addSecs(10);
    w->Timer1_Timer();
    const QByteArray first = fileBytes(m_app.dailyLog(QDate(2024, 2, 28)));
    const QByteArray second = fileBytes(m_app.dailyLog(QDate(2024, 2, 29)));
    EXPECT_TRUE(first.endsWith("<T>23:59</T>\r\n") && first.count("<V>") == 1);
    EXPECT_TRUE(second.endsWith("<T>00:00</T>\r\n") && second.count("<V>") == 1);
    EXPECT_EQ(fileBytes(m_app.path(QStringLiteral("Excel/2024_2_29.xls"))).count("<html>"), 1);
}

TEST_F(Logging, BlockedFolderKeepsRecordsUntilItCanBeWritten)
{
    writeFlags("1", "0");
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("logs")), "not a folder"));
    auto w = start(); // no template and no html folder either
    w->Timer1_Timer();
    m_now = m_now.addSecs(60);
    w->Timer1_Timer();
    EXPECT_EQ(w->pendingWrites(), 2u);
    EXPECT_TRUE(w->statusText().contains(m_app.path(QStringLiteral("logs"))))
        << w->statusText().toStdString();
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("template.asp")));
    EXPECT_EQ(fileBytes(history()).count("\r\n"), 2); // the html folder was made and written
    EXPECT_FALSE(QFileInfo::exists(page()));

    ASSERT_TRUE(QFile::remove(m_app.path(QStringLiteral("logs"))));
    writeTemplate();
    m_now = m_now.addSecs(60);
    w->Timer1_Timer();
    EXPECT_EQ(w->pendingWrites(), 0u);
    EXPECT_EQ(fileBytes(dayLog()), zeros(0, "14:05") + zeros(0, "14:06") + zeros(0, "14:07"));
    EXPECT_FALSE(w->statusText().contains(QStringLiteral("Cannot write")));
    EXPECT_TRUE(QFileInfo::exists(page()));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(Logging, RecordsStillWaitingAtCloseAreReported)
{
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("logs")), "not a folder"));
    auto w = start();
    child<QPushButton>(*w, "StartLogging")->click();
    w->Timer1_Timer();
    w->close();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("1 line")));
}

} // namespace
