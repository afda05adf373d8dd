#include "alarms/alarmswindow.h"

#include "alarms/autostart.h"
#include "alarms/notifier.h"
#include "config/configfiles.h"
#include "core/numbers.h"
#include "curve/refcurve.h"
#include "ui/controltable.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <vector>

namespace alarms {
namespace {

enum class ControlKind
{
    Label,
    TextBox,
    CheckBox,
    Button
};

// One control: what it is, its object name, design text and place, and the member it fills:
// one of an alarm's row (row says which alarm) or one of the window's own.
struct Control
{
    ControlKind kind;
    QString name;
    QString caption;
    QRect place; // pixels
    ui::Fills<AlarmsControls> member{};
    int row = -1;
    ui::Fills<AlarmRowControls> inRow{};
};

template <auto Member> constexpr auto to = ui::fills<Member>();
using A = AlarmsControls;
using R = AlarmRowControls;

constexpr QSize kClientSize{520, 478};
constexpr int kRowTop = 34;
constexpr int kRowHeight = 28;
// Where the row's columns stand: the tick box, Level, Hysteresis, Delay, unit.
constexpr int kColumns[] = {12, 190, 270, 350, 430};

std::vector<Control> rowControls(Kind k, int row)
{
    using K = ControlKind;
    const QString key = QString::fromLatin1(facts(k).key);
    const int y = kRowTop + row * kRowHeight;
    const QString caption = QString::fromLatin1(facts(k).title) +
                            (facts(k).below ? QStringLiteral(" (below)") : QString());
    // CurveLow's and Stopped's delays are minutes, not the header's seconds: their boxes make room
    // to say so.
    const bool inMinutes = delayInMinutes(k);
    std::vector<Control> out{
        {K::CheckBox, key + "On", caption, {kColumns[0], y, 170, 24}, {}, row, to<&R::On>},
        {K::TextBox, key + "Level", {}, {kColumns[1], y, 70, 24}, {}, row, to<&R::Level>},
        {K::TextBox, key + "Hysteresis", {}, {kColumns[2], y, 70, 24}, {}, row, to<&R::Hysteresis>},
        {K::TextBox,
         key + "Delay",
         {},
         {kColumns[3], y, inMinutes ? 46 : 70, 24},
         {},
         row,
         to<&R::Delay>},
        {K::Label, key + "Unit", {}, {kColumns[4], y + 2, 80, 22}, {}, row, to<&R::Unit>},
    };
    if (inMinutes)
        out.push_back({K::Label, key + "DelayUnit", "min", {kColumns[3] + 49, y + 2, 28, 22}});
    return out;
}

// In tab order: the rows, then the common settings, then the buttons.
std::vector<Control> alarmsControls()
{
    using K = ControlKind;
    std::vector<Control> out;
    const char* heads[] = {"Alarm", "Level", "Hysteresis", "Delay (s)", "Unit"};
    for (int c = 0; c < 5; ++c)
        out.push_back({K::Label,
                       QStringLiteral("Head%1").arg(c),
                       QString::fromLatin1(heads[c]),
                       {kColumns[c], 10, 78, 20}});
    for (std::size_t row = 0; row < kKindCount; ++row) {
        for (Control& c : rowControls(kKinds[row], int(row)))
            out.push_back(c);
    }
    // Runaway, the last row, has its second level on a line of its own below it.
    const int amps = kRowTop + int(kKindCount) * kRowHeight;
    const std::vector<Control> rest{
        {K::Label, "RunawayAmpsLabel", "with a charge below", {32, amps + 2, 150, 22}},
        {K::TextBox, "RunawayAmps", {}, {kColumns[1], amps, 70, 24}, to<&A::RunawayAmps>},
        {K::Label, "RunawayAmpsUnit", "A", {kColumns[2], amps + 2, 40, 22}},
        {K::CheckBox, "Notify", "Desktop notifications", {12, 324, 200, 22}, to<&A::Notify>},
        {K::Label, "SilenceLabel", "A silence lasts", {230, 326, 116, 22}},
        {K::TextBox, "Silence", {}, {350, 324, 70, 24}, to<&A::Silence>},
        {K::Label, "SilenceUnit", "minutes", {430, 326, 80, 22}},
        {K::CheckBox,
         "Autostart",
         "Start with my desktop session",
         {12, 354, 400, 22},
         to<&A::Autostart>},
        {K::Label, "Status", {}, {12, 382, 496, 48}, to<&A::Status>},
        {K::Button,
         "TestNotification",
         "Test notification",
         {12, 440, 140, 26},
         to<&A::TestNotification>},
        {K::Button, "Save", "Save", {338, 440, 80, 26}, to<&A::Save>},
        {K::Button, "Cancel", "Cancel", {428, 440, 80, 26}, to<&A::Cancel>},
    };
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

QWidget* makeControl(QWidget* window, const Control& c)
{
    switch (c.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(c.caption, window);
        label->setWordWrap(true);
        return label;
    }
    case ControlKind::TextBox: {
        auto* box = new QLineEdit(window);
        ui::paintBox(box, QPalette::Base, QPalette::Text);
        return box;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(c.caption, window);
    case ControlKind::Button: {
        auto* button = new QPushButton(c.caption, window);
        ui::paintBox(button, QPalette::Button, QPalette::ButtonText);
        button->setAutoDefault(false);
        return button;
    }
    }
    return nullptr;
}

void nameRow(AlarmRowControls& r)
{
    const QString title = r.On->text();
    r.Level->setAccessibleName(title + QStringLiteral(" level"));
    r.Hysteresis->setAccessibleName(title + QStringLiteral(" hysteresis"));
    r.Delay->setAccessibleName(title + QStringLiteral(" delay in seconds"));
}

AlarmsControls buildControls(QWidget* window)
{
    AlarmsControls c;
    for (const Control& row : alarmsControls()) {
        QWidget* w = makeControl(window, row);
        w->setObjectName(row.name);
        w->setGeometry(row.place);
        const QByteArray name = row.name.toLatin1();
        row.member.into(c, w, "Alarms", name.constData());
        if (row.row >= 0)
            row.inRow.into(c.rows[std::size_t(row.row)], w, "Alarms", name.constData());
    }
    for (AlarmRowControls& r : c.rows)
        nameRow(r);
    c.Silence->setAccessibleName(QStringLiteral("Minutes a silence lasts"));
    c.Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // NoData's level is the seconds without a frame; it has no hysteresis and no delay.
    const AlarmRowControls& noData = c.rows[std::size_t(Kind::NoData)];
    noData.Hysteresis->setEnabled(false);
    noData.Delay->setEnabled(false);
    // CurveLow weighs minutes of wind, not seconds of readings.
    const AlarmRowControls& curveLow = c.rows[std::size_t(Kind::CurveLow)];
    curveLow.Delay->setAccessibleName(curveLow.On->text() + QStringLiteral(" delay in minutes"));
    curveLow.Delay->setToolTip(
        QStringLiteral("Minutes of wind at or above the reference's cut-in"));
    // Stopped waits minutes of readings with the rotor still in a wind above its Level.
    const AlarmRowControls& stopped = c.rows[std::size_t(Kind::Stopped)];
    stopped.Delay->setAccessibleName(stopped.On->text() + QStringLiteral(" delay in minutes"));
    stopped.Delay->setToolTip(QStringLiteral("Minutes of readings with the wind above the level "
                                             "while the rotor is still"));
    c.RunawayAmps->setAccessibleName(c.rows[std::size_t(Kind::Runaway)].On->text() +
                                     QStringLiteral(" with a charge below, in amps"));
    c.Save->setDefault(true);
    c.rows.front().On->setFocus();
    return c;
}

QString number(double v)
{
    return core::numberText(v, QLocale::c());
}

QString program()
{
    return QCoreApplication::applicationName();
}

// The reference curve's cut-in in the user's unit, when there is a reference.
std::optional<double> referenceCutIn(const core::AppDir& app, const QString& wsUnits)
{
    const curve::WindScale scale = curve::windScale(wsUnits);
    const std::optional<curve::RefCurve> reference = curve::readRefCurve(app, scale).curve;
    if (!reference || !(reference->cutIn() > 0))
        return std::nullopt;
    return reference->cutIn() / scale.toBinUnit;
}

} // namespace

Alarms::Alarms(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("Alarms"));
    setWindowTitle(QStringLiteral("Alarms"));
    setFixedSize(kClientSize);
    ui::applyWindowLook(this);
    m_controls = buildControls(this);
    ui::makeKeyboardFriendly(this);
    connect(m_controls.Save, &QPushButton::clicked, this, &Alarms::Save_Click);
    connect(m_controls.Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_controls.TestNotification, &QPushButton::clicked, this,
            &Alarms::TestNotification_Click);
    Form_Load();
}

Alarms::~Alarms() = default;

void Alarms::setNotifier(Notifier* notifier)
{
    if (m_notifier) {
        m_notifier->disconnect(this);
        if (m_notifier->parent() == this)
            m_notifier->deleteLater();
    }
    m_notifier = notifier;
    m_testRequest = 0;
    connect(m_notifier, &Notifier::statusChanged, this, &Alarms::showStatus);
    // The notifier may be the plant's, which also delivers the alarms themselves: only the
    // answer to this window's own test is the test's.
    connect(m_notifier, &Notifier::delivered, this, [this](quint64 request, uint id) {
        if (request == 0 || request != m_testRequest)
            return;
        m_testRequest = 0;
        m_lastTest = id != 0 ? QStringLiteral("Test notification shown (number %1).").arg(id)
                             : QStringLiteral("The test notification was not shown.");
        showStatus();
    });
    showStatus();
}

void Alarms::Form_Load()
{
    AlarmsConfig v = readAlarmsConfig(m_app, &m_loadWarning);
    const QString wsUnits = config::ReadProgramConfig(m_app).WSUnits;
    // Stopped as the sample has it (or a file without it) is shown at the user's own unit and the
    // reference's cut-in: the sample's 6 is m/s.
    if (v[Kind::Stopped] == facts(Kind::Stopped).defaults)
        v[Kind::Stopped] = stoppedDefaults(referenceCutIn(m_app, wsUnits), wsUnits);
    for (const Kind k : kKinds) {
        const AlarmRowControls& r = m_controls.rows[std::size_t(k)];
        r.On->setChecked(v[k].on);
        r.Level->setText(number(v[k].level));
        r.Hysteresis->setText(number(v[k].hysteresis));
        r.Delay->setText(number(v[k].delayS));
        r.Unit->setText(unitOf(k, wsUnits));
    }
    m_controls.RunawayAmps->setText(number(v[Kind::Runaway].amps));
    m_controls.Notify->setChecked(v.notify);
    m_controls.Silence->setText(number(v.silenceMinutes));
    m_controls.Autostart->setChecked(
        autostartOn(program(), QCoreApplication::applicationFilePath()));
    setNotifier(new Notifier(this));
}

void Alarms::showStatus()
{
    QStringList lines;
    if (!m_loadWarning.isEmpty())
        lines << m_loadWarning;
    if (m_notifier)
        lines << notifierStatusText(m_notifier->status());
    if (!m_lastTest.isEmpty())
        lines << m_lastTest;
    m_controls.Status->setText(lines.join(QLatin1Char('\n')));
}

std::vector<std::pair<QString, QLineEdit*>> Alarms::textBoxes() const
{
    std::vector<std::pair<QString, QLineEdit*>> out;
    for (const Kind k : kKinds) {
        const AlarmRowControls& r = m_controls.rows[std::size_t(k)];
        const QString key = QString::fromLatin1(facts(k).key);
        out.emplace_back(key + QStringLiteral("Level"), r.Level);
        out.emplace_back(key + QStringLiteral("Hysteresis"), r.Hysteresis);
        out.emplace_back(key + QStringLiteral("Delay"), r.Delay);
    }
    out.emplace_back(QStringLiteral("RunawayAmps"), m_controls.RunawayAmps);
    out.emplace_back(QStringLiteral("Silence"), m_controls.Silence);
    return out;
}

QByteArray Alarms::shownText() const
{
    auto flag = [](const QCheckBox* box) {
        return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    };
    QStringList values;
    for (const Kind k : kKinds) {
        const AlarmRowControls& r = m_controls.rows[std::size_t(k)];
        values << flag(r.On) << r.Level->text() << r.Hysteresis->text() << r.Delay->text();
        if (k == Kind::Runaway)
            values << m_controls.RunawayAmps->text();
    }
    values << flag(m_controls.Notify) << m_controls.Silence->text();
    return alarmsConfigText(values);
}

void Alarms::refuse(const QString& problem)
{
    ui::showMessage(this, problem + QStringLiteral(" Nothing was saved."));
    for (const auto& [key, box] : textBoxes()) {
        if (problem.contains(QLatin1Char('<') + key + QLatin1Char('>'))) {
            box->setFocus();
            box->selectAll();
            return;
        }
    }
}

void Alarms::Save_Click()
{
    for (const auto& [key, box] : textBoxes()) {
        if (box->text().contains(QLatin1Char('<')) || box->text().contains(QLatin1Char('>')))
            return refuse(QStringLiteral("<%1> may not hold \"<\" or \">\".").arg(key));
    }
    // The same checks as a file that is read: a value refused here would be refused there.
    QStringList problems;
    const AlarmsConfig values = parseAlarmsConfig(QString::fromLatin1(shownText()), &problems);
    if (!problems.isEmpty())
        return refuse(problems.first() + QLatin1Char('.'));
    QString error;
    if (!saveAlarmsConfig(m_app, values, &error)) {
        ui::showMessage(
            this, QStringLiteral("%1 cannot be written: %2").arg(alarmsCfgPath(m_app), error));
        return;
    }
    const bool autostart = m_controls.Autostart->isChecked();
    if (autostart != autostartOn(program(), QCoreApplication::applicationFilePath()) &&
        !setAutostart(autostart, program(), QCoreApplication::applicationFilePath(), &error)) {
        ui::showMessage(this,
                        QStringLiteral("The alarms were saved, but %1 cannot be %2: %3")
                            .arg(autostartPath(program()),
                                 autostart ? QStringLiteral("written") : QStringLiteral("removed"),
                                 error));
        return;
    }
    accept();
}

void Alarms::TestNotification_Click()
{
    m_lastTest = QStringLiteral("Test notification sent; waiting for the desktop's answer.");
    showStatus();
    if (m_notifier) {
        m_testRequest = m_notifier->notify(testNotification());
        m_notifier->check();
    }
}

} // namespace alarms
