#include "programsetup.h"

#include "messagebox.h"
#include "windowlook.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace config {
namespace {

const QColor kNotFoundText{255, 255, 0};
constexpr int kDeviceCheckMs = 1000;

} // namespace

ProgramSetup::ProgramSetup(const core::AppDir& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
{
    setObjectName(QStringLiteral("ProgramSetup"));
    setWindowTitle(QStringLiteral(" Setup"));
    setFixedSize(kSetupClientSize);
    core::applyWindowLook(this);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    m_controls = buildSetupControls(this);

    connect(m_controls.Command1, &QPushButton::clicked, this, &ProgramSetup::Command1_Click);
    connect(m_controls.PortNumber, &QLineEdit::textChanged, this, &ProgramSetup::PortNumber_Change);
    m_deviceCheck.setInterval(kDeviceCheckMs);
    connect(&m_deviceCheck, &QTimer::timeout, this, &ProgramSetup::PortNumber_Change);
    m_deviceCheck.start();

    Form_Load();
    PortNumber_Change();
}

void ProgramSetup::Form_Load()
{
    const SetupValues v = setupValues(ReadProgramConfig(m_app));
    const SetupControls& c = m_controls;
    c.PortNumber->setText(v.PortNumber);
    c.Savehtml->setCheckState(checkState(v.Savehtml));
    c.SaveExcel->setCheckState(checkState(v.SaveExcel));
    c.LogDelay->setText(v.LogDelay);
    c.LogOn->setCheckState(checkState(v.LogOn));
    c.DisplayRPM->setCheckState(checkState(v.DisplayRPM));
    c.DisplayWS->setCheckState(checkState(v.DisplayWS));
    c.WSUnits->setText(v.WSUnits);
}

SetupValues ProgramSetup::shownValues() const
{
    const SetupControls& c = m_controls;
    SetupValues v;
    v.PortNumber = c.PortNumber->text();
    v.Savehtml = checkValue(c.Savehtml->checkState());
    v.SaveExcel = checkValue(c.SaveExcel->checkState());
    v.LogDelay = c.LogDelay->text();
    v.LogOn = checkValue(c.LogOn->checkState());
    v.DisplayRPM = checkValue(c.DisplayRPM->checkState());
    v.DisplayWS = checkValue(c.DisplayWS->checkState());
    v.WSUnits = c.WSUnits->text();
    return v;
}

QWidget* ProgramSetup::control(SetupRole role) const
{
    switch (role) {
    case SetupRole::PortNumber:
        return m_controls.PortNumber;
    case SetupRole::LogDelay:
        return m_controls.LogDelay;
    case SetupRole::WSUnits:
        return m_controls.WSUnits;
    default:
        return nullptr;
    }
}

void ProgramSetup::Command1_Click()
{
    const SetupValues v = shownValues();
    if (const auto refusal = saveRefusal(v)) {
        core::showMessage(this, refusal->message);
        if (auto* box = qobject_cast<QLineEdit*>(control(refusal->control))) {
            box->setFocus();
            box->selectAll();
        }
        return;
    }
    QString error;
    if (!saveSetupValues(m_app, v, &error)) {
        core::showMessage(this, saveFailedMessage(m_app, error));
        return;
    }
    accept();
}

void ProgramSetup::PortNumber_Change()
{
    QLabel* line = m_controls.PortDevice;
    const PortDeviceNote note = portDeviceNote(m_app, m_controls.PortNumber->text());
    const QFontMetrics metrics(line->font());
    QStringList lines = note.text.split(QLatin1Char('\n'));
    for (QString& text : lines)
        text = metrics.elidedText(text, Qt::ElideMiddle, kPortDeviceRect.width());
    line->setText(lines.join(QLatin1Char('\n')));
    line->setToolTip(note.detail);
    QPalette pal = line->palette();
    pal.setColor(QPalette::WindowText, note.present ? core::kWindowText : kNotFoundText);
    line->setPalette(pal);
}

} // namespace config
