// The Notify window, offscreen: "Send a test" shows the server's answer, Save refuses settings
// that cannot be used and writes notify.cfg owner-only.

#include "notify/notifyservice.h"
#include "notify/notifywindow.h"
#include "tests/notifyreceivers.h"

#include <QCheckBox>
#include <QSpinBox>

namespace {

class NotifyWindow : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        if (const QString why = NotifyReceivers::missing(); !why.isEmpty())
            SKIP_OR_FAIL_IN_CI(why.toStdString());
        ASSERT_TRUE(m_receivers.start());
    }
    NotifyReceivers m_receivers;
    MovingClock m_clock;
};

TEST_F(NotifyWindow, SendsATestPerWayAndSavesOwnerOnly)
{
    notify::NotifyService service(m_app, m_clock.clock());
    notify::Notify window(m_app, service);
    const notify::NotifyControls& c = window.controls();
    const notify::NotifyConfig wanted = m_receivers.config(QStringLiteral("window"));
    c.PushOn->setChecked(true);
    c.PushUrl->setText(wanted.pushUrl);
    c.PushToken->setText(wanted.pushToken);
    c.MailOn->setChecked(true);
    c.SmtpUrl->setText(wanted.smtpUrl);
    c.SmtpUser->setText(wanted.smtpUser);
    c.SmtpPassword->setText(wanted.smtpPassword);
    c.MailFrom->setText(wanted.mailFrom);
    c.MailTo->setText(QStringLiteral("nobody"));
    c.CaFile->setText(wanted.caFile);
    c.ReportOn->setChecked(true);
    c.ReportHour->setValue(7);
    window.show();

    c.Test[std::size_t(notify::Way::Push)]->click();
    QLabel* pushAnswer = c.Answer[std::size_t(notify::Way::Push)];
    ASSERT_TRUE(waitFor([&] { return pushAnswer->text().startsWith(QLatin1String("Sent: ")); }))
        << pushAnswer->text().toStdString();
    EXPECT_TRUE(pushAnswer->text().contains(QLatin1String("HTTP 200")));
    EXPECT_EQ(m_receivers.onPath(QStringLiteral("/window-push")).size(), 1u);
    // Nothing is written by a test.
    EXPECT_FALSE(QFile::exists(notify::notifyCfgPath(m_app)));

    // An address that is none: said, and not saved.
    c.Save->click();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(QLatin1String("<MailTo> \"nobody\"")))
        << m_messages[0].toStdString();
    EXPECT_FALSE(QFile::exists(notify::notifyCfgPath(m_app)));
    c.MailTo->setText(wanted.mailTo);
    c.Test[std::size_t(notify::Way::Mail)]->click();
    QLabel* mailAnswer = c.Answer[std::size_t(notify::Way::Mail)];
    ASSERT_TRUE(waitFor([&] { return mailAnswer->text().startsWith(QLatin1String("Sent: 250")); }))
        << mailAnswer->text().toStdString();
    c.Save->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    QString warning;
    const notify::NotifyConfig saved = notify::readNotifyConfig(m_app, &warning);
    EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
    EXPECT_EQ(saved, window.shownValues());
    EXPECT_TRUE(saved.pushOn && saved.mailOn && !saved.hookOn && saved.reportOn);
    EXPECT_EQ(saved.reportHour, 7);
}

} // namespace
