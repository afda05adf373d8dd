// Alarms sent by push, webhook and e-mail: notify.cfg, the queue file, and the sending through
// real receivers (an HTTPS server with its own test authority, an SMTP server with STARTTLS and a
// login), with the plant's clock moved by the test for the retries and the hourly allowance.

#include "notify/notifyconfig.h"
#include "notify/notifyevent.h"
#include "notify/notifyreport.h"
#include "notify/notifyservice.h"
#include "notify/notifyworker.h"
#include "tests/notifyreceivers.h"

#include "alarms/alarmlog.h"
#include "core/files.h"
#include "publish/publishconfig.h"
#include "season/energyledger.h"
#include "tests/envguard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <arpa/inet.h>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using notify::Way;

namespace {

const QDateTime kAt(QDate(2024, 3, 7), QTime(3, 12, 5), QTimeZone(3600));

notify::Event battLow(bool raised, double volts, const QDateTime& at = kAt)
{
    alarms::AlarmSettings s{true, 11.8, 0.3, 60};
    return notify::alarmEvent(alarms::Kind::BattLow, raised, volts, s, QStringLiteral("km/h"), at,
                              QStringLiteral("shed"));
}

bool ownerOnly(const QString& path)
{
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther;
    const auto mode = QFile::permissions(path);
    return (mode & QFileDevice::ReadOwner) && !(mode & others);
}

QByteArray cfgText(const QByteArray& lines)
{
    return "Notify Settings\r\n\r\n" + lines;
}

} // namespace

TEST(NotifyConfig, ReadsBackWhatItWritesOwnerOnly)
{
    QTemporaryDir dir;
    const core::AppDir app{dir.path()};
    notify::NotifyConfig c;
    c.pushOn = c.mailOn = c.reportOn = true;
    c.pushUrl = QStringLiteral("https://ntfy.example/tessaly-shed");
    c.pushToken = QStringLiteral("tk_1");
    c.smtpUrl = QStringLiteral("smtps://mail.example:465");
    c.smtpUser = QStringLiteral("me");
    c.smtpPassword = QStringLiteral("pässword");
    c.mailFrom = QStringLiteral("shed@example.org");
    c.mailTo = QStringLiteral("a@example.org, b@example.org");
    c.reportHour = 7;
    ASSERT_TRUE(notify::saveNotifyConfig(app, c));
    EXPECT_TRUE(ownerOnly(notify::notifyCfgPath(app)));
    QString warning;
    EXPECT_EQ(notify::readNotifyConfig(app, &warning), c);
    EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
    // No file: everything off, nothing said.
    QTemporaryDir empty;
    EXPECT_FALSE(notify::readNotifyConfig(core::AppDir{empty.path()}, &warning).anyOn());
    EXPECT_TRUE(warning.isEmpty());
}

// notify.cfg damaged nine ways: what it touches is off, and the status line says why.
TEST(NotifyConfig, DamagedNineWaysIsOffWithAWarning)
{
    const QByteArray push = "<PushOn>1</PushOn><PushUrl>https://ntfy.example/t</PushUrl>\r\n";
    const QByteArray mail = "<MailOn>1</MailOn><SmtpUrl>smtp://mail.example:587</SmtpUrl>"
                            "<MailFrom>a@example.org</MailFrom><MailTo>b@example.org</MailTo>\r\n";
    struct Case
    {
        const char* name;
        QByteArray bytes;
        QFileDevice::Permissions mode;
        bool pushOn, mailOn;
        const char* said;
    };
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const Case cases[] = {
        {"another title", "Alarm Settings\r\n\r\n" + push + mail, owner, false, false,
         "first line is not \"Notify Settings\""},
        {"readable by others", cfgText(push + mail), owner | QFileDevice::ReadOther, false, false,
         "read by others"},
        {"a flag that is no flag", cfgText("<PushOn>yes</PushOn>" + mail), owner, false, true,
         "<PushOn> is \"yes\", not 0 or 1"},
        {"no URL", cfgText("<PushOn>1</PushOn>" + mail), owner, false, true, "<PushUrl> is empty"},
        {"another scheme", cfgText("<PushOn>1</PushOn><PushUrl>ftp://x.example/t</PushUrl>" + mail),
         owner, false, true, "must begin with https:// or http://"},
        {"plain http to a public address",
         cfgText("<PushOn>1</PushOn><PushUrl>http://93.184.216.34/t</PushUrl>" + mail), owner,
         false, true, "plain http is sent only to a loopback or private address"},
        {"mail over http",
         cfgText(push + "<MailOn>1</MailOn><SmtpUrl>http://mail.example</SmtpUrl>"
                        "<MailFrom>a@example.org</MailFrom><MailTo>b@example.org</MailTo>"),
         owner, true, false, "must begin with smtp:// or smtps://"},
        {"no address",
         cfgText(push + "<MailOn>1</MailOn><SmtpUrl>smtp://m.example</SmtpUrl>"
                        "<MailFrom>a@example.org</MailFrom><MailTo>bob</MailTo>"),
         owner, true, false, "<MailTo> \"bob\" is not an e-mail address"},
        {"an hour of no day",
         cfgText(push + mail +
                 "<ReportOn>1</ReportOn><ReportHour>25"
                 "</ReportHour>"),
         owner, false, false, "<ReportHour> is 25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const core::AppDir app{dir.path()};
        QFile f(notify::notifyCfgPath(app));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.bytes);
        f.close();
        ASSERT_TRUE(QFile::setPermissions(f.fileName(), c.mode));
        QString warning;
        const notify::NotifyConfig read = notify::readNotifyConfig(app, &warning);
        EXPECT_EQ(read.pushOn, c.pushOn);
        EXPECT_EQ(read.mailOn, c.mailOn);
        EXPECT_FALSE(read.reportOn);
        EXPECT_TRUE(warning.startsWith(QLatin1String("notify.cfg: "))) << warning.toStdString();
        EXPECT_TRUE(warning.contains(QLatin1String(c.said))) << warning.toStdString();
    }
}

TEST(NotifyQueue, ReadsBackEventsProgressAndNothingCut)
{
    notify::Event a = battLow(true, 11.6);
    a.seq = 1;
    a.ways = {Way::Push, Way::Mail};
    a.text = QStringLiteral("two <lines> & more\nsecond");
    notify::Event b = battLow(false, 12.2, kAt.addSecs(600));
    b.seq = 2;
    b.ways = {Way::Hook};
    const QByteArray text = notify::queueLine(a) + notify::doneLine(Way::Push, 1) +
                            notify::queueLine(b) + notify::reportLine(QDate(2024, 3, 6)) +
                            notify::queueLine(b).replace("<N>2<", "<N>3<").chopped(9);
    const notify::QueueState state = notify::readQueue(text);
    ASSERT_EQ(state.events.size(), 2u);
    EXPECT_EQ(state.events[0], a);
    EXPECT_EQ(state.events[1], b);
    EXPECT_EQ(state.events[0].time.offsetFromUtc(), 3600);
    EXPECT_EQ(state.lastSeq, 2);
    EXPECT_EQ(state.done.at(Way::Push), 1);
    EXPECT_EQ(state.done.count(Way::Mail), 0u);
    EXPECT_EQ(state.lastReport, QDate(2024, 3, 6));
}

TEST(NotifyRules, RetriesBackOffToTenMinutesAndTheReportComesOnceAtItsHour)
{
    EXPECT_EQ(notify::retryAfterS(1), 10);
    EXPECT_EQ(notify::retryAfterS(2), 20);
    EXPECT_EQ(notify::retryAfterS(6), 320);
    EXPECT_EQ(notify::retryAfterS(7), 600);
    EXPECT_EQ(notify::retryAfterS(40), 600);
    notify::NotifyConfig c;
    c.reportOn = true;
    c.reportHour = 7;
    const QDateTime six(QDate(2024, 3, 7), QTime(6, 59), QTimeZone(3600));
    EXPECT_FALSE(notify::reportDue(c, six, {}));
    EXPECT_TRUE(notify::reportDue(c, six.addSecs(60), {}));
    EXPECT_TRUE(notify::reportDue(c, six.addSecs(60), QDate(2024, 3, 5)));
    EXPECT_FALSE(notify::reportDue(c, six.addSecs(60), QDate(2024, 3, 6)));
    c.reportOn = false;
    EXPECT_FALSE(notify::reportDue(c, six.addSecs(60), {}));
}

// The receivers are shared by the delivery cases; each sends to paths and an address of its own.
class NotifyDelivery : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!NotifyReceivers::missing().isEmpty())
            return;
        s_receivers = new NotifyReceivers;
        if (!s_receivers->start()) {
            delete s_receivers;
            s_receivers = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete s_receivers;
        s_receivers = nullptr;
    }
    void SetUp() override
    {
        if (const QString why = NotifyReceivers::missing(); !why.isEmpty())
            SKIP_OR_FAIL_IN_CI(why.toStdString());
        ASSERT_NE(s_receivers, nullptr) << "the receivers did not start";
    }

    // A service on the test's clock with the settings given, counting what each way took.
    std::unique_ptr<notify::NotifyService> service(const notify::NotifyConfig& config)
    {
        EXPECT_TRUE(notify::saveNotifyConfig(m_app, config));
        auto s = std::make_unique<notify::NotifyService>(m_app, m_clock.clock());
        QObject::connect(s.get(), &notify::NotifyService::delivered,
                         [this](Way way, qint64 seq) { m_done[way] = seq; });
        QObject::connect(s.get(), &notify::NotifyService::tried,
                         [this](Way way, bool ok, const QString&) { ++m_tries[way][ok]; });
        return s;
    }
    int tries(Way way, bool ok) { return m_tries[way][ok]; }

    static NotifyReceivers* s_receivers;
    QTemporaryDir m_dir;
    core::AppDir m_app{m_dir.path()};
    MovingClock m_clock;
    std::map<Way, qint64> m_done;
    std::map<Way, std::map<bool, int>> m_tries;
};
NotifyReceivers* NotifyDelivery::s_receivers = nullptr;

TEST_F(NotifyDelivery, ARaiseAndItsClearArriveByAllThree)
{
    const auto notify = service(s_receivers->config(QStringLiteral("both")));
    alarms::AlarmSettings s{true, 11.8, 0.3, 60};
    notify->alarmChanged(alarms::Kind::BattLow, true, 11.6, s, {}, kAt);
    notify->alarmChanged(alarms::Kind::BattLow, false, 12.2, s, {}, kAt.addSecs(900));
    ASSERT_TRUE(waitFor([&] {
        return m_done[Way::Push] == 2 && m_done[Way::Hook] == 2 && m_done[Way::Mail] == 2;
    })) << m_done[Way::Push]
        << m_done[Way::Hook] << m_done[Way::Mail] << notify->statusText().toStdString();
    const auto pushes = s_receivers->onPath(QStringLiteral("/both-push"));
    ASSERT_EQ(pushes.size(), 2u);
    const QJsonObject raise = pushes[0][QStringLiteral("headers")].toObject();
    EXPECT_EQ(raise[QStringLiteral("Title")].toString(), QStringLiteral("Battery low: 11.6 V"));
    EXPECT_EQ(raise[QStringLiteral("Priority")].toString(), QStringLiteral("high"));
    EXPECT_EQ(raise[QStringLiteral("Authorization")].toString(), QStringLiteral("Bearer tk_push"));
    const QJsonObject clear = pushes[1][QStringLiteral("headers")].toObject();
    EXPECT_EQ(clear[QStringLiteral("Title")].toString(),
              QStringLiteral("Battery low cleared: 12.2 V"));
    EXPECT_EQ(clear[QStringLiteral("Priority")].toString(), QStringLiteral("default"));
    EXPECT_TRUE(pushes[0][QStringLiteral("body")].toString().contains(
        QLatin1String("2024-03-07T03:12:05+01:00")));

    const auto hooks = s_receivers->onPath(QStringLiteral("/both-hook"));
    ASSERT_EQ(hooks.size(), 2u);
    EXPECT_EQ(hooks[0][QStringLiteral("headers")].toObject()[QStringLiteral("Authorization")],
              QStringLiteral("Bearer tk_hook"));
    const QJsonObject json =
        QJsonDocument::fromJson(hooks[0][QStringLiteral("body")].toString().toUtf8()).object();
    EXPECT_EQ(json[QStringLiteral("kind")], QStringLiteral("BattLow"));
    EXPECT_EQ(json[QStringLiteral("state")], QStringLiteral("on"));
    EXPECT_EQ(json[QStringLiteral("value")].toDouble(), 11.6);
    EXPECT_EQ(json[QStringLiteral("unit")], QStringLiteral("V"));
    EXPECT_EQ(json[QStringLiteral("level")].toDouble(), 11.8);
    EXPECT_EQ(json[QStringLiteral("time")], QStringLiteral("2024-03-07T03:12:05+01:00"));
    EXPECT_FALSE(json[QStringLiteral("plant")].toString().isEmpty());
    EXPECT_FALSE(json[QStringLiteral("text")].toString().isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(hooks[1][QStringLiteral("body")].toString().toUtf8())
                  .object()[QStringLiteral("state")],
              QStringLiteral("off"));

    const auto mails = s_receivers->mailsTo(QStringLiteral("both@example.org"));
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_TRUE(mails[0][QStringLiteral("tls")].toBool());
    EXPECT_TRUE(mails[0][QStringLiteral("login")].toBool());
    EXPECT_TRUE(mails[0][QStringLiteral("data")].toString().contains(
        QLatin1String("Subject: Battery low: 11.6 V")));
    EXPECT_TRUE(mails[1][QStringLiteral("data")].toString().contains(
        QLatin1String("Subject: Battery low cleared: 12.2 V")));
    // Everything taken: the queue starts afresh.
    EXPECT_TRUE(waitFor([&] { return QFile(notify::queuePath(m_app)).size() == 0; }));
    EXPECT_TRUE(ownerOnly(notify::queuePath(m_app)));
}

TEST_F(NotifyDelivery, ADayOfOutageLosesAndRepeatsNothing)
{
    s_receivers->stop();
    const notify::NotifyConfig config = s_receivers->config(QStringLiteral("outage"));
    auto notify = service(config);
    alarms::AlarmSettings s{true, 11.8, 0.3, 60};
    // Three raises and clears over a day; each try fails while the receivers are down.
    int posted = 0;
    for (int hour = 0; hour < 24; hour += 4) {
        m_clock.advanceS(4 * 3600);
        const int before = tries(Way::Push, false);
        notify->alarmChanged(alarms::Kind::BattLow, posted % 2 == 0, 11.5 + posted * 0.1, s, {},
                             m_clock.clock().now());
        ++posted;
        ASSERT_TRUE(waitFor([&] { return tries(Way::Push, false) > before; }));
    }
    // The way that keeps failing is said once, and what waits is on the disk.
    ASSERT_TRUE(waitFor([&] { return notify->problems().size() == 3; }));
    EXPECT_TRUE(notify->statusText().contains(QLatin1String("Push alarms cannot be delivered")));
    // A restart meanwhile: the queue is read back.
    notify.reset();
    notify = service(config);
    ASSERT_TRUE(s_receivers->start());
    m_clock.advanceS(notify::kLongestRetryS);
    notify->kick();
    ASSERT_TRUE(waitFor([&] {
        return m_done[Way::Push] == posted && m_done[Way::Hook] == posted &&
               m_done[Way::Mail] == posted;
    }));
    EXPECT_TRUE(waitFor([&] { return notify->problems().isEmpty(); }));
    const auto pushes = s_receivers->onPath(QStringLiteral("/outage-push"));
    const auto hooks = s_receivers->onPath(QStringLiteral("/outage-hook"));
    const auto mails = s_receivers->mailsTo(QStringLiteral("outage@example.org"));
    ASSERT_EQ(pushes.size(), std::size_t(posted));
    ASSERT_EQ(hooks.size(), std::size_t(posted));
    ASSERT_EQ(mails.size(), std::size_t(posted));
    QDateTime last;
    for (int i = 0; i < posted; ++i) {
        const QJsonObject json =
            QJsonDocument::fromJson(hooks[i][QStringLiteral("body")].toString().toUtf8()).object();
        EXPECT_EQ(json[QStringLiteral("state")].toString(),
                  i % 2 == 0 ? QStringLiteral("on") : QStringLiteral("off"));
        const QDateTime at =
            QDateTime::fromString(json[QStringLiteral("time")].toString(), Qt::ISODate);
        EXPECT_TRUE(!last.isValid() || at.secsTo(last) < 0);
        last = at;
        EXPECT_EQ(pushes[i][QStringLiteral("headers")].toObject()[QStringLiteral("Priority")],
                  i % 2 == 0 ? QStringLiteral("high") : QStringLiteral("default"));
    }
}

TEST_F(NotifyDelivery, AWrongCertificateIsRefusedAndSaid)
{
    notify::NotifyConfig config = s_receivers->config(QStringLiteral("wrongca"));
    config.caFile = s_receivers->wrongCaFile();
    config.hookOn = config.mailOn = false;
    const auto notify = service(config);
    std::optional<std::pair<bool, QString>> answer;
    QObject::connect(notify.get(), &notify::NotifyService::tested,
                     [&](Way, bool ok, const QString& text) {
                         answer = {ok, text};
                     });
    notify->test(Way::Push, config);
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    EXPECT_FALSE(answer->first);
    EXPECT_TRUE(answer->second.contains(QLatin1String("certificate"), Qt::CaseInsensitive))
        << answer->second.toStdString();
    // An alarm by the same way: refused at each try, said once it keeps failing.
    notify->post(battLow(true, 11.6));
    ASSERT_TRUE(waitFor([&] { return tries(Way::Push, false) == 1; }));
    m_clock.advanceS(notify::retryAfterS(1));
    notify->kick();
    ASSERT_TRUE(waitFor([&] { return !notify->problems().isEmpty(); }));
    EXPECT_TRUE(notify->statusText().contains(QLatin1String("certificate"), Qt::CaseInsensitive));
    EXPECT_TRUE(s_receivers->onPath(QStringLiteral("/wrongca-push")).empty());
    // With the right authority the same test is answered by the server.
    config.caFile = s_receivers->caFile();
    answer.reset();
    notify->test(Way::Push, config);
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    EXPECT_TRUE(answer->first) << answer->second.toStdString();
    EXPECT_TRUE(answer->second.startsWith(QLatin1String("HTTP 200")))
        << answer->second.toStdString();
}

TEST_F(NotifyDelivery, AHundredAlarmsInAnHourGiveAtMostTwentyMessages)
{
    notify::NotifyConfig config = s_receivers->config(QStringLiteral("flood"));
    config.mailOn = false;
    const auto notify = service(config);
    for (int i = 0; i < 100; ++i) {
        notify->post(battLow(i % 2 == 0, 11.5, m_clock.clock().now()));
        m_clock.advanceS(30);
        notify->kick();
    }
    // Every alarm is queued; the hour's singles have gone and the rest waits for the hour's
    // allowance.
    ASSERT_TRUE(waitFor([&] {
        QFile queue(notify::queuePath(m_app));
        return queue.open(QIODevice::ReadOnly) && notify::readQueue(queue.readAll()).lastSeq == 100;
    }));
    ASSERT_TRUE(waitFor([&] {
        return s_receivers->onPath(QStringLiteral("/flood-push")).size() ==
               std::size_t(notify::kMessagesPerHour - 1);
    }));
    m_clock.advanceS(3600);
    notify->kick();
    ASSERT_TRUE(waitFor([&] { return m_done[Way::Push] == 100 && m_done[Way::Hook] == 100; }))
        << m_done[Way::Push] << " " << m_done[Way::Hook];
    const auto pushes = s_receivers->onPath(QStringLiteral("/flood-push"));
    EXPECT_LE(pushes.size(), std::size_t(notify::kMessagesPerHour));
    const QJsonObject last = pushes.back()[QStringLiteral("headers")].toObject();
    const int more = 100 - int(pushes.size() - 1) - 1;
    // The 20th alarm, a clear, heads the folded message; the raises in it make it urgent.
    EXPECT_EQ(last[QStringLiteral("Title")].toString().toStdString(),
              QStringLiteral("Battery low cleared: 11.5 V and %1 more").arg(more).toStdString());
    EXPECT_EQ(last[QStringLiteral("Priority")].toString(), QStringLiteral("high"));
    const auto hooks = s_receivers->onPath(QStringLiteral("/flood-hook"));
    const QJsonObject folded =
        QJsonDocument::fromJson(hooks.back()[QStringLiteral("body")].toString().toUtf8()).object();
    EXPECT_EQ(folded[QStringLiteral("more")].toInt(), more);
    EXPECT_EQ(folded[QStringLiteral("events")].toArray().size(), more + 1);
}

// The daily report at its hour, once a day, from the folder's ledger and alarm log.
TEST_F(NotifyDelivery, TheDailyReportArrivesOnceAtItsHour)
{
    const QDate yesterday(2024, 3, 6);
    QDir().mkpath(m_app.logsDir());
    ASSERT_TRUE(core::replaceFile(season::energyLedgerFile(m_app),
                                  season::lineFor({yesterday, 10, 800, 3600, 60.0, 90.0}) +
                                      season::lineFor({yesterday, 11, 434, 3600, 33.0, 30.0})));
    const QDateTime at(yesterday, QTime(3, 12, 5));
    ASSERT_TRUE(core::replaceFile(
        alarms::alarmLogPath(m_app),
        alarms::alarmLogLine(alarms::Kind::BattLow, true, 11.6, at) +
            alarms::alarmLogLine(alarms::Kind::BattLow, false, 12.2, at.addSecs(3600))));
    notify::NotifyConfig config = s_receivers->config(QStringLiteral("report"));
    config.pushOn = config.mailOn = false;
    config.reportOn = true;
    config.reportHour = 8;
    const auto notify = service(config);
    notify->setReport(
        [](const QDate&) {
            return notify::PlantFacts{{QStringLiteral("Last 1 days: nothing compared.")}, 14.4, {}};
        },
        [this](const QDate& day, const notify::PlantFacts& facts, const QString& plant) {
            return notify::readReport(m_app, day, m_clock.clock().now(), plant, facts);
        });
    const auto reports = [&] {
        std::vector<QJsonObject> out;
        for (const QJsonObject& r : s_receivers->onPath(QStringLiteral("/report-hook"))) {
            const QJsonObject json =
                QJsonDocument::fromJson(r[QStringLiteral("body")].toString().toUtf8()).object();
            out.push_back(json);
        }
        return out;
    };
    // 14:00, past the hour: yesterday's report comes at once.
    notify->kick();
    ASSERT_TRUE(waitFor([&] { return reports().size() == 1; }));
    const QJsonObject report = reports()[0];
    EXPECT_EQ(report[QStringLiteral("state")], QStringLiteral("report"));
    EXPECT_EQ(report[QStringLiteral("value")].toDouble(), 1234);
    EXPECT_EQ(report[QStringLiteral("title")].toString().toStdString(),
              "Daily report of 2024-03-06: 1.23 kWh");
    const QString text = report[QStringLiteral("text")].toString();
    EXPECT_TRUE(text.contains(QLatin1String("Energy: 1234 Wh."))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Load: 2 hours on."))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Last 1 days: nothing compared.")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Battery low raised at 03:12:05 (11.6 V); Battery low "
                                            "cleared at 04:12:05 (12.2 V)")))
        << text.toStdString();
    // An alarm later the same day comes alone: the day's report is not sent again.
    m_clock.advanceS(3600);
    notify->post(battLow(true, 11.6, m_clock.clock().now()));
    notify->kick();
    ASSERT_TRUE(
        waitFor([&] { return s_receivers->onPath(QStringLiteral("/report-hook")).size() == 2; }));
    EXPECT_EQ(reports().size(), 2u);
    EXPECT_EQ(reports()[1][QStringLiteral("state")], QStringLiteral("on"));
    // The next morning at 08:00, the report of today.
    m_clock.advanceS(17 * 3600);
    notify->kick();
    ASSERT_TRUE(waitFor([&] { return reports().size() == 3; }));
    EXPECT_EQ(reports()[2][QStringLiteral("title")].toString().toStdString(),
              "Daily report of 2024-03-07: 0 kWh");
}

// The last report's day is kept in the queue file: a restart after the hour neither sends the
// day's report again nor skips it; a start after the hour with yesterday's not sent sends it once.
// The report names the plant as publish.cfg calls it when the report is made.
TEST_F(NotifyDelivery, TheDailyReportComesOnceADayAcrossRestarts)
{
    notify::NotifyConfig config = s_receivers->config(QStringLiteral("restart"));
    config.pushOn = config.mailOn = false;
    config.reportOn = true;
    config.reportHour = 8;
    publish::PublishConfig publish = publish::defaultPublishConfig();
    publish.Name = QStringLiteral("shed");
    ASSERT_TRUE(publish::savePublishConfig(m_app, publish));
    int asked = 0; // reports made: asked for before any alarm of the same turn is sent
    const auto start = [&] {
        auto s = service(config);
        s->setReport(
            [&](const QDate&) {
                ++asked;
                return notify::PlantFacts{};
            },
            [this](const QDate& day, const notify::PlantFacts& facts, const QString& plant) {
                return notify::readReport(m_app, day, m_clock.clock().now(), plant, facts);
            });
        return s;
    };
    const auto reports = [&] {
        std::vector<QJsonObject> out;
        for (const QJsonObject& r : s_receivers->onPath(QStringLiteral("/restart-hook"))) {
            const QJsonObject json =
                QJsonDocument::fromJson(r[QStringLiteral("body")].toString().toUtf8()).object();
            if (json[QStringLiteral("state")] == QStringLiteral("report"))
                out.push_back(json);
        }
        return out;
    };
    // An alarm sent: the turn that sent it has looked whether a report was due.
    const auto alarmSent = [&](notify::NotifyService& notify) {
        m_done.clear();
        notify.post(battLow(true, 11.6, m_clock.clock().now()));
        return waitFor([&] { return m_done[Way::Hook] > 0; });
    };

    // 07:00 the next morning, before the hour: no report.
    m_clock.advanceS(17 * 3600);
    auto notify = start();
    ASSERT_TRUE(alarmSent(*notify));
    EXPECT_EQ(asked, 0);
    // Renamed in Publish; at 08:00 the report of the day before carries the new name.
    publish.Name = QStringLiteral("barn");
    ASSERT_TRUE(publish::savePublishConfig(m_app, publish));
    notify->reload();
    m_clock.advanceS(3600);
    notify->kick();
    ASSERT_TRUE(waitFor([&] { return reports().size() == 1; }));
    EXPECT_EQ(reports()[0][QStringLiteral("plant")], QStringLiteral("barn"));
    EXPECT_EQ(reports()[0][QStringLiteral("title")].toString().toStdString(),
              "Daily report of 2024-03-07: 0 kWh");
    // Taken: the queue file has started afresh, keeping the day of the last report.
    ASSERT_TRUE(waitFor([&] {
        return core::readWholeFile(notify::queuePath(m_app)) ==
               notify::reportLine(QDate(2024, 3, 7));
    }));

    // A restart at 09:00 the same day: the day's report is not sent again.
    notify.reset();
    m_clock.advanceS(3600);
    notify = start();
    ASSERT_TRUE(alarmSent(*notify));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(reports().size(), 1u);

    // Stopped over the next report's hour, started at 10:00 the day after: it comes once.
    notify.reset();
    m_clock.advanceS(25 * 3600);
    notify = start();
    ASSERT_TRUE(waitFor([&] { return reports().size() == 2; }));
    EXPECT_EQ(reports()[1][QStringLiteral("title")].toString().toStdString(),
              "Daily report of 2024-03-08: 0 kWh");
    ASSERT_TRUE(alarmSent(*notify));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(reports().size(), 2u);
}

// A queue file that cannot be written does not hold an alarm back: it is sent from memory, once,
// and the status line says the file cannot be written.
TEST_F(NotifyDelivery, AnAlarmIsSentWhenTheQueueFileCannotBeWritten)
{
    QTemporaryDir tmp;
    SmallDisk disk(tmp.filePath(QStringLiteral("ro")), 256);
    if (!disk.mounted())
        SKIP_OR_FAIL_IN_CI("needs a small tmpfs of its own: " << disk.error().toStdString());
    const core::AppDir app{tmp.filePath(QStringLiteral("ro"))};
    ASSERT_TRUE(notify::saveNotifyConfig(app, s_receivers->config(QStringLiteral("readonly"))));
    ASSERT_TRUE(disk.readOnly());
    notify::NotifyService notify(app, m_clock.clock());
    QObject::connect(&notify, &notify::NotifyService::delivered,
                     [this](Way way, qint64 seq) { m_done[way] = seq; });
    const auto taken = [&](qint64 seq) {
        return waitFor([&] {
            return m_done[Way::Push] == seq && m_done[Way::Hook] == seq && m_done[Way::Mail] == seq;
        });
    };
    notify.post(battLow(true, 11.6));
    ASSERT_TRUE(taken(1)) << notify.statusText().toStdString();
    EXPECT_TRUE(notify.statusText().contains(QLatin1String("notify-queue.txt cannot be written")))
        << notify.statusText().toStdString();
    // The next alarm comes next: the first is not sent again for want of its progress line.
    notify.post(battLow(false, 12.2, kAt.addSecs(600)));
    ASSERT_TRUE(taken(2)) << notify.statusText().toStdString();
    const auto pushes = s_receivers->onPath(QStringLiteral("/readonly-push"));
    ASSERT_EQ(pushes.size(), 2u);
    EXPECT_EQ(pushes[1][QStringLiteral("headers")].toObject()[QStringLiteral("Title")],
              QStringLiteral("Battery low cleared: 12.2 V"));
    EXPECT_EQ(s_receivers->mailsTo(QStringLiteral("readonly@example.org")).size(), 2u);
    EXPECT_FALSE(QFileInfo::exists(notify::queuePath(app)));
}

// A way that is off never queues: the queue file names only the ways on, and with none on there
// is no queue file at all. The ways on lead nowhere here, so what waits stays in the file.
TEST(NotifyQueue, AWayThatIsOffNeverQueues)
{
    const struct
    {
        const char* name;
        std::vector<Way> on;
    } rows[] = {
        {"push alone", {Way::Push}},
        {"webhook and e-mail", {Way::Hook, Way::Mail}},
        {"none", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const core::AppDir app{dir.path()};
        MovingClock clock;
        notify::NotifyConfig config;
        config.pushUrl = config.hookUrl = QStringLiteral("https://127.0.0.1:1/nowhere");
        config.smtpUrl = QStringLiteral("smtp://127.0.0.1:1");
        config.mailFrom = QStringLiteral("shed@example.org");
        config.mailTo = QStringLiteral("owner@example.org");
        for (const Way way : row.on)
            (way == Way::Push   ? config.pushOn
             : way == Way::Hook ? config.hookOn
                                : config.mailOn) = true;
        ASSERT_TRUE(notify::saveNotifyConfig(app, config));
        notify::NotifyService notify(app, clock.clock());
        notify.post(battLow(true, 11.6));
        if (row.on.empty()) {
            // With every way off nothing takes the event: post returns having done nothing.
            EXPECT_FALSE(QFileInfo::exists(notify::queuePath(app)));
            continue;
        }
        notify::QueueState queued;
        ASSERT_TRUE(waitFor([&] {
            queued = notify::readQueue(core::readWholeFile(notify::queuePath(app)).value_or(""));
            return queued.lastSeq == 1;
        }));
        EXPECT_EQ(queued.events[0].ways, row.on);
    }
}

namespace {

// A listener for the plain-http cases, on an address of the network namespace it is made in:
// it takes one connection, reads until the request is whole or the other end closes, and
// answers 200 when told to. It stops looking for a connection when it is destroyed.
class OneRequest
{
public:
    OneRequest(const char* address, bool answer)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &a.sin_addr);
        socklen_t size = sizeof a;
        m_ok = ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), size) == 0 && ::listen(m_fd, 4) == 0 &&
               ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &size) == 0;
        port = ntohs(a.sin_port);
        m_thread = std::thread([this, answer] { serve(answer); });
    }
    ~OneRequest()
    {
        finish();
        ::close(m_end);
        ::close(m_fd);
    }
    bool ok() const { return m_ok; }
    // Stops looking for a connection, after taking one that is there already with what came on
    // it: call it once the client has ended.
    void finish()
    {
        if (!m_thread.joinable())
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_end, &one, sizeof one);
        m_thread.join();
    }
    // After finish(): what came, or nothing when no connection came.
    std::optional<QByteArray> got() const
    {
        return m_connected ? std::optional(m_received) : std::nullopt;
    }
    int port = 0;

private:
    void serve(bool answer)
    {
        pollfd wait[2] = {{m_fd, POLLIN, 0}, {m_end, POLLIN, 0}};
        if (::poll(wait, 2, -1) < 1 || !(wait[0].revents & POLLIN))
            return;
        const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        m_connected = true;
        char buffer[4096];
        for (;;) {
            pollfd in[2] = {{c, POLLIN, 0}, {m_end, POLLIN, 0}};
            if (::poll(in, 2, -1) < 1 || !(in[0].revents & (POLLIN | POLLHUP)))
                break;
            const ssize_t n = ::read(c, buffer, sizeof buffer);
            if (n <= 0)
                break;
            m_received.append(buffer, qsizetype(n));
            const qsizetype end = m_received.indexOf("\r\n\r\n");
            if (end < 0)
                continue;
            qsizetype length = 0;
            for (const QByteArray& line : m_received.left(end).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (m_received.size() >= end + 4 + length)
                break;
        }
        if (answer) {
            const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
            [[maybe_unused]] const auto written = ::write(c, ok.constData(), size_t(ok.size()));
        }
        ::close(c);
    }

    int m_fd = -1;
    bool m_connected = false;
    QByteArray m_received;
    int m_end = ::eventfd(0, EFD_CLOEXEC);
    bool m_ok = false;
    std::thread m_thread;
};

} // namespace

// Plain http leaves the plant only for its own network and never through a proxy: the address
// connected to is checked at the send, and an http_proxy of the environment is not used for it;
// https goes through the environment's proxy as it is. Each case runs in a network namespace of
// its own, where a public address (203.0.113.9) is on the loopback device and stands for a
// server on the internet.
TEST(NotifySend, PlainHttpStaysOnTheLocalNetwork)
{
    const struct
    {
        const char* name;
        const char* proxyVariable; // the proxy of the environment, at the listener "proxy"
        const char* server;        // the server's address
        bool https;
        bool sent;              // taken by the server
        const char* answer;     // what the send says, in part
        const char* proxyGets;  // what the proxy gets, in part; nullptr: no connection
        const char* serverGets; // what the server gets, in part; nullptr: no connection
    } rows[] = {
        {"plain http to a public address", nullptr, "203.0.113.9", false, false,
         "plain http is sent only to a loopback or private address", nullptr, ""},
        {"plain http to a private address with an http_proxy", "http_proxy", "10.77.0.9", false,
         true, "HTTP 200", nullptr, "POST /t HTTP/1.1"},
        {"https through an https_proxy", "https_proxy", "203.0.113.9", true, false, "",
         "CONNECT 203.0.113.9:", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string skipped;
        std::thread([&] {
            if (::unshare(CLONE_NEWNET) != 0 ||
                std::system("ip link set lo up && ip addr add 203.0.113.9/32 dev lo && "
                            "ip addr add 10.77.0.9/32 dev lo") != 0) {
                skipped = "needs a network namespace of its own (root and ip)";
                return;
            }
            OneRequest server(row.server, true);
            OneRequest proxy("203.0.113.9", false);
            ASSERT_TRUE(server.ok() && proxy.ok());
            std::optional<EnvGuard> env;
            if (row.proxyVariable) {
                env.emplace(row.proxyVariable,
                            QByteArray("http://203.0.113.9:") + QByteArray::number(proxy.port));
            }
            notify::NotifyConfig config;
            config.pushOn = true;
            config.pushUrl = QStringLiteral("%1://%2:%3/t")
                                 .arg(row.https ? QStringLiteral("https") : QStringLiteral("http"),
                                      QLatin1String(row.server))
                                 .arg(server.port);
            const notify::Answer answer = notify::send(Way::Push, config, battLow(true, 11.6));
            EXPECT_EQ(answer.ok, row.sent) << answer.text.toStdString();
            EXPECT_TRUE(answer.text.contains(QLatin1String(row.answer)))
                << answer.text.toStdString();
            // The send has ended: what reached the listeners is there.
            server.finish();
            proxy.finish();
            for (const auto& [listener, expected] :
                 {std::pair{&server, row.serverGets}, std::pair{&proxy, row.proxyGets}}) {
                const std::optional<QByteArray> got = listener->got();
                EXPECT_EQ(got.has_value(), expected != nullptr) << got.value_or("").constData();
                if (got && expected) {
                    EXPECT_TRUE(std::string(expected).empty() ? got->isEmpty()
                                                              : got->startsWith(expected))
                        << got->constData();
                }
            }
        }).join();
        if (!skipped.empty())
            SKIP_OR_FAIL_IN_CI(skipped);
    }
}
