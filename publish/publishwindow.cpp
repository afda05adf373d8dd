#include "publish/publishwindow.h"

#include "publish/publisher.h"
#include "ui/controltable.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <vector>

namespace publish {
namespace {

enum class Kind
{
    Label,
    TextBox,
    CheckBox,
    Button
};

// One control: what it is, its object name, design text and place, and the member it fills.
struct Control
{
    Kind kind;
    const char* name;
    const char* caption;
    QRect place; // pixels
    ui::Fills<PublishControls> member{};
};

template <auto Member> constexpr auto to = ui::fills<Member>();
using P = PublishControls;

constexpr QSize kClientSize{400, 360};

// In tab order; each box follows the label that names it.
const std::vector<Control>& publishControls()
{
    static const std::vector<Control> controls{
        {Kind::CheckBox,
         "Enabled",
         "Publish to an MQTT broker",
         {12, 10, 376, 22},
         to<&P::Enabled>},
        {Kind::Label, "HostLabel", "Host", {12, 42, 110, 22}},
        {Kind::TextBox, "Host", "", {130, 40, 258, 24}, to<&P::Host>},
        {Kind::Label, "PortLabel", "Port", {12, 72, 110, 22}},
        {Kind::TextBox, "Port", "", {130, 70, 80, 24}, to<&P::Port>},
        {Kind::CheckBox, "TLS", "TLS (usually port 8883)", {222, 71, 166, 22}, to<&P::TLS>},
        {Kind::TextBox, "CAFile", "CA file for TLS", {12, 328, 376, 24}, to<&P::CAFile>},
        {Kind::Label, "UserLabel", "User", {12, 102, 110, 22}},
        {Kind::TextBox, "User", "", {130, 100, 258, 24}, to<&P::User>},
        {Kind::Label, "PasswordLabel", "Password", {12, 132, 110, 22}},
        {Kind::TextBox, "Password", "", {130, 130, 258, 24}, to<&P::Password>},
        {Kind::Label, "BaseTopicLabel", "Base topic", {12, 162, 110, 22}},
        {Kind::TextBox, "BaseTopic", "", {130, 160, 258, 24}, to<&P::BaseTopic>},
        {Kind::Label, "NameLabel", "Plant name", {12, 192, 110, 22}},
        {Kind::TextBox, "Name", "", {130, 190, 258, 24}, to<&P::Name>},
        {Kind::CheckBox,
         "Discovery",
         "Home Assistant discovery",
         {12, 220, 376, 22},
         to<&P::Discovery>},
        {Kind::Label, "TestResult", "", {12, 246, 376, 40}, to<&P::TestResult>},
        {Kind::Button,
         "TestConnection",
         "Test connection",
         {12, 294, 130, 26},
         to<&P::TestConnection>},
        {Kind::Button, "Save", "Save", {218, 294, 80, 26}, to<&P::Save>},
        {Kind::Button, "Cancel", "Cancel", {308, 294, 80, 26}, to<&P::Cancel>},
    };
    return controls;
}

QWidget* makeControl(QWidget* window, const Control& c)
{
    const QString caption = QString::fromLatin1(c.caption);
    switch (c.kind) {
    case Kind::Label: {
        auto* label = new QLabel(caption, window);
        label->setWordWrap(true);
        return label;
    }
    case Kind::TextBox: {
        auto* box = new QLineEdit(window);
        ui::paintBox(box, QPalette::Base, QPalette::Text);
        box->setPlaceholderText(caption);
        return box;
    }
    case Kind::CheckBox:
        return new QCheckBox(caption, window);
    case Kind::Button: {
        auto* button = new QPushButton(caption, window);
        ui::paintBox(button, QPalette::Button, QPalette::ButtonText);
        button->setAutoDefault(false);
        return button;
    }
    }
    return nullptr;
}

PublishControls buildControls(QWidget* window)
{
    PublishControls c;
    for (const Control& row : publishControls()) {
        QWidget* w = makeControl(window, row);
        w->setObjectName(QString::fromLatin1(row.name));
        w->setGeometry(row.place);
        row.member.into(c, w, "Publish", row.name);
    }
    c.Password->setEchoMode(QLineEdit::Password);
    c.Save->setDefault(true);
    return c;
}

QString flag(const QCheckBox* box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

Publish::Publish(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("Publish"));
    setWindowTitle(QStringLiteral("Publish"));
    setFixedSize(kClientSize);
    ui::applyWindowLook(this);
    m_controls = buildControls(this);
    connect(m_controls.Save, &QPushButton::clicked, this, &Publish::Save_Click);
    connect(m_controls.Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_controls.TestConnection, &QPushButton::clicked, this, &Publish::TestConnection_Click);
    m_deadline.setSingleShot(true);
    Form_Load();
}

Publish::~Publish()
{
    endLookup();
}

void Publish::Form_Load()
{
    const PublishConfig v = readPublishConfig(m_app);
    const PublishControls& c = m_controls;
    c.Enabled->setChecked(publishingOn(v));
    c.Host->setText(v.Host);
    c.Port->setText(v.Port);
    c.User->setText(v.User);
    c.Password->setText(v.Password);
    c.TLS->setChecked(tlsOn(v));
    c.CAFile->setText(v.CAFile);
    c.BaseTopic->setText(v.BaseTopic);
    c.Name->setText(v.Name);
    c.Discovery->setChecked(discoveryOn(v));
}

PublishConfig Publish::shownValues() const
{
    const PublishControls& c = m_controls;
    PublishConfig v;
    v.Enabled = flag(c.Enabled);
    v.Host = c.Host->text();
    v.Port = c.Port->text();
    v.User = c.User->text();
    v.Password = c.Password->text();
    v.TLS = flag(c.TLS);
    v.CAFile = c.CAFile->text();
    v.BaseTopic = c.BaseTopic->text();
    v.Name = c.Name->text();
    v.Discovery = flag(c.Discovery);
    return v;
}

void Publish::refuse(const ConfigProblem& problem)
{
    m_controls.TestResult->setText(problem.message);
    ui::showMessage(this, problem.message);
    if (auto* box = findChild<QLineEdit*>(problem.key)) {
        box->setFocus();
        box->selectAll();
    }
}

void Publish::setBusy(const QString& text)
{
    const bool busy = !text.isEmpty();
    m_controls.Save->setEnabled(!busy);
    m_controls.TestConnection->setEnabled(!busy);
    if (busy)
        m_controls.TestResult->setText(text);
}

void Publish::Save_Click()
{
    const PublishConfig v = shownValues();
    if (const auto problem = publishConfigProblem(v)) {
        refuse({problem->key, problem->message + QStringLiteral(" Nothing was saved.")});
        return;
    }
    if (!publishingOn(v)) {
        write(v);
        return;
    }
    // A name that does not resolve is caught here rather than as endless retries; the lookup
    // runs on Qt's own threads, and a late answer is ignored once the deadline has passed.
    m_checking = v;
    setBusy(QStringLiteral("Looking up %1 ...").arg(v.Host));
    m_lookupId = QHostInfo::lookupHost(v.Host, this, &Publish::hostLookedUp);
    disconnect(&m_deadline, nullptr, this, nullptr);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        endLookup();
        setBusy({});
        refuse({QStringLiteral("Host"),
                QStringLiteral("Looking up the host \"%1\" took longer than %2 s. Check the name "
                               "and the network. Nothing was saved.")
                    .arg(m_checking.Host)
                    .arg(kLookupMs / 1000)});
    });
    m_deadline.start(kLookupMs);
}

void Publish::hostLookedUp(const QHostInfo& info)
{
    if (info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    m_deadline.stop();
    setBusy({});
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        refuse({QStringLiteral("Host"),
                QStringLiteral("The host \"%1\" cannot be found (%2). Check the name. Nothing was "
                               "saved.")
                    .arg(m_checking.Host, info.errorString())});
        return;
    }
    write(m_checking);
}

void Publish::write(const PublishConfig& values)
{
    QString error;
    if (!savePublishConfig(m_app, values, &error)) {
        const QString text =
            QStringLiteral("%1 cannot be written: %2").arg(publishCfgPath(m_app), error);
        m_controls.TestResult->setText(text);
        ui::showMessage(this, text);
        return;
    }
    accept();
}

void Publish::TestConnection_Click()
{
    PublishConfig v = shownValues();
    // Testing does not need publishing to be on, but it does need a host.
    v.Enabled = QStringLiteral("1");
    if (const auto problem = publishConfigProblem(v)) {
        refuse(*problem);
        return;
    }
    LinkSettings settings = linkSettingsFor(v);
    // A test must not say "offline" for a plant whose own link is online.
    settings.statusTopic.clear();
    settings.answerMs = kTestMs;
    // Only the first outcome counts; the test link is gone before any retry.
    settings.firstRetryMs = kTestMs;
    settings.lastRetryMs = kTestMs;
    m_test = std::make_unique<MqttLink>();
    connect(m_test.get(), &MqttLink::statusChanged, this, &Publish::testStatus);
    setBusy(QStringLiteral("Connecting to %1:%2 ...").arg(settings.host).arg(settings.port));
    disconnect(&m_deadline, nullptr, this, nullptr);
    connect(&m_deadline, &QTimer::timeout, this, [this, settings] {
        finishTest(QStringLiteral("No answer from %1:%2 within %3 s.")
                       .arg(settings.host)
                       .arg(settings.port)
                       .arg(kTestMs / 1000));
    });
    m_deadline.start(kTestMs);
    m_test->start(settings);
}

void Publish::testStatus()
{
    if (!m_test)
        return;
    const LinkStatus& s = m_test->status();
    const QString where = QStringLiteral("%1:%2").arg(s.host).arg(s.port);
    switch (s.state) {
    case LinkStatus::State::Connected:
        finishTest(QStringLiteral("Connected to %1: the broker accepted the login. %2")
                       .arg(where, clearPasswordWarning(shownValues()))
                       .trimmed());
        break;
    case LinkStatus::State::LoginRefused:
        finishTest(QStringLiteral("%1 refused the login (%2). Check User and Password.")
                       .arg(where, s.reason));
        break;
    case LinkStatus::State::Retrying:
        finishTest(QStringLiteral("Cannot connect to %1: %2.").arg(where, s.reason));
        break;
    case LinkStatus::State::Off:
    case LinkStatus::State::Connecting:
        break;
    }
}

void Publish::finishTest(const QString& text)
{
    m_deadline.stop();
    if (m_test) {
        // Its own signal may be running: it goes once that has returned.
        m_test->disconnect(this);
        m_test.release()->deleteLater();
    }
    setBusy({});
    m_controls.TestResult->setText(text);
    ui::showMessage(this, text);
}

void Publish::endLookup()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    m_deadline.stop();
}

void Publish::done(int result)
{
    endLookup();
    if (m_test) {
        m_test->disconnect(this);
        m_test.release()->deleteLater();
    }
    QDialog::done(result);
}

} // namespace publish
