// storage.cfg: its reader on damaged files, its words, and the records it holds in memory, through
// the plant's real files on a fake clock: held for the period and written once, written at once
// when the volts fall, at a stop and at close, and shown to the views that read a day.

#include "alarms/alarmconfig.h"
#include "alarms/alarmlog.h"
#include "core/files.h"
#include "history/graph.h"
#include "storage/storageconfig.h"
#include "storage/storagewindow.h"
#include "tests/envguard.h"
#include "tests/hangfs.h"
#include "tests/logger_window.h"
#include "tests/stationprobe.h"
#include "tests/webplant.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QThread>

#include <atomic>
#include <cmath>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

const QByteArray kTitleLine = "Storage Settings\r\n\r\n";

QByteArray storageFile(const QByteArray& seconds, const QByteArray& volts = {})
{
    QByteArray out = kTitleLine + "<SyncSeconds>" + seconds + "</SyncSeconds>\r\n";
    if (!volts.isEmpty())
        out += "<SyncBelowVolts>" + volts + "</SyncBelowVolts>\r\n";
    return out + "\r\n";
}

ino_t inodeOf(const QString& path)
{
    struct stat st
    {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
}

class StorageFile : public AppDirTest
{
protected:
    storage::StorageConfig read(const QByteArray& bytes, QString* warning)
    {
        EXPECT_TRUE(core::replaceFile(storage::storageCfgPath(m_app), bytes));
        return storage::readStorageConfig(m_app, warning);
    }
};

// A damaged file is the default (every record synced on its own), with a warning naming it.
TEST_F(StorageFile, ADamagedFileIsTheDefaultWithAWarning)
{
    const struct
    {
        const char* name;
        QByteArray bytes;
        const char* said;
    } cases[] = {
        {"empty", "", "first line"},
        {"cut short", kTitleLine + "<SyncSeco", "no <SyncSeconds>"},
        {"huge", storageFile("1e308"), "\"1e308\""},
        {"negative", storageFile("-300"), "\"-300\""},
        {"text", storageFile("five minutes"), "\"five minutes\""},
        {"wrong title", "Program Config File\r\n\r\n<SyncSeconds>300</SyncSeconds>\r\n",
         "first line"},
        {"missing close tag", kTitleLine + "<SyncSeconds>300\r\n", "no <SyncSeconds>"},
        {"just below", storageFile("59"), "\"59\""},
        {"just above", storageFile("3601"), "\"3601\""},
        {"a fraction", storageFile("300.5"), "\"300.5\""},
        {"empty value", storageFile(""), "\"\""},
    };
    for (const auto& c : cases) {
        QString warning;
        const storage::StorageConfig config = read(c.bytes, &warning);
        EXPECT_EQ(config, storage::StorageConfig{}) << c.name;
        EXPECT_TRUE(warning.startsWith(storage::storageCfgPath(m_app))) << c.name;
        EXPECT_TRUE(warning.contains(QLatin1String(c.said))) << c.name << warning.toStdString();
    }
}

TEST_F(StorageFile, AGoodFileIsTakenAsWritten)
{
    const struct
    {
        QByteArray bytes;
        int seconds;
        std::optional<double> volts;
        bool warned;
    } cases[] = {
        {storageFile("0"), 0, {}, false},
        {storageFile("60"), 60, {}, false},
        {storageFile(" 300 "), 300, {}, false},
        {storageFile("3600", "23.6"), 3600, 23.6, false},
        // A level that cannot be meant is not used; the period still is.
        {storageFile("300", "2"), 300, {}, true},
        {storageFile("300", "volts"), 300, {}, true},
        // LF line ends, as an editor may leave them.
        {"Storage Settings\n<SyncSeconds>120</SyncSeconds>\n", 120, {}, false},
    };
    for (const auto& c : cases) {
        QString warning;
        const storage::StorageConfig config = read(c.bytes, &warning);
        EXPECT_EQ(config.syncSeconds, c.seconds) << c.bytes.toStdString();
        EXPECT_EQ(config.syncBelowVolts, c.volts) << c.bytes.toStdString();
        EXPECT_EQ(!warning.isEmpty(), c.warned) << warning.toStdString();
        if (!c.warned) {
            EXPECT_EQ(storage::parseStorageConfig(
                          QString::fromLatin1(storage::storageConfigText(config))),
                      config);
        }
    }
}

TEST_F(StorageFile, NoFileIsTheDefaultSilentlyAndAnUnreadableOneSaysSo)
{
    QString warning = QStringLiteral("stale");
    EXPECT_EQ(storage::readStorageConfig(m_app, &warning), storage::StorageConfig{});
    EXPECT_TRUE(warning.isEmpty());
    ASSERT_TRUE(QDir(m_app.dir).mkdir(QStringLiteral("storage.cfg")));
    EXPECT_EQ(storage::readStorageConfig(m_app, &warning), storage::StorageConfig{});
    EXPECT_TRUE(warning.contains(u"cannot be read")) << warning.toStdString();
}

TEST(StorageWords, ThePeriodAndTheLevel)
{
    const struct
    {
        int seconds;
        const char* said;
    } periods[] = {
        {0, ""},
        {60, "Records are written every minute (storage.cfg)"},
        {90, "Records are written every 90 seconds (storage.cfg)"},
        {300, "Records are written every 5 minutes (storage.cfg)"},
        {3600, "Records are written every hour (storage.cfg)"},
    };
    for (const auto& p : periods)
        EXPECT_EQ(storage::heldNotice({p.seconds, {}}), QLatin1String(p.said)) << p.seconds;

    const struct
    {
        std::optional<double> file;
        std::optional<double> battLow;
        int nominal;
        double level;
    } levels[] = {
        {12.1, 11.5, 24, 12.1}, // the file's own
        {{}, 11.5, 24, 11.5},   // BattLow's, when that alarm is on
        {{}, {}, 0, 11.8},      // a bank not known yet counts as 12 V
        {{}, {}, 12, 11.8},     {{}, {}, 24, 23.6}, {{}, {}, 48, 47.2},
    };
    for (const auto& l : levels)
        EXPECT_DOUBLE_EQ(storage::syncBelowVolts({300, l.file}, l.battLow, l.nominal), l.level);
}

// The device is found through the system's dev/block links, as /sys has them; a folder on an SD
// card or eMMC with every record synced gets the suggestion, others do not.
TEST_F(StorageFile, AFolderOnAnSdCardGetsTheSuggestion)
{
    struct stat st
    {};
    ASSERT_EQ(::stat(QFile::encodeName(m_app.dir).constData(), &st), 0);
    const QString sys = m_app.path(QStringLiteral("sys"));
    const QString card = sys + QStringLiteral("/devices/platform/mmc0/block/mmcblk0/mmcblk0p2");
    ASSERT_TRUE(QDir().mkpath(card));
    ASSERT_TRUE(QDir().mkpath(sys + QStringLiteral("/dev/block")));
    ASSERT_TRUE(QFile::link(
        QStringLiteral("../../devices/platform/mmc0/block/mmcblk0/mmcblk0p2"),
        sys + QStringLiteral("/dev/block/%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev))));
    const QString device = storage::blockDeviceOf(m_app.dir, sys);
    EXPECT_EQ(device, QStringLiteral("mmcblk0p2"));
    EXPECT_EQ(storage::blockDeviceOf(m_app.dir, m_app.path(QStringLiteral("nosys"))), QString());

    const QString notice = storage::cardNotice({}, m_app.dir, device);
    EXPECT_TRUE(notice.startsWith(m_app.dir + QStringLiteral(" is on an SD card or eMMC")))
        << notice.toStdString();
    EXPECT_TRUE(notice.contains(u"<SyncSeconds>300</SyncSeconds>"));
    EXPECT_TRUE(storage::cardNotice({300, {}}, m_app.dir, device).isEmpty());
    EXPECT_TRUE(storage::cardNotice({}, m_app.dir, QStringLiteral("sda1")).isEmpty());
}

// A power cut while records are held: from a chosen moment on nothing written reaches the folder
// (tests/hangfs.py), and the program runs on to its close unaware. Ten records at a minute's
// interval, periods of five minutes, the cut before the eighth record: the folder keeps every
// record the disk was given before the cut, each line whole and once, in every appended file. With
// the volts well up it loses the two records held; with the volts fallen to the level before the
// seventh record none, since then every record is written at once.
TEST_F(StorageFile, APowerCutLosesAtMostThePeriodAndNoneOnceTheVoltsFell)
{
    const struct
    {
        const char* name;
        int lowFrom; // the first record whose frame is below the level; -1: none is
        int kept;    // the records the folder keeps
    } rows[] = {{"volts up", -1, 5}, {"volts fell first", 6, 7}};
    constexpr int kRecords = 10;
    constexpr int kCutBefore = 7;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString mirror = m_tmp.filePath(QString::fromLatin1(row.name));
        ASSERT_TRUE(QDir().mkpath(mirror + QStringLiteral("/app/html")));
        HangFs fs(mirror);
        if (!fs.error().isEmpty())
            SKIP_OR_FAIL_IN_CI(fs.error().toStdString());
        const core::AppDir app{fs.mount() + QStringLiteral("/app")};
        ASSERT_TRUE(core::replaceFile(app.settingsCfg(), kSettings));
        ASSERT_TRUE(core::replaceFile(
            app.progCfg(), ProgFile{.Port = "9", .Savehtml = "1", .SaveExcel = "1"}.bytes()));
        ASSERT_TRUE(
            core::replaceFile(app.htmlDir() + QStringLiteral("template.asp"), "<p><TT></p>"));
        ASSERT_TRUE(core::replaceFile(storage::storageCfgPath(app), storageFile("300", "12")));
        QDateTime now(QDate(2024, 3, 7), QTime(14, 5));
        const core::Clock clock{[&now] { return now; },
                                [&now] {
                                    return now.toMSecsSinceEpoch();
                                }};
        // Each appended file, with how its record of the k-th minute ends.
        auto minute = [](int k) {
            return "14:" + QByteArray::number(5 + k).rightJustified(2, '0');
        };
        const std::pair<QString, std::function<QByteArray(int)>> appended[] = {
            {QStringLiteral("logs/2024_3_7.txt"),
             [&](int k) {
                 return "<T>" + minute(k) + "</T>\r\n";
             }},
            {QStringLiteral("html/history3_7_2024.txt"),
             [&](int k) {
                 return minute(k) + ":00\r\n";
             }},
            {QStringLiteral("Excel/2024_3_7.xls"),
             [&](int k) {
                 return minute(k) + ":00</td></tr>\r\n\r\n";
             }},
        };
        {
            station::Station s(app, clock);
            s.start();
            ASSERT_TRUE(s.startLogging(QStringLiteral("60")));
            for (int k = 0; k < kRecords; ++k) {
                if (k == kCutBefore)
                    fs.cut();
                // 12.8 V and up, one step a record; 11.5 V below the level of 12.
                const int raw = row.lowFrom >= 0 && k >= row.lowFrom ? 460 : 512 + k;
                station::StationProbe::onComm(s, QStringLiteral("[<V>%1</V><I>530</I>]").arg(raw));
                station::StationProbe::logTick(s);
                station::StationProbe::waitForDisk(s);
                now = now.addSecs(60);
            }
            EXPECT_TRUE(s.closeSteps().allWritten);
        }
        // The program saw every record written; the folder holds the first of them, each once
        // and whole to its line's end, and nothing after the last.
        for (const auto& [name, end] : appended) {
            SCOPED_TRACE(name.toStdString());
            const QByteArray written = fileBytes(app.path(name));
            const QByteArray kept = fileBytes(mirror + QStringLiteral("/app/") + name);
            EXPECT_TRUE(written.startsWith(kept));
            EXPECT_TRUE(kept.endsWith(end(row.kept - 1)));
            for (int k = 0; k < kRecords; ++k) {
                EXPECT_EQ(written.count(end(k)), 1) << k;
                EXPECT_EQ(kept.count(end(k)), k < row.kept ? 1 : 0) << k;
            }
        }
    }
}

// The syncs of the station's disk thread, counted.
class SyncCount
{
public:
    SyncCount()
    {
        core::setBeforeSync([this] {
            if (QThread::currentThread()->objectName() == u"StationDisk")
                ++m_syncs;
        });
    }
    ~SyncCount() { core::setBeforeSync({}); }
    int take() { return m_syncs.exchange(0); }

private:
    std::atomic<int> m_syncs{0};
};

class HeldRecords : public LoggerWindow
{
protected:
    void SetUp() override
    {
        LoggerWindow::SetUp();
        writeProg(ProgFile{.Savehtml = "1", .SaveExcel = "1", .LogDelay = "60", .LogOn = "1"});
        ASSERT_TRUE(QDir(m_app.dir).mkpath(QStringLiteral("html")));
        ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("html/template.asp")),
                                      "<p><VV> V <MM> at <TT></p>"));
    }
    void writeStorage(const QByteArray& bytes)
    {
        ASSERT_TRUE(core::replaceFile(storage::storageCfgPath(m_app), bytes));
    }
    // The next minute's tick, with the disk thread's work for it done.
    void nextTick(monitor::Logger& w)
    {
        m_now = m_now.addSecs(60);
        logTick(w);
    }
    QString dayLog() const { return m_app.dailyLog(m_now.date()); }
    QStringList files() const
    {
        return {dayLog(), m_app.path(QStringLiteral("html/history3_7_2024.txt")),
                m_app.path(QStringLiteral("Excel/2024_3_7.xls")),
                m_app.path(QStringLiteral("html/log.asp"))};
    }
    int records() const { return int(fileBytes(dayLog()).count("</T>\r\n")); }
};

// Five minutes at a minute's interval (14:05:07 to 14:09:07): the records are held, then written
// once with one sync for each file (behind one of the file system), and the files hold exactly the
// bytes the default writes, with a sync for every record and page.
TEST_F(HeldRecords, HeldForThePeriodThenWrittenOnceWithTheDefaultsBytes)
{
    m_now = QDateTime(m_now.date(), QTime(14, 4, 7));
    const QDateTime begin = m_now;
    std::vector<QByteArray> defaults;
    {
        auto w = start();
        SyncCount syncs;
        for (int k = 0; k < 5; ++k)
            nextTick(*w);
        EXPECT_EQ(syncs.take(), 5 * 4);
        for (const QString& file : files())
            defaults.push_back(fileBytes(file));
        EXPECT_EQ(records(), 5);
        EXPECT_TRUE(w->statusText().indexOf(u"storage.cfg") < 0);
    }
    for (const QString& file : files())
        ASSERT_TRUE(QFile::remove(file)) << file.toStdString();

    writeStorage(storageFile("300"));
    m_now = begin;
    auto w = start();
    EXPECT_TRUE(w->statusText().contains(u"Records are written every 5 minutes (storage.cfg)"))
        << w->statusText().toStdString();
    SyncCount syncs;
    // The page is held with the records: the disk sees nothing until the period's end.
    for (int k = 0; k < 4; ++k) {
        nextTick(*w);
        for (const QString& file : files())
            EXPECT_FALSE(QFileInfo::exists(file)) << k << file.toStdString();
        EXPECT_EQ(w->station().status().writes.held, std::size_t(3 * (k + 1)));
    }
    EXPECT_EQ(syncs.take(), 0);
    nextTick(*w);
    // One sync of the file system, in which the files' own three find their data written.
    EXPECT_EQ(syncs.take(), 1 + 3);
    EXPECT_EQ(w->station().status().writes.held, 0u);
    for (std::size_t f = 0; f < 4; ++f)
        EXPECT_EQ(fileBytes(files()[f]), defaults[f]) << files()[f].toStdString();
    // The next period begins with the next record.
    nextTick(*w);
    EXPECT_EQ(records(), 5);
    EXPECT_EQ(syncs.take(), 0);
    // The page is written over where it stands, no new file for the card each period.
    const ino_t page = inodeOf(files()[3]);
    for (int k = 0; k < 4; ++k)
        nextTick(*w);
    EXPECT_EQ(records(), 10);
    EXPECT_EQ(inodeOf(files()[3]), page);
    EXPECT_TRUE(fileBytes(files()[3]).contains("at 14:14")) << fileBytes(files()[3]).toStdString();
}

// Stopping logging, the close and the change of the clock hour write what is held; what the
// close writes leaves no spool behind.
TEST_F(HeldRecords, AStopACloseAndTheHourWriteWhatIsHeld)
{
    writeStorage(storageFile("3600"));
    auto w = start();
    nextTick(*w);
    nextTick(*w);
    EXPECT_FALSE(QFileInfo::exists(dayLog()));
    child<QPushButton>(*w, "StopLogging")->click();
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(records(), 2);

    child<QPushButton>(*w, "StartLogging")->click();
    nextTick(*w);
    EXPECT_EQ(records(), 2);
    // 14:05:07 and on: the tick after 15:00 writes with it what the hour before held.
    m_now = QDateTime(m_now.date(), QTime(14, 59, 30));
    logTick(*w);
    EXPECT_EQ(records(), 2);
    m_now = QDateTime(m_now.date(), QTime(15, 0, 30));
    logTick(*w);
    EXPECT_EQ(records(), 5);
    EXPECT_TRUE(fileBytes(dayLog()).endsWith("<T>15:00</T>\r\n"));

    nextTick(*w);
    EXPECT_EQ(records(), 5);
    const station::CloseResult closed = w->plant().close();
    EXPECT_TRUE(closed.allWritten);
    EXPECT_FALSE(closed.keptIn);
    EXPECT_EQ(records(), 6);
    const QByteArray day = fileBytes(dayLog());
    EXPECT_EQ(day.count("<T>15:01</T>"), 1);
}

// A period ends on the clock's next five minutes, the record whose next would pass them written
// with those held. A clock set back mid-period still ends it after five minutes by the monotonic
// count; a clock set on past the end ends it at once.
TEST_F(HeldRecords, APeriodEndsOnTheClocksFiveMinutesAndNoLaterThanItsLength)
{
    writeStorage(storageFile("300"));
    const struct
    {
        const char* name;
        int jumpSeconds; // the wall clock moved before the second record, beyond its minute
        int writtenAt;   // the record with which the first are written
    } rows[] = {
        {"clock steady", 0, 4}, // 14:06:07 to 14:09:07; the next would pass 14:10
        {"clock set back 3 minutes", -180, 5},
        {"clock set on 5 minutes", 300, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_now = QDateTime(QDate(2024, 3, 7), QTime(14, 5, 7));
        m_monotonicShiftMs = 0;
        auto w = start();
        for (int k = 1; k <= row.writtenAt; ++k) {
            if (k == 2) {
                m_now = m_now.addSecs(row.jumpSeconds);
                m_monotonicShiftMs -= row.jumpSeconds * 1000LL;
            }
            nextTick(*w);
            EXPECT_EQ(records(), k < row.writtenAt ? 0 : k) << k;
        }
        EXPECT_EQ(w->station().status().writes.held, 0u);
        w.reset();
        for (const QString& file : files())
            QFile::remove(file);
    }
}

// The autumn hour that comes twice is two hours: the first one's last period goes with its end,
// and the second has five-minute periods of its own.
TEST_F(HeldRecords, TheAutumnHourThatComesTwiceHasPeriodsOfItsOwn)
{
    const LocalZone berlin("Europe/Berlin");
    if (QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc() != 7200) {
        SKIP_OR_FAIL_IN_CI("the time zone Europe/Berlin is not installed (Debian: tzdata)");
    }
    writeStorage(storageFile("300"));
    // 02:55:07 summer time; a minute on from 02:59:07 is 02:00:07 winter time.
    m_now = QDateTime(QDate(2026, 10, 25), QTime(0, 55, 7), Qt::UTC).toLocalTime();
    ASSERT_EQ(m_now.time(), QTime(2, 55, 7));
    // Each minute's record: the time the clock shows, and the records the day file has after it.
    const std::pair<QTime, int> ticks[] = {
        {QTime(2, 56, 7), 0}, {QTime(2, 57, 7), 0}, {QTime(2, 58, 7), 0}, {QTime(2, 59, 7), 0},
        {QTime(2, 0, 7), 5}, // winter time: the summer hour's records written with it
        {QTime(2, 1, 7), 5},  {QTime(2, 2, 7), 5},  {QTime(2, 3, 7), 5},  {QTime(2, 4, 7), 9},
    };
    auto w = start();
    for (const auto& [shown, count] : ticks) {
        nextTick(*w);
        ASSERT_EQ(m_now.time(), shown);
        EXPECT_EQ(records(), count) << shown.toString().toStdString();
    }
}

// A period the clock hour ends before its own end waits for the hour's writes (the hour's line
// of logs/completeness.txt among them) and goes with them, so the hour costs no round of its own.
TEST_F(HeldRecords, APeriodTheHourEndsFirstGoesWithTheHoursWrites)
{
    writeStorage(storageFile("300"));
    m_now = QDateTime(m_now.date(), QTime(14, 54, 10));
    auto w = start();
    // 14:55:10 to 14:59:10: the period would end at 15:00:10, past the hour.
    for (int i = 0; i < 5; ++i)
        nextTick(*w);
    EXPECT_EQ(records(), 0);
    EXPECT_EQ(w->station().status().writes.held, 5u * 3);

    m_now = QDateTime(m_now.date(), QTime(15, 0, 1));
    const QString completeness = m_app.path(QStringLiteral("logs/completeness.txt"));
    ASSERT_TRUE(waitFor([&] { return fileBytes(completeness).contains("<H>14</H>"); }));
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(records(), 5);
    EXPECT_EQ(w->station().status().writes.held, 0u);
    EXPECT_TRUE(fileBytes(dayLog()).endsWith("<T>14:59</T>\r\n"));
}

// Volts falling to the level write what is held at once, and then every record, until they are
// back above it.
TEST_F(HeldRecords, FallingVoltsWriteAtOnceAndThenEveryInterval)
{
    writeStorage(storageFile("300", "12"));
    m_now = QDateTime(m_now.date(), QTime(14, 4, 7));
    auto pty = line(1);
    auto w = start();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));
    nextTick(*w);
    EXPECT_FALSE(QFileInfo::exists(dayLog()));

    send(*pty, "[<V>480</V><I>530</I>]\r\n"); // 12 V: at the level
    ASSERT_TRUE(waitFor([&] { return records() == 1; })) << fileBytes(dayLog()).toStdString();
    EXPECT_TRUE(fileBytes(dayLog()).startsWith("<V>12.8</V>"));
    nextTick(*w);
    EXPECT_EQ(records(), 2);
    nextTick(*w);
    EXPECT_EQ(records(), 3);

    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kVolts] == 12.8; }));
    nextTick(*w);
    EXPECT_EQ(records(), 3);
    EXPECT_EQ(w->station().status().writes.held, 3u);
}

// The line going quiet for the stale limit, or lost (the board's end of the pseudo-terminal
// closed), writes what is held: the computer may be going down with the power that fed the board.
TEST_F(HeldRecords, ALineGoneQuietOrLostWritesWhatIsHeld)
{
    writeStorage(storageFile("300"));
    const struct
    {
        const char* name;
        bool lost; // else quiet
    } rows[] = {{"quiet", false}, {"lost", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto pty = line(1);
        auto w = start();
        ASSERT_TRUE(waitFor([&] { return w->portOpen(); }));
        // Two records held, each with a frame of its own under the stale limit before it.
        for (const int raw : {512, 516}) {
            send(*pty, "[<V>" + std::to_string(raw) + "</V><I>530</I>]\r\n");
            ASSERT_TRUE(
                waitFor([&] { return std::abs(w->reading()[core::kVolts] - raw / 40.0) < 0.001; }));
            m_now = m_now.addSecs(20);
            logTick(*w);
        }
        ASSERT_EQ(w->station().status().writes.held, 2u * 3);
        ASSERT_EQ(records(), 0);

        if (row.lost) {
            pty->close();
        } else {
            m_now = m_now.addMSecs(station::Station::kStaleAfterMs);
        }
        ASSERT_TRUE(waitFor([&] { return records() == 2; })) << fileBytes(dayLog()).data();
        EXPECT_TRUE(w->statusText().contains(u"No data since")) << w->statusText().toStdString();
        station::StationProbe::waitForDisk(w->station());
        EXPECT_EQ(w->station().status().writes.held, 0u);
        const QByteArray day = fileBytes(dayLog());
        EXPECT_TRUE(day.startsWith("<V>12.8</V>")) << day.data();
        EXPECT_EQ(day.count("<V>12.9</V>"), 1) << day.data();
        w.reset();
        for (const QString& file : files())
            QFile::remove(file);
    }
}

// A raised alarm's log line goes to the disk with what is held before it.
TEST_F(HeldRecords, ARaisedAlarmWritesWhatIsHeld)
{
    writeStorage(storageFile("300"));
    alarms::AlarmsConfig config = alarms::defaultAlarmsConfig();
    config[alarms::Kind::BattHigh] = {true, 13.5, 0.3, 0};
    ASSERT_TRUE(alarms::saveAlarmsConfig(m_app, config));
    auto pty = line(1);
    auto w = start();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return w->windowTitle() == kTitle; }));
    nextTick(*w);
    nextTick(*w);
    EXPECT_FALSE(QFileInfo::exists(dayLog()));

    send(*pty, "[<V>560</V><I>530</I>]\r\n"); // 14 V
    ASSERT_TRUE(
        waitFor([&] { return fileBytes(alarms::alarmLogPath(m_app)).contains("BattHigh"); }));
    EXPECT_EQ(records(), 2);
}

// The history window's day shows the records held: they reach the day file before it is read,
// and the empty line the window adds comes after them.
TEST_F(HeldRecords, TheHistoryWindowShowsHeldRecords)
{
    writeStorage(storageFile("300"));
    auto w = start();
    nextTick(*w);
    nextTick(*w);
    ASSERT_FALSE(QFileInfo::exists(dayLog()));
    int shown = -1;
    const QDate day = m_now.date();
    onModal([&](QWidget& modal) {
        auto* graph = qobject_cast<history::Graph*>(&modal);
        ASSERT_NE(graph, nullptr);
        graph->showDay(day);
        shown = graph->store().RecordCount;
    });
    child<QPushButton>(*w, "ShowLogs")->click();
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(fileBytes(dayLog()).endsWith("<T>14:07</T>\r\n\r\n"));
}

// A default file is quiet; a damaged one says so on the status line and holds nothing.
TEST_F(HeldRecords, ADamagedFileWarnsAndHoldsNothing)
{
    writeStorage(storageFile("59"));
    auto w = start();
    EXPECT_TRUE(w->statusText().contains(storage::storageCfgPath(m_app) +
                                         QStringLiteral(" is not used as written")))
        << w->statusText().toStdString();
    nextTick(*w);
    EXPECT_EQ(records(), 1);
}

// The Storage window shows the file, says what the period typed costs, and saves only values the
// file's reader takes, in the tagged format; a refused value saves nothing.
TEST_F(StorageFile, TheWindowSavesWhatTheReaderTakes)
{
    const struct
    {
        const char* seconds;
        const char* volts;
        QByteArray saved; // empty: refused, the file as it was
    } rows[] = {
        {"300", "12.5", storageFile("300", "12.5")},
        {" 60 ", "", storageFile("60")},
        {"0", "", storageFile("0")},
        {"59", "", {}},
        {"five", "", {}},
        {"300", "2", {}},
    };
    const QByteArray before = storageFile("3600", "23.6");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.seconds);
        ASSERT_TRUE(core::replaceFile(storage::storageCfgPath(m_app), before));
        m_messages.clear();
        storage::Storage window(m_app);
        EXPECT_EQ(window.controls().SyncSeconds->text(), u"3600");
        EXPECT_EQ(window.controls().SyncBelowVolts->text(), u"23.6");
        window.controls().SyncSeconds->setText(QString::fromLatin1(row.seconds));
        window.controls().SyncBelowVolts->setText(QString::fromLatin1(row.volts));
        window.controls().Save->click();
        const QByteArray file = fileBytes(storage::storageCfgPath(m_app));
        if (row.saved.isEmpty()) {
            EXPECT_EQ(file, before);
            EXPECT_EQ(window.result(), QDialog::Rejected);
            ASSERT_EQ(m_messages.size(), 1);
            EXPECT_TRUE(m_messages[0].endsWith(u"Nothing was saved."))
                << m_messages[0].toStdString();
        } else {
            EXPECT_EQ(file, row.saved);
            EXPECT_EQ(window.result(), QDialog::Accepted);
            EXPECT_TRUE(m_messages.isEmpty());
        }
    }
    storage::Storage window(m_app);
    window.controls().SyncSeconds->setText(QStringLiteral("0"));
    EXPECT_TRUE(window.controls().Cost->text().startsWith(u"Every record is synced on its own"));
    window.controls().SyncSeconds->setText(QStringLiteral("300"));
    EXPECT_TRUE(window.controls().Cost->text().contains(u"up to the last 5 minutes"));
}

// Both builds' "Storage" button opens the window, and what it saves holds the records at once.
TEST_F(HeldRecords, TheStorageButtonOpensTheWindowAndTheSettingHoldsAtOnce)
{
    for (const auto& variant : {programs::tessaly(), programs::corvenna()}) {
        SCOPED_TRACE(variant.name.toStdString());
        writeStorage(storageFile("0"));
        auto w = start(variant);
        EXPECT_TRUE(w->statusText().indexOf(u"storage.cfg") < 0);
        onModal([](QWidget& modal) {
            ASSERT_EQ(modal.objectName(), u"Storage");
            auto* window = qobject_cast<storage::Storage*>(&modal);
            ASSERT_NE(window, nullptr);
            window->controls().SyncSeconds->setText(QStringLiteral("300"));
            window->controls().Save->click();
        });
        child<QPushButton>(*w, "Storage")->click();
        EXPECT_TRUE(w->statusText().contains(u"Records are written every 5 minutes (storage.cfg)"))
            << w->statusText().toStdString();
        nextTick(*w);
        EXPECT_EQ(w->station().status().writes.held, 3u);
    }
}

class HeldWeb : public WebPlantTest
{};

// The web view's day asks for what is held first: the record is on the page and in the file.
TEST_F(HeldWeb, TheDayShowsHeldRecords)
{
    ASSERT_TRUE(core::replaceFile(storage::storageCfgPath(m_app), storageFile("300")));
    startPlant();
    ASSERT_TRUE(m_plant->station().startLogging(QStringLiteral("60")));
    station::StationProbe::logTick(m_plant->station());
    station::StationProbe::waitForDisk(m_plant->station());
    const QString day = m_app.dailyLog(kWebDay);
    ASSERT_EQ(m_plant->station().status().writes.held, 1u);
    ASSERT_FALSE(QFileInfo::exists(day));

    WebClient client(m_port);
    const HttpAnswer answer = client.get("/api/day?date=2024-06-12");
    ASSERT_EQ(answer.status, 200) << answer.body.toStdString();
    const QJsonArray records =
        QJsonDocument::fromJson(answer.body).object()[QStringLiteral("records")].toArray();
    EXPECT_EQ(records.size(), 1);
    EXPECT_EQ(fileBytes(day).count("</T>\r\n"), 1);
}

} // namespace
