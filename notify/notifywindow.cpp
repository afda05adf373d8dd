#include "notify/notifywindow.h"

#include "notify/notifyservice.h"
#include "ui/messagebox.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace notify {
namespace {

QLineEdit* field(QFormLayout* form, const QString& caption, const char* name,
                 const QString& hint = {})
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(hint);
    form->addRow(caption, edit);
    return edit;
}

} // namespace

Notify::Notify(const core::AppDir& app, NotifyService& service, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
    , m_service(service)
{
    setObjectName(QStringLiteral("Notify"));
    setWindowTitle(QStringLiteral("Notify"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral(
        "Alarms raised and cleared go from the plant itself to the ways ticked here, also "
        "with no desktop. Plain http:// is sent only to a loopback or private address."));
    intro->setWordWrap(true);
    layout->addWidget(intro);
    NotifyControls& c = m_controls;
    const auto group = [&](Way way, const char* onName, QCheckBox*& on) {
        auto* box = new QGroupBox(wayTitle(way));
        auto* form = new QFormLayout(box);
        on = new QCheckBox(QStringLiteral("Send alarms by %1").arg(wayTitle(way).toLower()));
        on->setObjectName(QString::fromLatin1(onName));
        form->addRow(on);
        layout->addWidget(box);
        return form;
    };
    QFormLayout* push = group(Way::Push, "PushOn", c.PushOn);
    c.PushUrl = field(push, QStringLiteral("Topic URL"), "PushUrl",
                      QStringLiteral("https://ntfy.example/tessaly-shed"));
    c.PushToken = field(push, QStringLiteral("Token"), "PushToken");
    QFormLayout* hook = group(Way::Hook, "HookOn", c.HookOn);
    c.HookUrl = field(hook, QStringLiteral("URL"), "HookUrl");
    c.HookToken = field(hook, QStringLiteral("Token"), "HookToken");
    QFormLayout* mail = group(Way::Mail, "MailOn", c.MailOn);
    c.SmtpUrl = field(mail, QStringLiteral("Server"), "SmtpUrl",
                      QStringLiteral("smtp://host:587 or smtps://host:465"));
    c.SmtpUser = field(mail, QStringLiteral("User"), "SmtpUser");
    c.SmtpPassword = field(mail, QStringLiteral("Password"), "SmtpPassword");
    c.SmtpPassword->setEchoMode(QLineEdit::Password);
    c.MailFrom = field(mail, QStringLiteral("From"), "MailFrom");
    c.MailTo = field(mail, QStringLiteral("To"), "MailTo");
    const std::array<QFormLayout*, 3> forms{push, hook, mail};
    for (const Way way : kWays) {
        const std::size_t k = std::size_t(way);
        c.Test[k] = new QPushButton(QStringLiteral("Send a test"));
        c.Test[k]->setObjectName(QStringLiteral("Test%1").arg(QLatin1String(wayKey(way))));
        c.Answer[k] = new QLabel;
        c.Answer[k]->setObjectName(QStringLiteral("Answer%1").arg(QLatin1String(wayKey(way))));
        c.Answer[k]->setWordWrap(true);
        c.Answer[k]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        forms[k]->addRow(c.Test[k], c.Answer[k]);
        connect(c.Test[k], &QPushButton::clicked, this, [this, way, k] {
            m_controls.Answer[k]->setText(QStringLiteral("Sending..."));
            m_controls.Test[k]->setEnabled(false);
            m_service.test(way, shownValues());
        });
    }
    connect(&m_service, &NotifyService::tested, this, [this](Way way, bool ok, const QString& a) {
        const std::size_t k = std::size_t(way);
        m_controls.Answer[k]->setText(
            (ok ? QStringLiteral("Sent: ") : QStringLiteral("Not sent: ")) + a);
        m_controls.Test[k]->setEnabled(true);
    });
    auto* common = new QFormLayout;
    c.CaFile = field(common, QStringLiteral("Own authority (PEM)"), "CaFile",
                     QStringLiteral("empty: the system's certificates"));
    c.ReportOn = new QCheckBox(QStringLiteral("A daily report at"));
    c.ReportOn->setObjectName(QStringLiteral("ReportOn"));
    c.ReportHour = new QSpinBox;
    c.ReportHour->setObjectName(QStringLiteral("ReportHour"));
    c.ReportHour->setRange(0, 23);
    c.ReportHour->setSuffix(QStringLiteral(" h"));
    common->addRow(c.ReportOn, c.ReportHour);
    layout->addLayout(common);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    c.Save = new QPushButton(QStringLiteral("Save"));
    c.Save->setObjectName(QStringLiteral("Save"));
    c.Cancel = new QPushButton(QStringLiteral("Cancel"));
    c.Cancel->setObjectName(QStringLiteral("Cancel"));
    buttons->addWidget(c.Save);
    buttons->addWidget(c.Cancel);
    layout->addLayout(buttons);
    connect(c.Save, &QPushButton::clicked, this, &Notify::save);
    connect(c.Cancel, &QPushButton::clicked, this, &QDialog::reject);
    QString warning;
    showValues(readNotifyConfig(app, &warning));
    // The file as it stands, damaged parts and all, is what the window starts from.
    if (!warning.isEmpty())
        m_controls.Answer[0]->setText(warning);
}

void Notify::showValues(const NotifyConfig& v)
{
    NotifyControls& c = m_controls;
    c.PushOn->setChecked(v.pushOn);
    c.PushUrl->setText(v.pushUrl);
    c.PushToken->setText(v.pushToken);
    c.HookOn->setChecked(v.hookOn);
    c.HookUrl->setText(v.hookUrl);
    c.HookToken->setText(v.hookToken);
    c.MailOn->setChecked(v.mailOn);
    c.SmtpUrl->setText(v.smtpUrl);
    c.SmtpUser->setText(v.smtpUser);
    c.SmtpPassword->setText(v.smtpPassword);
    c.MailFrom->setText(v.mailFrom);
    c.MailTo->setText(v.mailTo);
    c.CaFile->setText(v.caFile);
    c.ReportOn->setChecked(v.reportOn);
    c.ReportHour->setValue(v.reportHour);
}

NotifyConfig Notify::shownValues() const
{
    const NotifyControls& c = m_controls;
    NotifyConfig v;
    v.pushOn = c.PushOn->isChecked();
    v.pushUrl = c.PushUrl->text().trimmed();
    v.pushToken = c.PushToken->text().trimmed();
    v.hookOn = c.HookOn->isChecked();
    v.hookUrl = c.HookUrl->text().trimmed();
    v.hookToken = c.HookToken->text().trimmed();
    v.mailOn = c.MailOn->isChecked();
    v.smtpUrl = c.SmtpUrl->text().trimmed();
    v.smtpUser = c.SmtpUser->text();
    v.smtpPassword = c.SmtpPassword->text();
    v.mailFrom = c.MailFrom->text().trimmed();
    v.mailTo = c.MailTo->text().trimmed();
    v.caFile = c.CaFile->text().trimmed();
    v.reportOn = c.ReportOn->isChecked();
    v.reportHour = c.ReportHour->value();
    return v;
}

void Notify::save()
{
    const NotifyConfig v = shownValues();
    QStringList problems{commonProblem(v)};
    for (const Way way : kWays)
        problems << wayProblem(v, way);
    problems.removeAll(QString());
    if (!problems.isEmpty()) {
        ui::showMessage(this, problems.join(QLatin1Char('\n')));
        return;
    }
    QString error;
    if (!saveNotifyConfig(m_app, v, &error)) {
        ui::showMessage(this, QStringLiteral("notify.cfg cannot be saved: %1").arg(error));
        return;
    }
    accept();
}

} // namespace notify
