#include "core/datetime.h"
#include "core/systemsignals.h"
#include "logging/logcontrol.h"
#include "logging/logfiles.h"
#include "logging/spool.h"
#include "tests/logger_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

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

// ext4 on a loop device over a tmpfs of its own, the image sparse: a write is taken while the
// ext4 has room, but its sync fails while the tmpfs beneath is full, since the blocks it needs
// there were never written. The ext4 stays usable, and its syncs succeed again once there is
// room beneath. Needs root (SmallDisk), mkfs.ext4 and a loop device.
class SyncFailDisk
{
public:
    explicit SyncFailDisk(const QString& at)
        : m_beneath(at + QStringLiteral("/beneath"), 8192)
        , m_mount(at + QStringLiteral("/disk"))
    {
        if (!m_beneath.mounted()) {
            m_error = m_beneath.error();
            return;
        }
        const QString image = at + QStringLiteral("/beneath/disk.img");
        QProcess mkfs;
        // The journal and the inode tables written out, so only the data blocks are holes; its
        // zeroing written too, where it would otherwise punch holes.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("UNIX_IO_NOZEROOUT"), QStringLiteral("1"));
        mkfs.setProcessEnvironment(env);
        mkfs.start(QStringLiteral("mkfs.ext4"),
                   {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-E"),
                    QStringLiteral("lazy_itable_init=0,lazy_journal_init=0,nodiscard"), image,
                    QStringLiteral("4M")});
        if (!mkfs.waitForFinished() || mkfs.exitStatus() != QProcess::NormalExit ||
            mkfs.exitCode() != 0) {
            m_error = QStringLiteral("mkfs.ext4: ") + mkfs.errorString() + u' ' +
                      QString::fromLocal8Bit(mkfs.readAllStandardError()).trimmed();
            return;
        }
        QDir().mkpath(m_mount);
        QProcess mount;
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-o"), QStringLiteral("loop"), image, m_mount});
        m_mounted = mount.waitForFinished() && mount.exitStatus() == QProcess::NormalExit &&
                    mount.exitCode() == 0;
        if (!m_mounted)
            m_error = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    }
    ~SyncFailDisk()
    {
        if (m_full)
            m_beneath.free();
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_mount});
    }
    SyncFailDisk(const SyncFailDisk&) = delete;
    SyncFailDisk& operator=(const SyncFailDisk&) = delete;

    bool mounted() const { return m_mounted; }
    const QString& error() const { return m_error; }
    const QString& path() const { return m_mount; }
    // Syncs fail from here on, until room().
    void failSyncs()
    {
        m_beneath.fill();
        m_full = true;
    }
    void room()
    {
        if (std::exchange(m_full, false))
            m_beneath.free();
    }

private:
    SmallDisk m_beneath;
    QString m_mount, m_error;
    bool m_mounted = false, m_full = false;
};

// Two appends to one file in one round (as a restore from the spool queues them), their syncs
// shared: the first one's sync fails, so the second is not written ahead of it but waits behind
// it, and both reach the file in their order once the disk has room.
TEST(PendingWrites, AFailedSyncKeepsTheLaterAppendsToItsFileBehindIt)
{
    QTemporaryDir tmp;
    SyncFailDisk disk(tmp.path());
    if (!disk.mounted())
        SKIP_OR_FAIL_IN_CI("needs a loop-mounted ext4: " << disk.error().toStdString());
    const QString day = disk.path() + QStringLiteral("/logs/2024_3_7.txt");
    auto append = [&](const QByteArray& bytes) {
        return logging::FileWrite{day, bytes, logging::FileWrite::Kind::Append, {}, {bytes.size()}};
    };
    logging::PendingWrites pending;
    pending.queue = {append("<T>14:05</T>\r\n"), append("<T>14:06</T>\r\n")};
    // The first sync of the round fails; any after it finds room again.
    int syncs = 0;
    core::setBeforeSync([&] {
        if (++syncs == 1)
            disk.failSyncs();
        else
            disk.room();
    });
    const std::vector<logging::WriteFailure> failures =
        logging::writePending(pending, {}, /*shareSyncs=*/true);
    core::setBeforeSync({});
    disk.room();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, day);
    EXPECT_EQ(failures[0].waiting, 2);
    EXPECT_FALSE(QFileInfo::exists(day));
    ASSERT_EQ(pending.queue.size(), 2u);
    EXPECT_EQ(pending.queue[0].bytes, "<T>14:05</T>\r\n");
    EXPECT_EQ(pending.queue[1].bytes, "<T>14:06</T>\r\n");

    EXPECT_TRUE(logging::writePending(pending, {}, true).empty());
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(core::readWholeFile(day), "<T>14:05</T>\r\n<T>14:06</T>\r\n");
}

TEST(AppendToFile, AFullDiskIsAFailure)
{
    QString error;
    EXPECT_FALSE(core::appendWhole(QStringLiteral("/dev/full"), "a whole line\r\n", {}, &error));
    EXPECT_FALSE(error.isEmpty());
}

// The page held with the records is written over where it stands, the same file, cut to its new
// length; where it is not a plain file of its own it is replaced, and nothing it led to is touched.
TEST(OverwriteFile, InPlaceWhereItIsItsOwnFileElseReplaced)
{
    QTemporaryDir tmp;
    const QString page = tmp.filePath(QStringLiteral("log.asp"));
    const QString other = tmp.filePath(QStringLiteral("other.txt"));
    const QByteArray name = QFile::encodeName(page);
    auto inode = [&] {
        struct stat st
        {};
        return ::lstat(name.constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const struct
    {
        const char* name;
        std::function<void()> make;
        bool inPlace;
    } cases[] = {
        {"a longer page",
         [&] { ASSERT_TRUE(core::replaceFile(page, "a longer old page than the new one")); }, true},
        {"a shorter page", [&] { ASSERT_TRUE(core::replaceFile(page, "old")); }, true},
        {"no page yet", [] {}, false},
        {"a link to another file",
         [&] { ASSERT_EQ(::symlink(QFile::encodeName(other).constData(), name.constData()), 0); },
         false},
        {"a second name of another file",
         [&] { ASSERT_EQ(::link(QFile::encodeName(other).constData(), name.constData()), 0); },
         false},
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(name.constData(), 0600), 0); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(page);
        ASSERT_TRUE(core::replaceFile(other, "not the page's"));
        c.make();
        const ino_t before = inode();
        QString error;
        ASSERT_TRUE(core::overwriteFile(page, "<p>new page</p>\r\n", &error))
            << error.toStdString();
        EXPECT_EQ(core::readWholeFile(page), "<p>new page</p>\r\n");
        EXPECT_EQ(inode() == before, c.inPlace);
        EXPECT_EQ(core::readWholeFile(other), "not the page's");
        EXPECT_EQ(QFileInfo(page).isSymLink(), false);
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::System).size(), 2)
            << "no temporary file left behind";
    }
}

// Beyond the limit the oldest records go first, one by one, and are counted.
TEST(PendingWrites, BeyondTheLimitTheOldestAreDroppedAndCounted)
{
    logging::PendingWrites pending;
    pending.limit = 5;
    for (const char* line : {"a1\r\n", "a2\r\n", "a3\r\n", "a4\r\n"})
        pending.add({QStringLiteral("/x/a.txt"), line, {}, {}});
    pending.add({QStringLiteral("/x/page"), "p", logging::FileWrite::Kind::Replace, {}});
    for (const char* line : {"b1\r\n", "b2\r\n", "b3\r\n"})
        pending.add({QStringLiteral("/x/b.txt"), line, {}, {}});
    EXPECT_EQ(pending.records(), 5u);
    EXPECT_EQ(pending.dropped, 2u);
    ASSERT_EQ(pending.queue.size(), 3u);
    EXPECT_EQ(pending.queue[0].bytes, "a3\r\na4\r\n");
    EXPECT_EQ(pending.queue[2].bytes, "b1\r\nb2\r\nb3\r\n");
    EXPECT_TRUE(logging::droppedWarning(pending.dropped).startsWith(QStringLiteral("2 ")));
}

// A spool gives back exactly what waited, and refuses what is not a whole spool of this folder.
TEST(Spool, KeepsWhatWaitsAndRefusesWhatIsNotItsOwn)
{
    QTemporaryDir tmp;
    const core::AppDir app{tmp.path()};
    logging::PendingWrites pending;
    pending.add({app.dailyLog(QDate(2024, 3, 7)), "1\r\n", {}, {}});
    pending.add({app.path(QStringLiteral("Excel/2024_3_7.xls")), "row\r\n", {}, "head\r\n"});
    pending.add({app.dailyLog(QDate(2024, 3, 7)), "2\r\n", {}, {}});
    pending.add(
        {app.path(QStringLiteral("html/log.asp")), "page", logging::FileWrite::Kind::Replace, {}});
    const QByteArray bytes = logging::spoolBytes(app, pending);

    const auto back = logging::parseSpool(app, bytes);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), pending.queue.size());
    for (std::size_t k = 0; k < back->size(); ++k) {
        EXPECT_EQ((*back)[k].path, pending.queue[k].path);
        EXPECT_EQ((*back)[k].bytes, pending.queue[k].bytes);
        EXPECT_EQ((*back)[k].headerIfNew, pending.queue[k].headerIfNew);
        EXPECT_EQ((*back)[k].kind, pending.queue[k].kind);
        EXPECT_EQ((*back)[k].records, pending.queue[k].records);
    }

    // One append of two records whose sizes are then made to run past its bytes (a sum that
    // would overflow, as a fuzzer found).
    logging::PendingWrites twoRecords;
    twoRecords.add({app.dailyLog(QDate(2024, 3, 7)), "abcdefgh", {}, {}, {4, 4}});
    QByteArray pastTheBytes = logging::spoolBytes(app, twoRecords);
    const QByteArray four("\0\0\0\0\0\0\0\x04", 8);
    const qsizetype sizes = pastTheBytes.indexOf(four + four);
    ASSERT_GE(sizes, 0);
    const QByteArray largest = '\x7f' + QByteArray(7, '\xff');
    pastTheBytes.replace(sizes, 16, largest + largest);

    QTemporaryDir other;
    logging::PendingWrites outside;
    outside.add({app.path(QStringLiteral("../elsewhere.txt")), "x", {}, {}});
    const struct
    {
        const char* what;
        core::AppDir app;
        QByteArray bytes;
    } refused[] = {
        {"cut short", app, bytes.left(bytes.size() - 3)},
        {"one byte more", app, bytes + 'x'},
        {"empty", app, {}},
        {"another folder's", core::AppDir{other.path()}, bytes},
        {"a file outside the folder", app, logging::spoolBytes(app, outside)},
        {"record sizes past the bytes", app, pastTheBytes},
    };
    for (const auto& r : refused) {
        QString why;
        EXPECT_FALSE(logging::parseSpool(r.app, r.bytes, &why)) << r.what;
        EXPECT_FALSE(why.isEmpty()) << r.what;
    }

    // Saved where only the user may read it; found again; a damaged one is set aside, not lost.
    const auto file = logging::saveSpool(app, pending);
    ASSERT_TRUE(file);
    EXPECT_EQ(QFileInfo(*file).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
    EXPECT_EQ(logging::loadSpool(app).writes.size(), pending.queue.size());
    ASSERT_TRUE(core::replaceFile(*file, bytes.left(10)));
    const logging::SpooledWrites damaged = logging::loadSpool(app);
    EXPECT_TRUE(damaged.writes.empty());
    ASSERT_EQ(damaged.problems.size(), 1);
    EXPECT_TRUE(QFileInfo::exists(*file + QStringLiteral(".damaged")));
    EXPECT_FALSE(QFileInfo::exists(*file));
    QFile::remove(*file + QStringLiteral(".damaged"));
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
        ASSERT_TRUE(QDir(m_app.dir).mkpath(QStringLiteral("html")));
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
    logTick(*w);
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
    logTick(*w);
    EXPECT_EQ(fileBytes(dayLog()), kRecord + zeros(1, "14:05"));
    EXPECT_EQ(fileBytes(sheet()).count("<html>"), 1);
    EXPECT_EQ(fileBytes(sheet()).count("<tr>"), 3);
    EXPECT_EQ(fileBytes(page()), "<p>0 V Load On at 14:05:07</p>\r\n");

    // A spreadsheet deleted during the day starts again with its header.
    ASSERT_TRUE(QFile::remove(sheet()));
    logTick(*w);
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
        logTick(*w);
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
    logTick(*w);
    EXPECT_EQ(fileBytes(dayLog()),
              "<V>13</V><I>0</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:05</T>\r\n");
}

TEST_F(Logging, FirstRecordAfterMidnightStartsTheNewDaysFiles)
{
    writeFlags("0", "1");
    m_now = QDateTime(QDate(2024, 2, 28), QTime(23, 59, 58));
    auto w = start();
    logTick(*w);
    m_now = m_now.addSecs(10);
    logTick(*w);
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
    logTick(*w);
    m_now = m_now.addSecs(60);
    logTick(*w);
    EXPECT_EQ(w->pendingWrites(), 2u);
    EXPECT_TRUE(w->statusText().contains(m_app.path(QStringLiteral("logs"))))
        << w->statusText().toStdString();
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("template.asp")));
    EXPECT_EQ(fileBytes(history()).count("\r\n"), 2); // the html folder was made and written
    EXPECT_FALSE(QFileInfo::exists(page()));

    ASSERT_TRUE(QFile::remove(m_app.path(QStringLiteral("logs"))));
    writeTemplate();
    m_now = m_now.addSecs(60);
    logTick(*w);
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
    logTick(*w);
    w->close();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("1 line")));
}

} // namespace

namespace {

// The lines in order without their ends; each must end in CR LF.
QList<QByteArray> wholeLines(const QByteArray& bytes)
{
    EXPECT_TRUE(bytes.isEmpty() || bytes.endsWith("\r\n")) << bytes.right(80).toStdString();
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    for (QByteArray& l : lines) {
        EXPECT_TRUE(l.endsWith('\r'));
        l.chop(1);
    }
    return lines;
}

} // namespace

// The disk fills up for several intervals and is then freed: every record of every file arrives
// once, whole and in order, and a spreadsheet made while the disk was full starts with its header.
TEST_F(Logging, FullDiskThenFreedLosesAndTearsNothing)
{
    SmallDisk disk(m_tmp.filePath(QStringLiteral("disk")), 256);
    if (!disk.mounted())
        SKIP_OR_FAIL_IN_CI("needs a small tmpfs of its own: " << disk.error().toStdString());
    m_app = core::AppDir{m_tmp.filePath(QStringLiteral("disk"))};
    writeSettings(kSettings);
    writeFlags("1", "1");
    writeTemplate();
    // The day's log so far ends 20 bytes short of a page, so the next record straddles a page
    // the full disk cannot give: a short write.
    QByteArray before = zeros(0, "14:00");
    while (before.size() + zeros(0, "14:00").size() < 4096 - 20)
        before += zeros(0, "14:00");
    before += QByteArray(4096 - 20 - before.size() - 2, ' ') + "\r\n"; // an empty line or so
    ASSERT_TRUE(QDir(m_app.dir).mkpath(QStringLiteral("logs")));
    ASSERT_TRUE(core::replaceFile(dayLog(), before));

    auto w = start();
    disk.fill();
    const QDate day1 = m_now.date();
    const char* times1[] = {"23:58", "23:59"};
    const char* times2[] = {"00:00", "00:01"};
    for (const char* t : times1) {
        m_now = QDateTime(day1, QTime::fromString(QLatin1String(t), QStringLiteral("HH:mm")));
        logTick(*w);
        EXPECT_EQ(fileBytes(m_app.dailyLog(day1)), before) << "torn or partial record";
    }
    for (const char* t : times2) {
        m_now = QDateTime(day1.addDays(1),
                          QTime::fromString(QLatin1String(t), QStringLiteral("HH:mm")));
        logTick(*w);
    }
    EXPECT_GT(w->pendingWrites(), 0u);
    EXPECT_FALSE(w->spoolFile().isEmpty()); // kept elsewhere in case the program is killed
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("Cannot write")));

    disk.free();
    m_now = QDateTime(day1.addDays(1), QTime(0, 2));
    logTick(*w);
    EXPECT_EQ(w->pendingWrites(), 0u) << w->statusText().toStdString();
    EXPECT_TRUE(w->spoolFile().isEmpty());

    EXPECT_EQ(fileBytes(m_app.dailyLog(day1)), before + zeros(0, "23:58") + zeros(0, "23:59"));
    EXPECT_EQ(fileBytes(m_app.dailyLog(day1.addDays(1))),
              zeros(0, "00:00") + zeros(0, "00:01") + zeros(0, "00:02"));
    const QString sheet2 = logging::spreadsheetFile(m_app, day1.addDays(1));
    const QList<QByteArray> rows = wholeLines(fileBytes(sheet2));
    ASSERT_EQ(rows.size(), 2 + 3 * 2);
    EXPECT_TRUE(rows[0].startsWith("<html><body><table>"));
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(rows[2 + 2 * k].contains(QStringLiteral("<td>00:0%1:").arg(k).toLatin1()));
    const QString history2 = logging::historyFile(m_app, core::shortDateText(day1.addDays(1)));
    const QList<QByteArray> lines = wholeLines(fileBytes(history2));
    ASSERT_EQ(lines.size(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(lines[k].endsWith(QStringLiteral("00:0%1:00").arg(k).toLatin1()));
    EXPECT_EQ(QDir(m_app.htmlDir()).entryList(QDir::Files).size(), 4); // no temporary left
}

// Records that cannot be written when the program ends are kept and reach their files at the
// next start, before any new record.
TEST_F(Logging, LinesWaitingAtExitArriveFirstAtTheNextStart)
{
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("logs")), "not a folder"));
    QString spool;
    {
        auto w = start();
        child<QPushButton>(*w, "StartLogging")->click();
        logTick(*w);
        m_now = m_now.addSecs(60);
        logTick(*w);
        spool = w->spoolFile();
        EXPECT_FALSE(spool.isEmpty());
        w->close();
        ASSERT_EQ(m_messages.size(), 1);
        EXPECT_TRUE(m_messages[0].contains(spool)) << m_messages[0].toStdString();
        EXPECT_TRUE(m_messages[0].contains(QStringLiteral("2 lines")));
    }
    ASSERT_TRUE(QFileInfo::exists(spool));
    ASSERT_TRUE(QFile::remove(m_app.path(QStringLiteral("logs"))));
    m_now = m_now.addSecs(600);
    auto w = start();
    // The start hands the kept lines to the disk thread first and goes on without waiting.
    station::StationProbe::waitForDisk(w->station());
    EXPECT_EQ(fileBytes(dayLog()), zeros(0, "14:05") + zeros(0, "14:06"));
    // The two records, and the hour's line of logs/completeness.txt written at the close.
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("3 of 3 lines kept from the last run")))
        << w->statusText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(spool));
    child<QPushButton>(*w, "StartLogging")->click();
    logTick(*w);
    EXPECT_EQ(fileBytes(dayLog()), zeros(0, "14:05") + zeros(0, "14:06") + zeros(0, "14:16"));
}

// The signals with which the system ends a program take the Exit button's close steps: the port
// is closed, waiting lines are kept, and no message box waits for an answer nobody gives.
TEST_F(Logging, EndSignalsCloseLikeTheExitButton)
{
    ASSERT_TRUE(core::replaceFile(m_app.path(QStringLiteral("logs")), "not a folder"));
    auto pty = line(1);
    core::SystemSignals endSignals;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPWR}) {
        SCOPED_TRACE(signal);
        auto w = start();
        QObject::connect(&endSignals, &core::SystemSignals::received, w.get(),
                         &monitor::Logger::endBySystem);
        ASSERT_TRUE(w->portOpen());
        logTick(*w);
        // A modal window open at the time goes first.
        QTimer::singleShot(100, [signal] { ::raise(signal); });
        child<QPushButton>(*w, "Setup")->click();
        ASSERT_TRUE(waitFor([&] { return !w->isVisible(); }));
        EXPECT_FALSE(w->portOpen());
        EXPECT_TRUE(m_messages.isEmpty());
        // The record, and the hour's line of logs/completeness.txt.
        EXPECT_EQ(logging::loadSpool(m_app).writes.size(), 2u);
        logging::removeSpool(m_app);
    }
}

TEST_F(Logging, LeftoverTemporariesOfAKilledSaveAreRemovedAtStart)
{
    ASSERT_TRUE(QDir(m_app.dir).mkpath(QStringLiteral("html")));
    const QStringList leftovers{
        QStringLiteral("prog.cfg.~Ab12Cd"), QStringLiteral("settings.cfg.~x9Y8z7"),
        QStringLiteral("html/log.asp.~QwErTy"), QStringLiteral("publish.cfg.~backup")};
    // The user's own copies, whatever they look like, stay.
    const QStringList kept{
        QStringLiteral("prog.cfg.bak"),        QStringLiteral("prog.cfg.backup"),
        QStringLiteral("publish.cfg.backup"),  QStringLiteral("prog.cfg.Ab12Cd"),
        QStringLiteral("prog.cfg.~Ab12Cd7"),   QStringLiteral("prog.cfg.~Ab-2Cd"),
        QStringLiteral("settings.cfg.old-01"), QStringLiteral("prog.cfg2")};
    for (const QString& name : leftovers + kept)
        ASSERT_TRUE(core::replaceFile(m_app.path(name), "x"));
    auto w = start();
    for (const QString& name : leftovers)
        EXPECT_FALSE(QFileInfo::exists(m_app.path(name))) << name.toStdString();
    for (const QString& name : kept)
        EXPECT_TRUE(QFileInfo::exists(m_app.path(name))) << name.toStdString();
}

// Values too large for a double read 0 where they would become infinite, so neither the title,
// the total nor a record ever holds an infinity; a missing divider reads 0 with a warning.
TEST_F(Logging, OverflowAndMissingDividersNeverReachAFile)
{
    writeSettings("<VoltDivider>1</VoltDivider><VoltOffset>0</VoltOffset><AmpDivider>1"
                  "</AmpDivider><RPMDivider>1</RPMDivider>");
    auto pty = line(1);
    auto w = start();
    EXPECT_TRUE(w->statusText().contains(QStringLiteral("WSDivider")));
    child<QPushButton>(*w, "StartLogging")->click();
    send(*pty, "[<V>1e300</V><I>1e300</I><S>25</S>]");
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kVolts] == 1e300; }));
    EXPECT_EQ(w->reading()[core::kWatts], 0.0);
    EXPECT_EQ(w->reading()[core::kWind], 0.0); // no WSDivider: 0, never raw counts
    EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("  0 W")));
    station::StationProbe::energyTick(w->station());
    EXPECT_EQ(w->wattHourTotal(), 0.0);
    logTick(*w);
    EXPECT_EQ(fileBytes(dayLog()),
              "<V>1E+300</V><I>1E+300</I><W>0</W><R>0</R><S>0</S><M>0</M><T>14:05</T>\r\n");
    send(*pty, "[<V>12</V><I>10</I>]");
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kWatts] == 120; }));
    m_now = m_now.addSecs(5); // the energy tick's pace
    station::StationProbe::energyTick(w->station());
    EXPECT_DOUBLE_EQ(w->wattHourTotal(), 120.0 / 720);
}

TEST_F(Logging, TheIntervalIsTheDelayInMillisecondsOnAPreciseTimer)
{
    auto w = start();
    const struct
    {
        const char* delay;
        int ms;
    } cases[] = {{"10", 10000}, {"12.5", 12500}, {"20.5", 20500}, {"600", 600000}};
    for (const auto& c : cases) {
        child<QLineEdit>(*w, "delay")->setText(QLatin1String(c.delay));
        child<QPushButton>(*w, "StartLogging")->click();
        EXPECT_EQ(w->loggingInterval(), c.ms) << c.delay;
        EXPECT_EQ(w->loggingTimerType(), Qt::PreciseTimer);
        child<QPushButton>(*w, "StopLogging")->click();
    }
}
